// fullscreen.cpp -- a window over its whole display, borderless, and back: the desktop's own mode, not a resize.
#include <SDL2/SDL.h>

#include "platform/hooks.h"
#include "platform/sdl/registry.h"

using namespace gloamer::platform;

// SDL keeps the windowed size and place while the window fills the display and gives them back on leaving.
// The size change comes as a window event, which the message pump turns into WM_SIZE.
BOOL gloamerSetFullscreen(HWND handle, BOOL on)
{
    Window* window = findWindow(handle);
    if (!window || !window->surface)
        return FALSE;
    return SDL_SetWindowFullscreen(sdlWindowOf(*window), on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) == 0;
}
