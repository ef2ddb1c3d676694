// viewport.h -- viewport and projections for the sprite scene and the pixel-space passes, GL start-up state.
#pragma once

void resizeViewport(int width, int height);
void setPerspective(float fieldOfViewY, float aspect, float zNear, float zFar);
int initGlDefaults();
void pushPixelOverlay();
void popPixelOverlay();
