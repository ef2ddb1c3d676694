// track_loading.cpp -- a command's music loaded whole, as a span or counted through; the demo when none is given.
#include "host/audio/track_loading.h"

#include <cstdio>

namespace gloamer {

AudioTrack loadTrackOrDemo(const std::string& file)
{
    return loadTrackSpanOrDemo(file, 0, 0);
}

AudioTrack loadTrackSpanOrDemo(const std::string& file, double start, double seconds)
{
    if (file.empty())
        return makeDemoTrack();
    std::string warning;
    AudioTrack track = loadAudioSpan(file, start, seconds, &warning);
    printInputWarning(warning);
    return track;
}

AudioTrack measureTrack(const std::string& file)
{
    std::string warning;
    AudioTrack track = measureAudioFile(file, &warning);
    printInputWarning(warning);
    return track;
}

void printInputWarning(const std::string& warning)
{
    if (!warning.empty())
        std::fprintf(stderr, "gloamer: warning: %s\n", warning.c_str());
}

} // namespace gloamer
