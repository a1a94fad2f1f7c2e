#pragma once

#include <QtGlobal>

namespace kestrin {

/** Which pixels are background (written as palette index 0, the index the
 *  game shows as see-through). Pixels are 32-bit ARGB words with straight,
 *  not premultiplied, colour.
 *
 *  A pixel is background when its alpha is below `alphaThreshold`, or when
 *  `useKey` is set and its colour lies at Euclidean RGB distance at most
 *  `keyTolerance` from `keyColor`. Every other pixel is content and counts as
 *  opaque with its own colour, whatever its alpha. With neither rule on,
 *  nothing is background. */
struct BackgroundRule {
    bool useKey = false;
    quint32 keyColor = 0;   // 0x00RRGGBB
    int keyTolerance = 0;   // 0..442; 442 covers the whole RGB cube
    int alphaThreshold = 0; // 0..255; 0 makes no pixel background by its alpha

    bool enabled() const { return useKey || alphaThreshold > 0; }

    bool isBackground(quint32 pixel) const
    {
        if (int(pixel >> 24) < alphaThreshold)
            return true;
        if (!useKey)
            return false;
        const int db = int(pixel & 0xff) - int(keyColor & 0xff);
        const int dg = int((pixel >> 8) & 0xff) - int((keyColor >> 8) & 0xff);
        const int dr = int((pixel >> 16) & 0xff) - int((keyColor >> 16) & 0xff);
        return db * db + dg * dg + dr * dr <= keyTolerance * keyTolerance;
    }

    /** A content pixel whose alpha is not 255: it is written as opaque. */
    bool isMadeOpaque(quint32 pixel) const { return pixel < 0xff000000u && !isBackground(pixel); }

    /** The colour written as palette entry 0: the key, or black without one. */
    quint32 entryColor() const { return useKey ? keyColor & 0xffffff : 0; }
};

} // namespace kestrin
