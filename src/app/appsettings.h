#pragma once

#include "generate/generationsettings.h"

#include <QString>
#include <QStringList>
#include <QVariant>

/** What the window remembers between sessions, in the user's configuration
 *  folder ($XDG_CONFIG_HOME/kestrin/kestrin.conf). The form's own fields are
 *  not remembered: they start the same at every start. */
namespace appsettings {

/** The folder the file dialog `dialog` last used ("folder", "frame",
 *  "target", ...), or `fallback` when none was recorded. */
[[nodiscard]] QString lastFolder(const QString &dialog, const QString &fallback);
/** Records the folder of `path` (or `path` itself when it is a folder) as
 *  the one `dialog` starts in next time. An empty path records nothing. */
void rememberFolder(const QString &dialog, const QString &path);

/** The colour fields of the settings (key, tolerance, alpha threshold,
 *  budget, quantizer, dithering, palette file); every other field keeps its
 *  default. A stored value the core would refuse is read as its default. */
[[nodiscard]] kestrin::GenerationSettings colourOptions();
void setColourOptions(const kestrin::GenerationSettings &settings);

/** Sprite files written or opened, the latest first, at most kMaxRecent. */
constexpr int kMaxRecent = 10;
[[nodiscard]] QStringList recentSprites();
void addRecentSprite(const QString &path);

/** Any other remembered value, e.g. the viewer's "viewer/zoom" and
 *  "viewer/background", in the same store. */
[[nodiscard]] QVariant value(const QString &key, const QVariant &fallback = QVariant());
void setValue(const QString &key, const QVariant &value);

} // namespace appsettings
