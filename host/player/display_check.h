// display_check.h -- whether a run can show a window: the display SDL would open, tried before anything starts.
#pragma once

#include <string>

namespace gloamer {

struct DisplayCheck {
    bool window = false; // a window a person can see will open
    std::string problem; // why no window can be shown, naming the display tried; empty when one can (or none is wanted)
};

// SDL_VIDEODRIVER=offscreen or dummy asks for a run without a window: no window, and no problem. Otherwise the
// display is opened and closed again; a display that fails, or only SDL's window-less drivers working, is a
// problem. With no WAYLAND_DISPLAY only X11 is tried, so that libwayland prints nothing of its own.
DisplayCheck checkDisplay();

// How many displays the video driver that a window would use has (0 when it does not open).
int countDisplays();

} // namespace gloamer
