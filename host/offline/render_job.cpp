// render_job.cpp -- runs a render job into its output and turns how it ended into an exit status.
#include "host/offline/render_job.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "host/process/pending_file.h"
#include "host/process/system.h"
#include "host/process/interrupt.h"

namespace gloamer {

namespace {

volatile bool jobRunning = false;

// A plug-in that calls exit() mid-render must not pass for a finished one: no output, status 1.
char pluginName[256];

void onExitDuringJob()
{
    if (!jobRunning)
        return;
    removePendingFiles();
    std::fprintf(stderr, "gloamer: the plug-in '%s' ended the process in the middle of the render; nothing was written\n",
                 pluginName);
    std::_Exit(1);
}

// exit() and quick_exit() in the plug-in, and its crashes, are reported naming it.
struct ExitGuard {
    explicit ExitGuard(const std::string& plugin)
    {
#ifdef _WIN32
        static bool registered = std::atexit(onExitDuringJob) == 0;
#else
        static bool registered = std::atexit(onExitDuringJob) == 0 && std::at_quick_exit(onExitDuringJob) == 0;
#endif
        (void)registered;
        std::snprintf(pluginName, sizeof(pluginName), "%s", fileNameOf(plugin).c_str());
        setCrashNote("gloamer: the plug-in '" + std::string(pluginName) + "' crashed in the middle of the render");
        jobRunning = true;
    }
    ~ExitGuard()
    {
        jobRunning = false;
        setCrashNote("");
    }
};

} // namespace

int runRenderJob(RenderJob& job, const OutputRequest& output, bool quiet, const std::string& progressPath)
{
    std::unique_ptr<ProgressLines> lines;
    if (!progressPath.empty())
        lines = std::make_unique<ProgressLines>(progressPath);
    std::unique_ptr<FrameSink> sink = openOutput(output);
    Progress progress(job.frameCount == unknownFrameCount ? Progress::unknownTotal
                                                          : job.frameCount - std::max(job.firstFrame, job.firstWrittenFrame),
                      quiet);
    progress.alsoWriteLines(lines.get());
    job.sink = sink.get();
    job.progress = &progress;
    job.stopRequested = [] { return interruptRequested(); };
    RenderResult result;
    {
        ExitGuard guard(job.pluginPath);
        result = renderFrames(job);
    }
    progress.finish(result.framesWritten, result.interrupted);
    if (result.refusedFrame >= 0) {
        std::fprintf(stderr, "gloamer: the plug-in stopped the render at frame %lld (its render returned %d)\n",
                     (long long)result.refusedFrame + 1, result.refusal);
        return 1;
    }
    if (result.interrupted && interruptRequested())
        return 128 + interruptSignal();
    // Stopped by the plug-in's quit message (its window closed): what was drawn is kept, but it is not the render.
    if (result.interrupted) {
        std::fprintf(stderr, "gloamer: the plug-in's window closed after frame %lld, so the render stopped there "
                             "(the video holds the frames drawn)\n", (long long)(job.firstFrame + result.framesDrawn));
        return 1;
    }
    return 0;
}

} // namespace gloamer
