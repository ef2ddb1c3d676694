// state_reset.cpp -- puts the plug-in back as the library's load left it, for tests and benchmarks that drive its core directly.
#include <stdlib.h>
#include <string.h>

#include "plugin/image/bitmap_reader.h"
#include "plugin/entry/entry.h"
#include "plugin/state/state.h"
#include "plugin/passes/sprite_queue.h"

void resetPluginState()
{
    memset(&settings, 0, sizeof(settings));
    hostModule = nullptr;
    instanceHandle = nullptr;
    renderWindow = nullptr;
    deviceContext = nullptr;
    glContext = nullptr;
    quitting = 0;
    frameTime = 0;
    while (spriteQueue) {
        Sprite* next = spriteQueue->next;
        free(spriteQueue);
        spriteQueue = next;
    }
    nextTextureName = 1;
    uploadFilterMode = 1;
    drawIntensity = 1.0f;
    feedbackTexture = -1;
    glowTexture = -1;
    free(logoImage);
    logoImage = nullptr;
    logoTexture = 0;

    memset(spinAngle, 0, sizeof(spinAngle));

    feedbackTextureWidth = 0;
    feedbackTextureHeight = 0;
    glowTextureWidth = 0;
    glowTextureHeight = 0;

    closeBitmapFile();
    bitmapFileLength = 0;

    resetModuleRecord();
}
