// frame.cpp -- the order of a frame's passes, which decides what each capture holds and in which GL state each runs.
#include "plugin/passes/frame.h"

#include "platform/gl.h"
#include "plugin/state/state.h"
#include "plugin/passes/captures.h"
#include "plugin/passes/sprite_queue.h"

// The glow capture sees this frame's sprites alone on black; the feedback capture sees the frame without its glow.
void composeFrame()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawIntensity = 1.0f;
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);

    if (settings.glowEnabled) {
        drawSpriteList(spriteQueue, 0);
        captureGlow();
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    // The previous frame, zoomed, under this frame's sprites.
    drawTrail();

    drawSpriteList(spriteQueue, 1);
    spriteQueue = nullptr;

    captureFeedback();
    if (settings.glowEnabled)
        drawGlow();
}
