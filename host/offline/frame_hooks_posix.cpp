// frame_hooks_posix.cpp -- the frame hooks over the Linux platform layer, which the plug-in shares with the host.
#include "host/offline/frame_hooks.h"

#include "platform/hooks.h"

namespace gloamer {

FrameHooks::FrameHooks(HMODULE, TickSource clock, void* clockUser)
{
    gloamerSetTickSource(clock, clockUser);
}

FrameHooks::~FrameHooks()
{
    gloamerSetPresentHook(nullptr, nullptr);
    gloamerSetTickSource(nullptr, nullptr);
}

void FrameHooks::setPresentHook(PresentHook hook, void* user)
{
    gloamerSetPresentHook(hook, user);
}

} // namespace gloamer
