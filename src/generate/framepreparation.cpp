#include "generate/framepreparation.h"

#include "frameutil/boundrect.h"
#include "frameutil/transparency.h"
#include "generate/colorreduction.h"
#include "generate/generationsettings.h"

namespace kestrin {

FramePreparation framePreparation(const GenerationSettings &settings, bool trim, bool useKey, quint32 key)
{
    FramePreparation rule;
    rule.trim = trim;
    rule.useKey = useKey;
    rule.key = key;
    rule.background = colorOptionsOf(settings).background;
    return rule;
}

namespace {

void trimStep(Frame &frame, const FramePreparation &rule)
{
    if (!rule.trim) {
        untrimFrame(frame);
    } else if (rule.background.enabled()) {
        const BackgroundRule &background = rule.background;
        trimFrameWhere(frame, [&background](quint32 pixel) { return !background.isBackground(pixel); });
    } else {
        trimFrame(frame);
    }
}

void keyStep(Frame &frame, const FramePreparation &rule)
{
    if (!rule.background.enabled())
        applyKey(frame.workImage, rule.useKey, rule.key);
    else if (rule.useKey)
        clearKey(frame.workImage, rule.key);
}

template<typename Step>
bool everyFrame(Project &project, Step step)
{
    if (project.stageCount == 0)
        return false;
    for (quint32 s = 0; s < project.stageCount; ++s) {
        Stage &stage = *project.stages[s];
        for (quint32 f = 0; f < stage.frameCount; ++f)
            step(*stage.frames[f]);
    }
    return true;
}

} // namespace

void prepareFrame(Frame &frame, const FramePreparation &rule)
{
    trimStep(frame, rule);
    keyStep(frame, rule);
}

bool trimFrames(Project &project, const FramePreparation &rule)
{
    return everyFrame(project, [&rule](Frame &frame) { trimStep(frame, rule); });
}

bool keyFrames(Project &project, const FramePreparation &rule)
{
    return everyFrame(project, [&rule](Frame &frame) { keyStep(frame, rule); });
}

} // namespace kestrin
