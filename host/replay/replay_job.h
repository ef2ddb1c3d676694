// replay_job.h -- a render job that feeds a plug-in the ticks and rows of a frame data file instead of live analysis.
#pragma once

#include <memory>

#include "host/offline/offline_renderer.h"
#include "host/video/output.h"
#include "host/replay/frame_data.h"

namespace gloamer {

// Sets the job's frame rate, frame count, sample rate, channel count, ticks and rows from `data`, which must
// outlive the job. The module is given each frame's rows exactly as they stand in the file.
void feedFromFrameData(RenderJob& job, std::shared_ptr<const FrameData> data);

// The job that replays `data` with the plug-in at `pluginPath` (empty: ours) into `output`, whose size is set;
// the output is given the data's frame rate and count.
RenderJob replayJob(const std::string& pluginPath, std::shared_ptr<const FrameData> data, OutputRequest& output);

} // namespace gloamer
