#pragma once

// What a finished job tells the programs around it: a JSON report for
// scripts, and a dependency file for build systems.

#include "fileio/failure.h"
#include "generate/generation.h"
#include "wording/failuretext.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace kestrin {

/** The outcome of a job as one JSON object:
 *
 *    target, ok, bytes, type ("static" or "rotatable"), stages,
 *    framesPerStage, palettes, colors (palette entries produced),
 *    frames: [{stage, frame, file, width, height, centerX, centerY,
 *              sourceWidth, sourceHeight, trim: {left, top, width, height}}],
 *    inputs: [every file the job read, in the order read],
 *    warnings: [{kind, pixels, frames}, or {kind, hitFrame, framesPerStage}],
 *    timingsMs: {load, reduce, map, write},
 *    version: the program's version,
 *    settings: `settings` as given (left out when empty): every option as the job used it,
 *    error: {kind, path, message}   (only when the job failed)
 *
 *  Counts are what the job was asked to make as far as it got; `bytes` is 0
 *  unless the file was written. Times are milliseconds to the microsecond.
 *  `kind` is failureKindName(), `message` describeFailure(). */
[[nodiscard]] QJsonObject buildReport(const GenerationOutcome &outcome, const QString &target,
                                      const QJsonObject &settings = {});

/** The name of a warning's kind, as scripts read it ("made-opaque"). */
[[nodiscard]] QString warningKindName(GenerationWarning::Kind kind);

/** The first byte of `name` that no quoting lets both GNU make and ninja
 *  read back as it is (a line break, a tab, one of ;|="&'*<>?^`, a
 *  backslash at the end, and '%' in a `target`), or '\0' when there is none. */
[[nodiscard]] char unquotableByte(const QByteArray &name, bool target = false);

/** `name` quoted for a Make rule that make and ninja both read back as the
 *  same name: a space gets a backslash, and every backslash just before it
 *  is doubled; '#' becomes "\#", ':' becomes "\:" and '$' becomes "$$";
 *  every other byte, other backslashes included, stays as it is. Nothing
 *  for a name that holds an unquotableByte(). */
[[nodiscard]] std::optional<QByteArray> makeQuoted(const QByteArray &name, bool target = false);

/** The Make rule "TARGET: INPUT INPUT ...", one input per line after the
 *  first with a backslash continuation, ending in a line break. Names are
 *  taken as the file system spells them (QFile::encodeName) and quoted with
 *  makeQuoted. Fails with CannotWriteFile, its path `depfile`, when a name
 *  cannot be quoted, saying which character. */
[[nodiscard]] Failure dependencyRule(const QString &depfile, const QString &target, const QStringList &inputs,
                                     QByteArray *rule);

/** Writes dependencyRule() as the file `depfile` through saveFile: checked
 *  to the end and put in place only when complete, so an existing file is
 *  either replaced whole or left as it was. */
[[nodiscard]] Failure writeDepfile(const QString &depfile, const QString &target, const QStringList &inputs);

} // namespace kestrin
