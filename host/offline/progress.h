// progress.h -- a render's progress: a redrawn bar on a terminal, plain periodic lines elsewhere, or nothing.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "host/process/duration_text.h"
#include "host/process/progress_bar.h"
#include "host/offline/progress_lines.h"

namespace gloamer {

class Progress {
public:
    using Clock = std::function<double()>; // seconds since any fixed moment

    // A total for a render whose length shows only at its end: no share, bar or time left is shown.
    static constexpr long unknownTotal = -1;

    // `terminal` chooses the bar over plain lines; by default, whether `out` is a terminal.
    Progress(long totalFrames, bool quiet, FILE* out = stderr, int terminal = -1, Clock clock = {});
    void update(long framesDone);
    // The last line: complete, or how far an interrupted render got.
    void finish(long framesDone, bool interrupted);
    // Also a JSON line for scripts twice a second and at the end, whether quiet or not (null: none).
    void alsoWriteLines(ProgressLines* lines) { lines_ = lines; }

    // "42% [#####.....] 126/300 frames, 25.3 fps, 0:05 elapsed, 0:07 left"
    std::string describe(long framesDone, double elapsedSeconds, bool withBar) const;

private:
    long total_;
    bool known_;
    bool quiet_;
    FILE* out_;
    TerminalLine bar_;
    Clock clock_;
    double start_;
    double lastShown_ = -1e9;
    int lastTenth_ = 0;
    ProgressLines* lines_ = nullptr;
    double lastLine_ = -1e9;
};

} // namespace gloamer
