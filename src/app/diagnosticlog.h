#pragma once

#include <QByteArray>

namespace kestrin {

/** Appends one line "Error(HH:MM:SS):message" to the window's diagnostic log,
 *  "debug.txt" in the current working directory, and writes the same line to
 *  standard output.
 *
 *  The message is a byte string; each byte is taken as the Latin-1 character
 *  of the same code and written to the file in the system locale's encoding,
 *  while standard output receives the bytes unchanged. The file is opened and
 *  closed within the call; when it cannot be opened the file line is lost
 *  silently and standard output is still written. Nothing is reported. */
void logError(const QByteArray &message);

} // namespace kestrin
