// load_values.h -- the one table of what each process-wide scalar holds when the library is loaded.
// state.cpp defines the variables from it, and the reset that tests and benchmarks use puts them back from it, so
// the two cannot drift apart. The settings and spinAngle are zero at load and are not in it.
#pragma once

#include "plugin/state/state.h"

// X(type, name, value at load)
#define PLUGIN_STATE_AT_LOAD(X)            \
    X(VisModule*, hostModule, nullptr)     \
    X(HINSTANCE, instanceHandle, nullptr)  \
    X(HWND, renderWindow, nullptr)         \
    X(HDC, deviceContext, nullptr)         \
    X(HGLRC, glContext, nullptr)           \
    X(int, quitting, 0)                    \
    X(unsigned int, frameTime, 0)          \
    X(Sprite*, spriteQueue, nullptr)       \
    X(int, nextTextureName, 1)             \
    X(int, uploadFilterMode, 1)            \
    X(float, drawIntensity, 1.0f)          \
    X(int, feedbackTexture, -1)            \
    X(int, glowTexture, -1)                \
    X(Image*, logoImage, nullptr)          \
    X(int, logoTexture, 0)                 \
    X(int, feedbackTextureWidth, 0)        \
    X(int, feedbackTextureHeight, 0)       \
    X(int, glowTextureWidth, 0)            \
    X(int, glowTextureHeight, 0)           \
    X(int, bitmapFile, -1)                 \
    X(int32_t, bitmapFileLength, 0)        \
    X(unsigned char*, bitmapBuffer, nullptr)
