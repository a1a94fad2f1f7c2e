#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace kestrin {

/** The append-only diagnostic log.
 *
 *  Each call appends one line "Level(HH:MM:SS):message" to "debug.txt" in the
 *  current working directory and writes the same line to standard output.
 *  The message is a byte string; each byte is taken as the Latin-1 character
 *  of the same code and written to the file in the system locale's encoding,
 *  while standard output receives the bytes unchanged. The file is opened and
 *  closed within the call; when it cannot be opened the file line is lost
 *  silently and standard output is still written. Nothing is reported. */
void Debug(const QByteArray &message);
void Warning(const QByteArray &message);
/** As Debug, with the "Error(" level. When `showBox` is true the installed
 *  error-box handler is called with the message after both lines are written,
 *  and Error returns only when the handler returns. */
void Error(const QByteArray &message, bool showBox);

/** Shows a modal box titled "Brutal error?" with the given body text. The
 *  window installs one; without a handler a requested box is skipped. */
using ErrorBoxHandler = std::function<void(const QString &text)>;
void setErrorBoxHandler(ErrorBoxHandler handler);

} // namespace kestrin
