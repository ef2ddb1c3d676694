// texture_upload.h -- turns an Image into a power-of-two GL texture named from the plug-in's own counter.
#pragma once

struct Image;

int nextPowerOfTwo(int n);
// The new texture's name, left bound to GL_TEXTURE_2D; 0 (no texture, no name used) for an Image with a
// zero side or one too large to pad.
int uploadTexture(Image** image);
int uploadTextureRegion(Image** image, int x, int y, int w, int h);
void applyFilterMode();
