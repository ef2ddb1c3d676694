// texture_upload.cpp -- uploads Images as textures, padding odd sizes to powers of two, with the selected filtering.
#include "plugin/image/texture_upload.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "plugin/image/bitmap_reader.h"
#include "platform/gl.h"
#include "plugin/state/state.h"

// Padded buffers stay within what a signed 32-bit size can count, like the Images they are made from.
static const uint64_t largestPaddedBytes = 0x7FFFFFFF;

int nextPowerOfTwo(int n)
{
    if (n <= 0)
        return 0;
    for (int shift = 0; shift <= 30; ++shift)
        if ((1 << shift) >= n)
            return 1 << shift;
    return 0; // no power of two above 2^30 fits an int
}

int uploadTexture(Image** image)
{
    Image* source = *image;
    if (source->width <= 0 || source->height <= 0)
        return 0;
    int name = nextTextureName;
    if (nextPowerOfTwo(source->width) != source->width || nextPowerOfTwo(source->height) != source->height)
        return uploadTextureRegion(image, 0, 0, source->width, source->height);

    glBindTexture(GL_TEXTURE_2D, (GLuint)name);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, source->width, source->height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 imagePixels(source));
    applyFilterMode();
    nextTextureName = name + 1;
    return name;
}

int uploadTextureRegion(Image** image, int x, int y, int w, int h)
{
    Image* source = *image;
    int name = nextTextureName;
    int paddedWidth = nextPowerOfTwo(w);
    int paddedHeight = nextPowerOfTwo(h);
    uint64_t paddedBytes = (uint64_t)paddedWidth * (uint64_t)paddedHeight * 4;
    if (paddedBytes == 0 || paddedBytes > largestPaddedBytes)
        return 0;
    unsigned char* buffer = (unsigned char*)malloc((size_t)paddedBytes);
    if (!buffer)
        return 0;

    // The rectangle in the top-left corner, transparent black to the right of it and below it.
    const unsigned char* from = imagePixels(source) + ((size_t)y * (size_t)source->width + (size_t)x) * 4;
    size_t rowBytes = (size_t)paddedWidth * 4;
    size_t copyBytes = (size_t)w * 4;
    for (int row = 0; row < paddedHeight; ++row) {
        unsigned char* to = buffer + (size_t)row * rowBytes;
        if (row < h) {
            memcpy(to, from, copyBytes);
            memset(to + copyBytes, 0, rowBytes - copyBytes);
            from += (size_t)source->width * 4;
        } else {
            memset(to, 0, rowBytes);
        }
    }

    glBindTexture(GL_TEXTURE_2D, (GLuint)name);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, paddedWidth, paddedHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, buffer);
    applyFilterMode();
    free(buffer);
    nextTextureName = name + 1;
    return name;
}

void applyFilterMode()
{
    GLenum filter;
    if (uploadFilterMode >= 2) {
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, (GLfloat)GL_CLAMP);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, (GLfloat)GL_CLAMP);
        // Mode 3 lasts for one upload.
        if (uploadFilterMode == 3) {
            uploadFilterMode = 0;
            filter = GL_NEAREST;
        } else {
            filter = GL_LINEAR;
        }
    } else {
        filter = uploadFilterMode == 0 ? GL_NEAREST : GL_LINEAR;
    }
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, (GLfloat)filter);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, (GLfloat)filter);
}
