// viewport.h -- viewport and projections for the sprite scene and the pixel-space passes.
#pragma once

void resizeViewport(int width, int height);
void setPerspective(float fieldOfViewY, float aspect, float zNear, float zFar);
void pushPixelOverlay();
void popPixelOverlay();
