// gl_window.h -- a window with a double-buffered GL context current on this thread, made through the Win32 seam.
#pragma once

#include "platform/win32.h"

namespace testgl {

// A window class, registered for as long as this lives.
class WindowClass {
public:
    WindowClass(const char* name, WNDPROC procedure, HINSTANCE instance) : name_(name), instance_(instance)
    {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = procedure;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = name;
        registered_ = RegisterClassA(&windowClass) != 0;
    }
    ~WindowClass()
    {
        if (registered_)
            UnregisterClassA(name_, instance_);
    }
    WindowClass(const WindowClass&) = delete;
    WindowClass& operator=(const WindowClass&) = delete;

    bool registered() const { return registered_; }

private:
    const char* name_;
    HINSTANCE instance_;
    bool registered_ = false;
};

// A window of an already registered class whose client area is width x height, with a 32-bit colour, 16-bit
// depth GL context made current; what was made is released in reverse order when this goes.
class GlWindow {
public:
    GlWindow(const char* className, HINSTANCE instance, DWORD style, int width, int height)
    {
        RECT rect = {0, 0, width, height};
        AdjustWindowRectEx(&rect, style, FALSE, 0);
        window_ = CreateWindowExA(0, className, "test", style, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                                  nullptr, nullptr, instance, nullptr);
        deviceContext_ = window_ ? GetDC(window_) : nullptr;
        PIXELFORMATDESCRIPTOR request = {};
        request.nSize = sizeof(request);
        request.nVersion = 1;
        request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
        request.iPixelType = PFD_TYPE_RGBA;
        request.cColorBits = 32;
        request.cDepthBits = 16;
        int format = deviceContext_ ? ChoosePixelFormat(deviceContext_, &request) : 0;
        if (format && SetPixelFormat(deviceContext_, format, &request))
            context_ = wglCreateContext(deviceContext_);
        current_ = context_ && wglMakeCurrent(deviceContext_, context_);
    }
    ~GlWindow()
    {
        if (current_)
            wglMakeCurrent(nullptr, nullptr);
        if (context_)
            wglDeleteContext(context_);
        if (deviceContext_)
            ReleaseDC(window_, deviceContext_);
        if (window_)
            DestroyWindow(window_);
    }
    GlWindow(const GlWindow&) = delete;
    GlWindow& operator=(const GlWindow&) = delete;

    // Whether every step worked and the context is current.
    bool ready() const { return current_; }
    HWND window() const { return window_; }
    HDC deviceContext() const { return deviceContext_; }
    HGLRC context() const { return context_; }

private:
    HWND window_ = nullptr;
    HDC deviceContext_ = nullptr;
    HGLRC context_ = nullptr;
    bool current_ = false;
};

} // namespace testgl
