// kestrin-art build: a folder of numbered frames to one .art file, through
// the same loader, frame passes and generation as the window.
#include "cli/commands.h"

#include "cli/buildreport.h"
#include "fileio/failure.h"
#include "fileio/fileidentity.h"
#include "fileio/outputfile.h"
#include "generate/generation.h"
#include "generate/projectfile.h"
#include "project/framefailure.h"
#include "wording/failuretext.h"

#include <QFileInfo>
#include <QJsonDocument>

namespace kestrin::cli {

namespace {

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
                     .arg(describeStages(project), job.frames ? job.project : job.source.folder,
                          QString::number(frames), QString::number(pixels)));
}

/** What the progress line says during a step. */
QString stepText(GenerationStep step)
{
    static const char *const texts[] = {
        "no stages",            // NoStages
        "checking the project", // Preparing
        "reducing colours",     // Reducing
        "placing index 0",      // FixingIndices
        "writing",              // Writing
        "finishing",            // CleaningUp
        "done",                 // Completed
    };
    return QString::fromLatin1(texts[int(step)]);
}

/** Says once that content pixels lost their partial alpha, and how the
 *  alpha threshold decides it; and that a hit frame lies beyond the frames. */
void reportWarnings(const BuildJob &job, const GenerationOutcome &outcome, Console &console)
{
    for (const GenerationWarning &warning : outcome.warnings) {
        if (warning.kind == GenerationWarning::Kind::HitFrameBeyond) {
            console.error(QStringLiteral("warning"),
                          QStringLiteral("the hit frame %1 is not below the %2 frame(s) per stage; it is written "
                                         "as given")
                              .arg(warning.hitFrame)
                              .arg(warning.frames));
            continue;
        }
        if (warning.kind != GenerationWarning::Kind::MadeOpaque)
            continue;
        const QString rule = job.colors.alphaThreshold > 0
            ? QStringLiteral("only alpha below %1 makes a pixel background").arg(job.colors.alphaThreshold)
            : QStringLiteral("--alpha-threshold A makes pixels with alpha below A background");
        console.error(QStringLiteral("warning"),
                      QStringLiteral("%1 pixel(s) in %2 frame(s) were not fully opaque and were written opaque (%3)")
                          .arg(warning.pixels)
                          .arg(warning.frames)
                          .arg(rule));
    }
}

/** The file or folder a failure is about: the file it names, or the folder
 *  for problems of the project as a whole. */
QString failureSubject(const BuildJob &job, const Failure &failure)
{
    const bool aboutProject = failure.step == FailureStep::Find || failure.step == FailureStep::Check;
    return aboutProject || failure.path.isEmpty() ? job.source.folder : failure.path;
}

/** Names the failure on standard error: the file it concerns, then what
 *  went wrong, and that nothing was generated when the frames had loaded. */
void reportFailure(const BuildJob &job, const Failure &failure, Console &console)
{
    console.error(failureSubject(job, failure), describeFailure(failure));
    if (failure.step != FailureStep::Find && failure.step != FailureStep::Load)
        console.error(job.target, QStringLiteral("Generation failed!"));
}

/** The job's options as a project holds them, for the report. */
BuildProject projectOf(const BuildJob &job)
{
    BuildProject project;
    project.source = job.source;
    project.frames = job.frames;
    project.target = job.target;
    project.trim = job.trim;
    project.settings = job.colors;
    project.settings.rotatable = job.rotatable ? 1 : 0;
    project.settings.frameRate = job.frameRate;
    project.settings.hitFrame = job.hitFrame;
    project.settings.paletteCount = job.paletteCount;
    return project;
}

/** Prints the report on standard output when asked for, and gives the exit status. */
int finish(const BuildJob &job, GenerationOutcome outcome, Console &console)
{
    if (job.json) {
        outcome.failure.path = outcome.failure ? failureSubject(job, outcome.failure) : QString();
        const QJsonObject settings = settingsJson(projectOf(job), decodingThreads(job.colors.threads));
        console.out(
            QString::fromUtf8(QJsonDocument(buildReport(outcome, job.target, settings)).toJson(QJsonDocument::Indented))
                .trimmed());
    }
    if (outcome.failure.kind == FailureKind(kestrin::FileFailure::OutputIsInput)
        || outcome.failure.kind == FailureKind(kestrin::FileFailure::NameNotExact))
        return ExitUsage;
    return outcome.failure ? ExitFailure : ExitSuccess;
}

/** OutputIsInput when an output of the job (the target, the depfile) is the
 *  same file as one of its inputs (frames, palette file) or as the other
 *  output: writing it would destroy that file. */
Failure checkOutputs(const BuildJob &job, const QStringList &inputs)
{
    QList<JobFile> outputs;
    if (job.target != QLatin1String("-"))
        outputs.append({job.target, QStringLiteral("the -o target")});
    if (!job.depfile.isEmpty() && job.depfile != QLatin1String("-"))
        outputs.append({job.depfile, QStringLiteral("the --depfile file")});
    QList<JobFile> files;
    for (const QString &input : inputs) {
        const bool palette = &input == &inputs.last() && !job.colors.paletteFile.isEmpty();
        files.append({input, palette ? QStringLiteral("the --palette file") : QStringLiteral("the frame file")});
    }
    const auto collision = firstCollision(outputs, files);
    if (!collision)
        return Failure();
    return Failure::of(FailureKind(kestrin::FileFailure::OutputIsInput), collision->first.path,
                       collision->second.role + QLatin1Char(' ') + collision->second.path);
}

/** Puts the written target in place, with the depfile when one is asked
 *  for: the depfile is written and stored in full beside its place before
 *  the target is committed, and the target is put back as it was when the
 *  depfile then cannot take its place. */
Failure commitOutputs(const BuildJob &job, OutputFile &target, const QByteArray &rule)
{
    if (job.depfile.isEmpty())
        return target.commit() ? Failure() : target.failure();
    OutputFile depfile(job.depfile);
    // Standard output cannot be taken back: the rule goes there only once
    // the target is in place.
    const bool toStdout = job.depfile == QLatin1String("-");
    if (!toStdout && !(depfile.open() && depfile.write(rule) && depfile.prepare())) {
        target.cancel();
        return depfile.failure();
    }
    if (!target.commitKeepingOld()) {
        depfile.cancel();
        return target.failure();
    }
    const bool written = toStdout ? depfile.open() && depfile.write(rule) && depfile.commit() : depfile.commit();
    if (written) {
        target.forgetOld();
        return Failure();
    }
    Failure failure = depfile.failure();
    if (!target.restore()) {
        failure.reason
            += QStringLiteral("; %1 was already replaced and could not be put back as it was").arg(job.target);
    }
    return failure;
}

} // namespace

int runBuild(const BuildJob &job, Console &console)
{
    if (job.projectFailure) {
        GenerationOutcome outcome;
        outcome.failure = job.projectFailure.at(FailureStep::Load);
        reportFailure(job, outcome.failure, console);
        return finish(job, outcome, console);
    }
    // A project's folder is checked as a folder given on the line would be.
    const QString folderArgument = job.project.isEmpty() ? job.folderArgument : job.source.folder;
    const QFileInfo folder(folderArgument);
    if (!job.frames && (!folder.exists() || !folder.isDir())) {
        GenerationOutcome outcome;
        outcome.failure = Failure::of(folder.exists() ? FailureKind(kestrin::FrameFailure::NotAFolder)
                                                      : FailureKind(kestrin::FrameFailure::NoSuchFolder),
                                      folderArgument)
                              .at(FailureStep::Load);
        reportFailure(job, outcome.failure, console);
        return finish(job, outcome, console);
    }

    BuildRequest request = requestFor(projectOf(job));

    FileSink target(job.target, OutputFile::Dash::StandardOutput, true);
    request.sink = &target;
    QByteArray rule; // the depfile's text, made before anything is written

    BuildCallbacks callbacks;
    callbacks.loading = [&](quint64 done, quint64 total) {
        console.progress(QStringLiteral("loading frames %1/%2").arg(done).arg(total),
                         int(total ? done * 100 / total : 100));
    };
    callbacks.loaded = [&](const Project &project) {
        console.endProgress();
        printFound(job, project, console);
    };
    callbacks.check = [&](const QStringList &inputs) {
        Failure failure = checkOutputs(job, inputs);
        if (!failure && !job.depfile.isEmpty())
            failure = dependencyRule(job.depfile, job.target, inputs, &rule);
        return failure;
    };
    int lastPercent = 0;
    callbacks.generation = [&](GenerationStep step) {
        lastPercent = std::max(lastPercent, stepPercent(step));
        console.progress(stepText(step), lastPercent);
    };
    GenerationOutcome outcome = buildSprite(request, callbacks);
    // The project file was read first; a change to it changes the target.
    if (!job.project.isEmpty())
        outcome.inputFiles.prepend(job.project);
    console.endProgress();
    if (!outcome.failure) {
        outcome.failure = commitOutputs(job, target.file(), rule).at(FailureStep::Output);
        if (outcome.failure)
            outcome.bytes = 0;
    }
    if (outcome.failure) {
        reportFailure(job, outcome.failure, console);
        return finish(job, outcome, console);
    }
    reportWarnings(job, outcome, console);
    // Said only now that every output is in place.
    const QString written = job.target == QLatin1String("-") ? QStringLiteral("standard output") : job.target;
    console.note(
        QStringLiteral("Generation successful! Wrote %1 (%2 bytes)").arg(written, QString::number(outcome.bytes)));
    return finish(job, outcome, console);
}

} // namespace kestrin::cli
