#pragma once

#include "cli/commandline.h"
#include "cli/console.h"

namespace kestrin::cli {

/** Each runner does one job and returns kestrin-art's exit status
 *  (ExitSuccess or ExitFailure); problems go to `console` naming the file. */

/** Loads the folder, applies the requested passes and writes the .art file. */
[[nodiscard]] int runBuild(const BuildJob &job, Console &console);
/** Checks a sprite file and prints what it holds. */
[[nodiscard]] int runInfo(const InfoJob &job, Console &console);
/** Writes a sprite file's frames, or one sheet, as PNG. */
[[nodiscard]] int runExtract(const ExtractJob &job, Console &console);

} // namespace kestrin::cli
