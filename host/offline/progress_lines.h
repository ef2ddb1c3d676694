// progress_lines.h -- a render's progress for scripts: one JSON object a line, on a file, a pipe or stdout.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace gloamer {

// {"frame":126,"total":300,"fps":25.3,"elapsed":4.98,"state":"running"}; state is running, done or stopped;
// a negative total (a length not yet known) is null.
std::string progressLine(long frame, long total, double elapsedSeconds, const char* state);

// A stream's progress: frames sent (drawn or repeated), of them drawn anew, the rates they come to over the
// time elapsed, bytes sent, whether a connection stands, the title playing; state running, done, stopped or
// failed.
struct StreamProgress {
    int64_t frames = 0;
    int64_t drawn = 0;
    double elapsed = 0;
    int64_t bytes = 0;
    bool connected = false;
    std::string title;
    const char* state = "running";
};
std::string streamProgressLine(const StreamProgress& progress);

// Where --progress sends the lines: "-" is standard output, anything else a file (or FIFO) made anew.
// Throws HostError when it cannot be opened.
class ProgressLines {
public:
    explicit ProgressLines(const std::string& path);
    ~ProgressLines();
    ProgressLines(const ProgressLines&) = delete;
    ProgressLines& operator=(const ProgressLines&) = delete;

    // Each line is flushed at once, so that a reader at the other end of a pipe sees it then.
    void write(const std::string& line);

private:
    FILE* file_;
    bool owned_;
};

} // namespace gloamer
