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
    {"stage-min", 0, kU32},    {"stage-max", kI32Min, kU32}, {"stage-width", -kMaxFieldWidth, kMaxFieldWidth},
    {"frame-min", 0, kU32},    {"frame-max", kI32Min, kU32}, {"frame-width", -kMaxFieldWidth, kMaxFieldWidth},
    {"frame-rate", 0, 99},     {"hit-frame", 0, 99},         {"palettes", art::kMinPaletteCount, art::kMaxPaletteCount},
    {"key-tolerance", 0, 442}, {"alpha-threshold", 1, 255},  {"colors", 2, 256},
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
        return {QStringLiteral("octree"), QStringLiteral("refined")};
    if (option == QLatin1String("dither"))
        return {QStringLiteral("none"), QStringLiteral("ordered"), QStringLiteral("floyd-steinberg")};
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

QuantizerKind quantizerNamed(QStringView name)
{
    return name == QLatin1String("refined") ? QuantizerKind::Refined : QuantizerKind::Octree;
}

DitherKind ditherNamed(QStringView name)
{
    if (name == QLatin1String("ordered"))
        return DitherKind::Ordered;
    return name == QLatin1String("floyd-steinberg") ? DitherKind::FloydSteinberg : DitherKind::None;
}

QString quantizerName(QuantizerKind kind)
{
    return kind == QuantizerKind::Refined ? QStringLiteral("refined") : QStringLiteral("octree");
}

QString ditherName(DitherKind kind)
{
    switch (kind) {
    case DitherKind::Ordered:
        return QStringLiteral("ordered");
    case DitherKind::FloydSteinberg:
        return QStringLiteral("floyd-steinberg");
    case DitherKind::None:
        break;
    }
    return QStringLiteral("none");
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
