// render_job.cpp -- runs a render job into its output and turns how it ended into an exit status.
#include "host/render/render_job.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "host/pending_file.h"
#include "host/visualizer/interrupt.h"

namespace gloamer {

namespace {

volatile bool jobRunning = false;

// A plug-in that calls exit() mid-render must not pass for a finished one: no output, status 1.
void onExitDuringJob()
{
    if (!jobRunning)
        return;
    removePendingFiles();
    std::fputs("gloamer: the plug-in ended the process in the middle of the render; nothing was written\n", stderr);
    std::_Exit(1);
}

struct ExitGuard {
    ExitGuard()
    {
        static bool registered = std::atexit(onExitDuringJob) == 0;
        (void)registered;
        jobRunning = true;
    }
    ~ExitGuard() { jobRunning = false; }
};

} // namespace

int runRenderJob(RenderJob& job, const OutputRequest& output, bool quiet)
{
    std::unique_ptr<FrameSink> sink = openOutput(output);
    Progress progress(job.frameCount - std::max(job.firstFrame, job.firstWrittenFrame), quiet);
    job.sink = sink.get();
    job.progress = &progress;
    job.stopRequested = [] { return interruptRequested(); };
    RenderResult result;
    {
        ExitGuard guard;
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
    return 0;
}

} // namespace gloamer
