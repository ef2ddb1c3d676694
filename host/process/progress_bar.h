// progress_bar.h -- a progress bar on a terminal: "[#####.....]", on a line redrawn in place.
#pragma once

#include <cstdio>
#include <string>

namespace gloamer {

// "[######..................]": `share` (0 to 1, clamped) of `width` cells filled.
std::string progressBar(double share, int width);

// A status line that each drawing replaces, on a terminal only (elsewhere it writes nothing).
class TerminalLine {
public:
    // `terminal`: whether `out` is one; by default, whether it is.
    explicit TerminalLine(FILE* out, int terminal = -1);
    bool shown() const { return terminal_; }
    void draw(const std::string& text);
    // The last drawing, left standing: the next output starts below it.
    void keep(const std::string& text);
    void clear();

private:
    FILE* out_;
    bool terminal_;
};

} // namespace gloamer
