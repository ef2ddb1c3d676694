// title_x11_sdl.cpp -- the window's title as UTF-8 in both of X11's title properties.
//
// SDL writes WM_NAME through the C library's locale (raw bytes under "C", which window managers then read as
// Latin-1) and gives up on _NET_WM_NAME when that locale cannot convert the text, so a title with an accent or
// a dash arrived garbled or not at all. Both are written here as UTF8_STRING, which every window manager reads.
#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstring>
#include <initializer_list>

namespace gloamer::platform {

void setUtf8TitleOnX11(SDL_Window* window, const char* title)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return;
    Display* display = info.info.x11.display;
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const int length = (int)std::strlen(title);
    for (Atom property : {XA_WM_NAME, XInternAtom(display, "_NET_WM_NAME", False), XA_WM_ICON_NAME,
                          XInternAtom(display, "_NET_WM_ICON_NAME", False)})
        XChangeProperty(display, info.info.x11.window, property, utf8, 8, PropModeReplace,
                        (const unsigned char*)title, length);
    XFlush(display);
}

} // namespace gloamer::platform
