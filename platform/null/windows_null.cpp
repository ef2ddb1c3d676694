// windows_null.cpp -- the null backend's surfaces: each window gets a place and a size that nothing shows.
#include "platform/null/surface_null.h"

namespace gloamer::platform {

namespace null {

NullSurface* surfaceOf(const Window& window)
{
    return static_cast<NullSurface*>(window.surface);
}

} // namespace null

using namespace null;

namespace backend {

bool createSurface(Window& window, const char* title, int x, int y)
{
    auto* surface = new NullSurface;
    surface->x = x == CW_USEDEFAULT ? 0 : x;
    surface->y = y == CW_USEDEFAULT ? 0 : y;
    surface->title = title ? title : "";
    window.surface = surface;
    return true;
}

void destroySurface(Window& window)
{
    delete surfaceOf(window);
    window.surface = nullptr;
}

void showSurface(Window&, bool) {}

void raiseSurface(Window&) {}

void titleSurface(Window& window, const char* title)
{
    surfaceOf(window)->title = title ? title : "";
}

void surfacePosition(const Window& window, int* x, int* y)
{
    *x = surfaceOf(window)->x;
    *y = surfaceOf(window)->y;
}

void moveSurface(Window& window, int x, int y)
{
    surfaceOf(window)->x = x;
    surfaceOf(window)->y = y;
}

// A real window system reports the new size later; here it is at once, through the same call back.
void resizeSurface(Window& window, int width, int height)
{
    clientResized(window, width, height);
}

void followClientSize(const Window&) {}

} // namespace backend

} // namespace gloamer::platform
