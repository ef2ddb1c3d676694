// state.h -- the settings and the process-wide render state that every callback shares.
#pragma once

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

void writeDefaultSettings();
