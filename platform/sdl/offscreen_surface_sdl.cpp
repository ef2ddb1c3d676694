// offscreen_surface_sdl.cpp -- framebuffer objects that stand in for a window's buffers under SDL's offscreen driver.
#include <cstdlib>

#include "platform/sdl/offscreen_surface_sdl.h"

#include <SDL2/SDL.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>
#include <string>

#include "platform/hooks.h"

namespace gloamer::platform {

namespace {

// The platform layer links no GL library; the entry points come from the context's driver.
struct FramebufferFunctions {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
    bool loaded = false;
};

FramebufferFunctions& functions()
{
    static FramebufferFunctions gl;
    if (!gl.loaded) {
        gl.genFramebuffers = (PFNGLGENFRAMEBUFFERSPROC)SDL_GL_GetProcAddress("glGenFramebuffers");
        gl.bindFramebuffer = (PFNGLBINDFRAMEBUFFERPROC)SDL_GL_GetProcAddress("glBindFramebuffer");
        gl.genRenderbuffers = (PFNGLGENRENDERBUFFERSPROC)SDL_GL_GetProcAddress("glGenRenderbuffers");
        gl.bindRenderbuffer = (PFNGLBINDRENDERBUFFERPROC)SDL_GL_GetProcAddress("glBindRenderbuffer");
        gl.renderbufferStorage = (PFNGLRENDERBUFFERSTORAGEPROC)SDL_GL_GetProcAddress("glRenderbufferStorage");
        gl.framebufferRenderbuffer =
            (PFNGLFRAMEBUFFERRENDERBUFFERPROC)SDL_GL_GetProcAddress("glFramebufferRenderbuffer");
        gl.loaded = gl.genFramebuffers && gl.bindFramebuffer && gl.genRenderbuffers && gl.bindRenderbuffer &&
                    gl.renderbufferStorage && gl.framebufferRenderbuffer;
    }
    return gl;
}

} // namespace

bool usesOffscreenSurfaces()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver && !strcmp(driver, "offscreen");
}

void bindOffscreenSurface(GlContext& context, const Window& window)
{
    FramebufferFunctions& gl = functions();
    if (!gl.loaded)
        return; // the window's own surface then serves, at its first size
    if (!context.framebuffer) {
        gl.genFramebuffers(1, &context.framebuffer);
        gl.genRenderbuffers(1, &context.colorBuffer);
        gl.genRenderbuffers(1, &context.depthBuffer);
    }
    gl.bindFramebuffer(GL_FRAMEBUFFER, context.framebuffer);
    if (context.surfaceWidth == window.clientWidth && context.surfaceHeight == window.clientHeight)
        return;
    // The window's pixel format: RGB without alpha, 16-bit depth.
    gl.bindRenderbuffer(GL_RENDERBUFFER, context.colorBuffer);
    // GLOAMER_ALPHA_BITS=8 gives the format Windows gives for 32 colour bits, RGBA, to compare frames with it.
    const char* alphaBits = getenv("GLOAMER_ALPHA_BITS");
    GLenum colourFormat = alphaBits && atoi(alphaBits) >= 8 ? GL_RGBA8 : GL_RGB8;
    gl.renderbufferStorage(GL_RENDERBUFFER, colourFormat, window.clientWidth, window.clientHeight);
    gl.bindRenderbuffer(GL_RENDERBUFFER, context.depthBuffer);
    gl.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, window.clientWidth, window.clientHeight);
    gl.bindRenderbuffer(GL_RENDERBUFFER, 0);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, context.colorBuffer);
    gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, context.depthBuffer);
    context.surfaceWidth = window.clientWidth;
    context.surfaceHeight = window.clientHeight;
}

} // namespace gloamer::platform

extern "C" BOOL gloamerDrawOffscreenOn(int index)
{
    if (index < 0 || SDL_WasInit(SDL_INIT_VIDEO))
        return FALSE;
    // SDL's offscreen driver opens its EGL display on the device this hint names (by this very name).
    const std::string device = std::to_string(index);
    return SDL_SetHint("SDL_HINT_EGL_DEVICE", device.c_str()) ? TRUE : FALSE;
}
