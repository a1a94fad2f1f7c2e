#pragma once

// Frame sets the benchmarks make for themselves.

#include "project/project.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace kestrinbench {

using kestrin::Project;

// Sprite-like frames: a flat background with a shaded body, an outline and a
// moving highlight; few thousand colours in all.
inline void makeSprites(Project &project, int stages, int frames, int size)
{
    for (int s = 0; s < stages; ++s) {
        kestrin::Stage *stage = project.appendStage();
        for (int f = 0; f < frames; ++f) {
            QImage img(size, size, QImage::Format_ARGB32);
            img.fill(qRgb(255, 0, 255));
            const double cx = size / 2.0 + 10 * std::sin(f * 0.4 + s), cy = size / 2.0 + 6 * std::cos(f * 0.3);
            const double rx = size * 0.3, ry = size * 0.4;
            for (int y = 0; y < size; ++y) {
                auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
                for (int x = 0; x < size; ++x) {
                    const double dx = (x - cx) / rx, dy = (y - cy) / ry, d = dx * dx + dy * dy;
                    if (d > 1.0)
                        continue;
                    if (d > 0.85) {
                        row[x] = qRgb(20, 16, 12); // outline
                        continue;
                    }
                    const double light = 0.35 + 0.65 * (1.0 - d) * (0.6 + 0.4 * (-dx - dy + 2) / 4);
                    row[x] = qRgb(int(180 * light + 30 * s / 8.0), int(120 * light), int(60 * light + f));
                }
            }
            // A rectangular weapon with a metallic ramp.
            for (int y = size / 3; y < size / 3 + 8; ++y) {
                for (int x = size / 10; x < size / 10 + size / 3; ++x)
                    img.setPixel(x, y, qRgb(140 + (x * 3) % 90, 140 + (x * 3) % 90, 150 + (x * 3) % 90));
            }
            kestrin::Frame *frame = stage->appendFrame();
            frame->sourceImage = img;
            frame->workImage = img;
        }
    }
}

// Rendered frames: smooth gradients that move with stage and frame, plus
// per-pixel noise, so that millions of distinct colours occur.
inline void makeRendered(Project &project, int stages, int frames, int size)
{
    std::mt19937 rng(12345);
    for (int s = 0; s < stages; ++s) {
        kestrin::Stage *stage = project.appendStage();
        for (int f = 0; f < frames; ++f) {
            QImage img(size, size, QImage::Format_ARGB32);
            for (int y = 0; y < size; ++y) {
                auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
                for (int x = 0; x < size; ++x) {
                    const int noise = int(rng() % 343);
                    const int r = x * 3 / 4 + 8 * s + f, g = y * 3 / 4 + 3 * f, b = (x + y) / 3 + 4 * s;
                    row[x] = qRgba(qBound(0, r + noise % 7 - 3, 255), qBound(0, g + noise / 7 % 7 - 3, 255),
                                   qBound(0, b + noise / 49 - 3, 255), 255);
                }
            }
            kestrin::Frame *frame = stage->appendFrame();
            frame->sourceImage = img;
            frame->workImage = img;
        }
    }
}


/** One frame of a shaded four-legged creature as a 3D renderer writes it:
 *  straight (not premultiplied) alpha from 4 x 4 coverage at the edges, a
 *  soft ground shadow of partial alpha, and fully transparent pixels that
 *  still hold the colours of a sky the renderer cleared to. `direction`
 *  0..7 turns it in steps of 45 degrees, `frame` of `frames` is the phase of
 *  its walk. */
inline QImage renderCreature(int direction, int frame, int frames, int size)
{
    struct Part {
        double c[3], r[3];
        int material; // 0 body, 1 leg, 2 eye, 3 horn
    };
    const double pi = 3.14159265358979;
    const double phase = 2 * pi * frame / frames;
    const double bob = 0.04 * std::sin(2 * phase);
    std::vector<Part> parts = {
        {{0, 0.9 + bob, 0}, {0.45, 0.4, 0.8}, 0},       {{0, 1.25 + bob, 0.85}, {0.3, 0.3, 0.32}, 0},
        {{0, 1.13 + bob, 1.12}, {0.16, 0.13, 0.2}, 0},  {{0.14, 1.36 + bob, 1.07}, {0.06, 0.06, 0.05}, 2},
        {{-0.14, 1.36 + bob, 1.07}, {0.06, 0.06, 0.05}, 2}, {{0.15, 1.58 + bob, 0.8}, {0.05, 0.19, 0.05}, 3},
        {{-0.15, 1.58 + bob, 0.8}, {0.05, 0.19, 0.05}, 3}, {{0, 1.0 + bob, -0.95}, {0.08, 0.08, 0.42}, 0},
    };
    for (int leg = 0; leg < 4; ++leg) {
        const double x = leg % 2 ? 0.28 : -0.28, z = leg < 2 ? 0.45 : -0.45;
        const double swing = 0.16 * std::sin(phase + (leg == 0 || leg == 3 ? 0 : pi));
        parts.push_back({{x, 0.42, z + swing}, {0.12, 0.42, 0.12}, 1});
    }
    const double yaw = 2 * pi * direction / 8, pitch = pi / 6;
    const double dir[3] = {-std::sin(yaw) * std::cos(pitch), -std::sin(pitch), -std::cos(yaw) * std::cos(pitch)};
    const double right[3] = {std::cos(yaw), 0, -std::sin(yaw)};
    const double up[3] = {right[1] * dir[2] - right[2] * dir[1], right[2] * dir[0] - right[0] * dir[2],
                          right[0] * dir[1] - right[1] * dir[0]};
    const double light[3] = {0.48, 0.72, 0.5};
    double half[3] = {light[0] - dir[0], light[1] - dir[1], light[2] - dir[2]};
    const double hl = std::sqrt(half[0] * half[0] + half[1] * half[1] + half[2] * half[2]);
    for (double &h : half)
        h /= hl;
    const double centre[3] = {0, 0.85, 0};
    const double scale = 2.6 / size;

    // Colour of the surface point `p` with normal `n`, 0..255 per channel.
    const auto shade = [&](const Part &part, const double *p, const double *n, double *rgb) {
        double base[3];
        switch (part.material) {
        case 0: {
            const double stripe = 0.5 + 0.5 * std::sin(9 * p[2] + 4 * p[1] + 2 * std::sin(5 * p[0]));
            const double belly = std::clamp(-n[1] * 1.6, 0.0, 1.0);
            for (int k = 0; k < 3; ++k) {
                const double fur[3] = {160 - 70 * stripe, 100 - 45 * stripe, 52 - 22 * stripe};
                const double pale[3] = {215, 185, 140};
                base[k] = fur[k] * (1 - belly) + pale[k] * belly;
            }
            break;
        }
        case 1:
            base[0] = 120 - 30 * (0.84 - p[1]);
            base[1] = 78 - 20 * (0.84 - p[1]);
            base[2] = 42;
            break;
        case 2:
            base[0] = 24, base[1] = 22, base[2] = 30;
            break;
        default: {
            const double tip = std::clamp((p[1] - 1.4) / 0.38, 0.0, 1.0);
            base[0] = 232 - 90 * tip, base[1] = 222 - 100 * tip, base[2] = 190 - 110 * tip;
            break;
        }
        }
        const double diffuse = std::max(0.0, n[0] * light[0] + n[1] * light[1] + n[2] * light[2]);
        const double specular = std::pow(std::max(0.0, n[0] * half[0] + n[1] * half[1] + n[2] * half[2]),
                                         part.material == 2 ? 60 : 24)
            * (part.material == 2 ? 0.9 : 0.35);
        for (int k = 0; k < 3; ++k)
            rgb[k] = std::clamp(base[k] * (0.28 + 0.8 * diffuse) + 255 * specular, 0.0, 255.0);
    };

    std::mt19937 rng(quint32(direction * 1000 + frame));
    QImage img(size, size, QImage::Format_ARGB32);
    const int sub = 4;
    for (int y = 0; y < size; ++y) {
        auto *row = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < size; ++x) {
            double sum[3] = {0, 0, 0};
            int hits = 0;
            double shadow = 0;
            for (int sy = 0; sy < sub; ++sy) {
                for (int sx = 0; sx < sub; ++sx) {
                    const double u = (x + (sx + 0.5) / sub - size / 2.0) * scale;
                    const double v = (size / 2.0 - (y + (sy + 0.5) / sub)) * scale;
                    double o[3];
                    for (int k = 0; k < 3; ++k)
                        o[k] = centre[k] - 10 * dir[k] + u * right[k] + v * up[k];
                    double best = 1e30;
                    const Part *hit = nullptr;
                    for (const Part &part : parts) {
                        double p[3], d[3];
                        for (int k = 0; k < 3; ++k) {
                            p[k] = (o[k] - part.c[k]) / part.r[k];
                            d[k] = dir[k] / part.r[k];
                        }
                        const double a = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
                        const double b = 2 * (p[0] * d[0] + p[1] * d[1] + p[2] * d[2]);
                        const double c = p[0] * p[0] + p[1] * p[1] + p[2] * p[2] - 1;
                        const double disc = b * b - 4 * a * c;
                        if (disc < 0)
                            continue;
                        const double t = (-b - std::sqrt(disc)) / (2 * a);
                        if (t > 0 && t < best) {
                            best = t;
                            hit = &part;
                        }
                    }
                    if (!hit) {
                        // The ground plane y = 0: a soft shadow under the body.
                        const double t = -o[1] / dir[1];
                        const double gx = o[0] + t * dir[0], gz = o[2] + t * dir[2];
                        const double r2 = gx * gx / 0.5 + gz * gz / 1.3;
                        shadow += std::clamp(1.2 - r2, 0.0, 1.0);
                        continue;
                    }
                    double p[3], n[3], rgb[3];
                    for (int k = 0; k < 3; ++k)
                        p[k] = o[k] + best * dir[k];
                    double nl = 0;
                    for (int k = 0; k < 3; ++k) {
                        n[k] = (p[k] - hit->c[k]) / (hit->r[k] * hit->r[k]);
                        nl += n[k] * n[k];
                    }
                    for (double &c : n)
                        c /= std::sqrt(nl);
                    shade(*hit, p, n, rgb);
                    for (int k = 0; k < 3; ++k)
                        sum[k] += rgb[k];
                    ++hits;
                }
            }
            const int samples = sub * sub;
            if (hits) {
                // Straight colour: the covered part's light over the alpha of
                // coverage plus the (black) shadow behind the rest.
                const double alpha = (hits + 0.45 * shadow) / samples;
                const double k = 1.0 / (samples * alpha);
                row[x] = qRgba(qMin(255, int(sum[0] * k + 0.5)), qMin(255, int(sum[1] * k + 0.5)),
                               qMin(255, int(sum[2] * k + 0.5)), int(alpha * 255 + 0.5));
            } else if (shadow > 0) {
                row[x] = qRgba(0, 0, 0, int(0.45 * shadow / samples * 255 + 0.5));
            } else {
                // Left over from the sky the renderer cleared to.
                const int n = int(rng() % 9) - 4;
                row[x] = qRgba(qBound(0, 90 + x / 2 + n, 255), qBound(0, 140 + y / 3 + n, 255),
                               qBound(0, 210 - y / 4 + n, 255), 0);
            }
        }
    }
    return img;
}

/** `image` composited over the opaque `key` colour, as a renderer writes
 *  frames on a flat key: edges blend into the key. */
inline QImage overKey(const QImage &image, QRgb key)
{
    QImage out(image.size(), QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        auto *row = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int a = qAlpha(in[x]);
            const auto mix = [&](int c, int k) { return (c * a + k * (255 - a) + 127) / 255; };
            row[x] = qRgb(mix(qRed(in[x]), qRed(key)), mix(qGreen(in[x]), qGreen(key)), mix(qBlue(in[x]), qBlue(key)));
        }
    }
    return out;
}

} // namespace kestrinbench
