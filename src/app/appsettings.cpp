#include "app/appsettings.h"

#include <QFileInfo>
#include <QSettings>

namespace appsettings {

namespace {

QSettings store()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("kestrin"),
                     QStringLiteral("kestrin"));
}

/** The stored whole number under `key` when it lies in min..max, else `fallback`. */
int number(const QSettings &settings, const QString &key, int min, int max, int fallback)
{
    bool ok = false;
    const int value = settings.value(key).toInt(&ok);
    return ok && value >= min && value <= max ? value : fallback;
}

} // namespace

QString lastFolder(const QString &dialog, const QString &fallback)
{
    const QString folder = store().value(QStringLiteral("dialogs/") + dialog).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : fallback;
}

void rememberFolder(const QString &dialog, const QString &path)
{
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    store().setValue(QStringLiteral("dialogs/") + dialog, info.isDir() ? info.absoluteFilePath() : info.absolutePath());
}

kestrin::GenerationSettings colourOptions()
{
    const QSettings settings = store();
    kestrin::GenerationSettings options;
    const std::optional<quint32> key = kestrin::parseKeyColor(settings.value(QStringLiteral("colour/key")).toString());
    options.useKey = key.has_value();
    options.keyColor = key.value_or(0);
    if (options.useKey)
        options.keyTolerance = number(settings, QStringLiteral("colour/keyTolerance"), 0, kestrin::kMaxKeyTolerance, 0);
    options.alphaThreshold
        = number(settings, QStringLiteral("colour/alphaThreshold"), 0, kestrin::kMaxAlphaThreshold, 0);
    options.colorBudget = quint32(number(settings, QStringLiteral("colour/colors"), int(kestrin::kMinColorBudget),
                                         int(kestrin::kMaxColorBudget), int(kestrin::kMaxColorBudget)));
    options.quantizer = kestrin::quantizerNamed(settings.value(QStringLiteral("colour/quantizer")).toString())
                            .value_or(kestrin::QuantizerKind::Octree);
    options.dither = kestrin::ditherNamed(settings.value(QStringLiteral("colour/dither")).toString())
                         .value_or(kestrin::DitherKind::None);
    options.paletteFile = settings.value(QStringLiteral("colour/palette")).toString();
    if (!options.paletteFile.isEmpty()) {
        // A palette file fixes the colours: no budget, no quantizer.
        options.colorBudget = kestrin::kMaxColorBudget;
        options.quantizer = kestrin::QuantizerKind::Octree;
    }
    return options;
}

void setColourOptions(const kestrin::GenerationSettings &options)
{
    QSettings settings = store();
    settings.setValue(QStringLiteral("colour/key"),
                      options.useKey ? kestrin::keyColorText(options.keyColor) : QString());
    settings.setValue(QStringLiteral("colour/keyTolerance"), options.keyTolerance);
    settings.setValue(QStringLiteral("colour/alphaThreshold"), options.alphaThreshold);
    settings.setValue(QStringLiteral("colour/colors"), options.colorBudget);
    settings.setValue(QStringLiteral("colour/quantizer"), kestrin::quantizerName(options.quantizer));
    settings.setValue(QStringLiteral("colour/dither"), kestrin::ditherName(options.dither));
    settings.setValue(QStringLiteral("colour/palette"), options.paletteFile);
}

QStringList recentSprites()
{
    return store().value(QStringLiteral("recent/sprites")).toStringList().mid(0, kMaxRecent);
}

void addRecentSprite(const QString &path)
{
    if (path.isEmpty())
        return;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList recent = recentSprites();
    recent.removeAll(absolute);
    recent.prepend(absolute);
    store().setValue(QStringLiteral("recent/sprites"), recent.mid(0, kMaxRecent));
}

QVariant value(const QString &key, const QVariant &fallback)
{
    return store().value(key, fallback);
}

void setValue(const QString &key, const QVariant &value)
{
    store().setValue(key, value);
}

} // namespace appsettings
