// render_job.cpp -- runs a render job into its output and turns how it ended into an exit status.
#include "host/offline/render_job.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "host/process/pending_file.h"
#include "host/process/system.h"
#include "host/process/interrupt.h"
#include "host/offline/render_supervisor.h"

namespace gloamer {

std::string pluginEndLine(const std::string& plugin, const std::string& how, bool afterOutput)
{
    return "gloamer: the plug-in '" + fileNameOf(plugin) + "' " + how +
           (afterOutput ? " as it was quit, after the output was whole" : " in the middle of the render");
}

namespace {

volatile bool jobRunning = false;
volatile bool outputWhole = false; // finished at its name before the plug-in was quit
char exitLine[512];
char quitExitLine[512];

// exit() in the plug-in: mid-render it must not pass for a finished render (status 1); when it is quit after the
// output was finished, the output stands (status 0).
void onExitDuringJob()
{
    if (!jobRunning)
        return;
    if (outputWhole) {
        std::fputs(quitExitLine, stderr);
        std::fflush(nullptr);
        tellSupervisorOfStatus(0);
        std::_Exit(0);
    }
    if (supervised()) {
        tellSupervisorOfExit(); // the supervisor keeps what was rendered and says so
        std::_Exit(1);
    }
    removePendingFiles();
    std::fputs(exitLine, stderr);
    std::_Exit(1);
}

// exit() and quick_exit() in the plug-in, and its crashes, are reported naming it (by the supervisor when there
// is one).
struct ExitGuard {
    explicit ExitGuard(const std::string& plugin)
    {
#ifdef _WIN32
        static bool registered = std::atexit(onExitDuringJob) == 0;
#else
        static bool registered = std::atexit(onExitDuringJob) == 0 && std::at_quick_exit(onExitDuringJob) == 0;
#endif
        (void)registered;
        std::snprintf(exitLine, sizeof(exitLine), "%s; nothing was written\n",
                      pluginEndLine(plugin, "ended the process with exit()").c_str());
        const std::string quitExit = pluginEndLine(plugin, "ended the process with exit()", true);
        std::snprintf(quitExitLine, sizeof(quitExitLine), "gloamer: warning: %s\n",
                      quitExit.substr(quitExit.find(' ') + 1).c_str());
        plugin_ = plugin;
        if (!supervised())
            setCrashNote(pluginEndLine(plugin, "crashed"));
        outputWhole = false;
        jobRunning = true;
    }
    ~ExitGuard() { end(); }
    void end()
    {
        jobRunning = false;
        setCrashNote("");
    }
    // The output is whole: from here on a crash or exit() is one in the plug-in's quit.
    void outputFinished()
    {
        outputWhole = true;
        tellSupervisorOfOutput();
        if (!supervised())
            setCrashNote(pluginEndLine(plugin_, "crashed", true));
    }

private:
    std::string plugin_;
};

// Notes when the output is finished, for a plug-in that ends the process as it is quit.
class WatchedSink : public FrameSink {
public:
    WatchedSink(FrameSink& sink, ExitGuard& guard) : sink_(sink), guard_(guard) {}
    void writeFrame(const uint8_t* rgb) override { sink_.writeFrame(rgb); }
    void finish() override
    {
        sink_.finish();
        guard_.outputFinished();
    }
    void abandon() override { sink_.abandon(); }

private:
    FrameSink& sink_;
    ExitGuard& guard_;
};

// How the render ended, as an exit status, with the line that explains any status but 0.
int verdictOf(const RenderResult& result, const RenderJob& job)
{
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

// Which renderer draws goes on stderr and into the progress lines once the plug-in has a context.
void announceRendererTo(RenderJob& job, ProgressLines* lines, bool quiet)
{
    job.rendererStarted = [check = job.rendererStarted, lines, &job, quiet](const GlRenderer& gl) {
        if (check)
            check(gl);
        if (!quiet)
            announceRenderer(gl, job.width, job.height);
        if (lines && gl.known())
            lines->setRenderer(gl.renderer, gl.software);
    };
}

int renderInThisProcess(RenderJob& job, const OutputRequest& output, bool quiet, const std::string& progressPath)
{
    if (job.prepare)
        job.prepare();
    // The lines first: a FIFO's open waits for its reader, which a stop cuts short before anything else is made.
    std::unique_ptr<ProgressLines> lines;
    if (!progressPath.empty())
        lines = std::make_unique<ProgressLines>(progressPath, output.overwrite);
    announceRendererTo(job, lines.get(), quiet);
    std::unique_ptr<FrameSink> sink = openOutput(output);
    ExitGuard guard(job.pluginPath);
    WatchedSink watched(*sink, guard);
    Progress progress(job.frameCount == unknownFrameCount ? Progress::unknownTotal
                                                          : job.frameCount - std::max(job.firstFrame, job.firstWrittenFrame),
                      quiet);
    progress.alsoWriteLines(lines.get());
    job.sink = &watched;
    job.progress = &progress;
    job.stopRequested = [] { return interruptRequested(); };
    RenderResult result = renderFrames(job);
    guard.end();
    progress.finish(result.framesWritten, result.interrupted);
    if (job.afterRender)
        job.afterRender();
    int status = verdictOf(result, job);
    // Lines asked for and lost are a failure of their own, though the video stands.
    if (lines && !lines->failure().empty()) {
        std::fprintf(stderr, "gloamer: %s%s\n", lines->failure().c_str(),
                     status == 0 ? " (the video itself is whole)" : "");
        status = status == 0 ? 1 : status;
    }
    return status;
}

} // namespace

int runRenderJob(RenderJob& job, const OutputRequest& output, bool quiet, const std::string& progressPath)
{
    // On Linux the plug-in runs in a child process: whatever it does to that, this one reports it and keeps the
    // video.
    return superviseRender(job.pluginPath, output,
                           [&] { return renderInThisProcess(job, output, quiet, progressPath); });
}

} // namespace gloamer
