// part_warmup_bench.cpp -- after how many warm-up frames a part of a render draws exactly the frames of a render
// in one piece, per size and music; and what a part's warm-up and catch-up cost against its own frames.
//
// For each case the whole render is drawn from frame 0 and its frames from START on are hashed; then a part is
// drawn from START with a fresh plug-in (random numbers caught up as gloamer render --part does) and every frame
// hashed. The warm-up needed is the first frame from which every hash matches.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/analysis/frame_span.h"
#include "host/audio/audio_track.h"
#include "host/process/host_error.h"
#include "host/offline/frame_feed.h"
#include "host/offline/offline_renderer.h"
#include "host/offline/random_catch_up.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

class HashSink : public gloamer::FrameSink {
public:
    explicit HashSink(size_t bytes) : bytes_(bytes) {}
    void writeFrame(const uint8_t* rgb) override
    {
        uint64_t hash = 1469598103934665603ull;
        for (size_t i = 0; i < bytes_; ++i)
            hash = (hash ^ rgb[i]) * 1099511628211ull;
        hashes.push_back(hash);
    }
    void finish() override {}
    void abandon() override {}
    std::vector<uint64_t> hashes;

private:
    size_t bytes_;
};

struct Case {
    const char* name;
    gloamer::AudioTrack track;
    gloamer::SpectrumShaping shaping;
};

std::vector<uint64_t> draw(const Case& c, int width, int height, int64_t first, int64_t written, int64_t end,
                           double& seconds)
{
    const gloamer::FrameSpan span = gloamer::frameSpanOf(c.track, 0, 0, 30);
    HashSink sink((size_t)width * height * 3);
    gloamer::RenderJob job;
    job.pluginPath = GLOAMER_PLUGIN_PATH;
    job.width = width;
    job.height = height;
    job.firstFrame = first;
    job.firstWrittenFrame = written;
    job.frameCount = end;
    job.sampleRate = c.track.sampleRate;
    job.channelCount = c.track.channelCount;
    job.fillAudioData = gloamer::audioRowsFeed(c.track, span, c.shaping);
    job.sink = &sink;
    gloamer::RandomCatchUp randomNumbers;
    job.beforeFrame = [&randomNumbers](int64_t frame) { randomNumbers.beforeFrame(frame); };
    Clock::time_point start = Clock::now();
    gloamer::renderFrames(job);
    seconds = secondsSince(start) / (double)(end - first);
    return sink.hashes;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: part_warmup_bench WxH... [--start FRAME] [--frames N]\n"
                             "  e.g. part_warmup_bench 590x430 1280x720 1920x1080\n");
        return 2;
    }
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    int64_t startFrame = 300; // 10 s into the demo: its beat and bass are playing
    int64_t frames = 72;      // hashed after the start
    std::vector<std::pair<int, int>> sizes;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--start" && i + 1 < argc)
            startFrame = std::atoll(argv[++i]);
        else if (argument == "--frames" && i + 1 < argc)
            frames = std::atoll(argv[++i]);
        else {
            int width = 0, height = 0;
            if (std::sscanf(argument.c_str(), "%dx%d", &width, &height) != 2 || width < 16 || height < 16) {
                std::fprintf(stderr, "part_warmup_bench: '%s' is not a size like 590x430\n", argument.c_str());
                return 2;
            }
            sizes.push_back({width, height});
        }
    }

    std::vector<Case> cases;
    gloamer::AudioTrack demo = gloamer::makeDemoTrack();
    gloamer::AudioTrack silence = demo;
    std::fill(silence.samples.begin(), silence.samples.end(), 0);
    gloamer::AudioTrack loud = demo; // the demo eight times as loud, clipped: every band near the top
    for (int16_t& sample : loud.samples)
        sample = (int16_t)std::max(-32768, std::min(32767, sample * 8));
    cases.push_back({"demo", demo, {}});
    cases.push_back({"silence", silence, {}});
    cases.push_back({"loud", loud, {}});
    gloamer::SpectrumShaping calm;
    calm.calm = true;
    cases.push_back({"demo --calm", demo, calm});

    int64_t worst = 0;
    try {
        std::printf("%-10s %-12s %s\n", "size", "music", "warm-up frames until identical (ms a frame drawn)");
        for (auto [width, height] : sizes) {
            for (const Case& c : cases) {
                double wholeSeconds = 0, partSeconds = 0;
                std::vector<uint64_t> whole =
                    draw(c, width, height, 0, startFrame, startFrame + frames, wholeSeconds);
                std::vector<uint64_t> part =
                    draw(c, width, height, startFrame, startFrame, startFrame + frames, partSeconds);
                int64_t identicalFrom = frames;
                while (identicalFrom > 0 && whole[identicalFrom - 1] == part[identicalFrom - 1])
                    --identicalFrom;
                char size[32];
                std::snprintf(size, sizeof(size), "%dx%d", width, height);
                if (identicalFrom == frames)
                    std::printf("%-10s %-12s more than %lld (%.1f)\n", size, c.name, (long long)frames,
                                1000 * wholeSeconds);
                else
                    std::printf("%-10s %-12s %lld (%.1f)\n", size, c.name, (long long)identicalFrom,
                                1000 * wholeSeconds);
                std::fflush(stdout);
                worst = std::max(worst, identicalFrom);
            }
        }
        std::printf("worst: %lld warm-up frames\n", (long long)worst);

        // What a part starting an hour in pays beyond its own frames: stepping the random numbers, shaping the
        // rows of every earlier frame under --calm, and the warm-up frames drawn.
        const int64_t hour = 30 * 3600;
        gloamer::AudioTrack long_ = demo;
        while (long_.frameCount() < (size_t)(3700 * long_.sampleRate))
            long_.samples.insert(long_.samples.end(), demo.samples.begin(), demo.samples.end());
        const gloamer::FrameSpan span = gloamer::frameSpanOf(long_, 0, 0, 30);
        Clock::time_point start = Clock::now();
        {
            gloamer::RandomCatchUp randomNumbers;
            randomNumbers.beforeFrame(hour - 1);
            for (int draw = 0; draw < 5; ++draw)
                (void)rand();
            randomNumbers.beforeFrame(hour);
        }
        double randomSeconds = secondsSince(start);
        VisModule module{};
        module.spectrumChannelCount = 2;
        module.waveformChannelCount = 2;
        auto feed = gloamer::audioRowsFeed(long_, span, calm);
        start = Clock::now();
        feed(hour, module);
        double calmSeconds = secondsSince(start);
        std::printf("a part starting 1 h in: random numbers caught up in %.3f s, --calm's rows in %.1f s\n",
                    randomSeconds, calmSeconds);
        std::printf("warm-up of %lld frames against a part of 10 minutes (18000 frames): %.2f %% more frames drawn\n",
                    (long long)(2 * worst), 100.0 * (double)(2 * worst) / 18000.0);
    } catch (const gloamer::HostError& error) {
        std::fprintf(stderr, "part_warmup_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
