// video_file_win32.cpp -- gloamer.exe writes numbered pictures only: no video encoder, no encoder thread.
#include "host/process/host_error.h"
#include "host/video/frame_sink.h"

namespace gloamer {

std::unique_ptr<FrameSink> openVideoFile(const std::string& path, const VideoFormat&, const AudioInput&)
{
    throw HostError("cannot write '" + path + "': gloamer.exe writes numbered pictures like DIR\\%05d.png");
}

// PNG encoding is quick next to drawing here, and a thread would only add a copy.
std::unique_ptr<FrameSink> runOnEncoderThread(std::unique_ptr<FrameSink> sink, size_t, size_t)
{
    return sink;
}

} // namespace gloamer
