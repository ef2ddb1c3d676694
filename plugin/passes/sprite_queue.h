// sprite_queue.h -- the sprite record, the frame's queue of sprite copies, and drawing them as two-faced quads.
#pragma once

#include <stddef.h>

struct Sprite {
    float x;
    float y;
    float z;
    float angleX;
    float angleY;
    float angleZ;
    float halfWidth;
    float halfHeight;
    int blendSrc;             // -1: no blend function for this sprite
    int blendDst;             // -1: the same factor as blendSrc
    int alphaTest;            // comparison against 0.0; -1: no alpha test
    int noDepthWrite;         // nonzero: depth writes off while drawn
    unsigned int frontTexture;
    int backTexture;          // -1: the second face keeps frontTexture
    Sprite* next;
};

// Fifteen four-byte fields on the 32-bit build.
static_assert(sizeof(void*) != 4 || sizeof(Sprite) == 60, "Sprite is 60 bytes");
static_assert(sizeof(void*) != 4 || offsetof(Sprite, next) == 56, "next at 56");

void queueSprite(const Sprite* record);
void drawSprite(const Sprite* record);
void drawSpriteList(Sprite* first, int release);
