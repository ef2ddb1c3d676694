// spectrum_level.cpp -- sums the lower half of a channel's spectrum row from the host's module record.
#include "plugin/passes/spectrum_level.h"

#include "plugin/state/records.h"
#include "plugin/state/state.h"

// Sum of the lower half of a channel's spectrum, scaled to 0 .. 8.96; a missing channel falls back to channel 0.
float spectrumLevel(int channel)
{
    if (!hostModule)
        return 0.0f; // render before init: there is no spectrum yet
    int channels = hostModule->channelCount;
    if (channel >= channels) {
        if (channels <= 0)
            return 0.0f;
        channel = 0;
    }
    const unsigned char* row = hostModule->spectrumData[channel];
    int sum = 0;
    for (int index = 0; index < 288; ++index)
        sum += row[index];
    return (float)sum * (1.0f / 8192.0f);
}
