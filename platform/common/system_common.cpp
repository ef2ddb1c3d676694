// system_common.cpp -- the tick counter and Sleep on the monotonic clock, and message boxes through the host's hook.
#include <string.h>
#include <time.h>

#include "platform/common/backend.h"
#include "platform/hooks.h"

static GloamerTickSource tickSource = nullptr;
static void* tickSourceUser = nullptr;
static GloamerMessageBoxHook messageBoxHook = nullptr;
static void* messageBoxHookUser = nullptr;

namespace gloamer::platform {

DWORD copyFileName(const std::string& path, LPSTR fileName, DWORD size)
{
    if (!fileName || size == 0)
        return 0;
    if (path.size() >= size) {
        memcpy(fileName, path.data(), size - 1);
        fileName[size - 1] = '\0';
        return size;
    }
    memcpy(fileName, path.c_str(), path.size() + 1);
    return (DWORD)path.size();
}

} // namespace gloamer::platform

extern "C" {

void gloamerSetTickSource(GloamerTickSource source, void* user)
{
    tickSource = source;
    tickSourceUser = user;
}

void gloamerSetMessageBoxHook(GloamerMessageBoxHook hook, void* user)
{
    messageBoxHook = hook;
    messageBoxHookUser = user;
}

DWORD GetTickCount(void)
{
    if (tickSource)
        return tickSource(tickSourceUser);
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (DWORD)((uint64_t)now.tv_sec * 1000u + (uint64_t)now.tv_nsec / 1000000u);
}

void Sleep(DWORD milliseconds)
{
    timespec wait{(time_t)(milliseconds / 1000), (long)(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    if (messageBoxHook)
        return messageBoxHook(owner, text, caption, type, messageBoxHookUser);
    gloamer::platform::backend::showMessageBox(owner, text ? text : "", caption ? caption : "", type);
    return IDOK;
}

} // extern "C"
