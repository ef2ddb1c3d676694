// wgl_sdl.cpp -- the SDL2 backend's GL contexts, over SDL's GL windows (framebuffer objects under offscreen video).
#include <SDL2/SDL.h>

#include "platform/common/backend.h"
#include "platform/sdl/offscreen_surface_sdl.h"
#include "platform/sdl/registry_sdl.h"

namespace gloamer::platform::backend {

uintptr_t createContext(Window& window)
{
    SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
    SDL_GLContext previousContext = SDL_GL_GetCurrentContext();
    SDL_GLContext created = SDL_GL_CreateContext(sdlWindowOf(window));
    // SDL makes a new context current; WGL does not.
    SDL_GL_MakeCurrent(previousWindow, previousContext);
    return (uintptr_t)created;
}

bool makeCurrent(Window* window, GlContext* context)
{
    if (!window || !context) {
        if (SDL_WasInit(SDL_INIT_VIDEO))
            SDL_GL_MakeCurrent(nullptr, nullptr);
        return true;
    }
    if (SDL_GL_MakeCurrent(sdlWindowOf(*window), (SDL_GLContext)context->native) != 0)
        return false;
    if (usesOffscreenSurfaces())
        bindOffscreenSurface(*context, *window);
    return true;
}

void deleteContext(GlContext& context, bool current)
{
    if (current)
        SDL_GL_MakeCurrent(nullptr, nullptr);
    SDL_GL_DeleteContext((SDL_GLContext)context.native);
}

void swapBuffers(Window& window)
{
    SDL_GL_SwapWindow(sdlWindowOf(window));
}

} // namespace gloamer::platform::backend
