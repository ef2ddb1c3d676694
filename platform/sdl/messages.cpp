// messages.cpp -- the thread's message queue, fed by SDL events, and message delivery to window procedures.
#include <SDL2/SDL.h>

#include "platform/sdl/offscreen_surface.h"
#include "platform/sdl/registry.h"

namespace gloamer::platform {

static UINT virtualKeyOf(SDL_Keycode key)
{
    if (key >= SDLK_a && key <= SDLK_z)
        return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9)
        return '0' + (key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12)
        return VK_F1 + (key - SDLK_F1);
    switch (key) {
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_RETURN: return VK_RETURN;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_UP: return VK_UP;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL: case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT: case SDLK_RALT: return VK_MENU;
    default: return 0;
    }
}

static void postToWindow(Window* window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG posted = {};
    posted.hwnd = handleOf(*window);
    posted.message = message;
    posted.wParam = wParam;
    posted.lParam = lParam;
    posted.time = GetTickCount();
    registry().queue.push_back(posted);
}

static void translateWindowEvent(const SDL_WindowEvent& event)
{
    Window* window = findWindowBySdlId(event.windowID);
    if (!window)
        return;
    HWND handle = handleOf(*window);
    switch (event.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        if (event.data1 != window->clientWidth || event.data2 != window->clientHeight) {
            window->clientWidth = event.data1;
            window->clientHeight = event.data2;
            followClientSize(*window);
            window->proc(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(event.data1, event.data2));
        }
        break;
    case SDL_WINDOWEVENT_CLOSE:
        // The caption's close button arrives as a system command, as on Windows.
        postToWindow(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        registry().focus = window->id;
        window->proc(handle, WM_ACTIVATE, 1, 0);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        window->proc(handle, WM_ACTIVATE, 0, 0);
        break;
    }
}

static void translateKeyEvent(const SDL_KeyboardEvent& event)
{
    Window* window = findWindowBySdlId(event.windowID);
    if (!window)
        window = findWindow((HWND)registry().focus);
    UINT key = virtualKeyOf(event.keysym.sym);
    if (!window || !key)
        return;
    bool down = event.type == SDL_KEYDOWN;
    bool alt = (event.keysym.mod & KMOD_ALT) != 0 && key != VK_MENU;
    UINT message = alt ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
    LPARAM lParam = 1 | ((LPARAM)(event.keysym.scancode & 0xFF) << 16);
    if (alt)
        lParam |= (LPARAM)1 << 29;
    if (event.repeat)
        lParam |= (LPARAM)1 << 30;
    if (!down)
        lParam |= (LPARAM)3 << 30;
    postToWindow(window, message, key, lParam);
}

void pumpEvents()
{
    if (!SDL_WasInit(SDL_INIT_VIDEO))
        return;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_WINDOWEVENT)
            translateWindowEvent(event.window);
        else if (event.type == SDL_KEYDOWN || event.type == SDL_KEYUP)
            translateKeyEvent(event.key);
    }
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
    pumpEvents();
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
    while (!PeekMessageA(message, window, first, last, PM_REMOVE)) {
        if (SDL_WasInit(SDL_INIT_VIDEO))
            SDL_WaitEventTimeout(nullptr, 10);
        else
            SDL_Delay(10);
    }
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
