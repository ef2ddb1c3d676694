// state.h -- every process-wide variable of the plug-in: the settings, the render state every callback shares,
// the sprites' spin, the capture sizes and the bitmap reader's file; and the one reset to their load values.
#pragma once

#include <stdint.h>

#include "platform/win32.h"

struct VisModule;
struct Image;
struct Sprite;

struct Settings {
    int textureFilterMode;
    int feedbackPulse;
    int feedbackDoublePass;
    float feedbackZoom;
    int glowEnabled;
    int tumbleMode;
    int spinEnabled;
    int spriteCount;
    float spriteSize;
    int screenHeight;
    int screenWidth;
};

// The most sprites a frame can hold: the length of spinAngle.
constexpr int maxSpriteCount = 1000;

extern Settings settings;

extern VisModule* hostModule;
extern HINSTANCE instanceHandle;
extern HWND renderWindow;
extern HDC deviceContext;
extern HGLRC glContext;
extern int quitting;
extern unsigned int frameTime;
extern Sprite* spriteQueue;
extern int nextTextureName;
extern int uploadFilterMode;
extern float drawIntensity;
extern int feedbackTexture;
extern int glowTexture;
extern Image* logoImage;
extern int logoTexture;

// Degrees each sprite has spun so far, carried from frame to frame for the life of the library.
extern float spinAngle[maxSpriteCount];

// The size each capture texture's storage was last given; 0 until the texture exists.
extern int feedbackTextureWidth;
extern int feedbackTextureHeight;
extern int glowTextureWidth;
extern int glowTextureHeight;

// The bitmap reader's open file (-1 when none), its length when opened, and the bytes of its last read.
extern int bitmapFile;
extern int32_t bitmapFileLength;
extern unsigned char* bitmapBuffer;

void writeDefaultSettings();
// Puts every variable above and module 0 back to their values at library load (load_values.h), releasing what
// they hold: the queued sprites, the decoded logo, the reader's file and buffer. GL objects are left to their
// context. Built apart from the core (gloamer_core_reset), for tests and benchmarks only.
void resetPluginState();
