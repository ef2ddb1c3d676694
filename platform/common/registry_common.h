// registry_common.h -- the platform layer's own bookkeeping: window classes, windows, GL contexts, the message queue.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include "platform/win32.h"

namespace gloamer::platform {

struct WindowClass {
    std::string name;
    WNDCLASSA info;
};

struct Window {
    uintptr_t id = 0;
    std::string className;
    WNDPROC proc = nullptr;
    void* surface = nullptr; // the backend's drawing surface (an SDL window, a canvas); null for message-only windows
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND owner = nullptr;
    LONG userData = 0;
    int clientWidth = 0;
    int clientHeight = 0;
    int pixelFormat = 0;
    bool visible = false;
};

struct GlContext {
    uintptr_t id = 0;
    uintptr_t native = 0; // the backend's context
    uintptr_t windowId = 0;
    // SDL's offscreen driver only: the framebuffer object standing in for the window's buffers.
    unsigned int framebuffer = 0;
    unsigned int colorBuffer = 0;
    unsigned int depthBuffer = 0;
    int surfaceWidth = 0;
    int surfaceHeight = 0;
};

struct Registry {
    std::map<std::string, WindowClass> classes; // key: lower-case class name
    std::map<uintptr_t, std::unique_ptr<Window>> windows;
    std::map<uintptr_t, GlContext> contexts;
    std::deque<MSG> queue;
    bool quitPosted = false;
    int quitCode = 0;
    uintptr_t nextId = 0x100;
    uintptr_t focus = 0;
    uintptr_t currentContext = 0;
};

Registry& registry();
GlContext* currentContext();
std::string classKey(const char* name);
Window* findWindow(HWND window);
Window* findWindowForDc(HDC deviceContext);
HWND handleOf(const Window& window);
RECT frameOf(DWORD style);
// Queues a message for the window, stamped with the tick count.
void postToWindow(Window& window, UINT message, WPARAM wParam, LPARAM lParam);
// Copies a module's file name out as GetModuleFileNameA does: truncated and terminated, a full buffer giving its size.
DWORD copyFileName(const std::string& path, LPSTR fileName, DWORD size);
// The surface's client area took a new size: the window follows it and hears WM_SIZE when it changed.
void clientResized(Window& window, int width, int height);

} // namespace gloamer::platform
