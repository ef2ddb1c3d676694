// captures.cpp -- window captures into rectangle textures, the zoomed feedback layer and the 30-layer additive glow.
#include "plugin/passes/captures.h"

#include <math.h>

#include "platform/gl.h"
#include "plugin/state/state.h"
#include "plugin/passes/spectrum_level.h"
#include "plugin/window/gl_defaults.h"
#include "plugin/window/viewport.h"

// Lengths are given for a 640 x 480 window.
float scaleX(float value)
{
    return (float)(settings.screenWidth * (double)0.0015625f * value);
}

float scaleY(float value)
{
    return (float)(settings.screenHeight * (double)0.0020833334f * value);
}

static void specifyCaptureStorage(int width, int height)
{
    glTexImage2D(GL_TEXTURE_RECTANGLE_NV, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_FLOAT, nullptr);
}

// Copies the back buffer into a capture texture, making it on first use and giving it new storage, under the
// same name, whenever the window has changed size since: a copy larger than the storage would be refused.
static void captureWindow(int* texture, int* textureWidth, int* textureHeight)
{
    const int width = settings.screenWidth;
    const int height = settings.screenHeight;
    if (*texture == -1) {
        *texture = nextTextureName;
        nextTextureName = nextTextureName + 1;
        glBindTexture(GL_TEXTURE_RECTANGLE_NV, *texture);
        specifyCaptureStorage(width, height);
        *textureWidth = width;
        *textureHeight = height;
        glTexParameteri(GL_TEXTURE_RECTANGLE_NV, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_RECTANGLE_NV, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_RECTANGLE_NV, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_RECTANGLE_NV, GL_TEXTURE_WRAP_T, GL_CLAMP);
    }
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_TEXTURE_RECTANGLE_NV);
    glBindTexture(GL_TEXTURE_RECTANGLE_NV, *texture);
    if (*textureWidth != width || *textureHeight != height) {
        specifyCaptureStorage(width, height);
        *textureWidth = width;
        *textureHeight = height;
    }
    glCopyTexSubImage2D(GL_TEXTURE_RECTANGLE_NV, 0, 0, 0, 0, 0, width, height);
    glDisable(GL_TEXTURE_RECTANGLE_NV);
    glEnable(GL_TEXTURE_2D);
}

void captureGlow()
{
    captureWindow(&glowTexture, &glowTextureWidth, &glowTextureHeight);
}

void captureFeedback()
{
    captureWindow(&feedbackTexture, &feedbackTextureWidth, &feedbackTextureHeight);
}

// The capture's rectangle (ix, iy) .. (W - ix, H - iy) stretched over the whole window; texel row 0 is the
// window's bottom row while the overlay's y grows downward, so t runs from H - iy at the top.
static void drawWindowLayer(float insetX, float insetY)
{
    const float width = (float)settings.screenWidth;
    const float height = (float)settings.screenHeight;
    glTexCoord2f(insetX, height - insetY);
    glVertex2f(0.0f, 0.0f);
    glTexCoord2f(insetX, insetY);
    glVertex2f(0.0f, height);
    glTexCoord2f(width - insetX, insetY);
    glVertex2f(width, height);
    glTexCoord2f(width - insetX, height - insetY);
    glVertex2f(width, 0.0f);
}

void drawFeedback()
{
    if (feedbackTexture == -1)
        return;
    pushPixelOverlay();
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_COLOR);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_TEXTURE_RECTANGLE_NV);
    glBindTexture(GL_TEXTURE_RECTANGLE_NV, feedbackTexture);

    const double time = frameTime;
    const double wave = sin(time * 0.0001);
    const float grey = wave + 1.0 < 1.0 ? 1.0f : (float)(wave + 1.0);
    float zoom = settings.feedbackZoom;
    if (settings.feedbackPulse)
        zoom = (float)(sin(time * 0.001) * settings.feedbackZoom + 2.0 * settings.feedbackZoom);

    const float insetX = scaleX(zoom);
    const float insetY = scaleY((float)((double)settings.screenHeight / (double)settings.screenWidth * zoom));
    const int layers = settings.feedbackDoublePass ? 2 : 1;
    for (int layer = 0; layer < layers; ++layer) {
        const float shade = layer == 0 ? grey : 0.04f;
        glColor4f(shade, shade, shade, 1.0f);
        glBegin(GL_QUADS);
        drawWindowLayer(insetX, insetY);
        glEnd();
    }

    glDisable(GL_TEXTURE_RECTANGLE_NV);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    popPixelOverlay();
    restoreDrawColor();
}

// The trail is neither depth-tested nor written, so the sprites over it meet a cleared depth buffer. The test goes
// off and on again even when there is no trail yet, since drawFeedback then makes no GL call at all.
void drawTrail()
{
    glDisable(GL_DEPTH_TEST);
    drawFeedback();
    glEnable(GL_DEPTH_TEST);
}

// Thirty ever more zoomed copies of the sprites-alone capture, added with falling weight and tinted by the
// levels (red and blue from channel 0, green from channel 1). Only the first insets are scaled to the window.
void drawGlow()
{
    const float level0 = spectrumLevel(0);
    const float level1 = spectrumLevel(1);
    const float stepY = (float)((double)settings.screenHeight / (double)settings.screenWidth * 10.0);
    float insetX = scaleX(10.0f);
    float insetY = scaleY(stepY);
    float alpha = 0.2f;

    glDisable(GL_TEXTURE_2D);
    glEnable(GL_TEXTURE_RECTANGLE_NV);
    glBindTexture(GL_TEXTURE_RECTANGLE_NV, glowTexture);
    glDisable(GL_DEPTH_TEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_BLEND);
    pushPixelOverlay();

    glBegin(GL_QUADS);
    for (int layer = 0; layer < 30; ++layer) {
        glColor4f(level0, level1, level0, alpha);
        drawWindowLayer(insetX, insetY);
        insetX = (float)(insetX + 10.0);
        insetY = (float)(insetY + (double)stepY);
        alpha = (float)(alpha - (double)0.006666667f);
    }
    glEnd();

    popPixelOverlay();
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_RECTANGLE_NV);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    restoreDrawColor();
}
