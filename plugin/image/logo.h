// logo.h -- loads the logo from beside the plug-in library at start-up, keyed and on a texture.
#pragma once

struct Image;

// 0 when the logo is on a texture; 1 after telling the user "Image load failed."
int initLogo();
int loadLogo();
// Pixels whose R + G + B is below threshold become fully transparent, all others fully opaque.
void alphaKey(Image* image, int threshold);
