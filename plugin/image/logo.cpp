// logo.cpp -- finds vis_gloamer.bmp beside the plug-in library, keys its dark pixels out and uploads it.
#include "plugin/image/logo.h"

#include <stdlib.h>
#include <string.h>

#include "plugin/image/bitmap_reader.h"
#include "plugin/image/texture_upload.h"
#include "plugin/state/records.h"
#include "plugin/state/state.h"

static const char logoFileName[] = "vis_gloamer.bmp";
static const DWORD logoPathSize = 260;
static const int logoKeyThreshold = 20;

// The library's folder (up to its last backslash or slash, which stays) and the logo's name; 0 when the
// library's name cannot be had in full or the path does not fit.
static int buildLogoPath(char* path)
{
    DWORD length = GetModuleFileNameA(hostModule->libraryInstance, path, logoPathSize);
    if (length == 0 || length >= logoPathSize)
        return 0;
    DWORD folder = length;
    while (folder > 0 && path[folder - 1] != '\\' && path[folder - 1] != '/')
        --folder;
    if (folder + sizeof(logoFileName) > logoPathSize)
        return 0;
    memcpy(path + folder, logoFileName, sizeof(logoFileName));
    return 1;
}

int initLogo()
{
    uploadFilterMode = settings.textureFilterMode;
    if (loadLogo())
        return 0;
    MessageBoxA(hostModule->parentWindow, "Image load failed.", "Gloamer", MB_OK);
    return 1;
}

int loadLogo()
{
    char path[logoPathSize];
    if (!buildLogoPath(path) || !openBitmapFile(path))
        return 0;

    // The logo is always clamped; mode 3 gives nearest filtering for this one upload.
    int savedMode = uploadFilterMode;
    uploadFilterMode = savedMode == 0 ? 3 : 2;

    // An earlier init's logo is no longer read by anything once it is on a texture.
    free(logoImage);
    logoImage = readBitmap(0, 0);
    if (logoImage && (logoImage->width == 0 || logoImage->height == 0)) {
        free(logoImage);
        logoImage = nullptr;
    }
    int result = 0;
    if (logoImage) {
        alphaKey(logoImage, logoKeyThreshold);
        int name = uploadTexture(&logoImage);
        if (name) {
            logoTexture = name;
            result = 1;
        }
    }
    closeBitmapFile();
    uploadFilterMode = savedMode;
    return result;
}

void alphaKey(Image* image, int threshold)
{
    unsigned char* pixel = imagePixels(image);
    size_t count = (size_t)image->width * (size_t)image->height;
    for (size_t i = 0; i < count; ++i, pixel += 4)
        pixel[3] = (int)pixel[0] + (int)pixel[1] + (int)pixel[2] < threshold ? 0 : 255;
}
