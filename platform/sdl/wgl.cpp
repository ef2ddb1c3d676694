// wgl.cpp -- device contexts, pixel formats and GL contexts over SDL's GL windows.
#include <SDL2/SDL.h>

#include "platform/hooks.h"
#include "platform/sdl/offscreen_surface.h"
#include "platform/sdl/registry.h"

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
    return window && window->sdl ? (HDC)window->id : nullptr;
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
    SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
    SDL_GLContext previousContext = SDL_GL_GetCurrentContext();
    SDL_GLContext created = SDL_GL_CreateContext(window->sdl);
    // SDL makes a new context current; WGL does not.
    SDL_GL_MakeCurrent(previousWindow, previousContext);
    if (!created)
        return nullptr;
    GlContext context{reg.nextId++, created, window->id};
    reg.contexts.emplace(context.id, context);
    return (HGLRC)context.id;
}

BOOL wglMakeCurrent(HDC deviceContext, HGLRC handle)
{
    auto& reg = registry();
    if (!handle) {
        if (SDL_WasInit(SDL_INIT_VIDEO))
            SDL_GL_MakeCurrent(nullptr, nullptr);
        reg.currentContext = 0;
        return TRUE;
    }
    GlContext* context = findContext(handle);
    Window* window = findWindowForDc(deviceContext);
    if (!context || !window || !window->pixelFormat)
        return FALSE;
    if (SDL_GL_MakeCurrent(window->sdl, context->sdl) != 0)
        return FALSE;
    reg.currentContext = context->id;
    context->windowId = window->id;
    if (usesOffscreenSurfaces())
        bindOffscreenSurface(*context, *window);
    return TRUE;
}

BOOL wglDeleteContext(HGLRC handle)
{
    auto& reg = registry();
    GlContext* context = findContext(handle);
    if (!context)
        return FALSE;
    if (reg.currentContext == context->id) {
        SDL_GL_MakeCurrent(nullptr, nullptr);
        reg.currentContext = 0;
    }
    SDL_GL_DeleteContext(context->sdl);
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
    SDL_GL_SwapWindow(window->sdl);
    return TRUE;
}

} // extern "C"
