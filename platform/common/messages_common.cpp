// messages_common.cpp -- the thread's message queue, fed by a backend's events, and message delivery to window procedures.
#include "platform/common/backend.h"

namespace gloamer::platform {

void postToWindow(Window& window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG posted = {};
    posted.hwnd = handleOf(window);
    posted.message = message;
    posted.wParam = wParam;
    posted.lParam = lParam;
    posted.time = GetTickCount();
    registry().queue.push_back(posted);
}

void clientResized(Window& window, int width, int height)
{
    if (width == window.clientWidth && height == window.clientHeight)
        return;
    window.clientWidth = width;
    window.clientHeight = height;
    backend::followClientSize(window);
    window.proc(handleOf(window), WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
}

static bool matches(const MSG& message, HWND window, UINT first, UINT last)
{
    if (window == (HWND)(intptr_t)-1) {
        if (message.hwnd)
            return false;
    } else if (window && message.hwnd != window) {
        return false;
    }
    return (first == 0 && last == 0) || (message.message >= first && message.message <= last);
}

} // namespace gloamer::platform

using namespace gloamer::platform;

extern "C" {

LRESULT SendMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    Window* window = findWindow(handle);
    return window ? window->proc(handle, message, wParam, lParam) : 0;
}

BOOL PostMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (handle && !findWindow(handle))
        return FALSE;
    MSG posted = {};
    posted.hwnd = handle;
    posted.message = message;
    posted.wParam = wParam;
    posted.lParam = lParam;
    posted.time = GetTickCount();
    registry().queue.push_back(posted);
    return TRUE;
}

void PostQuitMessage(int exitCode)
{
    registry().quitPosted = true;
    registry().quitCode = exitCode;
}

BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove)
{
    auto& reg = registry();
    backend::pumpEvents();
    for (auto it = reg.queue.begin(); it != reg.queue.end(); ++it) {
        if (!matches(*it, window, first, last))
            continue;
        if (message)
            *message = *it;
        if (remove & PM_REMOVE)
            reg.queue.erase(it);
        return TRUE;
    }
    // The quit request is seen only once nothing else is waiting, as on Windows.
    if (reg.quitPosted && (first == 0 || (WM_QUIT >= first && WM_QUIT <= last))) {
        if (message) {
            *message = MSG{};
            message->message = WM_QUIT;
            message->wParam = (WPARAM)reg.quitCode;
        }
        if (remove & PM_REMOVE)
            reg.quitPosted = false;
        return TRUE;
    }
    return FALSE;
}

BOOL GetMessageA(MSG* message, HWND window, UINT first, UINT last)
{
    while (!PeekMessageA(message, window, first, last, PM_REMOVE))
        backend::waitForEvents(10);
    return message->message != WM_QUIT;
}

BOOL TranslateMessage(const MSG*)
{
    return FALSE;
}

LRESULT DispatchMessageA(const MSG* message)
{
    if (!message)
        return 0;
    Window* window = findWindow(message->hwnd);
    return window ? window->proc(message->hwnd, message->message, message->wParam, message->lParam) : 0;
}

} // extern "C"
