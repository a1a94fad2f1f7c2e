#pragma once

// The options of a build and the values each accepts, in one place for
// every front end that reads them: the command line's flags and the project
// file's keys (the same names in camelCase).

#include "generate/generationsettings.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace kestrin {

/** A whole-number option and the values it accepts. */
struct NumberOption {
    const char *option; // the command line's long option, "stage-min"
    qint64 min;
    qint64 max;
};

/** The rule of the number option `option` (long name), or null. Stage and
 *  frame bounds accept -2^31..2^32-1: a negative bound is read as an
 *  unsigned 32-bit number, as the window reads it, so -1 means "every
 *  number". */
[[nodiscard]] const NumberOption *numberOption(QStringView option);

/** The words option `option` ("type", "quantizer", "dither") accepts, in
 *  the order help texts list them; empty for any other option. */
[[nodiscard]] QStringList optionChoices(QStringView option);

/** The project file's key for a long option: "stage-min" -> "stageMin". */
[[nodiscard]] QString keyOfOption(const QString &option);
/** The long option of a project file key: "stageMin" -> "stage-min". */
[[nodiscard]] QString optionOfKey(const QString &key);

/** A rule between options that a set of options breaks. */
struct OptionConflict {
    enum Kind {
        Needs,     // `option` is given without `other`
        Excludes,  // `option` is given together with `other`
        EmptyName, // `option` names a file with an empty name
    } kind
        = Needs;
    QString option; // long name of the option at fault
    QString other;  // long name of the other option, for Needs and Excludes
};

/** The first rule that the colour options break, given which long options
 *  are set (`given`) and the palette file name: key-tolerance needs key;
 *  palette names a file and excludes colors and quantizer. */
[[nodiscard]] std::optional<OptionConflict> colorOptionConflict(const std::function<bool(const char *)> &given,
                                                                const QString &paletteFile);

} // namespace kestrin
