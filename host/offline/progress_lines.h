// progress_lines.h -- a render's progress for scripts: one JSON object a line, on a file, a pipe or stdout.
#pragma once

#include <cstdio>
#include <string>

namespace gloamer {

// {"frame":126,"total":300,"fps":25.3,"elapsed":4.98,"state":"running"}; state is running, done or stopped;
// a negative total (a length not yet known) is null.
std::string progressLine(long frame, long total, double elapsedSeconds, const char* state);

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
    // From here on every line also says which GL renderer draws: "renderer":"llvmpipe ...","software":true.
    void setRenderer(const std::string& renderer, bool software);

private:
    FILE* file_;
    bool owned_;
    std::string rendererFields_; // ",\"renderer\":...,\"software\":..." once known

};

} // namespace gloamer
