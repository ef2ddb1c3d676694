// registry_sdl.h -- the shared bookkeeping seen from the SDL2 backend: each surface is an SDL window.
#pragma once

#include <SDL2/SDL.h>

#include "platform/common/registry_common.h"

namespace gloamer::platform {

inline SDL_Window* sdlWindowOf(const Window& window)
{
    return (SDL_Window*)window.surface;
}

Window* findWindowBySdlId(Uint32 sdlId);
bool ensureVideo();
// Where the window is on X11, its title properties as UTF-8 (see x11_title.cpp); elsewhere nothing.
void setUtf8TitleOnX11(SDL_Window* window, const char* title);

} // namespace gloamer::platform
