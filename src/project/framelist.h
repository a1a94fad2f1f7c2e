#pragma once

#include "fileio/failure.h"
#include "project/folderloader.h"
#include "project/project.h"

#include <QPoint>
#include <QString>

#include <optional>
#include <vector>

namespace kestrin {

/** One frame of a project that names its files one by one. */
struct ListedFrame {
    QString file;                 // path of the image, used as given; empty for a frame without pixels
    std::optional<QPoint> centre; // written as the frame's centre instead of the computed one
};

/** Stages in direction order, each its frames in playing order. */
using FrameList = std::vector<std::vector<ListedFrame>>;

/** Appends to `project` one stage per entry of `stages` and one frame per
 *  listed entry, its file decoded one after the other on the calling thread; a frame
 *  with a centre keeps it (Frame::centre). options.frameLoaded and
 *  options.progress are called as loadFolder calls them (threads is unused).
 *
 *  A file that does not load ends the load with CannotLoadFrame (path and
 *  reason), its frame left empty as the last frame of the last stage, as
 *  loadFolder does; a list without any stage gives NoStagesFound. */
[[nodiscard]] Failure loadFrameList(Project &project, const FrameList &stages, const LoadOptions &options = {});

} // namespace kestrin
