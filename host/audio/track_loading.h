// track_loading.h -- the music a command was given, or the demo when none, with any warning about the file said.
#pragma once

#include <string>

#include "host/audio/audio_track.h"

namespace gloamer {

// The file a command was given, or the demo track when none; a warning about the file goes to stderr.
AudioTrack loadTrackOrDemo(const std::string& file);
// The part of the file from `start` seconds, `seconds` long (0: to the end), as loadAudioSpan reads it; the demo
// is whole.
AudioTrack loadTrackSpanOrDemo(const std::string& file, double start, double seconds);
// The file's length alone, counted through as measureAudioFile does; a warning about the file goes to stderr.
AudioTrack measureTrack(const std::string& file);
// "gloamer: warning: ..." on stderr, for a warning about an input; nothing when it is empty.
void printInputWarning(const std::string& warning);

} // namespace gloamer
