#include "generate/generation.h"

#include "fileio/outputfile.h"
#include "frameutil/boundrect.h"
#include "frameutil/transparency.h"
#include "generate/artplan.h"
#include "generate/artwriter.h"
#include "generate/colorreduction.h"
#include "quantize/palettefile.h"

#include <QElapsedTimer>
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

GenerationOutcome runGeneration(const Project &project, const GenerationSettings &settings, const QString &targetPath,
                                const GenerationProgress &progress, ColorFeed *fed)
{
    const auto report = [&](GenerationStep step) {
        if (progress)
            progress(step);
    };
    const auto cancelled = [&] { return settings.cancel && settings.cancel->load(); };
    const auto cancelledFailure = [&] { return Failure::of(FailureKind::Cancelled, targetPath); };
    GenerationOutcome outcome;
    outcome.rotatable = settings.rotatable == 1;
    outcome.stageCount = project.stageCount;
    outcome.framesPerStage = project.stageCount ? project.stages[0]->frameCount : 0;
    outcome.paletteCount = settings.paletteCount;
    outcome.failure = checkSettings(project, settings);
    if (outcome.failure.kind == FailureKind::NoStages)
        report(GenerationStep::NoStages);
    if (outcome.failure)
        return outcome;
    PaletteFile paletteFile;
    ColorOptions colorOptions;
    outcome.failure = prepareColorOptions(settings, &paletteFile, &colorOptions);
    if (!settings.paletteFile.isEmpty())
        outcome.inputFiles.append(settings.paletteFile);
    if (outcome.failure)
        return outcome;

    // A regular target is written beside itself and takes its place only at
    // the end, so a failed run never destroys an existing file. Opening it
    // now reports a target that cannot be created before any other problem
    // of the project.
    if (targetPath.isEmpty()) {
        outcome.failure = Failure::of(FailureKind::CannotCreateFile, targetPath, QStringLiteral("the path is empty"));
        return outcome;
    }
    OutputFile file(targetPath);
    if (!file.open()) {
        outcome.failure = file.failure();
        return outcome;
    }

    report(GenerationStep::Preparing);
    outcome.failure = cancelled() ? cancelledFailure() : checkFrameCounts(project);
    ArtPlan plan;
    if (!outcome.failure)
        outcome.failure = planArt(project, settings, &plan);
    if (outcome.failure)
        return outcome;
    outcome.frames = frameReports(project, plan);

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
    report(GenerationStep::Writing);
    outcome.failure = writeArtData(file.device(), project, plan, colors, &outcome.timings.map);
    // The last moment a cancel can keep the target as it was.
    if (!outcome.failure && cancelled()) {
        file.cancel();
        outcome.failure = cancelledFailure();
        return outcome;
    }
    const bool committed = !outcome.failure && file.commit();
    outcome.timings.write = timer.nsecsElapsed() - outcome.timings.map;
    if (!committed) {
        // The output keeps the first failure with the system's reason.
        outcome.failure = file.failure();
        file.cancel();
        return outcome;
    }
    outcome.bytes = plan.fileSize;

    report(GenerationStep::CleaningUp);
    report(GenerationStep::Completed);
    return outcome;
}

GenerationOutcome buildSprite(const BuildRequest &request, const BuildCallbacks &callbacks)
{
    GenerationOutcome outcome;
    Project project;
    QElapsedTimer timer;
    timer.start();
    const BackgroundRule background = colorOptionsOf(request.settings).background;
    ColorFeed colours(request.settings);
    LoadOptions loading;
    loading.threads = request.settings.threads;
    loading.progress = callbacks.loading;
    loading.frameLoaded = [&](Frame &frame) {
        if (request.trim && background.enabled()) {
            // Alpha must survive for the background rule, and the content is
            // what is not background, whatever the top-left pixel holds.
            trimFrameWhere(frame, [&](quint32 pixel) { return !background.isBackground(pixel); });
        } else if (request.trim) {
            // As the window's Apply with only "Apply bound rectangle" checked:
            // the transparency pass runs too and, unchecked, makes every pixel
            // opaque. Both passes work frame by frame.
            trimFrame(frame);
            applyKey(frame.workImage, false, 0);
        }
        colours.add(frame);
    };
    outcome.failure = loadFolder(project, request.source, loading);
    outcome.inputFiles = frameFiles(project);
    if (outcome.failure) {
        outcome.timings.load = timer.nsecsElapsed();
        return outcome;
    }
    const qint64 loadTime = timer.nsecsElapsed();
    const QStringList framesRead = outcome.inputFiles;
    if (callbacks.loaded)
        callbacks.loaded(project);
    outcome = runGeneration(project, request.settings, request.target, callbacks.generation, &colours);
    outcome.timings.load = loadTime;
    // The frames were read before anything the generation itself reads.
    outcome.inputFiles = framesRead + outcome.inputFiles;
    return outcome;
}

} // namespace kestrin
