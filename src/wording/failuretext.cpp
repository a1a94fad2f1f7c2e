#include "wording/failuretext.h"

namespace kestrin {

namespace {

QString mebibytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" MiB");
}

/** "what: reason", or just "what" when there is no reason. */
QString withReason(const QString &what, const QString &reason)
{
    return reason.isEmpty() ? what : what + QStringLiteral(": ") + reason;
}

} // namespace

QString describeFailure(const Failure &f)
{
    switch (f.kind) {
    case FailureKind::None:
        return QString();
    case FailureKind::NoSuchFolder:
        return QStringLiteral("no such folder");
    case FailureKind::NotAFolder:
        return QStringLiteral("not a folder");
    case FailureKind::NoFrameNumber:
        return QStringLiteral("The file-name pattern has no %2 for the frame number: write %2 where the frame "
                              "number goes (walk_%2.png for one numbered sequence) and %1 where the stage number "
                              "goes (camera%1_%2.png for several stages)");
    case FailureKind::NameRepeats:
        return QStringLiteral("The file-name pattern gives the same name to two frames (give the numbers fixed "
                              "widths, or put text between them)");
    case FailureKind::NameNeverChanges:
        return QStringLiteral("Too many stages and frames (the file name does not change with its number, so %1 "
                              "frames would all be this one file)")
            .arg(f.found);
    case FailureKind::TooManyFrames:
        return QStringLiteral("Too many stages and frames (more than %1)").arg(f.expected);
    case FailureKind::RangeTooLarge:
        return QStringLiteral("Range too large to search (the folder cannot be listed to narrow it)");
    case FailureKind::NoStagesFound:
        return withReason(QStringLiteral("No stages found"), f.reason);
    case FailureKind::CannotLoadFrame:
        return withReason(QStringLiteral("Cannot load frame"), f.reason);
    case FailureKind::Cancelled:
        return QStringLiteral("Cancelled");
    case FailureKind::NotEnoughMemory:
        return QStringLiteral("Not enough memory: the decoded frames need %1, at most %2 are available")
            .arg(mebibytes(f.found), mebibytes(f.expected));
    case FailureKind::NoStages:
        return QStringLiteral("No stages found");
    case FailureKind::WrongStageCount:
        return QStringLiteral("Number of stages must be 8 for rotatable Art; there are %1").arg(f.found);
    case FailureKind::BadPaletteCount:
        return QStringLiteral("The palette count must be between 1 and 4; it is %1.").arg(f.found);
    case FailureKind::FrameCountMismatch:
        return QStringLiteral("Number of frames differ in stage %1: expected %2 frames, found %3")
            .arg(f.stage)
            .arg(f.expected)
            .arg(f.found);
    case FailureKind::FrameTooLarge:
        return QStringLiteral("Frame %1 of stage %2 is too large for Art: %3 x %4 pixels (at most %5 per frame).")
            .arg(f.frame)
            .arg(f.stage)
            .arg(f.width)
            .arg(f.height)
            .arg(f.expected);
    case FailureKind::FileTooLarge:
        return QStringLiteral("The Art file would be too large: %1 bytes (at most %2).").arg(f.found).arg(f.expected);
    case FailureKind::CannotCreateFile:
        return withReason(QStringLiteral("cannot create the file"), f.reason);
    case FailureKind::CannotWriteFile:
        return withReason(QStringLiteral("cannot write"), f.reason);
    case FailureKind::CannotReadFile:
        return withReason(QStringLiteral("cannot read"), f.reason);
    case FailureKind::MalformedFile:
        return f.reason;
    case FailureKind::OutputIsInput:
        return QStringLiteral("is the same file as %1; nothing was written").arg(f.reason);
    case FailureKind::NameNotExact:
        return withReason(QStringLiteral("this name cannot be used exactly as given"), f.reason);
    case FailureKind::BadProjectFile:
        return withReason(QStringLiteral("Bad project file"), f.reason);
    case FailureKind::BadColorSettings:
        return f.reason;
    case FailureKind::UnknownPaletteFormat:
        return QStringLiteral("unknown palette format \"%1\" (a palette file ends in .gpl, .pal, .act or .art)")
            .arg(f.reason);
    case FailureKind::PaletteLineError:
        return QStringLiteral("line %1: %2").arg(f.found).arg(f.reason);
    case FailureKind::PaletteByteError:
        return f.found < 0 ? f.reason : QStringLiteral("byte %1: %2").arg(f.found).arg(f.reason);
    case FailureKind::PaletteTooLarge:
        return QStringLiteral("the palette has %1 entries, more than %2").arg(f.found).arg(f.expected);
    case FailureKind::PaletteTooSmall:
        return QStringLiteral("the palette has %1 entries; this job needs at least %2 (entry 0 is the background's)")
            .arg(f.found)
            .arg(f.expected);
    }
    return QString();
}

QString failureKindName(FailureKind kind)
{
    switch (kind) {
    case FailureKind::None:
        return QStringLiteral("none");
    case FailureKind::NoSuchFolder:
        return QStringLiteral("no-such-folder");
    case FailureKind::NotAFolder:
        return QStringLiteral("not-a-folder");
    case FailureKind::NoFrameNumber:
        return QStringLiteral("no-frame-number");
    case FailureKind::NameRepeats:
        return QStringLiteral("name-repeats");
    case FailureKind::NameNeverChanges:
        return QStringLiteral("name-never-changes");
    case FailureKind::TooManyFrames:
        return QStringLiteral("too-many-frames");
    case FailureKind::RangeTooLarge:
        return QStringLiteral("range-too-large");
    case FailureKind::NoStagesFound:
        return QStringLiteral("no-stages-found");
    case FailureKind::CannotLoadFrame:
        return QStringLiteral("cannot-load-frame");
    case FailureKind::NotEnoughMemory:
        return QStringLiteral("not-enough-memory");
    case FailureKind::NoStages:
        return QStringLiteral("no-stages");
    case FailureKind::WrongStageCount:
        return QStringLiteral("wrong-stage-count");
    case FailureKind::BadPaletteCount:
        return QStringLiteral("bad-palette-count");
    case FailureKind::FrameCountMismatch:
        return QStringLiteral("frame-count-mismatch");
    case FailureKind::FrameTooLarge:
        return QStringLiteral("frame-too-large");
    case FailureKind::FileTooLarge:
        return QStringLiteral("file-too-large");
    case FailureKind::CannotCreateFile:
        return QStringLiteral("cannot-create-file");
    case FailureKind::CannotWriteFile:
        return QStringLiteral("cannot-write-file");
    case FailureKind::CannotReadFile:
        return QStringLiteral("cannot-read-file");
    case FailureKind::MalformedFile:
        return QStringLiteral("malformed-file");
    case FailureKind::OutputIsInput:
        return QStringLiteral("output-is-input");
    case FailureKind::NameNotExact:
        return QStringLiteral("name-not-exact");
    case FailureKind::BadProjectFile:
        return QStringLiteral("bad-project-file");
    case FailureKind::BadColorSettings:
        return QStringLiteral("bad-color-settings");
    case FailureKind::UnknownPaletteFormat:
        return QStringLiteral("unknown-palette-format");
    case FailureKind::PaletteLineError:
        return QStringLiteral("palette-line-error");
    case FailureKind::PaletteByteError:
        return QStringLiteral("palette-byte-error");
    case FailureKind::PaletteTooLarge:
        return QStringLiteral("palette-too-large");
    case FailureKind::PaletteTooSmall:
        return QStringLiteral("palette-too-small");
    case FailureKind::Cancelled:
        return QStringLiteral("cancelled");
    }
    return QString();
}

} // namespace kestrin
