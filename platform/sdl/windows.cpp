// windows.cpp -- window classes and windows over SDL windows; client sizes follow AdjustWindowRectEx's frame.
#include <SDL2/SDL.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/sdl/offscreen_surface.h"
#include "platform/sdl/registry.h"

namespace gloamer::platform {

Registry& registry()
{
    static Registry instance;
    return instance;
}

std::string classKey(const char* name)
{
    std::string key = name ? name : "";
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
    return key;
}

Window* findWindow(HWND window)
{
    auto& windows = registry().windows;
    auto found = windows.find((uintptr_t)window);
    return found == windows.end() ? nullptr : found->second.get();
}

Window* findWindowForDc(HDC deviceContext)
{
    Window* window = findWindow((HWND)deviceContext);
    return window && window->sdl ? window : nullptr;
}

Window* findWindowBySdlId(Uint32 sdlId)
{
    for (auto& [id, window] : registry().windows)
        if (window->sdl && SDL_GetWindowID(window->sdl) == sdlId)
            return window.get();
    return nullptr;
}

HWND handleOf(const Window& window)
{
    return (HWND)window.id;
}

// Desktop GL's compatibility profile, or with GLOAMER_GL_PROFILE=es OpenGL ES 3.0, which a plug-in built over
// the GL 1.1 layer on GLES draws with. SDL picks its GL library by the profile, so it is set before loading.
static void requestContextProfile()
{
    const char* profile = getenv("GLOAMER_GL_PROFILE");
    if (profile && !strcmp(profile, "es")) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    } else {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2); // SDL's own default, whatever came before
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    }
}

bool ensureVideo()
{
    if (SDL_WasInit(SDL_INIT_VIDEO))
        return true;
    // The host owns Ctrl-C; SDL must not turn it into a quit event of its own.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return false;
    // SDL unloads the GL library with the last GL window; held from here on, a plug-in's second init does not
    // load the GL driver all over again, and leak checkers at exit still find the driver's memory reachable.
    requestContextProfile();
    SDL_GL_LoadLibrary(nullptr);
    return true;
}

// The notional frame a captioned window wears around its client area; SDL windows are client areas only.
RECT frameOf(DWORD style)
{
    if ((style & WS_CAPTION) == WS_CAPTION)
        return RECT{3, 25, 3, 3};
    if (style & WS_THICKFRAME)
        return RECT{3, 3, 3, 3};
    return RECT{0, 0, 0, 0};
}

} // namespace gloamer::platform

using namespace gloamer::platform;

extern "C" {

ATOM RegisterClassA(const WNDCLASSA* windowClass)
{
    if (!windowClass || !windowClass->lpszClassName || !windowClass->lpfnWndProc)
        return 0;
    std::string key = classKey(windowClass->lpszClassName);
    auto& classes = registry().classes;
    if (key.empty() || classes.count(key))
        return 0;
    WindowClass entry{windowClass->lpszClassName, *windowClass};
    entry.info.lpszClassName = nullptr;
    entry.info.lpszMenuName = nullptr;
    classes.emplace(key, entry);
    return (ATOM)(0xC000 + classes.size());
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance)
{
    auto& reg = registry();
    auto found = reg.classes.find(classKey(className));
    if (found == reg.classes.end() || found->second.info.hInstance != instance)
        return FALSE;
    for (auto& [id, window] : reg.windows)
        if (window->className == found->first)
            return FALSE; // a class with live windows stays, as on Windows
    reg.classes.erase(found);
    return TRUE;
}

BOOL GetClassInfoA(HINSTANCE instance, LPCSTR className, WNDCLASSA* windowClass)
{
    auto& classes = registry().classes;
    auto found = classes.find(classKey(className));
    if (found == classes.end() || found->second.info.hInstance != instance)
        return FALSE;
    if (windowClass) {
        *windowClass = found->second.info;
        windowClass->lpszClassName = className;
    }
    return TRUE;
}

BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL, DWORD)
{
    if (!rect)
        return FALSE;
    RECT frame = frameOf(style);
    rect->left -= frame.left;
    rect->top -= frame.top;
    rect->right += frame.right;
    rect->bottom += frame.bottom;
    return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU, HINSTANCE, LPVOID)
{
    auto& reg = registry();
    auto found = reg.classes.find(classKey(className));
    if (found == reg.classes.end())
        return nullptr;

    auto window = std::make_unique<Window>();
    window->id = reg.nextId++;
    window->className = found->first;
    window->proc = found->second.info.lpfnWndProc;
    window->style = style;
    window->exStyle = exStyle;
    window->owner = parent == HWND_MESSAGE ? nullptr : parent;

    if (parent != HWND_MESSAGE) {
        if (!ensureVideo())
            return nullptr;
        RECT frame = frameOf(style);
        if (width == CW_USEDEFAULT)
            width = 640 + frame.left + frame.right;
        if (height == CW_USEDEFAULT)
            height = 480 + frame.top + frame.bottom;
        if (x == CW_USEDEFAULT)
            x = SDL_WINDOWPOS_UNDEFINED;
        if (y == CW_USEDEFAULT)
            y = SDL_WINDOWPOS_UNDEFINED;
        window->clientWidth = std::max(1, width - (int)(frame.left + frame.right));
        window->clientHeight = std::max(1, height - (int)(frame.top + frame.bottom));
        // A window's pixel format is fixed when SDL creates it, so every window is made ready for GL.
        requestContextProfile();
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
        Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
        if (style & WS_THICKFRAME)
            flags |= SDL_WINDOW_RESIZABLE;
        window->sdl = SDL_CreateWindow(windowName ? windowName : "", x, y, window->clientWidth,
                                       window->clientHeight, flags);
        if (!window->sdl)
            return nullptr;
    }

    HWND handle = handleOf(*window);
    WNDPROC proc = window->proc;
    reg.windows.emplace(window->id, std::move(window));
    if (proc(handle, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    Window* created = findWindow(handle);
    if (created && created->sdl)
        proc(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(created->clientWidth, created->clientHeight));
    if (created && (style & WS_VISIBLE))
        ShowWindow(handle, SW_SHOW);
    return findWindow(handle) ? handle : nullptr;
}

BOOL DestroyWindow(HWND handle)
{
    auto& reg = registry();
    Window* window = findWindow(handle);
    if (!window)
        return FALSE;
    // Owned windows go first, as on Windows.
    std::vector<HWND> owned;
    for (auto& [id, other] : reg.windows)
        if (other->owner == handle)
            owned.push_back(handleOf(*other));
    for (HWND child : owned)
        DestroyWindow(child);

    window->proc(handle, WM_DESTROY, 0, 0);
    window = findWindow(handle);
    if (!window)
        return TRUE;
    for (auto& [id, context] : reg.contexts)
        if (context.windowId == window->id)
            context.windowId = 0;
    if (window->sdl)
        SDL_DestroyWindow(window->sdl);
    if (reg.focus == window->id)
        reg.focus = 0;
    std::erase_if(reg.queue, [handle](const MSG& message) { return message.hwnd == handle; });
    reg.windows.erase(window->id);
    return TRUE;
}

BOOL IsWindow(HWND window)
{
    return findWindow(window) != nullptr;
}

BOOL IsWindowVisible(HWND handle)
{
    Window* window = findWindow(handle);
    return window && window->visible;
}

BOOL GetClientRect(HWND handle, RECT* rect)
{
    Window* window = findWindow(handle);
    if (!window || !rect)
        return FALSE;
    *rect = RECT{0, 0, window->clientWidth, window->clientHeight};
    return TRUE;
}

BOOL GetWindowRect(HWND handle, RECT* rect)
{
    Window* window = findWindow(handle);
    if (!window || !rect)
        return FALSE;
    int x = 0, y = 0;
    if (window->sdl)
        SDL_GetWindowPosition(window->sdl, &x, &y);
    RECT frame = frameOf(window->style);
    *rect = RECT{x - frame.left, y - frame.top, x + window->clientWidth + frame.right,
                 y + window->clientHeight + frame.bottom};
    return TRUE;
}

BOOL SetWindowPos(HWND handle, HWND, int x, int y, int width, int height, UINT flags)
{
    Window* window = findWindow(handle);
    if (!window)
        return FALSE;
    if (window->sdl && !(flags & SWP_NOMOVE))
        SDL_SetWindowPosition(window->sdl, x, y);
    if (window->sdl && !(flags & SWP_NOSIZE)) {
        RECT frame = frameOf(window->style);
        int clientWidth = std::max(1, width - (int)(frame.left + frame.right));
        int clientHeight = std::max(1, height - (int)(frame.top + frame.bottom));
        SDL_SetWindowSize(window->sdl, clientWidth, clientHeight);
        if (clientWidth != window->clientWidth || clientHeight != window->clientHeight) {
            window->clientWidth = clientWidth;
            window->clientHeight = clientHeight;
            followClientSize(*window);
            window->proc(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(clientWidth, clientHeight));
        }
    }
    return TRUE;
}

BOOL ShowWindow(HWND handle, int command)
{
    Window* window = findWindow(handle);
    if (!window)
        return FALSE;
    BOOL wasVisible = window->visible;
    window->visible = command != SW_HIDE;
    if (window->sdl) {
        if (window->visible)
            SDL_ShowWindow(window->sdl);
        else
            SDL_HideWindow(window->sdl);
    }
    return wasVisible;
}

BOOL SetForegroundWindow(HWND handle)
{
    Window* window = findWindow(handle);
    if (!window)
        return FALSE;
    if (window->sdl)
        SDL_RaiseWindow(window->sdl);
    return TRUE;
}

HWND SetFocus(HWND handle)
{
    auto& reg = registry();
    HWND previous = (HWND)reg.focus;
    Window* window = findWindow(handle);
    if (handle && !window)
        return nullptr;
    reg.focus = window ? window->id : 0;
    return findWindow(previous) ? previous : nullptr;
}

LONG SetWindowLongA(HWND handle, int index, LONG value)
{
    Window* window = findWindow(handle);
    if (!window || index != GWL_USERDATA)
        return 0;
    LONG previous = window->userData;
    window->userData = value;
    return previous;
}

LONG GetWindowLongA(HWND handle, int index)
{
    Window* window = findWindow(handle);
    return window && index == GWL_USERDATA ? window->userData : 0;
}

LRESULT DefWindowProcA(HWND handle, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(handle);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE)
            SendMessageA(handle, WM_CLOSE, 0, 0);
        return 0;
    case WM_SYSKEYDOWN:
        if (wParam == VK_F1 + 3) // Alt+F4
            SendMessageA(handle, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    return 0;
}

} // extern "C"
