// stream_options.cpp -- the stream's size, rates and files from the command line's words.
#include "host/stream/stream_options.h"

#include "host/process/host_error.h"
#include "host/process/output_checks.h"
#include "host/process/system.h"
#include "host/video/output.h"

namespace gloamer {

int streamKbpsFor(const std::string& quality, int width, int height, int fps)
{
    const int good = uploadCeilingKbps("good", width, height, fps);
    return quality == "small" ? good / 2 : quality == "high" ? good * 3 / 2 : good;
}

StreamRunOptions streamRunOptionsFor(const StreamOutputOptions& options, const std::string& size, int fps)
{
    StreamRunOptions run;
    run.target = streamTargetFor(options.to);
    parseFrameSize(size, run.format.width, run.format.height);
    run.format.fps = fps;
    run.format.crf = options.quality.crf >= 0 ? options.quality.crf : crfFor(options.quality.name, "h264");
    run.format.videoKbps = options.bitrate > 0 ? options.bitrate
                                               : streamKbpsFor(options.quality.name, run.format.width,
                                                               run.format.height, fps);
    run.format.audioKbps = options.audioKbps;
    run.format.preset = options.preset;
    run.retryLimit = options.retry;
    run.titleFile = options.titleFile;
    run.progress = options.progress;
    run.quiet = options.quiet;
    return run;
}

// The progress lines keep render's rules, but a file of that name is replaced: like the title file, it is the
// running stream's own, and a stream restarted by a supervisor must not refuse to start over it.
void checkStreamProgress(const StreamRunOptions& run, const std::vector<std::string>& inputs)
{
    if (run.progress.empty() || run.progress == "-")
        return;
    checkProgressFile(run.progress, true, run.target.kind == StreamKind::Hls ? run.target.url : "", inputs);
    if (!run.titleFile.empty() && sameFile(run.progress, run.titleFile))
        throw UsageError("--progress and --title-file name the same file '" + run.progress + "'");
}

} // namespace gloamer
