// wgl_common.cpp -- device contexts, pixel formats and GL contexts as WGL has them, over a backend's GL contexts.
#include "platform/common/backend.h"
#include "platform/hooks.h"

using namespace gloamer::platform;

static GloamerPresentHook presentHook = nullptr;
static void* presentHookUser = nullptr;

static GlContext* findContext(HGLRC context)
{
    auto& contexts = registry().contexts;
    auto found = contexts.find((uintptr_t)context);
    return found == contexts.end() ? nullptr : &found->second;
}

namespace gloamer::platform {

GlContext* currentContext()
{
    return findContext((HGLRC)registry().currentContext);
}

} // namespace gloamer::platform

extern "C" {

void gloamerSetPresentHook(GloamerPresentHook hook, void* user)
{
    presentHook = hook;
    presentHookUser = user;
}

HDC GetDC(HWND handle)
{
    Window* window = findWindow(handle);
    return window && window->surface ? (HDC)window->id : nullptr;
}

int ReleaseDC(HWND, HDC deviceContext)
{
    return findWindowForDc(deviceContext) ? 1 : 0;
}

int ChoosePixelFormat(HDC deviceContext, const PIXELFORMATDESCRIPTOR* request)
{
    if (!findWindowForDc(deviceContext) || !request || !(request->dwFlags & PFD_SUPPORT_OPENGL) ||
        request->iPixelType != PFD_TYPE_RGBA)
        return 0;
    return 1; // the one format every window is created with
}

BOOL SetPixelFormat(HDC deviceContext, int format, const PIXELFORMATDESCRIPTOR*)
{
    Window* window = findWindowForDc(deviceContext);
    if (!window || format != 1 || (window->pixelFormat && window->pixelFormat != format))
        return FALSE;
    window->pixelFormat = format;
    return TRUE;
}

HGLRC wglCreateContext(HDC deviceContext)
{
    auto& reg = registry();
    Window* window = findWindowForDc(deviceContext);
    if (!window || !window->pixelFormat)
        return nullptr;
    uintptr_t native = backend::createContext(*window);
    if (!native)
        return nullptr;
    GlContext context{reg.nextId++, native, window->id};
    reg.contexts.emplace(context.id, context);
    return (HGLRC)context.id;
}

BOOL wglMakeCurrent(HDC deviceContext, HGLRC handle)
{
    auto& reg = registry();
    if (!handle) {
        backend::makeCurrent(nullptr, nullptr);
        reg.currentContext = 0;
        return TRUE;
    }
    GlContext* context = findContext(handle);
    Window* window = findWindowForDc(deviceContext);
    if (!context || !window || !window->pixelFormat)
        return FALSE;
    if (!backend::makeCurrent(window, context))
        return FALSE;
    reg.currentContext = context->id;
    context->windowId = window->id;
    return TRUE;
}

BOOL wglDeleteContext(HGLRC handle)
{
    auto& reg = registry();
    GlContext* context = findContext(handle);
    if (!context)
        return FALSE;
    bool current = reg.currentContext == context->id;
    backend::deleteContext(*context, current);
    if (current)
        reg.currentContext = 0;
    reg.contexts.erase(context->id);
    return TRUE;
}

HGLRC wglGetCurrentContext(void)
{
    return (HGLRC)registry().currentContext;
}

BOOL SwapBuffers(HDC deviceContext)
{
    Window* window = findWindowForDc(deviceContext);
    if (!window)
        return FALSE;
    if (presentHook)
        presentHook(handleOf(*window), window->clientWidth, window->clientHeight, presentHookUser);
    backend::swapBuffers(*window);
    return TRUE;
}

} // extern "C"
