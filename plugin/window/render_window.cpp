// render_window.cpp -- builds the owned render window with its double-buffered GL context, and tears it down.
#include "plugin/window/render_window.h"

#include "plugin/state/records.h"
#include "plugin/state/state.h"
#include "plugin/window/gl_defaults.h"
#include "plugin/window/viewport.h"

static const char renderWindowClass[] = "f_gloamer";
static const DWORD renderWindowStyle = WS_CAPTION | WS_SYSMENU;
static const DWORD renderWindowExStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;

// Double-buffered RGBA, 32-bit colour, 16-bit depth; used for both choosing and setting the format.
static const PIXELFORMATDESCRIPTOR pixelFormatRequest = {
    sizeof(PIXELFORMATDESCRIPTOR),
    1,
    PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER,
    PFD_TYPE_RGBA,
    32,
    0, 0, 0, 0, 0, 0, // colour bits and shifts
    0, 0,             // alpha
    0, 0, 0, 0, 0,    // accumulation
    16,               // depth
    0,                // stencil
    0,                // auxiliary buffers
    PFD_MAIN_PLANE,
    0, 0, 0, 0,
};

// Shows the numbered failure while the half-built window still exists, then releases what was built.
static int failStartup(VisModule* module, const char* code, bool tearDown)
{
    MessageBoxA(module->parentWindow, code, "Gloamer", MB_OK);
    if (tearDown)
        teardownWindow();
    return 1;
}

int startRenderWindow(VisModule* module)
{
    RECT rect = {50, 50, settings.screenWidth, settings.screenHeight};
    instanceHandle = module->libraryInstance;

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = renderWindowProc;
    windowClass.hInstance = instanceHandle;
    windowClass.lpszClassName = renderWindowClass;
    if (!RegisterClassA(&windowClass))
        return failStartup(module, "ERRORCODE1", false);

    AdjustWindowRectEx(&rect, renderWindowStyle, FALSE, renderWindowExStyle);

    renderWindow = CreateWindowExA(renderWindowExStyle, renderWindowClass, "Gloamer",
                                   renderWindowStyle | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                                   rect.right - rect.left, rect.bottom - rect.top, module->parentWindow, nullptr,
                                   instanceHandle, nullptr);
    if (!renderWindow)
        return failStartup(module, "ERRORCODE2", true);

    deviceContext = GetDC(renderWindow);
    if (!deviceContext)
        return failStartup(module, "ERRORCODE3", true);

    int pixelFormat = ChoosePixelFormat(deviceContext, &pixelFormatRequest);
    if (!pixelFormat)
        return failStartup(module, "ERRORCODE4", true);
    if (!SetPixelFormat(deviceContext, pixelFormat, &pixelFormatRequest))
        return failStartup(module, "ERRORCODE5", true);

    glContext = wglCreateContext(deviceContext);
    if (!glContext)
        return failStartup(module, "ERRORCODE6", true);
    if (!wglMakeCurrent(deviceContext, glContext))
        return failStartup(module, "ERRORCODE7", true);

    SetWindowLongA(renderWindow, GWL_USERDATA, (LONG)(intptr_t)module);
    SendMessageA(module->parentWindow, WM_USER, (WPARAM)renderWindow, HOSTMSG_SET_RENDER_WINDOW);

    ShowWindow(renderWindow, SW_SHOW);
    SetForegroundWindow(renderWindow);
    SetFocus(renderWindow);
    resizeViewport(settings.screenWidth, settings.screenHeight);

    if (!initGlDefaults())
        return failStartup(module, "ERRORCODE8", true);

    SwapBuffers(deviceContext);
    return 0;
}

LRESULT CALLBACK renderWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        resizeViewport(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_ACTIVATE:
    case WM_KEYDOWN:
    case WM_KEYUP:
        return 0;
    case WM_CLOSE:
        // Only the host's quit callback takes the window down.
        PostQuitMessage(0);
        return 0;
    case WM_SYSCOMMAND:
        if (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER)
            return 0;
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int teardownWindow()
{
    if (glContext) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(glContext);
        glContext = nullptr;
    }
    if (deviceContext) {
        ReleaseDC(renderWindow, deviceContext);
        deviceContext = nullptr;
    }
    if (renderWindow) {
        DestroyWindow(renderWindow);
        renderWindow = nullptr;
    }
    return UnregisterClassA(renderWindowClass, instanceHandle);
}
