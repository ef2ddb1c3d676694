// spectrum_level.h -- the loudness of one spectrum channel, which moves the sprites and tints the glow.
#pragma once

float spectrumLevel(int channel);
