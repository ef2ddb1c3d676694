// stream_pacer.h -- the stream's wall clock: when each frame is due, whether it is drawn or its picture repeated,
// and the pause before each new try at a server.
#pragma once

#include <cstdint>

namespace gloamer {

enum class FrameChoice {
    Wait, // too early: wait until it is due, then draw it
    Draw, // due now: draw it
    Skip, // drawing is behind: the frame repeats the last picture, its sound goes out as always
};

// Frame k is heard k / fps seconds after the stream started. A frame due more than `slackSeconds` ago is
// skipped, so that a slow machine sends fewer new pictures but never less sound and never falls further behind.
// Half a second of slack lets a machine that draws a little slower than the rate draw most frames: the stream
// then runs up to that much behind the wall clock, which a server's buffer takes.
class StreamPacer {
public:
    explicit StreamPacer(int fps, double slackSeconds = 0.5) : fps_(fps), slack_(slackSeconds) {}

    // The choice for frame `frame` when `elapsed` seconds of wall clock have passed since the start.
    FrameChoice choose(int64_t frame, double elapsed) const;
    // The second at which frame `frame` is due.
    double dueAt(int64_t frame) const { return (double)frame / fps_; }

private:
    int fps_;
    double slack_;
};

// Frames sent and pictures drawn, for the rate printed and in the progress lines.
struct SentCount {
    int64_t frames = 0; // every frame sent: drawn or repeated
    int64_t drawn = 0;

    void add(bool wasDrawn)
    {
        ++frames;
        drawn += wasDrawn;
    }
    // New pictures a second, where frames a second are sent.
    double drawnRate(int fps) const { return frames > 0 ? (double)drawn * fps / (double)frames : 0.0; }
};

// The pause before try `attempt` (1 for the first after a failure) at a server: 1 s, doubled each time up to
// `longest` seconds.
double retryPause(int attempt, double longest = 30.0);
// True while another try is allowed after `failures` failures in a row, with `--retry limit`.
inline bool mayRetry(int failures, int limit)
{
    return failures <= limit;
}

} // namespace gloamer
