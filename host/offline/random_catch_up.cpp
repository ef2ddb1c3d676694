// random_catch_up.cpp -- rand()'s state read and set through initstate and setstate, counted with random_r.
#include "host/offline/random_catch_up.h"

#include <stdlib.h>

#include <cstring>

namespace gloamer {

namespace {

// No frame of a sane plug-in draws more; a count past it stops the catch-up rather than hanging the render.
constexpr int64_t drawLimit = int64_t(1) << 22;

// A generator of our own over a copy of a saved state; setstate_r leaves the copy's position in its first word.
struct Stepper {
    alignas(int32_t) char state[RandomCatchUp::stateBytes];
    alignas(int32_t) char spare[RandomCatchUp::stateBytes];
    random_data data{};

    explicit Stepper(const char* from)
    {
        initstate_r(1, spare, sizeof(spare), &data);
        std::memcpy(state, from, sizeof(state));
        setstate_r(state, &data);
    }
    void step()
    {
        int32_t value;
        random_r(&data, &value);
    }
    // The state as saved, while the generator goes on.
    bool matches(const char* saved)
    {
        setstate_r(spare, &data);
        bool same = std::memcmp(state, saved, sizeof(state)) == 0;
        setstate_r(state, &data);
        return same;
    }
    void saveTo(char* saved)
    {
        setstate_r(spare, &data);
        std::memcpy(saved, state, sizeof(state));
        setstate_r(state, &data);
    }
};

} // namespace

RandomCatchUp::RandomCatchUp()
{
    outer_ = initstate(1, spare_, sizeof(spare_));
    initstate(1, live_, sizeof(live_));
    save(start_);
}

RandomCatchUp::~RandomCatchUp()
{
    setstate(outer_);
}

void RandomCatchUp::save(char* state)
{
    setstate(spare_);
    std::memcpy(state, live_, stateBytes);
    setstate(live_);
}

void RandomCatchUp::load(const char* state)
{
    setstate(spare_);
    std::memcpy(live_, state, stateBytes);
    setstate(live_);
}

int64_t RandomCatchUp::drawsBetween(const char* from, const char* to, int64_t limit)
{
    Stepper stepper(from);
    for (int64_t draws = 0; draws <= limit; ++draws) {
        if (stepper.matches(to))
            return draws;
        stepper.step();
    }
    return -1;
}

void RandomCatchUp::beforeFrame(int64_t frame)
{
    alignas(int32_t) char now[stateBytes];
    save(now);
    if (firstFrame_ < 0) {
        firstFrame_ = frame;
        startUp_ = drawsBetween(start_, now, drawLimit);
        steady_ = startUp_ >= 0;
    } else {
        int64_t drawn = drawsBetween(previous_, now, drawLimit);
        if (perFrame_ < 0 && drawn >= 0 && steady_) {
            perFrame_ = drawn;
            if (firstFrame_ > 0) {
                // Where a render from frame 0 has the sequence now: start-up's draws, then one frame's each.
                Stepper stepper(start_);
                for (int64_t draws = startUp_ + frame * perFrame_; draws > 0; --draws)
                    stepper.step();
                stepper.saveTo(now);
                load(now);
            }
        } else if (drawn != perFrame_) {
            steady_ = false;
        }
    }
    std::memcpy(previous_, now, stateBytes);
}

} // namespace gloamer
