// display_check.cpp -- opens SDL's video once to learn whether a visible window is possible, then closes it.
#include "host/player/display_check.h"

#include <SDL2/SDL.h>

#include <algorithm>

#include <cstdlib>
#include <cstring>

namespace gloamer {

namespace {

bool windowless(const char* driver)
{
    return driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
}

std::string variable(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

} // namespace

DisplayCheck checkDisplay()
{
    const std::string asked = variable("SDL_VIDEODRIVER");
    if (windowless(asked.c_str()))
        return {};
    const std::string x11 = variable("DISPLAY"), wayland = variable("WAYLAND_DISPLAY");
    std::string named = !wayland.empty() ? "WAYLAND_DISPLAY=" + wayland : !x11.empty() ? "DISPLAY=" + x11 : "";
    if (asked.empty() && named.empty())
        return {false, "no display to show a window on (DISPLAY and WAYLAND_DISPLAY are not set)"};
    if (asked.empty() && wayland.empty())
        setenv("SDL_VIDEODRIVER", "x11", 1);
    if (named.empty())
        named = "SDL_VIDEODRIVER=" + asked;

    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return {false, "cannot open the display " + named + " (" + SDL_GetError() + ")"};
    bool window = !windowless(SDL_GetCurrentVideoDriver()) && SDL_GetNumVideoDisplays() > 0;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    if (!window)
        return {false, "no usable display at " + named};
    return {true, ""};
}

int countDisplays()
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return 0;
    int displays = std::max(0, SDL_GetNumVideoDisplays());
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return displays;
}

} // namespace gloamer
