// messages_web.cpp -- the browser backend's events: the page's resizes, full-screen changes and keys fed to the queue.
#include <emscripten/html5.h>

#include <algorithm>
#include <cmath>

#include "platform/web/canvas_web.h"

namespace gloamer::platform {

namespace web {

namespace {

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

} // namespace

void listenToPage()
{
    static bool listening = false;
    if (listening)
        return;
    listening = true;
    emscripten_set_resize_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_FALSE, onResize);
    emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE, onFullscreenChange);
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE, onKey);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_FALSE, onKey);
}

} // namespace web

using namespace web;

namespace backend {

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
