// captures.h -- copies of the window kept in rectangle textures, and the feedback and glow passes drawn from them.
#pragma once

float scaleX(float value);
float scaleY(float value);
void captureGlow();
void captureFeedback();
void drawFeedback();
// The feedback pass as the frame lays it under the sprites: with depth testing off around it.
void drawTrail();
void drawGlow();
