// messages_sdl.cpp -- SDL's window and key events turned into the thread's queued window messages.
#include <SDL2/SDL.h>

#include "platform/common/backend.h"
#include "platform/sdl/registry_sdl.h"

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

static void translateWindowEvent(const SDL_WindowEvent& event)
{
    Window* window = findWindowBySdlId(event.windowID);
    if (!window)
        return;
    HWND handle = handleOf(*window);
    switch (event.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        clientResized(*window, event.data1, event.data2);
        break;
    case SDL_WINDOWEVENT_CLOSE:
        // The caption's close button arrives as a system command, as on Windows.
        postToWindow(*window, WM_SYSCOMMAND, SC_CLOSE, 0);
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
    postToWindow(*window, message, key, lParam);
}

namespace backend {

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

void waitForEvents(int milliseconds)
{
    if (SDL_WasInit(SDL_INIT_VIDEO))
        SDL_WaitEventTimeout(nullptr, milliseconds);
    else
        SDL_Delay((Uint32)milliseconds);
}

} // namespace backend

} // namespace gloamer::platform
