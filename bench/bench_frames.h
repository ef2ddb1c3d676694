// bench_frames.h -- what both frame benchmarks share: a host module with a moving spectrum, a test clock, a timer.
#pragma once

#include <time.h>

#include <cstring>

#include "platform/hooks.h"
#include "plugin/state/records.h"
#include "plugin/state/state.h"
#include "plugin/passes/frame.h"
#include "plugin/passes/sprite_animation.h"

namespace bench {

inline VisModule benchModule{};
inline DWORD benchTick = 0;

inline DWORD readBenchTick(void*)
{
    return benchTick;
}

// Default settings and a two-channel module, as after a plug-in init, without a window.
inline void setUpPlugin(int spriteCount)
{
    resetPluginState(); // a fresh GL context holds no texture yet
    writeDefaultSettings();
    settings.spriteCount = spriteCount;
    benchModule.channelCount = 2;
    hostModule = &benchModule;
    gloamerSetTickSource(readBenchTick, nullptr);
}

// A spectrum that changes every frame, 40 ms of music apart, as a 25 fps host would feed it.
inline void advanceMusic(int frame)
{
    benchTick = 1000000u + 40u * (unsigned int)frame;
    for (int channel = 0; channel < 2; ++channel)
        for (int bin = 0; bin < 576; ++bin)
            benchModule.spectrumData[channel][bin] = (unsigned char)((bin * 7 + frame * 13 + channel * 101) % 97);
}

inline void frame()
{
    animateSprites();
    composeFrame();
}

inline double seconds(clockid_t clock)
{
    timespec now;
    clock_gettime(clock, &now);
    return (double)now.tv_sec + (double)now.tv_nsec * 1e-9;
}

} // namespace bench
