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

namespace {

QString describeFiles(const Failure &f)
{
    switch (f.kind.as<FileFailure>()) {
    case FileFailure::CannotCreateFile:
        return withReason(QStringLiteral("cannot create the file"), f.reason);
    case FileFailure::CannotWriteFile:
        return withReason(QStringLiteral("cannot write"), f.reason);
    case FileFailure::CannotReadFile:
        return withReason(QStringLiteral("cannot read"), f.reason);
    case FileFailure::MalformedFile:
        return f.reason;
    case FileFailure::OutputIsInput:
        return QStringLiteral("is the same file as %1; nothing was written").arg(f.reason);
    case FileFailure::NameNotExact:
        return withReason(QStringLiteral("this name cannot be used exactly as given"), f.reason);
    case FileFailure::Cancelled:
        return QStringLiteral("Cancelled");
    }
    return QString();
}

QString describeFrames(const Failure &f)
{
    switch (f.kind.as<FrameFailure>()) {
    case FrameFailure::NoSuchFolder:
        return QStringLiteral("no such folder");
    case FrameFailure::NotAFolder:
        return QStringLiteral("not a folder");
    case FrameFailure::NoFrameNumber:
        return QStringLiteral("The file-name pattern has no %2 for the frame number: write %2 where the frame "
                              "number goes (walk_%2.png for one numbered sequence) and %1 where the stage number "
                              "goes (camera%1_%2.png for several stages)");
    case FrameFailure::NameRepeats:
        return QStringLiteral("The file-name pattern gives the same name to two frames (give the numbers fixed "
                              "widths, or put text between them)");
    case FrameFailure::NameNeverChanges:
        return QStringLiteral("Too many stages and frames (the file name does not change with its number, so %1 "
                              "frames would all be this one file)")
            .arg(f.found);
    case FrameFailure::TooManyFrames:
        return QStringLiteral("Too many stages and frames (more than %1)").arg(f.expected);
    case FrameFailure::RangeTooLarge:
        return QStringLiteral("Range too large to search (the folder cannot be listed to narrow it)");
    case FrameFailure::NoStagesFound:
        return withReason(QStringLiteral("No stages found"), f.reason);
    case FrameFailure::CannotLoadFrame:
        return withReason(QStringLiteral("Cannot load frame"), f.reason);
    case FrameFailure::NotEnoughMemory:
        return QStringLiteral("Not enough memory: the decoded frames need %1, at most %2 are available")
            .arg(mebibytes(f.found), mebibytes(f.expected));
    }
    return QString();
}

QString describeJob(const Failure &f)
{
    switch (f.kind.as<JobFailure>()) {
    case JobFailure::NoStages:
        return QStringLiteral("No stages found");
    case JobFailure::WrongStageCount:
        return QStringLiteral("Number of stages must be 8 for rotatable Art; there are %1").arg(f.found);
    case JobFailure::BadPaletteCount:
        return QStringLiteral("The palette count must be between 1 and 4; it is %1.").arg(f.found);
    case JobFailure::FrameCountMismatch:
        return QStringLiteral("Number of frames differ in stage %1: expected %2 frames, found %3")
            .arg(f.stage)
            .arg(f.expected)
            .arg(f.found);
    case JobFailure::FrameTooLarge:
        return QStringLiteral("Frame %1 of stage %2 is too large for Art: %3 x %4 pixels (at most %5 per frame).")
            .arg(f.frame)
            .arg(f.stage)
            .arg(f.width)
            .arg(f.height)
            .arg(f.expected);
    case JobFailure::FileTooLarge:
        return QStringLiteral("The Art file would be too large: %1 bytes (at most %2).").arg(f.found).arg(f.expected);
    case JobFailure::BadProjectFile:
        return withReason(QStringLiteral("Bad project file"), f.reason);
    case JobFailure::BadColorSettings:
        return f.reason;
    }
    return QString();
}

QString describePalettes(const Failure &f)
{
    switch (f.kind.as<PaletteFailure>()) {
    case PaletteFailure::UnknownPaletteFormat:
        return QStringLiteral("unknown palette format \"%1\" (a palette file ends in .gpl, .pal, .act or .art)")
            .arg(f.reason);
    case PaletteFailure::PaletteLineError:
        return QStringLiteral("line %1: %2").arg(f.found).arg(f.reason);
    case PaletteFailure::PaletteByteError:
        return f.found < 0 ? f.reason : QStringLiteral("byte %1: %2").arg(f.found).arg(f.reason);
    case PaletteFailure::PaletteTooLarge:
        return QStringLiteral("the palette has %1 entries, more than %2").arg(f.found).arg(f.expected);
    case PaletteFailure::PaletteTooSmall:
        return QStringLiteral("the palette has %1 entries; this job needs at least %2 (entry 0 is the background's)")
            .arg(f.found)
            .arg(f.expected);
    }
    return QString();
}

QString decodeKindName(DecodeFailure kind)
{
    // As failureText words them, joined by hyphens: "not-an-image".
    return failureText(kind).replace(QLatin1Char(' '), QLatin1Char('-'));
}

QString fileKindName(FileFailure kind)
{
    switch (kind) {
    case FileFailure::CannotCreateFile:
        return QStringLiteral("cannot-create-file");
    case FileFailure::CannotWriteFile:
        return QStringLiteral("cannot-write-file");
    case FileFailure::CannotReadFile:
        return QStringLiteral("cannot-read-file");
    case FileFailure::MalformedFile:
        return QStringLiteral("malformed-file");
    case FileFailure::OutputIsInput:
        return QStringLiteral("output-is-input");
    case FileFailure::NameNotExact:
        return QStringLiteral("name-not-exact");
    case FileFailure::Cancelled:
        return QStringLiteral("cancelled");
    }
    return QString();
}

QString frameKindName(FrameFailure kind)
{
    switch (kind) {
    case FrameFailure::NoSuchFolder:
        return QStringLiteral("no-such-folder");
    case FrameFailure::NotAFolder:
        return QStringLiteral("not-a-folder");
    case FrameFailure::NoFrameNumber:
        return QStringLiteral("no-frame-number");
    case FrameFailure::NameRepeats:
        return QStringLiteral("name-repeats");
    case FrameFailure::NameNeverChanges:
        return QStringLiteral("name-never-changes");
    case FrameFailure::TooManyFrames:
        return QStringLiteral("too-many-frames");
    case FrameFailure::RangeTooLarge:
        return QStringLiteral("range-too-large");
    case FrameFailure::NoStagesFound:
        return QStringLiteral("no-stages-found");
    case FrameFailure::CannotLoadFrame:
        return QStringLiteral("cannot-load-frame");
    case FrameFailure::NotEnoughMemory:
        return QStringLiteral("not-enough-memory");
    }
    return QString();
}

QString jobKindName(JobFailure kind)
{
    switch (kind) {
    case JobFailure::NoStages:
        return QStringLiteral("no-stages");
    case JobFailure::WrongStageCount:
        return QStringLiteral("wrong-stage-count");
    case JobFailure::BadPaletteCount:
        return QStringLiteral("bad-palette-count");
    case JobFailure::FrameCountMismatch:
        return QStringLiteral("frame-count-mismatch");
    case JobFailure::FrameTooLarge:
        return QStringLiteral("frame-too-large");
    case JobFailure::FileTooLarge:
        return QStringLiteral("file-too-large");
    case JobFailure::BadProjectFile:
        return QStringLiteral("bad-project-file");
    case JobFailure::BadColorSettings:
        return QStringLiteral("bad-color-settings");
    }
    return QString();
}

QString paletteKindName(PaletteFailure kind)
{
    switch (kind) {
    case PaletteFailure::UnknownPaletteFormat:
        return QStringLiteral("unknown-palette-format");
    case PaletteFailure::PaletteLineError:
        return QStringLiteral("palette-line-error");
    case PaletteFailure::PaletteByteError:
        return QStringLiteral("palette-byte-error");
    case PaletteFailure::PaletteTooLarge:
        return QStringLiteral("palette-too-large");
    case PaletteFailure::PaletteTooSmall:
        return QStringLiteral("palette-too-small");
    }
    return QString();
}

} // namespace

QString describeFailure(const Failure &f)
{
    switch (f.kind.room()) {
    case FailureRoom::None:
        return QString();
    case FailureRoom::Files:
        return describeFiles(f);
    case FailureRoom::Frames:
        return describeFrames(f);
    case FailureRoom::Job:
        return describeJob(f);
    case FailureRoom::Palettes:
        return describePalettes(f);
    case FailureRoom::Decode:
        return withReason(failureText(f.kind.as<DecodeFailure>()), f.reason);
    }
    return QString();
}

QString failureKindName(FailureKind kind)
{
    switch (kind.room()) {
    case FailureRoom::None:
        return QStringLiteral("none");
    case FailureRoom::Files:
        return fileKindName(kind.as<FileFailure>());
    case FailureRoom::Frames:
        return frameKindName(kind.as<FrameFailure>());
    case FailureRoom::Job:
        return jobKindName(kind.as<JobFailure>());
    case FailureRoom::Palettes:
        return paletteKindName(kind.as<PaletteFailure>());
    case FailureRoom::Decode:
        return decodeKindName(kind.as<DecodeFailure>());
    }
    return QString();
}

} // namespace kestrin
