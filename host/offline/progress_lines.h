// progress_lines.h -- a render's progress for scripts: one JSON object a line, on a file, a pipe or stdout.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace gloamer {

class PendingFile;

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

// Where --progress sends the lines, once checkProgressFile has passed it: "-" is standard output, a FIFO or
// character device is written into as it is, and any other name gets a new file of its own, renamed into place
// at once (over an existing one only with `overwrite`) so that a reader can follow it. Throws HostError when it
// cannot be opened, StopRequested when a stop comes while a FIFO waits for its reader.
class ProgressLines {
public:
    explicit ProgressLines(const std::string& path, bool overwrite = false);
    ~ProgressLines();
    ProgressLines(const ProgressLines&) = delete;
    ProgressLines& operator=(const ProgressLines&) = delete;

    // Each line is flushed at once, so that a reader at the other end of a pipe sees it then. After a failed
    // write no more are tried.
    void write(const std::string& line);
    // Empty while every line went out; otherwise one line saying where they were lost and why.
    std::string failure() const;
    // From here on every line also says which GL renderer draws: "renderer":"llvmpipe ...","software":true.
    void setRenderer(const std::string& renderer, bool software);

private:
    void openStream();
    void openNewFile(bool overwrite);

    std::string path_;
    FILE* file_ = nullptr;
    bool owned_ = true;
    int error_ = 0; // errno of the first failed write
    std::string renderer_;
    bool software_ = false;
    bool rendererKnown_ = false;
};

} // namespace gloamer
