// progress.cpp -- progress of a render, redrawn at most ten times a second on a terminal.
#include "host/offline/progress.h"

#include <algorithm>
#include <cmath>

namespace gloamer {

Progress::Progress(long totalFrames, bool quiet, FILE* out, int terminal, Clock clock)
    : total_(std::max(1L, totalFrames)), known_(totalFrames != unknownTotal), quiet_(quiet), out_(out),
      bar_(out, terminal), clock_(std::move(clock))
{
    if (!clock_)
        clock_ = [] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
        };
    start_ = clock_();
}

std::string Progress::describe(long framesDone, double elapsed, bool withBar) const
{
    double share = std::clamp((double)framesDone / (double)total_, 0.0, 1.0);
    double rate = elapsed > 0 ? framesDone / elapsed : 0;
    if (!known_) {
        char figures[160];
        snprintf(figures, sizeof(figures), "%ld frames, %.1f fps, %s elapsed", framesDone, rate,
                 formatDuration(elapsed).c_str());
        return figures;
    }
    std::string text = std::to_string((int)(share * 100)) + "%";
    if (withBar)
        text += ' ' + progressBar(share, 24);
    char figures[160];
    snprintf(figures, sizeof(figures), " %ld/%ld frames, %.1f fps, %s elapsed, %s left", framesDone, total_, rate,
             formatDuration(elapsed).c_str(),
             rate > 0 ? formatDuration((total_ - framesDone) / rate).c_str() : "?");
    return text + figures;
}

void Progress::update(long framesDone)
{
    double now = clock_();
    if (lines_ && now - lastLine_ >= 0.5 && (framesDone < total_ || !known_)) {
        lines_->write(progressLine(framesDone, known_ ? total_ : -1, now - start_, "running"));
        lastLine_ = now;
    }
    if (quiet_)
        return;
    if (bar_.shown()) {
        if (now - lastShown_ < 0.1 && (framesDone < total_ || !known_))
            return;
        bar_.draw(describe(framesDone, now - start_, true));
    } else {
        // Off a terminal a line every tenth of the way or every ten seconds, whichever comes first.
        int tenth = known_ ? (int)(10 * framesDone / total_) : 0;
        if (tenth <= lastTenth_ && now - lastShown_ < 10)
            return;
        lastTenth_ = std::max(tenth, lastTenth_);
        fprintf(out_, "gloamer: %s\n", describe(framesDone, now - start_, false).c_str());
    }
    lastShown_ = now;
    fflush(out_);
}

void Progress::finish(long framesDone, bool interrupted)
{
    double elapsed = clock_() - start_;
    if (lines_)
        lines_->write(progressLine(framesDone, known_ ? total_ : -1, elapsed, interrupted ? "stopped" : "done"));
    if (quiet_)
        return;
    std::string summary = interrupted ? "stopped after " + std::to_string(framesDone) +
                                            (known_ ? " of " + std::to_string(total_) : std::string()) + " frames, " +
                                            formatDuration(elapsed)
                                      : "done: " + std::to_string(framesDone) + " frames in " + formatDuration(elapsed);
    bar_.keep(describe(framesDone, elapsed, true));
    fprintf(out_, "gloamer: %s\n", summary.c_str());
    fflush(out_);
}

} // namespace gloamer
