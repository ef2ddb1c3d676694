// progress_bar_test.cpp -- the bar every progress display shares: its cells at each share, and the line it is
// redrawn on, which only a terminal gets.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/process/progress_bar.h"

namespace {

TEST(ProgressBar, FillsItsShareOfTheCells)
{
    struct Case {
        double share;
        int width;
        std::string bar;
    };
    for (const Case& c : {Case{0, 4, "[....]"}, Case{0.5, 4, "[##..]"}, Case{0.99, 4, "[###.]"}, Case{1, 4, "[####]"},
                          Case{1.7, 4, "[####]"}, Case{-0.2, 4, "[....]"}, Case{0.25, 0, "[]"}}) {
        SCOPED_TRACE(c.share);
        EXPECT_EQ(gloamer::progressBar(c.share, c.width), c.bar);
    }
}

TEST(ProgressBar, TheLineIsRedrawnOnATerminalAndNowhereElse)
{
    for (int terminal : {1, 0}) {
        char* text = nullptr;
        size_t size = 0;
        FILE* out = open_memstream(&text, &size);
        gloamer::TerminalLine line(out, terminal);
        line.draw("one");
        line.draw("two");
        line.clear();
        line.keep("three");
        fflush(out);
        EXPECT_EQ(std::string(text, size), terminal ? "\rone\033[K\rtwo\033[K\r\033[K\rthree\033[K\n" : "");
        EXPECT_EQ(line.shown(), terminal == 1);
        fclose(out);
        free(text);
    }
}

} // namespace
