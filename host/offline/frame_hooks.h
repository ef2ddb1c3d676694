// frame_hooks.h -- takes over a loaded plug-in's clock and catches each frame it presents, for offline rendering.
#pragma once

#include "platform/win32.h"

namespace gloamer {

// The plug-in's GetTickCount reads this instead of the system clock.
using TickSource = DWORD (*)(void* user);
// Called from the plug-in's SwapBuffers with its GL context current, before the buffers are swapped.
using PresentHook = void (*)(HWND window, int width, int height, void* user);

// On Linux the platform layer offers both hooks; on Windows the plug-in DLL's import table is patched.
// Everything is put back when the object goes. Throws HostError when the plug-in's frames cannot be caught.
class FrameHooks {
public:
    FrameHooks(HMODULE plugin, TickSource clock, void* clockUser);
    ~FrameHooks();
    FrameHooks(const FrameHooks&) = delete;
    FrameHooks& operator=(const FrameHooks&) = delete;

    // Null stops catching frames.
    void setPresentHook(PresentHook hook, void* user);

private:
    struct Patches;
    Patches* patches_ = nullptr;
};

} // namespace gloamer
