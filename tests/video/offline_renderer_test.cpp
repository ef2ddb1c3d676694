// offline_renderer_test.cpp -- the render loop over the real plug-in: sizes, frame counts, interruption, failures.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "host/process/host_error.h"
#include "host/offline/offline_renderer.h"
#include "host/video/frame_sink.h"

namespace {

struct MemorySink : gloamer::FrameSink {
    size_t frameBytes = 0;
    int failAt = -1;
    std::vector<std::vector<uint8_t>> frames;
    bool finished = false;
    void writeFrame(const uint8_t* rgb) override
    {
        if ((int)frames.size() == failAt)
            throw gloamer::HostError("cannot write 'x.mp4': No space left on device");
        frames.emplace_back(rgb, rgb + frameBytes);
    }
    void finish() override { finished = true; }
    void abandon() override {}
};

gloamer::RenderJob job(MemorySink& sink, int64_t frames)
{
    gloamer::RenderJob job;
    job.pluginPath = GLOAMER_PLUGIN_PATH;
    job.width = 320;
    job.height = 240;
    job.fps = 25;
    job.frameCount = frames;
    job.sink = &sink;
    sink.frameBytes = 320 * 240 * 3;
    return job;
}

TEST(OfflineRenderer, DeliversOneFrameOfTheAskedSizePerFrameInOrder)
{
    MemorySink sink;
    gloamer::RenderJob render = job(sink, 12);
    std::vector<int64_t> filled;
    std::vector<int> latencies;
    render.fillAudioData = [&](int64_t frame, VisModule& module) {
        filled.push_back(frame);
        latencies.push_back(module.latencyMs);
    };
    gloamer::RenderResult result = gloamer::renderFrames(render);
    EXPECT_FALSE(result.interrupted);
    EXPECT_EQ(result.framesWritten, 12);
    ASSERT_EQ(sink.frames.size(), 12u);
    EXPECT_EQ(filled, (std::vector<int64_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(latencies.front(), 25);
    // The window is gone once the render returns: a second render can start from scratch.
    MemorySink again;
    EXPECT_EQ(gloamer::renderFrames(job(again, 3)).framesWritten, 3);
}

TEST(OfflineRenderer, StopsAtTheNextFrameOnceInterruptedAndKeepsWhatWasDrawn)
{
    MemorySink sink;
    std::atomic<bool> interrupted{false};
    gloamer::RenderJob render = job(sink, 100);
    render.stopRequested = [&] { return interrupted.load(); };
    render.fillAudioData = [&](int64_t frame, VisModule&) {
        if (frame == 6)
            interrupted = true;
    };
    gloamer::RenderResult result = gloamer::renderFrames(render);
    EXPECT_TRUE(result.interrupted);
    EXPECT_EQ(result.framesWritten, 7);
    EXPECT_EQ(sink.frames.size(), 7u);
}

TEST(OfflineRenderer, AFailedWriteEndsTheRenderWithItsError)
{
    MemorySink sink;
    sink.failAt = 4;
    gloamer::RenderJob render = job(sink, 50);
    try {
        gloamer::renderFrames(render);
        FAIL() << "the write failure was lost";
    } catch (const gloamer::HostError& error) {
        EXPECT_NE(std::string(error.what()).find("No space left"), std::string::npos);
    }
    EXPECT_EQ(sink.frames.size(), 4u);
    MemorySink next;
    EXPECT_EQ(gloamer::renderFrames(job(next, 2)).framesWritten, 2); // nothing was left behind
}

} // namespace
