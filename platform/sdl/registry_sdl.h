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

} // namespace gloamer::platform
