#pragma once

#include <QFont>
#include <QString>

#include <optional>
#include <vector>

/** A typeface and pixel size for the window's text. */
struct FormFont {
    QString family; // as fontconfig names it, without a foundry
    int pixelSize;  // pixels, so the text scales with the form's pixel geometry, not with the DPI
};

/** The faces the form's fixed geometry was measured with, best first. Each
 *  one shows every label, group-box title, button, check box and radio
 *  button text of the form whole, with at least 4 px to spare at the right,
 *  in the Fusion style at scale factor 1. The first comes from the Debian
 *  package fonts-urw-base35, which the .deb depends on. */
const std::vector<FormFont> &formFontCandidates();

/** The first candidate whose family is installed, as a font; nothing when
 *  none is. */
[[nodiscard]] std::optional<QFont> chooseFormFont();

/** Makes chooseFormFont() the application font. Call once, after the
 *  QApplication exists and before any widget is made. Without an installed
 *  candidate the font stays Qt's default and a warning goes to standard
 *  error. Returns whether a candidate was set. */
bool applyFormFont();
