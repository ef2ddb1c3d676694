// gl_defaults.h -- the GL state set once at start-up, which every pass of a frame hands back as it found it.
#pragma once

// The baseline: GL_TEXTURE_2D on, the rectangle target off, depth test on with GL_LESS, blending, alpha test and
// face culling off, matrix mode GL_MODELVIEW, colour (drawIntensity, drawIntensity, drawIntensity, 1).
// Sets it and clears the window; always 1. The colour starts as GL's white and each frame sets it again.
int initGlDefaults();
// The colour every sprite and pass puts back when it is done.
void restoreDrawColor();
