// gl_defaults.cpp -- the start-up GL state and the grey that every pass restores.
#include "plugin/window/gl_defaults.h"

#include "platform/gl.h"
#include "plugin/state/state.h"

int initGlDefaults()
{
    glEnable(GL_TEXTURE_2D);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glDepthFunc(GL_LESS);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return 1;
}

void restoreDrawColor()
{
    glColor4f(drawIntensity, drawIntensity, drawIntensity, 1.0f);
}
