#include "generate/buildoptions.h"

#include "artfile/artformat.h"
#include "project/filenamerule.h"

#include <iterator>

namespace kestrin {

namespace {

constexpr qint64 kU32 = 0xffffffffLL;
constexpr qint64 kI32Min = -0x80000000LL;

// The window's spin boxes bound rate, hit frame and palettes; the same
// bounds apply everywhere.
const NumberOption kNumberOptions[] = {
    {"stage-min", 0, kU32},
    {"stage-max", kI32Min, kU32},
    {"stage-width", -kMaxFieldWidth, kMaxFieldWidth},
    {"frame-min", 0, kU32},
    {"frame-max", kI32Min, kU32},
    {"frame-width", -kMaxFieldWidth, kMaxFieldWidth},
    {"frame-rate", 0, 99},
    {"hit-frame", 0, 99},
    {"palettes", art::kMinPaletteCount, art::kMaxPaletteCount},
    {"key-tolerance", 0, kMaxKeyTolerance},
    {"alpha-threshold", kMinAlphaThreshold, kMaxAlphaThreshold},
    {"colors", kMinColorBudget, kMaxColorBudget},
    {"threads", 1, 1024},
};

} // namespace

const NumberOption *numberOption(QStringView option)
{
    for (const NumberOption &rule : kNumberOptions) {
        if (option == QLatin1String(rule.option))
            return &rule;
    }
    return nullptr;
}

QStringList optionChoices(QStringView option)
{
    if (option == QLatin1String("type"))
        return {QStringLiteral("static"), QStringLiteral("rotatable")};
    if (option == QLatin1String("quantizer"))
        return quantizerNames();
    if (option == QLatin1String("dither"))
        return ditherNames();
    return {};
}

QString keyOfOption(const QString &option)
{
    QString key;
    bool upper = false;
    for (const QChar c : option) {
        if (c == QLatin1Char('-')) {
            upper = true;
            continue;
        }
        key += upper ? c.toUpper() : c;
        upper = false;
    }
    return key;
}

QString optionOfKey(const QString &key)
{
    QString option;
    for (const QChar c : key) {
        if (c.isUpper())
            option += QLatin1Char('-') + QString(c.toLower());
        else
            option += c;
    }
    return option;
}

std::optional<OptionConflict> colorOptionConflict(const std::function<bool(const char *)> &given,
                                                  const QString &paletteFile)
{
    if (given("key-tolerance") && !given("key"))
        return OptionConflict{OptionConflict::Needs, QStringLiteral("key-tolerance"), QStringLiteral("key")};
    if (!given("palette"))
        return std::nullopt;
    if (paletteFile.isEmpty())
        return OptionConflict{OptionConflict::EmptyName, QStringLiteral("palette"), QString()};
    for (const char *other : {"colors", "quantizer"}) {
        if (given(other))
            return OptionConflict{OptionConflict::Excludes, QStringLiteral("palette"), QLatin1String(other)};
    }
    return std::nullopt;
}

} // namespace kestrin
