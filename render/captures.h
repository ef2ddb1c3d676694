// captures.h -- copies of the window kept in rectangle textures, and the feedback and glow passes drawn from them.
#pragma once

// The size each capture texture's storage was last given; 0 until the texture exists.
extern int feedbackTextureWidth;
extern int feedbackTextureHeight;
extern int glowTextureWidth;
extern int glowTextureHeight;

float scaleX(float value);
float scaleY(float value);
void captureGlow();
void captureFeedback();
void drawFeedback();
void drawGlow();
