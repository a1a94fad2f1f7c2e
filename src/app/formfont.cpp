#include "app/formfont.h"

#include <QApplication>
#include <QFontDatabase>

const std::vector<FormFont> &formFontCandidates()
{
    // Narrow faces, because the widths were laid out for a narrower interface
    // font than Linux desktops use: DejaVu Sans cuts texts even at 10 px,
    // Nimbus Sans Narrow at 11 px leaves 10 px or more beside every text
    // ("Frame Rate:" in 61 px is the tightest). 11 px rather than 12: at 12 px
    // the two labels stacked 10 px apart beside the file pattern touch.
    static const std::vector<FormFont> candidates{
        {QStringLiteral("Nimbus Sans Narrow"), 11},
        {QStringLiteral("DejaVu Sans Condensed"), 10},
    };
    return candidates;
}

std::optional<QFont> chooseFormFont()
{
    for (const FormFont &candidate : formFontCandidates()) {
        // Checked first because fontconfig would otherwise substitute any
        // face for a missing family without telling.
        if (!QFontDatabase::hasFamily(candidate.family))
            continue;
        QFont font(candidate.family);
        font.setPixelSize(candidate.pixelSize);
        return font;
    }
    return std::nullopt;
}

bool applyFormFont()
{
    const std::optional<QFont> font = chooseFormFont();
    if (!font) {
        qWarning("kestrin: none of the window's fonts is installed (Nimbus Sans Narrow from fonts-urw-base35, "
                 "DejaVu Sans Condensed); some texts of the window will be cut off");
        return false;
    }
    QApplication::setFont(*font);
    return true;
}
