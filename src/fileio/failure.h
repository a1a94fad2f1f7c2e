#pragma once

#include <QString>

namespace kestrin {

/** What stopped a job. The core returns one of these; the window and the
 *  command line each word it in their own way. */
enum class FailureKind {
    None,

    // Finding and reading the frames of a folder.
    NoSuchFolder,     // path: the folder given
    NoFrameNumber,    // path: the pattern, which has no %2 for the frame number
    NameRepeats,      // path: the file name that two frames of the pattern share
    NotAFolder,       // path: the folder given
    NameNeverChanges, // path: the one file every number names; found: how many frames that would make
    TooManyFrames,    // path: folder + pattern; expected: the limit
    RangeTooLarge,    // path: folder + pattern of the range that cannot be listed
    NoStagesFound,    // path: the folder; reason: the first name tried
    CannotLoadFrame,  // path: the frame file; reason: why it did not decode
    NotEnoughMemory,  // path: the folder; found: bytes the frames need, expected: bytes available

    // Checks of a project before anything is written.
    NoStages,           // the project has no stage at all
    WrongStageCount,    // a rotatable sprite without 8 stages; found: the stage count
    BadPaletteCount,    // found: the palette count asked for (1..4 allowed)
    FrameCountMismatch, // stage: the first stage that differs; expected: stage 0's count; found: its count
    FrameTooLarge,      // stage, frame, width, height; expected: the largest pixel count a frame may hold
    FileTooLarge,       // found: the file size it would have; expected: the largest the format allows

    // Files.
    CannotCreateFile, // path, reason: the system's
    CannotWriteFile,  // path, reason: the system's
    CannotReadFile,   // path, reason: the system's
    MalformedFile,    // path, reason: what is wrong and where
    OutputIsInput,    // path: an output of the job; reason: the other file of the job it is (an
                      // input, or another output), in words ("the frame file a/b.bmp")
    NameNotExact,     // path: a name that cannot reach the file system exactly as given; reason: why
    BadProjectFile,   // path: the project file; reason: the key and what is wrong with it

    // Colour settings and palette files.
    BadColorSettings,     // reason: which setting and what is wrong with it
    UnknownPaletteFormat, // path: the palette file; reason: its suffix
    PaletteLineError,     // path, reason; found: the line (from 1) of a text palette
    PaletteByteError,     // path, reason; found: the byte offset in a binary palette, -1 when the reason says where
    PaletteTooLarge,      // path; found: the number of entries (more than expected = 256)
    PaletteTooSmall,      // path; found: the number of entries; expected: the fewest the job needs

    // The one who started the job stopped it; nothing of it was kept.
    Cancelled,
};

/** The part of a job a failure came from. The front ends choose from it
 *  what a failure is about and whether anything was generated at all. */
enum class FailureStep {
    None,    // not marked; only a failure made outside the steps below
    Find,    // finding which files a pattern names and whether they fit in memory: about the folder as a whole
    Load,    // reading a named input: the folder, a frame file, the project file
    Check,   // checking the settings and the project before anything is written
    Palette, // the colour settings and the palette file they name
    Output,  // looking at, creating and writing the target and the job's other outputs
};

/** A failure: its kind, the step it came from, the file or folder it
 *  concerns and the reason the system (or the check) gave. The numeric fields carry what a front end
 *  needs for its message; only those named for the kind are meaningful. The
 *  words for people and scripts are the front ends' (wording/failuretext.h). */
struct Failure {
    FailureKind kind = FailureKind::None;
    FailureStep step = FailureStep::None;
    QString path;   // file or folder concerned; may be empty
    QString reason; // the system's reason (errno text, errorString()) or what is wrong
    qint64 stage = -1;
    qint64 frame = -1;
    qint64 width = 0;
    qint64 height = 0;
    qint64 expected = 0;
    qint64 found = 0;

    explicit operator bool() const { return kind != FailureKind::None; }

    static Failure of(FailureKind kind, const QString &path = QString(), const QString &reason = QString())
    {
        Failure failure;
        failure.kind = kind;
        failure.path = path;
        failure.reason = reason;
        return failure;
    }

    /** This failure, marked as coming from `from`; no failure stays unmarked. */
    [[nodiscard]] Failure at(FailureStep from) const
    {
        Failure marked = *this;
        if (marked.kind != FailureKind::None)
            marked.step = from;
        return marked;
    }
};

} // namespace kestrin
