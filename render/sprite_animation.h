// sprite_animation.h -- builds the frame's sprites from the clock and the loudness of the two spectrum channels.
#pragma once

// The most sprites a frame can hold: the length of spinAngle.
constexpr int maxSpriteCount = 1000;

// Degrees each sprite has spun so far, carried from frame to frame for the life of the library.
extern float spinAngle[maxSpriteCount];

float spectrumLevel(int channel);
void animateSprites();
