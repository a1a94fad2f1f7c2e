// The colour settings of a generation: background rules and the reserved
// entry 0, the colour budget, fixed palettes, the refined quantizer,
// dithering, thread counts, the warning about partial alpha and refused
// settings.
#include "fixtures.h"
#include "testmain.h"
#include "fileio/failure.h"
#include "generate/jobfailure.h"
#include "palettes/palettefailure.h"

#include "indexedimage.h"
#include "referenceart.h"
#include "generate/artwriter.h"
#include "generate/generation.h"
#include "quantize/backgroundrule.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <set>

using namespace fixture;
using kestrin::DitherKind;
using kestrin::FailureKind;
using kestrin::GenerationSettings;
using kestrin::Project;
using kestrin::QuantizerKind;

namespace {

/** 2 stages of 3 sprite frames; `size` x (size * 3 / 4) pixels each. */
Project sprites(int size = 24)
{
    Project project;
    for (int s = 0; s < 2; ++s) {
        kestrin::Stage *stage = project.appendStage();
        for (int f = 0; f < 3; ++f)
            addFrame(stage, spriteFrame(size, size * 3 / 4, s * 3 + f));
    }
    return project;
}

quint64 frameCount(const Project &project)
{
    return quint64(project.stageCount) * project.stages[0]->frameCount;
}

/** Every pixel of the project in file order. */
std::vector<quint32> pixelsOf(const Project &project)
{
    std::vector<quint32> out;
    for (const auto &stage : project.stages) {
        for (const auto &frame : stage->frames) {
            const QImage &img = frame->workImage;
            const auto *p = reinterpret_cast<const quint32 *>(img.constBits());
            out.insert(out.end(), p, p + qsizetype(img.width()) * img.height());
        }
    }
    return out;
}

/** A palette file's 1024 bytes from colours 0x00RRGGBB. */
std::vector<quint8> paletteBytes(const std::vector<quint32> &colours)
{
    std::vector<quint8> bytes(1024, 0);
    for (size_t i = 0; i < colours.size(); ++i) {
        bytes[4 * i] = quint8(colours[i]);
        bytes[4 * i + 1] = quint8(colours[i] >> 8);
        bytes[4 * i + 2] = quint8(colours[i] >> 16);
    }
    return bytes;
}

QByteArray gimpPalette(const std::vector<quint32> &colours)
{
    QByteArray text = "GIMP Palette\nName: test\n";
    for (quint32 c : colours)
        text += QByteArray::number(c >> 16) + ' ' + QByteArray::number((c >> 8) & 0xff) + ' '
            + QByteArray::number(c & 0xff) + "\tname\n";
    return text;
}

const DitherKind kDithers[] = {DitherKind::None, DitherKind::Ordered, DitherKind::FloydSteinberg};

const char *ditherSuffix(DitherKind dither)
{
    return dither == DitherKind::None ? "" : dither == DitherKind::Ordered ? ", ordered" : ", floyd-steinberg";
}

/** An animated sprite on magenta: a still body of smooth gradients and a
 *  shaded ball that moves across it, `size` pixels square. */
QImage swingFrame(int size, int frame)
{
    const double bx = size * (0.3 + 0.08 * frame), by = size * 0.35, br = size * 0.14;
    return image(size, size, [&](int x, int y) {
        const double u = double(x) / size, v = double(y) / size, dx = u - 0.5, dy = v - 0.55;
        quint32 p = bgr(255, 0, 255);
        if (dx * dx / 0.16 + dy * dy / 0.18 < 1)
            p = bgr(int(150 - 80 * u + 40 * v), int(50 + 110 * v), int(70 + 150 * u * (1 - 0.3 * v)));
        const double ex = (x - bx) / br, ey = (y - by) / br, e = ex * ex + ey * ey;
        if (e < 1) {
            const double light = 0.45 + 0.55 * std::sqrt(1 - e) * (0.7 - 0.15 * (ex + ey));
            p = bgr(int(60 * light), int(200 * light), int(230 * light));
        }
        return p;
    });
}

/** Mean squared RGB error per channel of `indices` drawn through `file`'s
 *  palette against `pixels`, after averaging both over `box` x `box` blocks
 *  of a `width` wide image (1: per pixel; larger: what is seen from afar). */
double squaredError(const QByteArray &file, const QByteArray &indices, const std::vector<quint32> &pixels, int width,
                    int box)
{
    const int height = int(pixels.size()) / width;
    double sum = 0;
    int blocks = 0;
    for (int y = 0; y + box <= height; y += box) {
        for (int x = 0; x + box <= width; x += box) {
            double diff[3] = {};
            for (int i = 0; i < box * box; ++i) {
                const int at = (y + i / box) * width + x + i % box;
                const quint32 got = entry(file, quint8(indices[at]));
                for (int k = 0; k < 3; ++k)
                    diff[k] += double((pixels[size_t(at)] >> (8 * k)) & 0xff) - double((got >> (8 * k)) & 0xff);
            }
            for (double d : diff)
                sum += d * d / double(box * box) / double(box * box);
            blocks += 3;
        }
    }
    return sum / blocks;
}

// Background and budget settings, as rows of the tables below.
struct Colors {
    bool key = false;
    quint32 keyColor = 0;
    int tolerance = 0;
    int alpha = 0;
    quint32 budget = 256;

    GenerationSettings settings() const
    {
        GenerationSettings s;
        s.paletteCount = 1;
        s.useKey = key;
        s.keyColor = keyColor;
        s.keyTolerance = tolerance;
        s.alphaThreshold = alpha;
        s.colorBudget = budget;
        return s;
    }
};

} // namespace

Q_DECLARE_METATYPE(Colors)
Q_DECLARE_METATYPE(DitherKind)
Q_DECLARE_METATYPE(GenerationSettings)

class TestColors : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    // The octree path with background rules and budgets against the plain
    // oracle: the same palette and the same index for every pixel.
    void octreeMatchesThePlainRules_data()
    {
        QTest::addColumn<Colors>("colors");
        QTest::addColumn<bool>("fixed"); // with a palette file of 5 colours
        const quint32 magenta = 0xff00ff;
        QTest::newRow("exact key") << Colors{true, magenta, 0, 0, 256} << false;
        QTest::newRow("key with tolerance 40") << Colors{true, magenta, 40, 0, 256} << false;
        QTest::newRow("black key takes the transparent black") << Colors{true, 0, 0, 0, 256} << false;
        QTest::newRow("alpha threshold 128") << Colors{false, 0, 0, 128, 256} << false;
        QTest::newRow("alpha threshold 255") << Colors{false, 0, 0, 255, 256} << false;
        QTest::newRow("key and alpha") << Colors{true, magenta, 10, 100, 256} << false;
        QTest::newRow("tolerance 442: everything is background") << Colors{true, 0x808080, 442, 0, 256} << false;
        QTest::newRow("budget 16") << Colors{false, 0, 0, 0, 16} << false;
        QTest::newRow("budget 2") << Colors{false, 0, 0, 0, 2} << false;
        QTest::newRow("budget 2 with alpha: one colour besides entry 0") << Colors{false, 0, 0, 128, 2} << false;
        QTest::newRow("budget 40 with key") << Colors{true, magenta, 0, 0, 40} << false;
        QTest::newRow("fixed palette") << Colors{} << true;
        QTest::newRow("fixed palette with alpha") << Colors{false, 0, 0, 128, 256} << true;
    }
    void octreeMatchesThePlainRules()
    {
        QFETCH(Colors, colors);
        QFETCH(bool, fixed);
        const Project project = sprites();
        GenerationSettings settings = colors.settings();
        const std::vector<quint32> fileColours{0x102030, 0xff0000, 0x00ff00, 0x0000ff, 0xf0f0f0};
        std::vector<quint8> palette;
        if (fixed) {
            settings.paletteFile = dir.filePath("five.gpl");
            QVERIFY(writeAll(settings.paletteFile, gimpPalette(fileColours)));
            palette = paletteBytes(fileColours);
        }
        const QByteArray expected =
            kestrinref::referenceArtFile(project, settings, fixed ? palette.data() : nullptr, 5);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(artBytes(project, settings), expected);
    }

    // With a background, index 0 is the background's alone, whatever the
    // palette source and the mapping: content that shares entry 0's colour
    // (the black outline, a first pixel of content) gets another index.
    void backgroundOwnsIndexZero_data()
    {
        QTest::addColumn<int>("source"); // 0 octree, 1 refined, 2 fixed palette (entry 0 white)
        QTest::addColumn<DitherKind>("dither");
        QTest::addColumn<Colors>("colors");
        QTest::addColumn<quint32>("entry0");
        const Colors alpha{false, 0, 0, 128, 256}, key{true, 0xff00ff, 0, 0, 256};
        for (int source = 0; source < 3; ++source) {
            for (DitherKind dither : kDithers) {
                const QByteArray name
                    = QByteArray(source == 0 ? "octree" : source == 1 ? "refined" : "fixed") + ditherSuffix(dither);
                QTest::newRow(name + ", alpha") << source << dither << alpha << (source == 2 ? 0xffffffu : 0u);
                QTest::newRow(name + ", key") << source << dither << key << (source == 2 ? 0xffffffu : 0xff00ffu);
            }
        }
    }
    void backgroundOwnsIndexZero()
    {
        QFETCH(int, source);
        QFETCH(DitherKind, dither);
        QFETCH(Colors, colors);
        QFETCH(quint32, entry0);
        Project project = sprites();
        // A first frame trimmed so that its top-left pixel is content.
        project.stages[0]->frames[0]->workImage = project.stages[0]->frames[0]->workImage.copy(8, 8, 6, 5);
        GenerationSettings settings = colors.settings();
        settings.quantizer = source == 1 ? QuantizerKind::Refined : QuantizerKind::Octree;
        settings.dither = dither;
        if (source == 2) {
            settings.paletteFile = dir.filePath("owns.gpl");
            QVERIFY(writeAll(settings.paletteFile, gimpPalette({0xffffff, 0, 0x808080, 0xc04020, 0x20c040})));
        }
        const QByteArray file = artBytes(project, settings);
        QVERIFY2(!file.startsWith("failed"), file.constData());
        QCOMPARE(entry(file, 0), entry0);
        const QByteArray indices = indexBytes(file, 1, frameCount(project));
        const std::vector<quint32> pixels = pixelsOf(project);
        QCOMPARE(size_t(indices.size()), pixels.size());
        kestrin::BackgroundRule rule;
        rule.useKey = colors.key;
        rule.keyColor = colors.keyColor;
        rule.alphaThreshold = colors.alpha;
        int background = 0;
        for (size_t i = 0; i < pixels.size(); ++i) {
            const bool isBackground = rule.isBackground(pixels[i]);
            background += isBackground;
            if (isBackground != (indices[qsizetype(i)] == 0))
                QFAIL(qPrintable(QStringLiteral("pixel %1 (%2): index %3")
                                     .arg(i)
                                     .arg(pixels[i], 8, 16, QLatin1Char('0'))
                                     .arg(int(quint8(indices[qsizetype(i)])))));
        }
        QVERIFY(background > 0 && background < int(pixels.size()));
    }

    // No index at or above the budget, and the entries from it on are zero.
    void budgetBoundsTheIndices_data()
    {
        QTest::addColumn<quint32>("budget");
        QTest::addColumn<bool>("refined");
        QTest::addColumn<int>("alpha");
        for (quint32 budget : {2u, 3u, 17u, 255u}) {
            for (bool refined : {false, true}) {
                for (int alpha : {0, 128}) {
                    QTest::addRow("%u, %s%s", budget, refined ? "refined" : "octree", alpha ? ", alpha" : "")
                        << budget << refined << alpha;
                }
            }
        }
    }
    void budgetBoundsTheIndices()
    {
        QFETCH(quint32, budget);
        QFETCH(bool, refined);
        QFETCH(int, alpha);
        const Project project = sprites(40);
        GenerationSettings settings = Colors{false, 0, 0, alpha, budget}.settings();
        settings.quantizer = refined ? QuantizerKind::Refined : QuantizerKind::Octree;
        const QByteArray file = artBytes(project, settings);
        const QByteArray indices = indexBytes(file, 1, frameCount(project));
        std::set<int> used;
        for (char index : indices)
            used.insert(quint8(index));
        QVERIFY2(*used.rbegin() < int(budget), qPrintable(QString::number(*used.rbegin())));
        for (int i = int(budget); i < 256; ++i)
            QCOMPARE(entry(file, i), 0u);
        if (budget > 3) // enough colours in the sprites to use most of a small budget
            QVERIFY(used.size() >= budget / 2);
    }

    // The refined palette without a background keeps the window's index-0
    // move; with few colours it is exactly those colours.
    void refinedPalette()
    {
        Project project;
        kestrin::Stage *stage = project.appendStage();
        const quint32 colours[] = {bgr(10, 200, 30), bgr(250, 0, 5), bgr(1, 2, 3), bgr(90, 90, 90)};
        addFrame(stage, image(4, 3, [&](int x, int y) { return colours[(x + y) % 4]; }));
        GenerationSettings settings;
        settings.quantizer = QuantizerKind::Refined;
        const QByteArray exact = artBytes(project, settings);
        QCOMPARE(entry(exact, 0), colours[0] & 0xffffff); // the first pixel's colour at entry 0
        const QByteArray indices = indexBytes(exact, 4, 1);
        for (int i = 0; i < 12; ++i)
            QCOMPARE(entry(exact, quint8(indices[i])), colours[(i % 4 + i / 4) % 4] & 0xffffff);

        // Many colours: the first pixel still gets index 0.
        const Project many = sprites(40);
        const QByteArray reduced = artBytes(many, settings);
        QCOMPARE(int(indexBytes(reduced, 4, frameCount(many))[0]), 0);
    }

    // With a background no entry moves, so every content pixel's index must
    // be its exact nearest among entries 1..budget-1 of the file's palette,
    // whether its colour comes back many times (each distinct colour is then
    // searched once, before mapping) or hardly at all (searched as it comes).
    void refinedMapsEachPixelToItsNearestEntry_data()
    {
        QTest::addColumn<int>("distinct");
        QTest::addColumn<quint32>("budget");
        QTest::addColumn<int>("threads");
        QTest::addColumn<int>("width"); // of each of the 6 frames, 24 pixels high
        // Colours the histogram holds exactly are searched once, before
        // mapping; beyond its bins they are searched as they come.
        QTest::newRow("900 colours, each about 5 times") << 900 << 256u << 1 << 32;
        QTest::newRow("900 colours, each about 5 times, 3 threads") << 900 << 256u << 3 << 32;
        QTest::newRow("900 colours, budget 17") << 900 << 17u << 2 << 32;
        QTest::newRow("4000 colours, about once each") << 4000 << 256u << 2 << 32;
        QTest::newRow("150,000 colours, more than the histogram's bins") << 150000 << 256u << 2 << 1100;
    }
    void refinedMapsEachPixelToItsNearestEntry()
    {
        QFETCH(int, distinct);
        QFETCH(quint32, budget);
        QFETCH(int, threads);
        QFETCH(int, width);
        const quint32 key = 0xff00ff;
        std::vector<quint32> colours;
        quint32 state = 12345;
        for (int i = 0; i < distinct; ++i) {
            state = state * 1103515245u + 12345u;
            colours.push_back(0xff000000u | ((state >> 8) & 0xffffff));
        }
        Project project;
        for (int s = 0; s < 2; ++s) {
            kestrin::Stage *stage = project.appendStage();
            for (int f = 0; f < 3; ++f) {
                addFrame(stage, image(width, 24, [&](int x, int y) {
                    if ((x + y + f) % 11 == 0)
                        return key | 0xff000000u;
                    const size_t at = size_t(x + width * y + width * 24 * (s * 3 + f));
                    return colours[(at * 7919) % colours.size()];
                }));
            }
        }
        GenerationSettings settings = Colors{true, key, 0, 0, budget}.settings();
        settings.quantizer = QuantizerKind::Refined;
        settings.threads = threads;
        const QByteArray file = artBytes(project, settings);
        QVERIFY2(!file.startsWith("failed"), file.constData());
        std::vector<quint8> palette(1024);
        for (int i = 0; i < 256; ++i) {
            const quint32 e = entry(file, i);
            palette[size_t(4 * i)] = quint8(e);
            palette[size_t(4 * i + 1)] = quint8(e >> 8);
            palette[size_t(4 * i + 2)] = quint8(e >> 16);
        }
        const QByteArray indices = indexBytes(file, 1, frameCount(project));
        const std::vector<quint32> pixels = pixelsOf(project);
        QCOMPARE(size_t(indices.size()), pixels.size());
        for (size_t i = 0; i < pixels.size(); ++i) {
            const int expected
                = (pixels[i] & 0xffffff) == key ? 0 : kestrinref::nearestEntryInRange(palette.data(), 1, int(budget), pixels[i]);
            if (quint8(indices[qsizetype(i)]) != expected)
                QFAIL(qPrintable(QStringLiteral("pixel %1 (%2): index %3, nearest %4")
                                     .arg(i)
                                     .arg(pixels[i], 8, 16, QLatin1Char('0'))
                                     .arg(int(quint8(indices[qsizetype(i)])))
                                     .arg(expected)));
        }
    }

    // Error diffusion runs inside each frame only, never touches the
    // background, and spreads the error it makes.
    void ditherStaysInsideFramesAndOffTheBackground()
    {
        GenerationSettings settings = Colors{false, 0, 0, 128, 256}.settings();
        settings.dither = DitherKind::FloydSteinberg;
        settings.paletteFile = dir.filePath("grey.gpl");
        QVERIFY(writeAll(settings.paletteFile, gimpPalette({0xff00ff, 0, 0xffffff})));

        // A flat grey between black and white becomes a mix of both whose
        // mean is near the grey; without diffusion it is one index.
        const QImage grey = flat(32, 32, bgr(64, 64, 64));
        Project flatGrey;
        addFrame(flatGrey.appendStage(), grey);
        const QByteArray mixed = indexBytes(artBytes(flatGrey, settings), 1, 1);
        QCOMPARE(mixed.count(char(0)), 0);
        const double white = double(mixed.count(char(2))) / mixed.size();
        QVERIFY2(white > 0.2 && white < 0.3, qPrintable(QString::number(white)));
        GenerationSettings plain = settings;
        plain.dither = DitherKind::None;
        QCOMPARE(indexBytes(artBytes(flatGrey, plain), 1, 1).count(char(1)), 32 * 32);

        // A frame gives the same bytes alone and after another frame.
        const QImage a = spriteFrame(20, 15, 1), b = spriteFrame(20, 15, 2);
        Project alone, after;
        addFrame(alone.appendStage(), a);
        kestrin::Stage *stage = after.appendStage();
        addFrame(stage, b);
        addFrame(stage, a);
        QCOMPARE(indexBytes(artBytes(after, settings), 1, 2).right(300), indexBytes(artBytes(alone, settings), 1, 1));

        // The colours held by background pixels change nothing.
        Project recoloured;
        addFrame(recoloured.appendStage(), image(20, 15, [&](int x, int y) {
                     const quint32 p = a.pixel(x, y);
                     return p >> 24 < 128 ? (p & 0xff000000u) | 0x00ffffffu : p;
                 }));
        QCOMPARE(artBytes(recoloured, settings), artBytes(alone, settings));
    }

    // Still pixels of an animation (same place, same colour as in the frame
    // before) keep their index: always with the ordered pattern, nearly
    // always with error diffusion, which no longer carries a change through
    // the rest of the frame.
    void stillPixelsKeepTheirIndex_data()
    {
        QTest::addColumn<DitherKind>("dither");
        QTest::addColumn<quint32>("budget");
        QTest::addColumn<double>("allowed"); // % of still pixels that may change
        QTest::newRow("ordered, 256 colours") << DitherKind::Ordered << 256u << 0.0;
        QTest::newRow("ordered, 24 colours") << DitherKind::Ordered << 24u << 0.0;
        QTest::newRow("floyd-steinberg, 256 colours") << DitherKind::FloydSteinberg << 256u << 5.0;
        QTest::newRow("floyd-steinberg, 24 colours") << DitherKind::FloydSteinberg << 24u << 5.0;
    }
    void stillPixelsKeepTheirIndex()
    {
        QFETCH(DitherKind, dither);
        QFETCH(quint32, budget);
        QFETCH(double, allowed);
        const int size = 64, frames = 5;
        Project project;
        kestrin::Stage *stage = project.appendStage();
        for (int f = 0; f < frames; ++f)
            addFrame(stage, swingFrame(size, f));
        GenerationSettings settings = Colors{true, 0xff00ff, 0, 0, budget}.settings();
        settings.quantizer = QuantizerKind::Refined;
        settings.dither = dither;
        const QByteArray indices = indexBytes(artBytes(project, settings), 1, frames);
        const std::vector<quint32> pixels = pixelsOf(project);
        const int area = size * size;
        int still = 0, changed = 0;
        for (int f = 1; f < frames; ++f) {
            for (int i = 0; i < area; ++i) {
                const size_t now = size_t(f * area + i), before = now - size_t(area);
                if (pixels[now] != pixels[before] || (pixels[now] & 0xffffff) == 0xff00ff)
                    continue;
                ++still;
                changed += indices[qsizetype(now)] != indices[qsizetype(before)];
            }
        }
        QVERIFY(still > area);
        QVERIFY2(100.0 * changed / still <= allowed, qPrintable(QStringLiteral("%1 of %2").arg(changed).arg(still)));
    }

    // The ordered pattern belongs to the untrimmed frame: a trimmed frame
    // gives its pixels the indices they get untrimmed.
    void orderedPatternIgnoresTrimming()
    {
        const QImage whole = swingFrame(48, 2);
        GenerationSettings settings = Colors{true, 0xff00ff, 0, 0, 16}.settings();
        settings.quantizer = QuantizerKind::Refined;
        settings.dither = DitherKind::Ordered;
        // Both projects get the same palette: the trimmed frame cuts away key pixels only.
        Project untrimmed, trimmed;
        addFrame(untrimmed.appendStage(), whole);
        kestrin::Frame *frame = addFrame(trimmed.appendStage(), whole);
        QRect content;
        for (int y = 0; y < whole.height(); ++y) {
            for (int x = 0; x < whole.width(); ++x) {
                if ((whole.pixel(x, y) & 0xffffff) != 0xff00ff)
                    content |= QRect(x, y, 1, 1);
            }
        }
        QVERIFY(content.left() > 0 && content.top() > 0);
        frame->workImage = whole.copy(content);
        frame->boundRect = {content.left(), content.top(), content.right() + 1, content.bottom() + 1};
        const QByteArray a = indexBytes(artBytes(untrimmed, settings), 1, 1);
        const QByteArray b = indexBytes(artBytes(trimmed, settings), 1, 1);
        QCOMPARE(b.size(), content.width() * content.height());
        int mixed = 0;
        for (int y = 0; y < content.height(); ++y) {
            for (int x = 0; x < content.width(); ++x) {
                const char inWhole = a[(y + content.top()) * whole.width() + x + content.left()];
                QCOMPARE(int(quint8(b[y * content.width() + x])), int(quint8(inWhole)));
            }
        }
        // The pattern did mix in other entries than the nearest ones.
        settings.dither = DitherKind::None;
        const QByteArray nearest = indexBytes(artBytes(untrimmed, settings), 1, 1);
        for (int i = 0; i < a.size(); ++i)
            mixed += a[i] != nearest[i];
        QVERIFY(mixed > 20);
    }

    // On a smooth gradient with few entries, the ordered pattern stays within
    // 1 dB of no dithering per pixel and shows less banding: seen over 4 x 4
    // blocks, it is clearly closer to the gradient (by more than 1.2 dB).
    void orderedDitherSoftensBanding_data()
    {
        QTest::addColumn<bool>("colour"); // a colour ramp with a made palette, else a grey ramp with 5 greys
        QTest::newRow("grey ramp, 5 greys") << false;
        QTest::newRow("colour ramp, 12 refined colours") << true;
    }
    void orderedDitherSoftensBanding()
    {
        QFETCH(bool, colour);
        const int width = 128, height = 16;
        Project project;
        addFrame(project.appendStage(), image(width, height, [&](int x, int y) {
                     const int g = x * 2;
                     return colour ? bgr(255 - g, g / 2 + y * 4, g) : bgr(g, g, g);
                 }));
        GenerationSettings settings;
        settings.paletteCount = 1;
        if (colour) {
            settings.quantizer = QuantizerKind::Refined;
            settings.colorBudget = 12;
        } else {
            settings.paletteFile = dir.filePath("greys.gpl");
            QVERIFY(writeAll(settings.paletteFile, gimpPalette({0, 0x404040, 0x808080, 0xc0c0c0, 0xffffff})));
        }
        const QByteArray plain = artBytes(project, settings);
        settings.dither = DitherKind::Ordered;
        const QByteArray ordered = artBytes(project, settings);
        const std::vector<quint32> pixels = pixelsOf(project);
        const auto error = [&](const QByteArray &file, int box) {
            return squaredError(file, indexBytes(file, 1, 1), pixels, width, box);
        };
        const double lostDb = 10 * std::log10(error(ordered, 1) / error(plain, 1));
        QVERIFY2(lostDb <= 1.0, qPrintable(QString::number(lostDb)));
        QVERIFY2(error(ordered, 4) < 0.75 * error(plain, 4),
                 qPrintable(QStringLiteral("%1 vs %2").arg(error(ordered, 4)).arg(error(plain, 4))));
    }

    // Every source and mapping gives the same bytes on any number of threads.
    void sameBytesOnAnyThreadCount_data()
    {
        QTest::addColumn<int>("source"); // 0 octree, 1 refined, 2 fixed palette
        QTest::addColumn<DitherKind>("dither");
        QTest::addColumn<int>("alpha");
        for (int source = 0; source < 3; ++source) {
            for (DitherKind dither : kDithers) {
                for (int alpha : {0, 128})
                    QTest::addRow("source %d%s%s", source, ditherSuffix(dither), alpha ? ", alpha" : "")
                        << source << dither << alpha;
            }
        }
    }
    void sameBytesOnAnyThreadCount()
    {
        QFETCH(int, source);
        QFETCH(DitherKind, dither);
        QFETCH(int, alpha);
        // 4 frames of 96 x 96 in a batch: enough pixels to be split.
        Project project;
        kestrin::Stage *stage = project.appendStage();
        for (int f = 0; f < 4; ++f)
            addFrame(stage, spriteFrame(96, 96, f));
        GenerationSettings settings = Colors{false, 0, 0, alpha, 256}.settings();
        settings.quantizer = source == 1 ? QuantizerKind::Refined : QuantizerKind::Octree;
        settings.dither = dither;
        if (source == 2) {
            settings.paletteFile = dir.filePath("threads.gpl");
            std::vector<quint32> colours;
            for (int i = 0; i < 200; ++i)
                colours.push_back(quint32(i * 0x050301) & 0xffffff);
            QVERIFY(writeAll(settings.paletteFile, gimpPalette(colours)));
        }
        settings.threads = 1;
        const QByteArray one = artBytes(project, settings);
        QVERIFY(!one.startsWith("failed"));
        settings.threads = 3;
        QVERIFY(artBytes(project, settings) == one);
    }

    // Content pixels with partial alpha are counted once for the whole run.
    void partialAlphaIsReportedOnce()
    {
        Project project;
        kestrin::Stage *stage = project.appendStage();
        addFrame(stage, image(5, 4, [](int x, int y) {
                     return bgr(x * 40, y * 50, 90, x == 0 ? 0 : x == 1 ? 200 : 255);
                 }));
        addFrame(stage, flat(5, 4, bgr(1, 2, 3)));
        addFrame(stage, image(5, 4, [](int x, int) { return bgr(9, 9, 9, x == 4 ? 254 : 255); }));
        const QString target = dir.filePath("warn.art");
        GenerationSettings settings = Colors{false, 0, 0, 100, 256}.settings();
        kestrin::GenerationOutcome outcome = kestrin::runGeneration(project, settings, target, nullptr);
        QVERIFY(outcome.ok());
        QCOMPARE(outcome.warnings.size(), size_t(1));
        QCOMPARE(outcome.warnings[0].kind, kestrin::GenerationWarning::Kind::MadeOpaque);
        QCOMPARE(outcome.warnings[0].pixels, quint64(4 + 4)); // column 1 of frame 0, column 4 of frame 2
        QCOMPARE(outcome.warnings[0].frames, quint64(2));
        // Without a background alpha is ignored, as by the window.
        outcome = kestrin::runGeneration(project, GenerationSettings(), target, nullptr);
        QVERIFY(outcome.ok());
        QVERIFY(outcome.warnings.empty());
    }

    // Settings the core refuses, before the target is touched.
    void refusedSettings_data()
    {
        QTest::addColumn<GenerationSettings>("settings");
        QTest::addColumn<FailureKind>("kind");
        GenerationSettings s;
        s.colorBudget = 1;
        QTest::newRow("budget 1") << s << FailureKind(kestrin::JobFailure::BadColorSettings);
        s.colorBudget = 257;
        QTest::newRow("budget 257") << s << FailureKind(kestrin::JobFailure::BadColorSettings);
        s = GenerationSettings();
        s.useKey = true;
        s.keyTolerance = 443;
        QTest::newRow("tolerance 443") << s << FailureKind(kestrin::JobFailure::BadColorSettings);
        s = GenerationSettings();
        s.alphaThreshold = 256;
        QTest::newRow("alpha 256") << s << FailureKind(kestrin::JobFailure::BadColorSettings);
        s = GenerationSettings();
        s.threads = -1;
        QTest::newRow("threads -1") << s << FailureKind(kestrin::JobFailure::BadColorSettings);
        s = GenerationSettings();
        s.paletteFile = QStringLiteral("one.gpl");
        s.quantizer = QuantizerKind::Refined;
        QTest::newRow("palette file with a quantizer") << s << FailureKind(kestrin::JobFailure::BadColorSettings);
        s.quantizer = QuantizerKind::Octree;
        s.colorBudget = 16;
        QTest::newRow("palette file with a budget") << s << FailureKind(kestrin::JobFailure::BadColorSettings);
        s.colorBudget = 256;
        s.alphaThreshold = 1;
        QTest::newRow("one entry is not enough besides the background") << s << FailureKind(kestrin::PaletteFailure::PaletteTooSmall);
        s.paletteFile = QStringLiteral("missing.gpl");
        QTest::newRow("missing palette file") << s << FailureKind(kestrin::FileFailure::CannotReadFile);
    }
    void refusedSettings()
    {
        QFETCH(GenerationSettings, settings);
        QFETCH(FailureKind, kind);
        QVERIFY(writeAll(dir.filePath("one.gpl"), gimpPalette({0x123456})));
        if (!settings.paletteFile.isEmpty())
            settings.paletteFile = dir.filePath(settings.paletteFile);
        const Project project = sprites();
        const QString target = dir.filePath("refused.art");
        const kestrin::GenerationOutcome outcome = kestrin::runGeneration(project, settings, target, nullptr);
        QCOMPARE(outcome.failure.kind, kind);
        QVERIFY(!QFile::exists(target));
    }
};

KESTRIN_TEST(TestColors)
#include "tst_colors.moc"
