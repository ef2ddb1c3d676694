// registry.h -- the platform layer's own bookkeeping: window classes, windows, GL contexts, the message queue.
#pragma once

#include <SDL2/SDL.h>

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
    SDL_Window* sdl = nullptr; // null for message-only windows
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
    SDL_GLContext sdl = nullptr;
    uintptr_t windowId = 0;
    // Offscreen only: the framebuffer object standing in for the window's buffers.
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
Window* findWindowBySdlId(Uint32 sdlId);
HWND handleOf(const Window& window);
bool ensureVideo();
void pumpEvents();
RECT frameOf(DWORD style);

} // namespace gloamer::platform
