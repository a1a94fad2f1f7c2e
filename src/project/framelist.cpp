#include "project/framelist.h"
#include "project/framefailure.h"

namespace kestrin {

Failure loadFrameList(Project &project, const FrameList &stages, const LoadOptions &options)
{
    if (stages.empty())
        return Failure::of(FailureKind(kestrin::FrameFailure::NoStagesFound), QString(),
                           QStringLiteral("the project lists no stage"))
            .at(FailureStep::Find);
    quint64 total = 0;
    for (const auto &listed : stages)
        total += listed.size();
    quint64 done = 0;
    for (const auto &listed : stages) {
        Stage *stage = project.appendStage();
        for (const ListedFrame &entry : listed) {
            Frame *frame = stage->appendFrame();
            if (!entry.file.isEmpty()) {
                if (const Failure failure = loadFrame(*frame, entry.file))
                    return failure;
            }
            frame->centre = entry.centre;
            if (options.frameLoaded)
                options.frameLoaded(*frame);
            if (options.progress)
                options.progress(++done, total);
        }
    }
    return Failure();
}

} // namespace kestrin
