#include "generate/generation.h"

#include "fileio/failure.h"
#include "fileio/outputfile.h"
#include "generate/artplan.h"
#include "generate/artwriter.h"
#include "generate/colorreduction.h"
#include "generate/framepreparation.h"
#include "generate/jobfailure.h"
#include "palettes/palettefile.h"

#include <QElapsedTimer>
#include <QIODevice>
#include <QSet>

namespace kestrin {

namespace {

/** The frame reports of a planned file: the frame headers, with where each
 *  frame came from and where its pixels lie in its source. */
std::vector<FrameReport> frameReports(const Project &project, const ArtPlan &plan)
{
    std::vector<FrameReport> reports;
    reports.reserve(plan.frames.size());
    quint32 stage = 0;
    quint32 index = 0;
    forEachFrame(project, plan.framesPerStage, [&](const Frame &frame) {
        const art::FrameHeader &h = plan.frames[reports.size()];
        FrameReport r;
        r.stage = stage;
        r.frame = index;
        r.file = frame.filePath;
        r.width = h.width;
        r.height = h.height;
        r.centerX = h.centerX;
        r.centerY = h.centerY;
        r.source = frame.sourceImage.size();
        // An untrimmed frame keeps the loading bounds, whose corner is (0, 0).
        r.trim = QRect(frame.boundRect.left, frame.boundRect.top, h.width, h.height);
        reports.push_back(r);
        if (++index == plan.framesPerStage) {
            index = 0;
            ++stage;
        }
    });
    return reports;
}

/** The files behind the project's frames, each once, in frame order. */
QStringList frameFiles(const Project &project)
{
    QStringList files;
    QSet<QString> seen;
    for (const auto &stage : project.stages) {
        for (const auto &frame : stage->frames) {
            if (!frame->filePath.isEmpty() && !seen.contains(frame->filePath)) {
                seen.insert(frame->filePath);
                files.append(frame->filePath);
            }
        }
    }
    return files;
}

} // namespace

int stepPercent(GenerationStep step)
{
    switch (step) {
    case GenerationStep::NoStages:
        return -1;
    case GenerationStep::Preparing:
        return 0;
    case GenerationStep::Reducing:
        return 20;
    case GenerationStep::FixingIndices:
        return 40;
    case GenerationStep::Writing:
        return 60;
    case GenerationStep::CleaningUp:
        return 80;
    case GenerationStep::Completed:
        return 100;
    }
    return -1;
}

Failure DeviceSink::failure() const
{
    // A device that never failed has no error text; a failed write names it.
    return Failure::of(FailureKind(kestrin::FileFailure::CannotWriteFile), QString(), m_device.errorString());
}

Failure FileSink::check()
{
    if (m_file.path().isEmpty())
        return Failure::of(FailureKind(kestrin::FileFailure::CannotCreateFile), QString(),
                           QStringLiteral("the path is empty"));
    return m_file.check() ? Failure() : m_file.failure();
}

QIODevice *FileSink::open()
{
    return m_file.open() ? &m_file.device() : nullptr;
}

bool FileSink::finish()
{
    return m_commitByCaller || m_file.commit();
}

GenerationOutcome runGeneration(const Project &project, const GenerationSettings &settings, GenerationSink &sink,
                                const GenerationProgress &progress, ColorFeed *fed)
{
    const auto report = [&](GenerationStep step) {
        if (progress)
            progress(step);
    };
    const auto cancelled = [&] { return settings.cancel && settings.cancel->load(); };
    const auto cancelledFailure = [] { return Failure::of(FailureKind(kestrin::FileFailure::Cancelled)); };
    GenerationOutcome outcome;
    outcome.rotatable = settings.rotatable == 1;
    outcome.stageCount = project.stageCount;
    outcome.framesPerStage = project.stageCount ? project.stages[0]->frameCount : 0;
    outcome.paletteCount = settings.paletteCount;
    outcome.failure = checkSettings(project, settings).at(FailureStep::Check);
    if (outcome.failure.kind == FailureKind(kestrin::JobFailure::NoStages))
        report(GenerationStep::NoStages);
    if (outcome.failure)
        return outcome;
    PaletteFile paletteFile;
    ColorOptions colorOptions;
    outcome.failure = prepareColorOptions(settings, &paletteFile, &colorOptions).at(FailureStep::Palette);
    if (!settings.paletteFile.isEmpty())
        outcome.inputFiles.append(settings.paletteFile);
    if (outcome.failure)
        return outcome;

    // A target that cannot be created is reported before any other problem
    // of the project; it is only looked at now and opened once the colours
    // are reduced, so a job stopped during the long part leaves nothing.
    outcome.failure = sink.check().at(FailureStep::Output);
    if (outcome.failure)
        return outcome;

    report(GenerationStep::Preparing);
    outcome.failure = cancelled() ? cancelledFailure() : checkFrameCounts(project).at(FailureStep::Check);
    ArtPlan plan;
    if (!outcome.failure)
        outcome.failure = planArt(project, settings, &plan).at(FailureStep::Check);
    if (outcome.failure)
        return outcome;
    outcome.frames = frameReports(project, plan);
    // Stored projects may rely on such a hit frame, so it is written as given.
    if (settings.hitFrame != 0 && quint64(qMax(0, settings.hitFrame)) >= plan.framesPerStage) {
        GenerationWarning beyond{GenerationWarning::Kind::HitFrameBeyond, 0, plan.framesPerStage, settings.hitFrame};
        outcome.warnings.push_back(beyond);
    }

    QElapsedTimer timer;
    timer.start();
    report(GenerationStep::Reducing);
    if (cancelled()) {
        outcome.failure = cancelledFailure();
        return outcome;
    }
    ColorReduction colors(project, plan.framesPerStage, colorOptions, fed);
    outcome.colorCount = colors.colorCount();
    if (colors.madeOpaquePixels()) {
        outcome.warnings.push_back(
            {GenerationWarning::Kind::MadeOpaque, colors.madeOpaquePixels(), colors.madeOpaqueFrames()});
    }

    report(GenerationStep::FixingIndices);
    if (cancelled()) {
        outcome.failure = cancelledFailure();
        return outcome;
    }
    colors.fixIndexZero(project, plan.framesPerStage);
    outcome.timings.reduce = timer.nsecsElapsed();

    timer.restart();
    QIODevice *device = sink.open();
    if (!device) {
        outcome.failure = sink.failure().at(FailureStep::Output);
        return outcome;
    }
    report(GenerationStep::Writing);
    outcome.failure = writeArtData(*device, project, plan, colors, &outcome.timings.map).at(FailureStep::Output);
    // The last moment a cancel can keep the target as it was: an unfinished
    // sink puts nothing in place.
    if (!outcome.failure && cancelled()) {
        outcome.failure = cancelledFailure();
        return outcome;
    }
    const bool finished = !outcome.failure && sink.finish();
    outcome.timings.write = timer.nsecsElapsed() - outcome.timings.map;
    if (!finished) {
        // The sink keeps the first failure with the system's reason.
        const Failure failure = sink.failure();
        if (failure && (!failure.path.isEmpty() || !outcome.failure))
            outcome.failure = failure.at(FailureStep::Output);
        return outcome;
    }
    outcome.bytes = plan.fileSize;

    report(GenerationStep::CleaningUp);
    report(GenerationStep::Completed);
    return outcome;
}

GenerationOutcome runGeneration(const Project &project, const GenerationSettings &settings, const QString &targetPath,
                                const GenerationProgress &progress, ColorFeed *fed)
{
    FileSink sink(targetPath);
    GenerationOutcome outcome = runGeneration(project, settings, sink, progress, fed);
    if (outcome.failure)
        sink.file().cancel();
    return outcome;
}

Failure writeArt(QIODevice &device, const Project &project, const GenerationSettings &settings)
{
    DeviceSink sink(device);
    return runGeneration(project, settings, sink, GenerationProgress()).failure;
}

GenerationOutcome buildSprite(const BuildRequest &request, const BuildCallbacks &callbacks)
{
    GenerationOutcome outcome;
    Project project;
    QElapsedTimer timer;
    timer.start();
    const FramePreparation preparation = framePreparation(request.settings, true);
    ColorFeed colours(request.settings);
    LoadOptions loading;
    loading.threads = request.settings.threads;
    loading.copiesPerFrame = request.trim ? 2 : 1; // the trimmed copy is made while the source is held
    loading.progress = callbacks.loading;
    loading.frameLoaded = [&](Frame &frame) {
        // Trimmed as the window's "Apply" trims with only "Apply bound
        // rectangle" checked; untrimmed frames stay exactly as loaded.
        if (request.trim)
            prepareFrame(frame, preparation);
        colours.add(frame);
    };
    outcome.failure = request.frames ? loadFrameList(project, *request.frames, loading)
                                     : loadFolder(project, request.source, loading);
    outcome.inputFiles = frameFiles(project);
    if (outcome.failure) {
        if (outcome.failure.step == FailureStep::None)
            outcome.failure.step = FailureStep::Load;
        outcome.timings.load = timer.nsecsElapsed();
        return outcome;
    }
    colours.finish(); // every frame of the project, in order
    const qint64 loadTime = timer.nsecsElapsed();
    const QStringList framesRead = outcome.inputFiles;
    if (callbacks.loaded)
        callbacks.loaded(project);
    if (callbacks.check) {
        QStringList inputs = framesRead;
        if (!request.settings.paletteFile.isEmpty())
            inputs.append(request.settings.paletteFile);
        outcome.failure = callbacks.check(inputs).at(FailureStep::Output);
        if (outcome.failure) {
            outcome.timings.load = loadTime;
            return outcome;
        }
    }
    FileSink fileSink(request.target);
    GenerationSink &sink = request.sink ? *request.sink : fileSink;
    outcome = runGeneration(project, request.settings, sink, callbacks.generation, &colours);
    outcome.timings.load = loadTime;
    // The frames were read before anything the generation itself reads.
    outcome.inputFiles = framesRead + outcome.inputFiles;
    return outcome;
}

} // namespace kestrin
