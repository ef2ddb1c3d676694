// state.cpp -- every process-wide variable of the plug-in with its load value, and the settings defaults.
#include "plugin/state/state.h"

Settings settings;

VisModule* hostModule = nullptr;
HINSTANCE instanceHandle = nullptr;
HWND renderWindow = nullptr;
HDC deviceContext = nullptr;
HGLRC glContext = nullptr;
int quitting = 0;
unsigned int frameTime = 0;
Sprite* spriteQueue = nullptr;
int nextTextureName = 1;
int uploadFilterMode = 1;
float drawIntensity = 1.0f;
int feedbackTexture = -1;
int glowTexture = -1;
Image* logoImage = nullptr;
int logoTexture = 0;

float spinAngle[maxSpriteCount];

int feedbackTextureWidth = 0;
int feedbackTextureHeight = 0;
int glowTextureWidth = 0;
int glowTextureHeight = 0;

int bitmapFile = -1;
int32_t bitmapFileLength = 0;
unsigned char* bitmapBuffer = nullptr;

void writeDefaultSettings()
{
    settings.textureFilterMode = 1;
    settings.feedbackPulse = 0;
    settings.feedbackDoublePass = 0;
    settings.feedbackZoom = 10.0f;
    settings.glowEnabled = 1;
    settings.tumbleMode = 0;
    settings.spinEnabled = 0;
    settings.spriteCount = 5;
    settings.spriteSize = 10.0f;
    settings.screenHeight = 480;
    settings.screenWidth = 640;
}
