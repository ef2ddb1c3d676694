// replay_job.cpp -- turns a frame data file into the clock and the rows of an offline render.
#include "host/replay/replay_job.h"

#include "host/core/frame_rows.h"
#include "host/core/plugin_library.h"

namespace gloamer {

void feedFromFrameData(RenderJob& job, std::shared_ptr<const FrameData> data)
{
    job.fps = (int)data->fps;
    job.frameCount = (int64_t)data->frames.size();
    job.sampleRate = (int)data->sampleRate;
    job.channelCount = (int)data->channelCount;
    job.startTick = data->frames.front().tick;
    job.frameTick = [data](int64_t frame) { return data->frames[(size_t)frame].tick; };
    job.fillAudioData = [data](int64_t frame, VisModule& module) {
        const FrameRecord& record = data->frames[(size_t)frame];
        copyRows(module, record.spectrum, record.waveform);
    };
}

RenderJob replayJob(const std::string& pluginPath, std::shared_ptr<const FrameData> data, OutputRequest& output)
{
    RenderJob job;
    job.pluginPath = pluginPath.empty() ? defaultPluginPath() : pluginPath;
    job.width = output.format.width;
    job.height = output.format.height;
    feedFromFrameData(job, std::move(data));
    output.format.fps = job.fps;
    output.frameCount = job.frameCount;
    return job;
}

} // namespace gloamer
