// viewport.cpp -- keeps viewport, perspective and the stored screen size in step with the window.
#include "plugin/window/viewport.h"

#include <math.h>

#include "platform/gl.h"
#include "plugin/state/state.h"

void resizeViewport(int width, int height)
{
    if (height <= 0)
        height = 1;
    if (width <= 0)
        width = 1;
    glViewport(0, 0, width, height);
    settings.screenWidth = width;
    settings.screenHeight = height;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    setPerspective(45.0f, (float)((double)width / (double)height), 0.1f, 256.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void setPerspective(float fieldOfViewY, float aspect, float zNear, float zFar)
{
    const double halfAngleRadiansPerDegree = 0.008726646259971648; // pi / 360
    double top = zNear * tan(fieldOfViewY * halfAngleRadiansPerDegree);
    double bottom = -top;
    glFrustum(bottom * aspect, top * aspect, bottom, top, zNear, zFar);
}

void pushPixelOverlay()
{
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, settings.screenWidth, settings.screenHeight, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void popPixelOverlay()
{
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}
