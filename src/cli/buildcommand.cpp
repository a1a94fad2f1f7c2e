// kestrin-art build: a folder of numbered frames to one .art file, through
// the same loader, frame passes and generation run as the window.
#include "cli/commands.h"

#include "artfile/generationrun.h"
#include "frameutil/boundrect.h"
#include "frameutil/transparency.h"
#include "project/filenamerule.h"

#include <QFileInfo>

namespace kestrin::cli {

namespace {

QString withoutLogPrefix(const QByteArray &message)
{
    QString text = QString::fromLatin1(message);
    if (text.startsWith(QLatin1String("GenFile: ")))
        text.remove(0, 9);
    return text;
}

/** Builds the project from the scan result in the loader's order: stages in
 *  increasing number, each frame appended and then loaded. Without writing
 *  the window's diagnostic log, a frame that does not load is reported on
 *  standard error instead. */
bool loadScannedFrames(const FolderScan &scan, Project &project, Console &console)
{
    qint64 total = 0;
    for (const FoundStage &found : scan.stages)
        total += found.framePaths.size();
    qint64 done = 0;
    for (const FoundStage &found : scan.stages) {
        Stage *stage = project.appendStage();
        for (const QString &path : found.framePaths) {
            console.progress(QStringLiteral("Loading frames... %1/%2").arg(done).arg(total),
                             int(total ? done * 100 / total : 100));
            if (!loadFrame(*stage->appendFrame(), path)) {
                console.error(path, QStringLiteral("Cannot load frame: not an image, unreadable or too large"));
                return false;
            }
            ++done;
        }
    }
    console.endProgress();
    return true;
}

/** "8 stages of 16 frames", or "3 stages of 4, 4, 3 frames" when they differ. */
QString describeStages(const Project &project)
{
    QStringList counts;
    bool equal = true;
    for (quint32 s = 0; s < project.stageCount; ++s) {
        counts.append(QString::number(project.stages[s]->frameCount));
        equal = equal && project.stages[s]->frameCount == project.stages[0]->frameCount;
    }
    return QStringLiteral("%1 stage(s) of %2 frame(s)")
        .arg(project.stageCount)
        .arg(equal ? counts.value(0) : counts.join(QStringLiteral(", ")));
}

void printFound(const BuildJob &job, const Project &project, Console &console)
{
    quint64 frames = 0;
    quint64 pixels = 0;
    for (const auto &stage : project.stages) {
        frames += stage->frameCount;
        for (const auto &frame : stage->frames)
            pixels += quint64(frame->workImage.width()) * quint64(frame->workImage.height());
    }
    console.note(QStringLiteral("Found %1 in %2: %3 frames, %4 pixels to write")
                     .arg(describeStages(project), job.source.folder, QString::number(frames),
                          QString::number(pixels)));
}

GenerationSettings settingsOf(const BuildJob &job)
{
    GenerationSettings settings;
    settings.frameRate = job.frameRate;
    settings.hitFrame = job.hitFrame;
    settings.paletteCount = job.paletteCount;
    settings.rotatable = job.rotatable ? 1 : 0;
    return settings;
}

int failed(const BuildJob &job, Console &console)
{
    console.error(job.target, QStringLiteral("Generation failed!"));
    return ExitFailure;
}

} // namespace

int runBuild(const BuildJob &job, Console &console)
{
    const QFileInfo folder(job.folderArgument);
    if (!folder.exists()) {
        console.error(job.folderArgument, QStringLiteral("no such folder"));
        return ExitFailure;
    }
    if (!folder.isDir()) {
        console.error(job.folderArgument, QStringLiteral("not a folder"));
        return ExitFailure;
    }

    const FolderScan scan = scanFolder(job.source);
    if (!scan.error.isEmpty()) {
        console.error(job.source.folder, withoutLogPrefix(scan.error));
        return ExitFailure;
    }
    if (scan.stages.isEmpty()) {
        console.error(job.source.folder,
                      QStringLiteral("No stages found: no stage number from %1 up to %2 (exclusive) has a file "
                                     "for frame number %3; the first name tried was %4")
                          .arg(QString::number(job.source.stageMin), QString::number(job.source.stageMax),
                               QString::number(job.source.frameMin),
                               frameFileName(job.source.pattern, job.source.stageMin, job.source.stageWidth,
                                             job.source.frameMin, job.source.frameWidth)));
        return ExitFailure;
    }
    Project project;
    if (!loadScannedFrames(scan, project, console))
        return ExitFailure;

    // As the window's Apply with "Apply bound rectangle" checked: the
    // transparency pass runs too and, unchecked, makes every pixel opaque.
    // (Colour reduction ignores alpha, so a transparent key colour would not
    // change the file; there is no option for it.)
    if (job.trim) {
        (void)applyBoundRect(project, true);
        (void)applyTransparency(project, false, 0);
    }
    printFound(job, project, console);

    int lastValue = 0;
    const GenerationResult result =
        runGeneration(project, settingsOf(job), job.target, [&](const QString &text, int value) {
            if (value >= 0)
                lastValue = value;
            console.progress(text, lastValue);
        });
    console.endProgress();
    if (result.showBox) {
        // The target message names the file itself; the others are about the
        // project found in the folder.
        if (result.boxText.startsWith(QLatin1String("Cannot create output file")))
            console.error(result.boxText);
        else
            console.error(job.source.folder, result.boxText);
        return failed(job, console);
    }
    if (!result.writeError.isEmpty()) {
        console.error(job.target, QStringLiteral("cannot write: ") + result.writeError);
        return failed(job, console);
    }
    if (!result.ok)
        return failed(job, console);
    console.note(QStringLiteral("Generation successful! Wrote %1 (%2 bytes)")
                     .arg(job.target, QString::number(QFileInfo(job.target).size())));
    return ExitSuccess;
}

} // namespace kestrin::cli
