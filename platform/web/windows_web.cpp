// windows_web.cpp -- the browser backend's surfaces: the page's one canvas is the render window's client area.
#include <emscripten/html5.h>

#include "platform/web/canvas_web.h"

namespace gloamer::platform {

namespace web {

const char canvasSelector[] = "#canvas";
bool layoutChanged = false;

namespace {
char canvasSurface; // what a window's surface points at while it owns the canvas
} // namespace

Window* canvasWindow()
{
    for (auto& [id, window] : registry().windows)
        if (window->surface == &canvasSurface)
            return window.get();
    return nullptr;
}

} // namespace web

using namespace web;

namespace backend {

// The render window is the canvas: its drawing buffer is the client area, shown at the size the page lays it out.
bool createSurface(Window& window, const char*, int, int)
{
    if (canvasWindow())
        return false; // one canvas, one window drawing on it
    if (emscripten_set_canvas_element_size(canvasSelector, window.clientWidth, window.clientHeight) !=
        EMSCRIPTEN_RESULT_SUCCESS)
        return false;
    emscripten_set_element_css_size(canvasSelector, window.clientWidth, window.clientHeight);
    window.surface = &canvasSurface;
    listenToPage();
    layoutChanged = false;
    return true;
}

void destroySurface(Window& window)
{
    window.surface = nullptr;
}

void showSurface(Window&, bool) {}

void raiseSurface(Window&) {}

// The page keeps its own title: the song is named in the page itself.
void titleSurface(Window&, const char*) {}

void surfacePosition(const Window&, int* x, int* y)
{
    *x = 0;
    *y = 0;
}

void moveSurface(Window&, int, int) {}

void resizeSurface(Window& window, int width, int height)
{
    emscripten_set_canvas_element_size(canvasSelector, width, height);
    emscripten_set_element_css_size(canvasSelector, width, height);
    (void)window;
}

void followClientSize(const Window& window)
{
    emscripten_set_canvas_element_size(canvasSelector, window.clientWidth, window.clientHeight);
}

} // namespace backend

} // namespace gloamer::platform
