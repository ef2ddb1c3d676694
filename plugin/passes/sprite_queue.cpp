// sprite_queue.cpp -- queues heap copies of sprite records and draws them, newest first, as two-faced textured quads.
#include "plugin/passes/sprite_queue.h"

#include <stdlib.h>
#include <string.h>

#include "platform/gl.h"
#include "plugin/state/state.h"
#include "plugin/window/gl_defaults.h"

// A record the heap cannot supply is left out of this frame; the frame goes on without it.
void queueSprite(const Sprite* record)
{
    Sprite* copy = (Sprite*)malloc(sizeof(Sprite));
    if (!copy)
        return;
    memcpy(copy, record, sizeof(Sprite));
    copy->next = nullptr;
    if (!spriteQueue) {
        spriteQueue = copy;
        return;
    }
    Sprite* tail = spriteQueue;
    while (tail->next)
        tail = tail->next;
    tail->next = copy;
}

static void drawSpriteFace(const Sprite* record)
{
    glBegin(GL_QUADS);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(-record->halfWidth, -record->halfHeight, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(-record->halfWidth, record->halfHeight, 0.0f);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(record->halfWidth, record->halfHeight, 0.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(record->halfWidth, -record->halfHeight, 0.0f);
    glEnd();
}

// What the record itself asks for, switched on before its faces are drawn.
static void switchOnRecordState(const Sprite* record)
{
    if (record->noDepthWrite)
        glDepthMask(GL_FALSE);
    if (record->blendSrc != -1) {
        glBlendFunc(record->blendSrc, record->blendDst == -1 ? record->blendSrc : record->blendDst);
        glEnable(GL_BLEND);
    }
    if (record->alphaTest != -1) {
        glAlphaFunc(record->alphaTest, 0.0f);
        glEnable(GL_ALPHA_TEST);
    }
}

// The same switches off again; blending is already off (see drawSprite), and turning it off once more for a
// blending record keeps each switch's on and off together here.
static void switchOffRecordState(const Sprite* record)
{
    if (record->blendSrc != -1)
        glDisable(GL_BLEND);
    if (record->alphaTest != -1)
        glDisable(GL_ALPHA_TEST);
    if (record->noDepthWrite)
        glDepthMask(GL_TRUE);
}

void drawSprite(const Sprite* record)
{
    glLoadIdentity();
    glTranslatef(record->x, record->y, record->z);
    glRotatef(record->angleX, 1.0f, 0.0f, 0.0f);
    glRotatef(record->angleY, 0.0f, 1.0f, 0.0f);
    glRotatef(record->angleZ, 0.0f, 0.0f, 1.0f);

    switchOnRecordState(record);
    // Sprites are drawn opaque whatever their blend factors; the factors only stay behind as GL state.
    glDisable(GL_BLEND);
    glColor4f(0.99f, 0.99f, 0.99f, 1.0f);
    glEnable(GL_CULL_FACE);

    // The face seen from local -Z first, then the one seen from +Z (the viewer's side at angle 0).
    glBindTexture(GL_TEXTURE_2D, record->frontTexture);
    glCullFace(GL_BACK);
    drawSpriteFace(record);
    if (record->backTexture != -1)
        glBindTexture(GL_TEXTURE_2D, record->backTexture);
    glCullFace(GL_FRONT);
    drawSpriteFace(record);

    glDisable(GL_CULL_FACE);
    restoreDrawColor();
    switchOffRecordState(record);
}

static Sprite* reverseList(Sprite* first)
{
    Sprite* reversed = nullptr;
    while (first) {
        Sprite* next = first->next;
        first->next = reversed;
        reversed = first;
        first = next;
    }
    return reversed;
}

// Newest record first, the head of the list last; a releasing draw frees each record right after drawing it.
// The links are turned round for the walk and put back when nothing is released.
void drawSpriteList(Sprite* first, int release)
{
    Sprite* record = reverseList(first);
    Sprite* restored = nullptr;
    while (record) {
        Sprite* ahead = record->next;
        drawSprite(record);
        if (release) {
            free(record);
        } else {
            record->next = restored;
            restored = record;
        }
        record = ahead;
    }
}
