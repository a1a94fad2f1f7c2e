#include "project/folderloader.h"

#include "decode/imagedecoder.h"
#include "fileio/failure.h"
#include "project/decodequeue.h"
#include "project/filenamerule.h"
#include "project/framefailure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <limits>
#include <optional>
#include <system_error>
#include <vector>

#ifdef Q_OS_WIN
#include <filesystem>
#include <fstream>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestrin {

NameStatus lookAtName(const QString &path)
{
    NameStatus status;
    if (path.isEmpty() || path.contains(QChar(0)))
        return status;
#ifdef Q_OS_WIN
    std::ifstream in(std::filesystem::path(path.toStdWString()));
    status.state = in.is_open() ? NameStatus::Present : NameStatus::Missing;
    return status;
#else
    // Looked at, never opened: opening a FIFO waits for a writer.
    const QByteArray name = QFile::encodeName(path);
    struct stat info {
    };
    if (::stat(name.constData(), &info) != 0) {
        const int error = errno;
        // Only a name that is not there is missing; a link to nothing, a
        // loop of links or a folder that may not be searched hides a file
        // that the pattern names.
        if (error == ENOTDIR || error == ENAMETOOLONG)
            return status;
        if (error == ENOENT) {
            if (::lstat(name.constData(), &info) != 0)
                return status;
            status.reason = QStringLiteral("a symbolic link to a file that does not exist");
        } else {
            status.reason = QString::fromStdString(std::generic_category().message(error));
        }
        status.state = NameStatus::Unreadable;
        return status;
    }
    status.state = NameStatus::Present;
    if (!S_ISREG(info.st_mode))
        return status; // a FIFO, device or folder: loading it is what fails
    // Readable with the rights an open would use (the effective IDs).
    if (::faccessat(AT_FDCWD, name.constData(), R_OK, AT_EACCESS) != 0) {
        status.state = NameStatus::Unreadable;
        status.reason = QString::fromStdString(std::generic_category().message(errno));
    }
    return status;
#endif
}

namespace {

// Ranges this short are probed one by one; listing a folder does not pay off.
constexpr quint64 kShortRange = 64;

bool isSeparator(QChar c)
{
#ifdef Q_OS_WIN
    return c == QLatin1Char('/') || c == QLatin1Char('\\');
#else
    return c == QLatin1Char('/');
#endif
}

/** Start positions of every occurrence of the marker that QString::arg would
 *  replace in `text` (the lowest-numbered one), found with the same scan. */
std::vector<qsizetype> lowestMarkerStarts(const QString &text)
{
    std::vector<qsizetype> starts;
    int lowest = 1000;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int number = argMarkerAt(text, i);
        if (number == -1)
            continue;
        if (number < lowest) {
            lowest = number;
            starts.clear();
        }
        if (number == lowest)
            starts.push_back(i);
    }
    return starts;
}

/** True when digits put in place of the lowest marker of `text` could join a
 *  '%' (or "%L", "%<digit>", "%L<digit>") right before it and so change which
 *  markers a later QString::arg sees. */
bool digitsMayFormMarkers(const QString &text)
{
    auto at = [&](qsizetype i) { return i >= 0 ? text[i] : QChar(); };
    for (qsizetype p : lowestMarkerStarts(text)) {
        const QChar c1 = at(p - 1), c2 = at(p - 2), c3 = at(p - 3);
        const bool pct1 = c1 == QLatin1Char('%');
        const bool pctL = c1 == QLatin1Char('L') && c2 == QLatin1Char('%');
        const bool pctDigit
            = c1.digitValue() != -1 && (c2 == QLatin1Char('%') || (c2 == QLatin1Char('L') && c3 == QLatin1Char('%')));
        if (pct1 || pctL || pctDigit)
            return true;
    }
    return false;
}

/** Length of the number text put into a name: the digits, padded to |width|. */
int numberTextLength(quint32 number, int width)
{
    const int digits = static_cast<int>(QString::number(number).size());
    return std::max(digits, std::abs(std::clamp(width, -kMaxFieldWidth, kMaxFieldWidth)));
}

/** The entries of one folder, read once per scan. */
struct Listing {
    enum State { Missing, Unreadable, Listed } state = Missing;
    QStringList names;
};

class ListingCache
{
public:
    const Listing &get(const QString &folder)
    {
        auto it = m_cache.find(folder);
        if (it == m_cache.end())
            it = m_cache.insert(folder, read(folder));
        return *it;
    }

private:
    static Listing read(const QString &folder)
    {
        const QString dirPath = folder.isEmpty() ? QStringLiteral(".") : folder;
        const QFileInfo info(dirPath);
        Listing listing;
        if (!info.isDir()) // nothing can be opened below a path that is no folder
            return listing;
        if (!info.isReadable()) {
            listing.state = Listing::Unreadable;
            return listing;
        }
        listing.state = Listing::Listed;
        listing.names = QDir(dirPath).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                                QDir::Unsorted);
        return listing;
    }

    QHash<QString, Listing> m_cache;
};

/** One numbered axis of the search: the path of number n is
 *  folder + finish(argNumber(text, n, width)). */
struct Axis {
    QString folder;
    QString text;
    int width = 0;
    std::function<QString(const QString &)> finish; // the later substitution, or identity
    bool finishParsesMarkers = false;               // finish runs QString::arg again

    QString pathOf(quint32 n) const { return folder + finish(argNumber(text, n, width)); }
};

/** A character that appears neither in the folder nor in the text. */
QChar freeSentinel(const Axis &axis)
{
    char16_t code = 0xE000; // private use area
    while (axis.folder.contains(QChar(code)) || axis.text.contains(QChar(code)))
        ++code;
    return QChar(code);
}

/** Numbers whose number text equals `digits` for the axis width. */
void numbersFor(const QString &digits, int width, quint32 lo, quint32 hi, std::vector<quint32> &out)
{
    // Candidates are the whole text and every prefix followed only by the
    // padding '0's; each is kept only if it formats back to exactly `digits`.
    for (qsizetype k = digits.size(); k >= 1; --k) {
        bool ok = false;
        const qulonglong value = digits.left(k).toULongLong(&ok);
        if (!ok || value > 0xFFFFFFFFull)
            continue;
        const auto n = static_cast<quint32>(value);
        if (n >= lo && n < hi && argNumber(QStringLiteral("%1"), n, width) == digits)
            out.push_back(n);
        if (digits[k - 1] != QLatin1Char('0'))
            break; // shorter prefixes would leave a non-zero digit as padding
    }
}

/** Candidate numbers in [lo, hi) read off the folder listing: every number
 *  whose file exists is among them. False when the axis does not allow this
 *  (digits could alter later markers, or the folder cannot be listed). */
bool candidatesFromListing(const Axis &axis, quint32 lo, quint32 hi, ListingCache &cache, std::vector<quint32> &out)
{
    if (axis.finishParsesMarkers && digitsMayFormMarkers(axis.text))
        return false;
    const QChar sentinel = freeSentinel(axis);
    const int shortest = numberTextLength(lo, axis.width);
    const int longest = numberTextLength(hi - 1, axis.width);
    QString parent;
    for (int length = shortest; length <= longest; ++length) {
        // The path with the number text replaced by `length` sentinels; the
        // component holding the first of them is what the folder must list.
        const QString shape = axis.folder + axis.finish(axis.text.arg(QString(length, sentinel)));
        const qsizetype first = shape.indexOf(sentinel);
        if (first < 0)
            return false;
        qsizetype begin = first;
        while (begin > 0 && !isSeparator(shape[begin - 1]))
            --begin;
        qsizetype end = first;
        while (end < shape.size() && !isSeparator(shape[end]))
            ++end;
        if (length == shortest)
            parent = shape.left(begin);
        else if (shape.left(begin) != parent)
            return false;

        const Listing &listing = cache.get(parent);
        if (listing.state == Listing::Unreadable)
            return false;
        const QString component = shape.mid(begin, end - begin);
        const qsizetype offset = first - begin;
        for (const QString &name : listing.names) {
            if (name.size() != component.size())
                continue;
            bool fits = true;
            for (qsizetype i = 0; i < name.size() && fits; ++i) {
                if (component[i] == sentinel)
                    fits = name[i] >= QLatin1Char('0') && name[i] <= QLatin1Char('9');
                else // case-insensitive folders match names that differ in case
                    fits = name[i].toCaseFolded() == component[i].toCaseFolded();
            }
            if (fits)
                numbersFor(name.mid(offset, length), axis.width, lo, hi, out);
        }
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return true;
}

QString describe(const Axis &axis)
{
    return axis.folder + axis.text;
}

/** The numbers n in [lo, hi) whose path exists, increasing. False with
 *  `failure` set when the search is refused; `budget` caps the result size. */
bool findPresent(const Axis &axis, quint32 lo, quint32 hi, ScanMethod method, quint64 budget, ListingCache &cache,
                 std::vector<quint32> &present, Failure &failure)
{
    present.clear();
    if (lo >= hi)
        return true;
    const quint64 count = quint64(hi) - lo;
    // True when number n is there; a name that is there but cannot be read
    // ends the search with CannotLoadFrame, never a shorter project.
    auto probe = [&](quint32 n, bool &there) {
        const QString path = axis.pathOf(n);
        const NameStatus status = lookAtName(path);
        if (status.state == NameStatus::Unreadable) {
            failure = Failure::of(FailureKind(kestrin::FrameFailure::CannotLoadFrame), path, status.reason);
            return false;
        }
        there = status.state == NameStatus::Present;
        return true;
    };
    auto keepIfThere = [&](quint32 n) {
        bool there = false;
        if (!probe(n, there))
            return false;
        if (there)
            present.push_back(n);
        return true;
    };
    auto probeEach = [&](quint32 from, quint32 to) {
        for (quint32 n = from; n < to; ++n) { // n < to <= 2^32 - 1, so ++n never wraps
            if (!keepIfThere(n))
                return false;
        }
        return true;
    };
    if (method == ScanMethod::ProbeEach || count <= kShortRange)
        return probeEach(lo, hi);
    if (!hasArgMarker(axis.text)) {
        // Every number gives the same path: one probe answers for all.
        bool there = false;
        if (!probe(lo, there))
            return false;
        if (!there)
            return true;
        if (count > budget) {
            failure = Failure::of(FailureKind(kestrin::FrameFailure::NameNeverChanges), axis.pathOf(lo))
                          .at(FailureStep::Find);
            failure.found = qint64(count);
            return false;
        }
        present.reserve(count);
        for (quint64 n = lo; n < hi; ++n)
            present.push_back(static_cast<quint32>(n));
        return true;
    }
    std::vector<quint32> candidates;
    if (candidatesFromListing(axis, lo, hi, cache, candidates))
        return std::all_of(candidates.begin(), candidates.end(), keepIfThere);
    if (count > kMaxProbesPerRange) {
        failure = Failure::of(FailureKind(kestrin::FrameFailure::RangeTooLarge), describe(axis)).at(FailureStep::Find);
        return false;
    }
    return probeEach(lo, hi);
}

} // namespace

namespace {

/** The one stage of a pattern whose only number is the frame number: every
 *  frame number in range whose file exists, under stage number stageMin. */
void scanFramesOnly(const FolderPattern &p, ScanMethod method, ListingCache &cache, FolderScan &scan)
{
    const Axis frameAxis{p.folder, p.pattern, p.frameWidth, [](const QString &t) { return t; }, false};
    std::vector<quint32> frameNumbers;
    if (!findPresent(frameAxis, p.frameMin, p.frameMax, method, kMaxFramesPerLoad, cache, frameNumbers, scan.failure))
        return;
    if (frameNumbers.empty())
        return;
    FoundStage stage;
    stage.number = p.stageMin;
    for (quint32 f : frameNumbers)
        stage.framePaths.append(frameAxis.pathOf(f));
    scan.stages.append(std::move(stage));
}

/** NameRepeats naming the first path that two frames of the scan share. */
Failure repeatedName(const FolderScan &scan)
{
    QSet<QString> seen;
    for (const FoundStage &found : scan.stages) {
        for (const QString &path : found.framePaths) {
            if (seen.contains(path))
                return Failure::of(FailureKind(kestrin::FrameFailure::NameRepeats), path);
            seen.insert(path);
        }
    }
    return Failure();
}

FolderScan scanStagesAndFrames(const FolderPattern &p, ScanMethod method);

} // namespace

FolderScan scanFolder(const FolderPattern &p, ScanMethod method)
{
    FolderScan scan;
    // Refused before anything is looked at: without a frame number every
    // frame of a stage would be one file.
    const PatternShape shape = patternShape(p.pattern);
    if (shape == PatternShape::NoFrameNumber) {
        scan.failure = Failure::of(FailureKind(kestrin::FrameFailure::NoFrameNumber), p.pattern).at(FailureStep::Find);
        return scan;
    }
    if (shape == PatternShape::FramesOnly) {
        ListingCache cache;
        scanFramesOnly(p, method, cache, scan);
    } else {
        scan = scanStagesAndFrames(p, method);
    }
    if (!scan.failure)
        scan.failure = repeatedName(scan);
    if (scan.failure)
        scan.stages.clear();
    return scan;
}

namespace {

FolderScan scanStagesAndFrames(const FolderPattern &p, ScanMethod method)
{
    FolderScan scan;
    ListingCache cache;
    const Axis stageAxis{p.folder, p.pattern, p.stageWidth,
                         [&p](const QString &t) { return argNumber(t, p.frameMin, p.frameWidth); }, true};
    std::vector<quint32> stageNumbers;
    if (!findPresent(stageAxis, p.stageMin, p.stageMax, method, kMaxFramesPerLoad, cache, stageNumbers, scan.failure))
        return scan;

    quint64 total = stageNumbers.size();
    std::vector<quint32> frameNumbers;
    for (quint32 s : stageNumbers) {
        const Axis frameAxis{p.folder, argNumber(p.pattern, s, p.stageWidth), p.frameWidth,
                             [](const QString &t) { return t; }, false};
        const quint64 budget = kMaxFramesPerLoad - std::min(total, kMaxFramesPerLoad);
        if (!findPresent(frameAxis, p.frameMin, p.frameMax, method, budget, cache, frameNumbers, scan.failure)) {
            scan.stages.clear();
            return scan;
        }
        total += frameNumbers.size();
        if (method != ScanMethod::ProbeEach && total > kMaxFramesPerLoad) {
            scan.stages.clear();
            scan.failure = Failure::of(FailureKind(kestrin::FrameFailure::TooManyFrames), describe(frameAxis))
                               .at(FailureStep::Find);
            scan.failure.expected = qint64(kMaxFramesPerLoad);
            return scan;
        }
        FoundStage stage;
        stage.number = s;
        stage.framePaths.reserve(static_cast<qsizetype>(frameNumbers.size()));
        for (quint32 f : frameNumbers)
            stage.framePaths.append(frameAxis.pathOf(f));
        scan.stages.append(std::move(stage));
    }
    return scan;
}

/** NoStagesFound, saying which numbers and which first name were tried. */
Failure noStagesFound(const FolderPattern &p)
{
    if (patternShape(p.pattern) == PatternShape::FramesOnly) {
        return Failure::of(FailureKind(kestrin::FrameFailure::NoStagesFound), p.folder,
                           QStringLiteral("no frame number from %1 up to %2 (exclusive) has a file; the first name "
                                          "tried was %3")
                               .arg(QString::number(p.frameMin), QString::number(p.frameMax),
                                    argNumber(p.pattern, p.frameMin, p.frameWidth)));
    }
    return Failure::of(FailureKind(kestrin::FrameFailure::NoStagesFound), p.folder,
                       QStringLiteral("no stage number from %1 up to %2 (exclusive) has a file for frame number %3; "
                                      "the first name tried was %4")
                           .arg(QString::number(p.stageMin), QString::number(p.stageMax), QString::number(p.frameMin),
                                frameFileName(p.pattern, p.stageMin, p.stageWidth, p.frameMin, p.frameWidth)));
}

/** Bytes of address space in use now, or 0 when that cannot be read. */
quint64 addressSpaceInUse()
{
#ifdef Q_OS_LINUX
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (statm.open(QIODevice::ReadOnly))
        return statm.readLine().split(' ').value(0).toULongLong() * quint64(sysconf(_SC_PAGESIZE));
#endif
    return 0;
}

#ifdef Q_OS_LINUX
/** The first number in the file at `path`, or nothing ("max", unreadable). */
std::optional<quint64> numberIn(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const quint64 value = file.read(64).trimmed().toULongLong(&ok);
    return ok ? std::optional<quint64>(value) : std::nullopt;
}

/** What the system could still give without swapping: MemAvailable. */
std::optional<quint64> memAvailable()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray &line : meminfo.readAll().split('\n')) {
        if (line.startsWith("MemAvailable:"))
            return line.mid(13).trimmed().split(' ').value(0).toULongLong() * 1024;
    }
    return std::nullopt;
}

/** What the memory limits of the process's control group and of every
 *  group above it still leave, or nothing when no limit is set. */
std::optional<quint64> cgroupRoom()
{
    QFile groups(QStringLiteral("/proc/self/cgroup"));
    if (!groups.open(QIODevice::ReadOnly))
        return std::nullopt;
    std::optional<quint64> room;
    const auto limitAt = [&](const QString &folder, const char *maxName, const char *usedName) {
        const std::optional<quint64> max = numberIn(folder + QLatin1String(maxName));
        if (!max)
            return;
        const quint64 used = numberIn(folder + QLatin1String(usedName)).value_or(0);
        const quint64 left = *max > used ? *max - used : 0;
        room = room ? std::min(*room, left) : left;
    };
    for (const QByteArray &line : groups.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(':');
        if (fields.size() < 3)
            continue;
        const bool v2 = fields[0] == "0" && fields[1].isEmpty();
        const bool v1 = fields[1].split(',').contains("memory");
        if (!v1 && !v2)
            continue;
        const QString base = v2 ? QStringLiteral("/sys/fs/cgroup") : QStringLiteral("/sys/fs/cgroup/memory");
        QString group = QString::fromUtf8(fields.mid(2).join(':'));
        for (;;) {
            const QString folder = base + (group == QLatin1String("/") ? QString() : group) + QLatin1Char('/');
            if (v2)
                limitAt(folder, "memory.max", "memory.current");
            else
                limitAt(folder, "memory.limit_in_bytes", "memory.usage_in_bytes");
            if (group.isEmpty() || group == QLatin1String("/"))
                break;
            group = group.left(std::max<qsizetype>(group.lastIndexOf(QLatin1Char('/')), 1));
        }
    }
    return room;
}
#endif

/** Bytes the process can still hold: the least of what the system has
 *  available (MemAvailable, else the physical memory), what the control
 *  group's memory limits leave and what the address-space limit leaves. */
quint64 availableMemory()
{
#ifdef Q_OS_WIN
    return std::numeric_limits<quint64>::max();
#else
    quint64 available = quint64(sysconf(_SC_PHYS_PAGES)) * quint64(sysconf(_SC_PAGESIZE));
#ifdef Q_OS_LINUX
    if (const std::optional<quint64> free = memAvailable())
        available = std::min(available, *free);
    if (const std::optional<quint64> room = cgroupRoom())
        available = std::min(available, *room);
#endif
    struct rlimit limit;
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const quint64 used = addressSpaceInUse();
        available = std::min<quint64>(available, limit.rlim_cur > used ? limit.rlim_cur - used : 0);
    }
    return available;
#endif
}

/** Memory kept free for everything besides the decoded frames: decoding
 *  itself and the generation. */
constexpr quint64 kMemoryReserve = quint64(64) << 20;

/** NotEnoughMemory when `files` would not fit at the load's peak: each
 *  decoded to 32-bit pixels (sizes from the files' headers; a file whose
 *  size cannot be read counts as empty and fails when it is decoded) and
 *  held `copies` times, plus the bytes of the largest files that `threads`
 *  decoders read into memory at once. */
Failure checkMemory(const QStringList &files, const QString &folder, int copies, int threads)
{
    quint64 decoded = 0;
    std::vector<quint64> fileBytes;
    fileBytes.reserve(size_t(files.size()));
    for (const QString &path : files) {
        // The probe never opens a FIFO.
        const SizeProbe probe = probeImageFile(path);
        if (probe.ok() && probe.size.isValid())
            decoded += quint64(probe.size.width()) * quint64(probe.size.height()) * 4;
        // The probe's own look at the file gives its length; only a file it
        // could not open is looked at again.
        struct stat status {
        };
        if (probe.fileBytes >= 0)
            fileBytes.push_back(std::min<quint64>(quint64(probe.fileBytes), quint64(kMaxImageFileBytes)));
        else if (::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode))
            fileBytes.push_back(std::min<quint64>(quint64(status.st_size), quint64(kMaxImageFileBytes)));
    }
    const size_t readers = std::min(fileBytes.size(), size_t(std::max(1, threads)));
    std::partial_sort(fileBytes.begin(), fileBytes.begin() + qsizetype(readers), fileBytes.end(), std::greater<>());
    quint64 reading = 0;
    for (size_t i = 0; i < readers; ++i)
        reading += fileBytes[i];
    const quint64 needed = decoded * quint64(std::max(1, copies)) + reading;
    const quint64 available = availableMemory();
    if (needed + kMemoryReserve <= available)
        return Failure();
    Failure failure = Failure::of(FailureKind(kestrin::FrameFailure::NotEnoughMemory), folder).at(FailureStep::Find);
    failure.found = qint64(std::min<quint64>(needed, quint64(std::numeric_limits<qint64>::max())));
    failure.expected = qint64(available > kMemoryReserve ? available - kMemoryReserve : 0);
    return failure;
}

/** The distinct files of a scan in the order the load first needs them, and
 *  where each frame path is in that list. */
struct DistinctFiles {
    QStringList files;
    QHash<QString, qsizetype> indexOf;
};

DistinctFiles distinctFiles(const FolderScan &scan)
{
    DistinctFiles distinct;
    for (const FoundStage &found : scan.stages) {
        for (const QString &path : found.framePaths) {
            if (distinct.indexOf.contains(path))
                continue;
            distinct.indexOf.insert(path, distinct.files.size());
            distinct.files.append(path);
        }
    }
    return distinct;
}

} // namespace

int decodingThreads(int requested)
{
    return requested > 0 ? requested : std::max(1, QThread::idealThreadCount());
}

Failure loadFolder(Project &project, const FolderPattern &pattern, const LoadOptions &options)
{
    const FolderScan scan = scanFolder(pattern);
    if (scan.failure)
        return scan.failure;
    // One decode per distinct file: a name that repeats (a pattern whose
    // name does not change with its number) shares one image.
    const DistinctFiles distinct = distinctFiles(scan);
    const int threads = decodingThreads(options.threads);
    if (const Failure memory = checkMemory(distinct.files, pattern.folder, options.copiesPerFrame, threads))
        return memory;
    quint64 total = 0;
    for (const FoundStage &found : scan.stages)
        total += quint64(found.framePaths.size());

    DecodeQueue decoded(distinct.files, threads);
    quint64 done = 0;
    for (const FoundStage &found : scan.stages) {
        Stage *stage = project.appendStage();
        for (const QString &path : found.framePaths) {
            // The frame joins the stage before it is loaded, so a file that
            // fails leaves an empty frame behind, as the last one.
            Frame *frame = stage->appendFrame();
            const DecodeQueue::Loaded &loaded = decoded.take(distinct.indexOf.value(path));
            if (!loaded.ok) {
                frame->failedFile = path;
                frame->failedReason = loaded.result.message();
                return Failure::of(FailureKind(kestrin::FrameFailure::CannotLoadFrame), path, frame->failedReason);
            }
            *frame = loaded.frame;
            if (options.frameLoaded)
                options.frameLoaded(*frame);
            if (options.progress)
                options.progress(++done, total);
            if (options.cancel && options.cancel->load())
                return Failure::of(FailureKind(kestrin::FileFailure::Cancelled), pattern.folder);
        }
    }
    if (project.stageCount == 0)
        return noStagesFound(pattern).at(FailureStep::Find);
    return Failure();
}

Failure loadFolder(Project &project, const FolderPattern &pattern, const LoadProgress &progress)
{
    LoadOptions options;
    options.progress = progress;
    return loadFolder(project, pattern, options);
}

} // namespace kestrin
