// sprite_animation.cpp -- reads the frame clock and queues one logo sprite per sprite index, placed by time and loudness.
#include "plugin/passes/sprite_animation.h"

#include <math.h>
#include <stdlib.h>

#include "platform/gl.h"
#include "plugin/state/state.h"
#include "plugin/passes/spectrum_level.h"
#include "plugin/passes/sprite_queue.h"

void animateSprites()
{
    frameTime = GetTickCount();
    // A count outside the array would walk off spinAngle.
    int count = settings.spriteCount;
    if (count < 0)
        count = 0;
    if (count > maxSpriteCount)
        count = maxSpriteCount;

    const double size = settings.spriteSize;
    const double time = frameTime;
    const float wobble = 0.2f * settings.spriteSize;
    float level0 = 0.0f, level1 = 0.0f;
    if (count > 1) {
        level0 = spectrumLevel(0);
        level1 = spectrumLevel(1);
    }

    Sprite sprite;
    for (int index = 0; index < count; ++index) {
        int step = rand() % 10 - 2;
        spinAngle[index] = (float)(spinAngle[index] + step * (double)0.2f);

        // Each sprite runs 4000 ms ahead of the one before it, wrapping with the tick counter.
        const double spriteTime = (unsigned int)(frameTime + 4000u * (unsigned int)index);
        if (settings.tumbleMode) {
            sprite.angleX = (float)(90.0 * sin(0.0001f * time) + 90.0);
            sprite.angleY = (float)(20.0 * index + 120.0);
            sprite.angleZ = settings.spinEnabled ? spinAngle[index] : 180.0f;
            sprite.halfHeight = (float)(size + wobble * sin(0.0001f * time));
            sprite.halfWidth = (float)(size + wobble * sin(0.0002f * time));
        } else {
            sprite.angleX = 0.0f;
            sprite.angleY = 0.0f;
            sprite.angleZ = settings.spinEnabled ? (float)(90.0 * sin(0.001f * spriteTime)) : 180.0f;
            sprite.halfWidth = settings.spriteSize;
            sprite.halfHeight = settings.spriteSize;
        }

        if (count <= 1) {
            sprite.x = (float)(0.35714287f * size);
            sprite.y = (float)(0.5 * size);
        } else if (index <= 50) {
            sprite.x = (float)(0.6 * size * sin(0.0004f * spriteTime) + 2.0 * level0);
            sprite.y = (float)(0.6 * size * sin(0.0005f * spriteTime) + 2.0 * level1);
        } else {
            // Sprites past the spectrum-driven fifty circle the axis, farther out the higher the index.
            const double radius = (double)0.1f * (index - 30);
            const double angle = 0.001f * spriteTime;
            sprite.x = (float)(0.6 * size * radius * sin(angle));
            sprite.y = (float)(0.6 * size * radius * cos(angle));
        }
        sprite.z = -13.0f;

        sprite.blendSrc = GL_ONE_MINUS_SRC_COLOR;
        sprite.blendDst = GL_ONE_MINUS_DST_COLOR;
        sprite.alphaTest = GL_GREATER;
        sprite.noDepthWrite = 0;
        sprite.frontTexture = (unsigned int)logoTexture;
        sprite.backTexture = -1;
        sprite.next = nullptr;
        queueSprite(&sprite);
    }
}
