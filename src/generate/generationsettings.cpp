#include "generate/generationsettings.h"

namespace kestrin {

namespace {

// Every value of each enum, in its order; a value added to an enum must be
// added here to be offered by the front ends.
constexpr QuantizerKind kQuantizers[] = {QuantizerKind::Octree, QuantizerKind::Refined};
constexpr DitherKind kDithers[] = {DitherKind::None, DitherKind::Ordered, DitherKind::FloydSteinberg};

template<typename Kind, size_t N>
std::optional<Kind> named(const Kind (&all)[N], const QString &name, QString (*nameOf)(Kind))
{
    for (Kind kind : all) {
        if (nameOf(kind) == name)
            return kind;
    }
    return std::nullopt;
}

} // namespace

std::optional<quint32> parseKeyColor(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 3)
        return std::nullopt;
    quint32 rgb = 0;
    for (const QString &part : parts) {
        bool ok = false;
        const int value = part.trimmed().toInt(&ok, 10);
        if (!ok || value < 0 || value > 255)
            return std::nullopt;
        rgb = rgb << 8 | quint32(value);
    }
    return rgb;
}

QString keyColorText(quint32 rgb)
{
    return QStringLiteral("%1,%2,%3").arg(rgb >> 16 & 0xff).arg(rgb >> 8 & 0xff).arg(rgb & 0xff);
}

QString quantizerName(QuantizerKind kind)
{
    switch (kind) {
    case QuantizerKind::Octree:
        return QStringLiteral("octree");
    case QuantizerKind::Refined:
        return QStringLiteral("refined");
    }
    return QString();
}

QString ditherName(DitherKind kind)
{
    switch (kind) {
    case DitherKind::None:
        return QStringLiteral("none");
    case DitherKind::Ordered:
        return QStringLiteral("ordered");
    case DitherKind::FloydSteinberg:
        return QStringLiteral("floyd-steinberg");
    }
    return QString();
}

QStringList quantizerNames()
{
    QStringList names;
    for (QuantizerKind kind : kQuantizers)
        names.append(quantizerName(kind));
    return names;
}

QStringList ditherNames()
{
    QStringList names;
    for (DitherKind kind : kDithers)
        names.append(ditherName(kind));
    return names;
}

std::optional<QuantizerKind> quantizerNamed(const QString &name)
{
    return named(kQuantizers, name, &quantizerName);
}

std::optional<DitherKind> ditherNamed(const QString &name)
{
    return named(kDithers, name, &ditherName);
}

} // namespace kestrin
