// windows_common.cpp -- window classes and windows over a backend's surfaces; client sizes follow AdjustWindowRectEx's frame.
#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/common/backend.h"

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
    return window && window->surface ? window : nullptr;
}

HWND handleOf(const Window& window)
{
    return (HWND)window.id;
}

// The notional frame a captioned window wears around its client area; surfaces are client areas only.
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
        RECT frame = frameOf(style);
        if (width == CW_USEDEFAULT)
            width = 640 + frame.left + frame.right;
        if (height == CW_USEDEFAULT)
            height = 480 + frame.top + frame.bottom;
        window->clientWidth = std::max(1, width - (int)(frame.left + frame.right));
        window->clientHeight = std::max(1, height - (int)(frame.top + frame.bottom));
        if (!backend::createSurface(*window, windowName ? windowName : "", x, y))
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
    if (created && created->surface)
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
    if (window->surface)
        backend::destroySurface(*window);
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
    if (window->surface)
        backend::surfacePosition(*window, &x, &y);
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
    if (window->surface && !(flags & SWP_NOMOVE))
        backend::moveSurface(*window, x, y);
    if (window->surface && !(flags & SWP_NOSIZE)) {
        RECT frame = frameOf(window->style);
        int clientWidth = std::max(1, width - (int)(frame.left + frame.right));
        int clientHeight = std::max(1, height - (int)(frame.top + frame.bottom));
        backend::resizeSurface(*window, clientWidth, clientHeight);
        clientResized(*window, clientWidth, clientHeight);
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
    if (window->surface)
        backend::showSurface(*window, window->visible);
    return wasVisible;
}

BOOL SetForegroundWindow(HWND handle)
{
    Window* window = findWindow(handle);
    if (!window)
        return FALSE;
    if (window->surface)
        backend::raiseSurface(*window);
    return TRUE;
}

BOOL SetWindowTextA(HWND handle, LPCSTR text)
{
    Window* window = findWindow(handle);
    if (!window)
        return FALSE;
    if (window->surface)
        backend::titleSurface(*window, text ? text : "");
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
