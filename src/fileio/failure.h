#pragma once

#include <QString>

namespace kestrin {

/** The room of the code that owns a failure kind. */
enum class FailureRoom : quint8 {
    None,     // no failure
    Files,    // fileio: FileFailure
    Frames,   // project: FrameFailure
    Job,      // generate: JobFailure
    Palettes, // palettes: PaletteFailure
    Decode,   // decode: DecodeFailure
};

/** What a job stopped at: a kind of one room. Each room declares its kinds
 *  as an enum of its own next to the code that raises them (FileFailure
 *  below, FrameFailure, JobFailure, PaletteFailure, DecodeFailure), with a
 *  failureRoomOf() overload; a FailureKind is made from any of them and
 *  compares equal to the kind it was made from. Code 0 of a room's enum,
 *  where it has one, means no failure. The core returns these; the
 *  window and the command line word them in their own way. */
class FailureKind
{
public:
    constexpr FailureKind() = default;
    template<typename RoomKind, typename = decltype(failureRoomOf(RoomKind()))>
    constexpr FailureKind(RoomKind kind) // NOLINT: a room's kind is a FailureKind
        : m_room(quint8(kind) == 0 ? FailureRoom::None : failureRoomOf(kind)),
          m_code(quint8(kind))
    {
    }

    constexpr FailureRoom room() const { return m_room; }
    /** True when this is `kind`, of its room. */
    template<typename RoomKind>
    constexpr bool is(RoomKind kind) const
    {
        return *this == FailureKind(kind);
    }
    /** The kind as its room's enum; meaningful when room() is that enum's room. */
    template<typename RoomKind>
    constexpr RoomKind as() const
    {
        return RoomKind(m_code);
    }

    constexpr bool operator==(FailureKind other) const { return m_room == other.m_room && m_code == other.m_code; }
    constexpr bool operator!=(FailureKind other) const { return !(*this == other); }

private:
    FailureRoom m_room = FailureRoom::None;
    quint8 m_code = 0;
};

/** The files' own kinds: writing, reading and naming files, and a job
 *  stopped by the one who started it. */
enum class FileFailure : quint8 {
    CannotCreateFile = 1, // path, reason: the system's
    CannotWriteFile,      // path, reason: the system's
    CannotReadFile,       // path, reason: the system's
    MalformedFile,        // path, reason: what is wrong and where
    OutputIsInput,        // path: an output of the job; reason: the other file of the job it is (an
                          // input, or another output), in words ("the frame file a/b.bmp")
    NameNotExact,         // path: a name that cannot reach the file system exactly as given; reason: why
    Cancelled,            // the one who started the job stopped it; nothing of it was kept
};
constexpr FailureRoom failureRoomOf(FileFailure)
{
    return FailureRoom::Files;
}

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
    FailureKind kind; // none
    FailureStep step = FailureStep::None;
    QString path;   // file or folder concerned; may be empty
    QString reason; // the system's reason (errno text, errorString()) or what is wrong
    qint64 stage = -1;
    qint64 frame = -1;
    qint64 width = 0;
    qint64 height = 0;
    qint64 expected = 0;
    qint64 found = 0;

    explicit operator bool() const { return kind != FailureKind(); }

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
        if (marked.kind != FailureKind())
            marked.step = from;
        return marked;
    }
};

} // namespace kestrin
