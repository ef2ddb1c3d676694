// windows_sdl.cpp -- the SDL2 backend's surfaces: one SDL window, made ready for GL, per top-level window.
#include <SDL2/SDL.h>

#include <cstdlib>
#include <cstring>

#include "platform/common/backend.h"
#include "platform/sdl/offscreen_surface_sdl.h"
#include "platform/sdl/registry_sdl.h"

namespace gloamer::platform {

Window* findWindowBySdlId(Uint32 sdlId)
{
    for (auto& [id, window] : registry().windows)
        if (window->surface && SDL_GetWindowID(sdlWindowOf(*window)) == sdlId)
            return window.get();
    return nullptr;
}

// Desktop GL's compatibility profile, or with GLOAMER_GL_PROFILE=es OpenGL ES 3.0, which a plug-in built over
// the GL 1.1 layer on GLES draws with. SDL picks its GL library by the profile, so it is set before loading.
static void requestContextProfile()
{
    const char* profile = getenv("GLOAMER_GL_PROFILE");
    if (profile && !strcmp(profile, "es")) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    } else {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2); // SDL's own default, whatever came before
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    }
}

bool ensureVideo()
{
    if (SDL_WasInit(SDL_INIT_VIDEO))
        return true;
    // The host owns Ctrl-C; SDL must not turn it into a quit event of its own.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return false;
    // SDL unloads the GL library with the last GL window; held from here on, a plug-in's second init does not
    // load the GL driver all over again, and leak checkers at exit still find the driver's memory reachable.
    requestContextProfile();
    SDL_GL_LoadLibrary(nullptr);
    return true;
}

namespace backend {

bool createSurface(Window& window, const char* title, int x, int y)
{
    if (!ensureVideo())
        return false;
    if (x == CW_USEDEFAULT)
        x = SDL_WINDOWPOS_UNDEFINED;
    if (y == CW_USEDEFAULT)
        y = SDL_WINDOWPOS_UNDEFINED;
    // A window's pixel format is fixed when SDL creates it, so every window is made ready for GL.
    requestContextProfile();
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (window.style & WS_THICKFRAME)
        flags |= SDL_WINDOW_RESIZABLE;
    window.surface = SDL_CreateWindow(title, x, y, window.clientWidth, window.clientHeight, flags);
    if (window.surface)
        setUtf8TitleOnX11(sdlWindowOf(window), title);
    return window.surface != nullptr;
}

void destroySurface(Window& window)
{
    SDL_DestroyWindow(sdlWindowOf(window));
    window.surface = nullptr;
}

void showSurface(Window& window, bool visible)
{
    if (visible)
        SDL_ShowWindow(sdlWindowOf(window));
    else
        SDL_HideWindow(sdlWindowOf(window));
}

void raiseSurface(Window& window)
{
    SDL_RaiseWindow(sdlWindowOf(window));
}

void titleSurface(Window& window, const char* title)
{
    SDL_SetWindowTitle(sdlWindowOf(window), title);
    setUtf8TitleOnX11(sdlWindowOf(window), title);
}

void surfacePosition(const Window& window, int* x, int* y)
{
    SDL_GetWindowPosition(sdlWindowOf(window), x, y);
}

void moveSurface(Window& window, int x, int y)
{
    SDL_SetWindowPosition(sdlWindowOf(window), x, y);
}

void resizeSurface(Window& window, int width, int height)
{
    SDL_SetWindowSize(sdlWindowOf(window), width, height);
}

void followClientSize(const Window& window)
{
    GlContext* context = currentContext();
    if (context && context->windowId == window.id && usesOffscreenSurfaces())
        bindOffscreenSurface(*context, window);
}

} // namespace backend

} // namespace gloamer::platform
