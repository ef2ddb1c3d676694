// progress_bar.cpp -- the bar's cells, and a line redrawn with a carriage return and "erase to the end".
#include "host/process/progress_bar.h"

#include <unistd.h>

#include <algorithm>

namespace gloamer {

std::string progressBar(double share, int width)
{
    const int filled = (int)(std::clamp(share, 0.0, 1.0) * width);
    std::string bar((size_t)width + 2, '.');
    bar.front() = '[';
    bar.back() = ']';
    bar.replace(1, (size_t)filled, (size_t)filled, '#');
    return bar;
}

TerminalLine::TerminalLine(FILE* out, int terminal)
    : out_(out), terminal_(terminal < 0 ? isatty(fileno(out)) != 0 : terminal != 0)
{
}

void TerminalLine::draw(const std::string& text)
{
    if (!terminal_)
        return;
    std::fprintf(out_, "\r%s\033[K", text.c_str());
    std::fflush(out_);
}

void TerminalLine::keep(const std::string& text)
{
    if (!terminal_)
        return;
    std::fprintf(out_, "\r%s\033[K\n", text.c_str());
    std::fflush(out_);
}

void TerminalLine::clear()
{
    if (!terminal_)
        return;
    std::fprintf(out_, "\r\033[K");
    std::fflush(out_);
}

} // namespace gloamer
