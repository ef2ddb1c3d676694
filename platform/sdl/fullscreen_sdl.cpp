// fullscreen_sdl.cpp -- a window over its whole display, borderless, and back to the size and place it had.
#include <SDL2/SDL.h>

#include <map>

#include "platform/hooks.h"
#include "platform/sdl/registry_sdl.h"

using namespace gloamer::platform;

namespace {

struct Windowed {
    int x = 0, y = 0, width = 0, height = 0;
    bool bordered = true;
};

std::map<HWND, Windowed>& windowedPlaces()
{
    static std::map<HWND, Windowed> places;
    return places;
}

} // namespace

// A window manager takes the desktop fullscreen state and hides the panels; with none (a bare X server) only
// the window's own geometry counts, so the window is also made borderless and laid over the display's bounds.
// Leaving, SDL's state goes first and then the size and place saved here, which SDL alone would not restore
// when no window manager acted. The size changes come as window events, which the pump turns into WM_SIZE.
BOOL gloamerSetFullscreen(HWND handle, BOOL on)
{
    Window* window = findWindow(handle);
    if (!window || !window->surface)
        return FALSE;
    SDL_Window* sdl = sdlWindowOf(*window);
    if (on) {
        SDL_Rect bounds;
        int display = SDL_GetWindowDisplayIndex(sdl);
        if (display < 0 || SDL_GetDisplayBounds(display, &bounds) != 0)
            return FALSE;
        Windowed place;
        SDL_GetWindowPosition(sdl, &place.x, &place.y);
        SDL_GetWindowSize(sdl, &place.width, &place.height);
        place.bordered = !(SDL_GetWindowFlags(sdl) & SDL_WINDOW_BORDERLESS);
        windowedPlaces()[handle] = place;
        SDL_SetWindowBordered(sdl, SDL_FALSE);
        SDL_SetWindowPosition(sdl, bounds.x, bounds.y);
        SDL_SetWindowSize(sdl, bounds.w, bounds.h);
        SDL_RaiseWindow(sdl);
        return SDL_SetWindowFullscreen(sdl, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0;
    }
    SDL_SetWindowFullscreen(sdl, 0);
    auto saved = windowedPlaces().find(handle);
    if (saved != windowedPlaces().end()) {
        SDL_SetWindowBordered(sdl, saved->second.bordered ? SDL_TRUE : SDL_FALSE);
        SDL_SetWindowSize(sdl, saved->second.width, saved->second.height);
        SDL_SetWindowPosition(sdl, saved->second.x, saved->second.y);
        windowedPlaces().erase(saved);
    }
    return TRUE;
}
