// progress_test.cpp -- what a render shows of its progress on a terminal, in a log, and when told to be quiet.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/offline/progress.h"

namespace {

struct Captured {
    char* text = nullptr;
    size_t size = 0;
    FILE* file = open_memstream(&text, &size);
    ~Captured()
    {
        fclose(file);
        free(text);
    }
    std::string read()
    {
        fflush(file);
        return std::string(text, size);
    }
};

int count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(Progress, DescribesShareRateAndTimeLeft)
{
    Captured out;
    gloamer::Progress progress(300, false, out.file, 0, [] { return 0.0; });
    EXPECT_EQ(progress.describe(150, 10.0, false), "50% 150/300 frames, 15.0 fps, 0:10 elapsed, 0:10 left");
    EXPECT_EQ(progress.describe(300, 3725.0, true).substr(0, 33), "100% [########################] 3");
    EXPECT_NE(progress.describe(0, 0.0, false).find("? left"), std::string::npos);
    EXPECT_EQ(gloamer::formatDuration(3725), "1:02:05");
}

TEST(Progress, TerminalRedrawsOneLineAtMostTenTimesASecond)
{
    Captured out;
    double now = 0;
    gloamer::Progress progress(100, false, out.file, 1, [&] { return now; });
    for (int frame = 1; frame <= 100; ++frame) {
        now += 0.01; // 100 frames a second
        progress.update(frame);
    }
    progress.finish(100, false);
    std::string text = out.read();
    EXPECT_LE(count(text, "\r"), 13);
    EXPECT_GE(count(text, "\r"), 9);
    EXPECT_EQ(count(text, "\n"), 2); // the finished bar, then the summary
    EXPECT_NE(text.find("100% [####"), std::string::npos);
    EXPECT_NE(text.find("done: 100 frames"), std::string::npos);
}

TEST(Progress, LogsGetATenthAtATimeAndNoControlCharacters)
{
    Captured out;
    double now = 0;
    gloamer::Progress progress(1000, false, out.file, 0, [&] { return now; });
    for (int frame = 1; frame <= 600; ++frame) {
        now += 0.001;
        progress.update(frame);
    }
    progress.finish(600, true);
    std::string text = out.read();
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.find('\033'), std::string::npos);
    EXPECT_EQ(count(text, "\n"), 7 + 1); // 0% ... 60%, then the summary
    EXPECT_NE(text.find("stopped after 600 of 1000 frames"), std::string::npos);
}

TEST(Progress, QuietPrintsNothing)
{
    Captured out;
    gloamer::Progress progress(10, true, out.file, 1, [] { return 0.0; });
    progress.update(5);
    progress.finish(10, false);
    EXPECT_EQ(out.read(), "");
}

} // namespace
