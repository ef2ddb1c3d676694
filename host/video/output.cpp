// output.cpp -- the one way a render opens its output: every check before the first frame, then the sink.
#include "host/video/output.h"

#include <algorithm>
#include <cstdio>

#include "host/process/host_error.h"
#include "host/process/output_checks.h"

namespace gloamer {

void parseFrameSize(const std::string& text, int& width, int& height)
{
    char extra = 0;
    if (sscanf(text.c_str(), "%5dx%5d%c", &width, &height, &extra) != 2 || width < 16 || height < 16 ||
        width > 7680 || height > 4320)
        throw UsageError("--size '" + text + "' is not a size like 1280x720 (16x16 to 7680x4320)");
}

OutputRequest outputFor(const std::string& path, bool overwrite, const std::string& size)
{
    OutputRequest request;
    request.path = path;
    request.overwrite = overwrite;
    parseFrameSize(size, request.format.width, request.format.height);
    return request;
}

void checkOutput(const OutputRequest& request)
{
    const std::string& output = request.path;
    if (output.empty())
        throw UsageError("no output given (add -o OUT.mp4, or -o DIR/%05d.png for pictures)");
    std::string extension = outputExtension(output);
    bool pictures = isPictureSequence(output);
    if (!pictures && extension == "png")
        throw UsageError("cannot write '" + output + "': a picture sequence needs one frame number, like DIR/%05d.png");
    if (!pictures && extension != "mp4" && extension != "mkv" && extension != "mov")
        throw UsageError("cannot write '" + output +
                        "': unknown video format (use .mp4, .mkv or .mov, or DIR/%05d.png for pictures)");
    if (!pictures && (request.format.width % 2 || request.format.height % 2))
        throw UsageError("--size " + std::to_string(request.format.width) + "x" +
                        std::to_string(request.format.height) + ": video needs an even width and height");

    checkOutputFolder(output);
    if (!pictures) {
        checkOutputName(output, output, request.overwrite, request.inputs);
        return;
    }
    // Every picture is named before the first is drawn: one already there is refused now, not at its frame.
    for (int64_t number = 1; number <= std::max<int64_t>(1, request.frameCount); ++number)
        checkOutputName(output, pictureName(output, number), request.overwrite, request.inputs);
}

std::unique_ptr<FrameSink> openOutput(const OutputRequest& request)
{
    checkOutput(request);
    VideoFormat format = request.format;
    format.replace = request.overwrite;
    std::unique_ptr<FrameSink> sink = isPictureSequence(request.path)
                                          ? openPictureSequence(request.path, format)
                                          : openVideoFile(request.path, format, request.audio);
    return runOnEncoderThread(std::move(sink), (size_t)format.width * format.height * 3, 8);
}

} // namespace gloamer
