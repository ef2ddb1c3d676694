// system.cpp -- tick counter, libraries and their file names, message boxes.
#include <SDL2/SDL.h>

#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "platform/hooks.h"
#include "platform/sdl/registry.h"

static GloamerTickSource tickSource = nullptr;
static void* tickSourceUser = nullptr;
static GloamerMessageBoxHook messageBoxHook = nullptr;
static void* messageBoxHookUser = nullptr;

// Message boxes need a screen; offscreen and dummy video and a missing display fall back to stderr.
static bool hasDisplay()
{
    const char* driver = getenv("SDL_VIDEODRIVER");
    if (driver && (!strcmp(driver, "offscreen") || !strcmp(driver, "dummy")))
        return false;
    return getenv("DISPLAY") || getenv("WAYLAND_DISPLAY");
}

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

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size)
{
    if (!fileName || size == 0)
        return 0;
    char resolved[PATH_MAX];
    std::string path;
    if (!module) {
        ssize_t length = readlink("/proc/self/exe", resolved, sizeof(resolved) - 1);
        if (length <= 0)
            return 0;
        path.assign(resolved, (size_t)length);
    } else {
        link_map* map = nullptr;
        if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name)
            return 0;
        path = realpath(map->l_name, resolved) ? resolved : map->l_name;
    }
    // Truncates and terminates like Windows: a full buffer returns its size.
    if (path.size() >= size) {
        memcpy(fileName, path.data(), size - 1);
        fileName[size - 1] = '\0';
        return size;
    }
    memcpy(fileName, path.c_str(), path.size() + 1);
    return (DWORD)path.size();
}

HMODULE LoadLibraryA(LPCSTR fileName)
{
    if (!fileName)
        return nullptr;
    return (HMODULE)dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name)
{
    if (!module || !name)
        return nullptr;
    return (FARPROC)dlsym(module, name);
}

BOOL FreeLibrary(HMODULE module)
{
    return module && dlclose(module) == 0;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    if (messageBoxHook)
        return messageBoxHook(owner, text, caption, type, messageBoxHookUser);
    if (hasDisplay()) {
        gloamer::platform::Window* window = gloamer::platform::findWindow(owner);
        Uint32 flags = (type & MB_ICONERROR) ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        if (SDL_ShowSimpleMessageBox(flags, caption ? caption : "", text ? text : "",
                                     window ? window->sdl : nullptr) == 0)
            return IDOK;
    }
    fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
    return IDOK;
}

} // extern "C"
