// canvas.cpp -- the browser backend's surface: the page's one canvas, its size and key events fed to the queue.
#include <emscripten/html5.h>

#include <algorithm>
#include <cmath>

#include "platform/common/backend.h"

namespace gloamer::platform {

namespace {

const char canvasSelector[] = "#canvas";
char canvasSurface;         // what a window's surface points at while it owns the canvas
bool layoutChanged = false; // a resize or full-screen change since the last look at the canvas's size
bool listening = false;

Window* canvasWindow()
{
    for (auto& [id, window] : registry().windows)
        if (window->surface == &canvasSurface)
            return window.get();
    return nullptr;
}

EM_BOOL onResize(int, const EmscriptenUiEvent*, void*)
{
    layoutChanged = true;
    return EM_FALSE;
}

EM_BOOL onFullscreenChange(int, const EmscriptenFullscreenChangeEvent*, void*)
{
    layoutChanged = true;
    return EM_FALSE;
}

// DOM key codes are the Windows virtual-key codes for letters, digits, F-keys, arrows, space, Esc and the rest.
EM_BOOL onKey(int type, const EmscriptenKeyboardEvent* event, void*)
{
    Window* window = findWindow((HWND)registry().focus);
    if (!window)
        window = canvasWindow();
    UINT key = event->keyCode;
    if (!window || key == 0 || key > 0xFE || event->ctrlKey || event->metaKey)
        return EM_FALSE;
    bool down = type == EMSCRIPTEN_EVENT_KEYDOWN;
    bool alt = event->altKey && key != VK_MENU;
    UINT message = alt ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
    LPARAM lParam = 1;
    if (alt)
        lParam |= (LPARAM)1 << 29;
    if (event->repeat)
        lParam |= (LPARAM)1 << 30;
    if (!down)
        lParam |= (LPARAM)3 << 30;
    postToWindow(*window, message, key, lParam);
    // Space would scroll the page under the picture.
    return key == VK_SPACE ? EM_TRUE : EM_FALSE;
}

void listen()
{
    if (listening)
        return;
    listening = true;
    emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, onResize);
    emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE, onFullscreenChange);
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE, onKey);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE, onKey);
}

} // namespace

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
    listen();
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

// A resize of the page or a change to full screen: the client area takes the size the canvas is shown at.
void pumpEvents()
{
    if (!layoutChanged)
        return;
    layoutChanged = false;
    Window* window = canvasWindow();
    double width = 0, height = 0;
    if (!window || emscripten_get_element_css_size(canvasSelector, &width, &height) != EMSCRIPTEN_RESULT_SUCCESS)
        return;
    int clientWidth = std::max(1, (int)std::lround(width));
    int clientHeight = std::max(1, (int)std::lround(height));
    clientResized(*window, clientWidth, clientHeight);
}

// The page's thread must not block; events arrive between animation frames.
void waitForEvents(int) {}

} // namespace backend

} // namespace gloamer::platform
