// random_catch_up.h -- brings the C library's rand() sequence, which a plug-in draws from in the host's process,
// to where a render from frame 0 has it at a later frame, without drawing the frames before.
#pragma once

#include <cstdint>

namespace gloamer {

// While it lives, rand() runs on a state of the host's own, seeded as the C library seeds it at start-up (1),
// so the same numbers come out as without it, and the host can read and set where the sequence stands.
// A part of a render starts drawing at some frame F > 0 with the sequence where start-up left it. The plug-in's
// draws of the frames before F are then stepped through here instead: the draws before the first frame (its
// start-up) and those of each frame are counted as they happen, and after the first frame drawn the sequence is
// set to start-up's count plus one frame's count for every frame before. Exact for a plug-in that draws as many
// numbers every frame, which is checked on every frame after.
class RandomCatchUp {
public:
    RandomCatchUp();
    ~RandomCatchUp();
    RandomCatchUp(const RandomCatchUp&) = delete;
    RandomCatchUp& operator=(const RandomCatchUp&) = delete;

    // Called before each frame drawn, from the first (`frame` counts from 0 in the whole render).
    void beforeFrame(int64_t frame);

    // After two frames: the numbers one frame draws; -1 before.
    int64_t drawsPerFrame() const { return perFrame_; }
    // The numbers drawn before the first frame.
    int64_t startUpDraws() const { return startUp_; }
    // False once a frame drew a different count from the first: the catch-up was then not exact.
    bool steady() const { return steady_; }

    // How many rand() calls lead from `from` to `to` (saved states), up to `limit`; -1 past it.
    static int64_t drawsBetween(const char* from, const char* to, int64_t limit);
    static constexpr int stateBytes = 128;

private:
    void save(char* state);
    void load(const char* state);

    alignas(int32_t) char live_[stateBytes];    // what rand() runs on
    alignas(int32_t) char spare_[stateBytes];   // switched to while live_ is read or written
    alignas(int32_t) char start_[stateBytes];   // the start-up state
    alignas(int32_t) char previous_[stateBytes]; // before the last frame
    char* outer_ = nullptr;                      // what rand() ran on before
    int64_t firstFrame_ = -1;
    int64_t perFrame_ = -1;
    int64_t startUp_ = -1;
    bool steady_ = true;
};

} // namespace gloamer
