// fake_win32.cpp -- records every Win32/WGL call with its arguments; any listed call fails instead.
#include "tests/fakes/fake_win32.h"

#include <cstring>

#include "tests/fakes/call_log.h"

namespace fake {

Win32State& win32()
{
    static Win32State state;
    return state;
}

void resetWin32()
{
    win32() = Win32State{};
}

static bool fails(const char* op)
{
    return win32().failing.count(op) != 0;
}

static double handle(const void* value)
{
    return (double)(uintptr_t)value;
}

template <typename T>
static T newHandle()
{
    return (T)(intptr_t)win32().nextHandle++;
}

// A new handle, kept among the live ones until its release.
template <typename T>
static T newLiveHandle(std::set<T>& live)
{
    T created = newHandle<T>();
    live.insert(created);
    return created;
}

} // namespace fake

using fake::handle;
using fake::log;
using fake::win32;

extern "C" {

ATOM RegisterClassA(const WNDCLASSA* c)
{
    log().record("RegisterClassA",
                 {(double)c->style, handle((void*)c->lpfnWndProc), (double)c->cbClsExtra, (double)c->cbWndExtra,
                  handle(c->hInstance), handle(c->hIcon), handle(c->hCursor), handle(c->hbrBackground),
                  handle(c->lpszMenuName)},
                 {c->lpszClassName ? c->lpszClassName : ""});
    if (fake::fails("RegisterClassA") || win32().classes.count(c->lpszClassName))
        return 0;
    win32().classes.insert(c->lpszClassName);
    return 0xC001;
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance)
{
    log().record("UnregisterClassA", {handle(instance)}, {className});
    if (fake::fails("UnregisterClassA"))
        return FALSE;
    return win32().classes.erase(className) ? TRUE : FALSE;
}

BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle)
{
    log().record("AdjustWindowRectEx", {(double)rect->left, (double)rect->top, (double)rect->right,
                                        (double)rect->bottom, (double)style, (double)menu, (double)exStyle});
    rect->left -= fake::kFrameLeft;
    rect->top -= fake::kFrameTop;
    rect->right += fake::kFrameRight;
    rect->bottom += fake::kFrameBottom;
    return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    log().record("CreateWindowExA",
                 {(double)exStyle, (double)style, (double)x, (double)y, (double)width, (double)height,
                  handle(parent), handle(menu), handle(instance), handle(param)},
                 {className, windowName});
    if (fake::fails("CreateWindowExA") || !win32().classes.count(className))
        return nullptr;
    HWND window = fake::newHandle<HWND>();
    // The class's procedure is the plug-in's window procedure; the fake knows it from the last registration.
    const fake::Call* registration = nullptr;
    for (const fake::Call& call : log().calls())
        if (call.op == "RegisterClassA" && call.texts[0] == className)
            registration = &call;
    WNDPROC proc = registration ? (WNDPROC)(uintptr_t)registration->args[1] : nullptr;
    win32().windows[window] = proc;
    // Windows sends the first size message before CreateWindowEx returns.
    if (proc)
        proc(window, WM_SIZE, SIZE_RESTORED,
             MAKELPARAM(width - fake::kFrameLeft - fake::kFrameRight, height - fake::kFrameTop - fake::kFrameBottom));
    return window;
}

BOOL DestroyWindow(HWND window)
{
    log().record("DestroyWindow", {handle(window)});
    if (fake::fails("DestroyWindow"))
        return FALSE;
    return win32().windows.erase(window) ? TRUE : FALSE;
}

BOOL IsWindow(HWND window)
{
    return win32().windows.count(window) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND window, int command)
{
    log().record("ShowWindow", {handle(window), (double)command});
    return FALSE;
}

BOOL SetForegroundWindow(HWND window)
{
    log().record("SetForegroundWindow", {handle(window)});
    return TRUE;
}

HWND SetFocus(HWND window)
{
    log().record("SetFocus", {handle(window)});
    return nullptr;
}

LONG SetWindowLongA(HWND window, int index, LONG value)
{
    log().record("SetWindowLongA", {handle(window), (double)index, (double)value});
    return 0;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    log().record("DefWindowProcA", {handle(window), (double)message, (double)wParam, (double)lParam});
    return win32().defWindowProcResult;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    log().record("SendMessageA", {handle(window), (double)message, (double)wParam, (double)lParam});
    auto found = win32().windows.find(window);
    if (found != win32().windows.end())
        return found->second ? found->second(window, message, wParam, lParam) : 0;
    return win32().hostAnswer;
}

void PostQuitMessage(int exitCode)
{
    log().record("PostQuitMessage", {(double)exitCode});
    win32().quitMessages.push_back(exitCode);
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    log().record("MessageBoxA", {handle(owner), (double)type}, {text ? text : "", caption ? caption : ""});
    win32().messageBoxes.push_back({owner, text ? text : "", caption ? caption : "", type});
    return IDOK;
}

HDC GetDC(HWND window)
{
    log().record("GetDC", {handle(window)});
    if (fake::fails("GetDC") || !win32().windows.count(window))
        return nullptr;
    return fake::newLiveHandle(win32().deviceContexts);
}

int ReleaseDC(HWND window, HDC deviceContext)
{
    log().record("ReleaseDC", {handle(window), handle(deviceContext)});
    return win32().deviceContexts.erase(deviceContext) ? 1 : 0;
}

int ChoosePixelFormat(HDC deviceContext, const PIXELFORMATDESCRIPTOR* p)
{
    log().record("ChoosePixelFormat",
                 {handle(deviceContext), (double)p->nSize, (double)p->nVersion, (double)p->dwFlags,
                  (double)p->iPixelType, (double)p->cColorBits, (double)p->cAlphaBits, (double)p->cAccumBits,
                  (double)p->cDepthBits, (double)p->cStencilBits, (double)p->cAuxBuffers, (double)p->iLayerType,
                  handle(p)});
    return fake::fails("ChoosePixelFormat") ? 0 : 7;
}

BOOL SetPixelFormat(HDC deviceContext, int format, const PIXELFORMATDESCRIPTOR* request)
{
    log().record("SetPixelFormat", {handle(deviceContext), (double)format, handle(request)});
    return fake::fails("SetPixelFormat") ? FALSE : TRUE;
}

BOOL SwapBuffers(HDC deviceContext)
{
    log().record("SwapBuffers", {handle(deviceContext)});
    return TRUE;
}

HGLRC wglCreateContext(HDC deviceContext)
{
    log().record("wglCreateContext", {handle(deviceContext)});
    if (fake::fails("wglCreateContext"))
        return nullptr;
    return fake::newLiveHandle(win32().contexts);
}

BOOL wglMakeCurrent(HDC deviceContext, HGLRC context)
{
    log().record("wglMakeCurrent", {handle(deviceContext), handle(context)});
    if (fake::fails("wglMakeCurrent"))
        return FALSE;
    win32().current = context;
    return TRUE;
}

BOOL wglDeleteContext(HGLRC context)
{
    log().record("wglDeleteContext", {handle(context)});
    return win32().contexts.erase(context) ? TRUE : FALSE;
}

DWORD GetTickCount(void)
{
    log().record("GetTickCount");
    return win32().tickCount;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size)
{
    log().record("GetModuleFileNameA", {handle(module), (double)size});
    if (fake::fails("GetModuleFileNameA") || size == 0)
        return 0;
    const std::string& name = win32().moduleFileName;
    if (name.size() >= size) { // truncated and terminated, returning the buffer size, as Windows does
        memcpy(fileName, name.data(), size - 1);
        fileName[size - 1] = '\0';
        return size;
    }
    memcpy(fileName, name.c_str(), name.size() + 1);
    return (DWORD)name.size();
}

} // extern "C"
