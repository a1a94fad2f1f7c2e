#include "artfile/generationrun.h"

#include <QSaveFile>

namespace kestrin {

namespace {

GenerationResult refuse(const QString &text)
{
    GenerationResult result;
    result.showBox = true;
    result.boxText = text;
    return result;
}

} // namespace

GenerationResult runGeneration(const Project &project, const GenerationSettings &settings, const QString &targetPath,
                               const GenerationProgress &progress)
{
    const auto report = [&](const char *text, int value) {
        if (progress)
            progress(QString::fromLatin1(text), value);
    };
    const QString aborting = QStringLiteral("\n\nAborting generation...");

    if (project.stageCount == 0) {
        report("No stages found...", -1);
        return GenerationResult();
    }
    if (settings.rotatable == 1 && project.stageCount != quint32(art::directionCount))
        return refuse(QStringLiteral("Number of stages must be 8 for rotatable Art.") + aborting);
    const QString paletteProblem = paletteCountProblem(settings.paletteCount);
    if (!paletteProblem.isEmpty())
        return refuse(paletteProblem);

    // Written next to the target and renamed over it only at the end, so a
    // failed run never destroys an existing file. Opening it now reports a
    // target that cannot be created before any other problem of the project.
    QSaveFile file(targetPath);
    if (targetPath.isEmpty() || !file.open(QIODevice::WriteOnly))
        return refuse(QStringLiteral("Cannot create output file \"") + targetPath + QStringLiteral("\"") + aborting);

    report("Preparing generator...", 0);
    const QString mismatch = frameCountMismatch(project);
    if (!mismatch.isEmpty())
        return refuse(mismatch);
    ArtPlan plan;
    QString tooLarge;
    if (!planArt(project, settings, &plan, &tooLarge))
        return refuse(tooLarge);

    report("Reducing colors...", 20);
    ColorReduction colors(project, plan.framesPerStage);

    report("Fixing color indices...", 40);
    colors.fixIndexZero(project, plan.framesPerStage);

    report("Generating Art...", 60);
    GenerationResult result;
    if (!writeArtData(file, project, plan, colors, &result.writeError))
        return result;
    if (!file.commit()) {
        result.writeError = file.errorString();
        return result;
    }

    report("Cleaning up...", 80);
    report("Generation completed...", 100);
    result.ok = true;
    return result;
}

} // namespace kestrin
