// frame_hooks_win32.cpp -- the frame hooks on Windows: the plug-in's imports of GetTickCount and SwapBuffers are patched.
#include "host/offline/frame_hooks.h"

#include <cstdio>
#include <memory>

#include "host/process/host_error.h"
#include "host/offline/import_patch.h"

namespace gloamer {

namespace {

using SwapBuffersFunction = BOOL(WINAPI*)(HDC);

// The patched imports are plain functions; one set of hooks is active at a time.
struct ActiveHooks {
    TickSource clock = nullptr;
    void* clockUser = nullptr;
    PresentHook present = nullptr;
    void* presentUser = nullptr;
    SwapBuffersFunction realSwapBuffers = nullptr;
};
ActiveHooks active;

DWORD WINAPI hookedGetTickCount()
{
    return active.clock ? active.clock(active.clockUser) : GetTickCount();
}

BOOL WINAPI hookedSwapBuffers(HDC deviceContext)
{
    if (active.present) {
        HWND window = WindowFromDC(deviceContext);
        RECT client = {};
        if (window && GetClientRect(window, &client))
            active.present(window, client.right - client.left, client.bottom - client.top, active.presentUser);
    }
    return active.realSwapBuffers ? active.realSwapBuffers(deviceContext) : SwapBuffers(deviceContext);
}

} // namespace

struct FrameHooks::Patches {
    std::unique_ptr<ImportPatch> clock;
    std::unique_ptr<ImportPatch> swap;
};

FrameHooks::FrameHooks(HMODULE plugin, TickSource clock, void* clockUser)
{
    if (active.clock)
        throw HostError("internal: a plug-in's frames are already being caught");
    auto patches = std::make_unique<Patches>();
    patches->clock = std::make_unique<ImportPatch>(plugin, "KERNEL32.dll", "GetTickCount", (void*)hookedGetTickCount);
    patches->swap = std::make_unique<ImportPatch>(plugin, "GDI32.dll", "SwapBuffers", (void*)hookedSwapBuffers);
    if (!patches->swap->applied())
        throw HostError("the plug-in does not call GDI32's SwapBuffers, so its frames cannot be caught");
    if (!patches->clock->applied())
        fprintf(stderr, "gloamer: warning: the plug-in does not read KERNEL32's GetTickCount; its animation "
                        "follows its own clock, not the frame times\n");
    active.clock = clock;
    active.clockUser = clockUser;
    active.realSwapBuffers = (SwapBuffersFunction)patches->swap->original();
    patches_ = patches.release();
}

FrameHooks::~FrameHooks()
{
    delete patches_;
    active = ActiveHooks();
}

void FrameHooks::setPresentHook(PresentHook hook, void* user)
{
    active.present = hook;
    active.presentUser = user;
}

} // namespace gloamer
