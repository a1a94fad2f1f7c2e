#include "project/project.h"

namespace kestrin {

Frame *Stage::appendFrame()
{
    frames.push_back(std::make_unique<Frame>());
    ++frameCount;
    return frames.back().get();
}

void Stage::removeFrame(quint32 index)
{
    if (index >= frameCount)
        return;
    frames.erase(frames.begin() + index);
    --frameCount;
}

Stage *Project::appendStage()
{
    stages.push_back(std::make_unique<Stage>());
    ++stageCount;
    return stages.back().get();
}

void Project::removeStage(quint32 index)
{
    if (index >= stageCount)
        return;
    stages.erase(stages.begin() + index);
    --stageCount;
}

void Project::clear()
{
    stages.clear();
    stageCount = 0;
}

} // namespace kestrin
