#include "generate/generation.h"

#include "generate/artplan.h"
#include "generate/artwriter.h"
#include "generate/colorreduction.h"
#include "frameutil/boundrect.h"
#include "frameutil/transparency.h"
#include "fileio/outputfile.h"


namespace kestrin {

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

GenerationOutcome runGeneration(const Project &project, const GenerationSettings &settings,
                                const QString &targetPath, const GenerationProgress &progress, ColorFeed *fed)
{
    const auto report = [&](GenerationStep step) {
        if (progress)
            progress(step);
    };
    GenerationOutcome outcome;
    outcome.failure = checkSettings(project, settings);
    if (outcome.failure.kind == FailureKind::NoStages)
        report(GenerationStep::NoStages);
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
    outcome.failure = checkFrameCounts(project);
    ArtPlan plan;
    if (!outcome.failure)
        outcome.failure = planArt(project, settings, &plan);
    if (outcome.failure)
        return outcome;

    report(GenerationStep::Reducing);
    ColorReduction colors(project, plan.framesPerStage, fed);
    outcome.colorCount = colors.colorCount();

    report(GenerationStep::FixingIndices);
    colors.fixIndexZero(project, plan.framesPerStage);

    report(GenerationStep::Writing);
    outcome.failure = writeArtData(file.device(), project, plan, colors);
    if (outcome.failure || !file.commit()) {
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
    ColorFeed colours;
    LoadOptions loading;
    loading.threads = request.threads;
    loading.progress = callbacks.loading;
    loading.frameLoaded = [&](Frame &frame) {
        if (request.trim) {
            // As the window's Apply with only "Apply bound rectangle" checked: the
            // transparency pass runs too and, unchecked, makes every pixel opaque.
            // Both passes work frame by frame.
            trimFrame(frame);
            applyKey(frame.workImage, false, 0);
        }
        colours.add(frame);
    };
    outcome.failure = loadFolder(project, request.source, loading);
    if (outcome.failure)
        return outcome;
    if (callbacks.loaded)
        callbacks.loaded(project);
    return runGeneration(project, request.settings, request.target, callbacks.generation, &colours);
}

} // namespace kestrin
