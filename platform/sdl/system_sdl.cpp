// system_sdl.cpp -- libraries and their file names (dlopen), and message boxes on the screen or stderr.
#include <SDL2/SDL.h>

#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "platform/common/backend.h"
#include "platform/sdl/registry_sdl.h"

// Message boxes need a screen; offscreen and dummy video and a missing display fall back to stderr.
static bool hasDisplay()
{
    const char* driver = getenv("SDL_VIDEODRIVER");
    if (driver && (!strcmp(driver, "offscreen") || !strcmp(driver, "dummy")))
        return false;
    return getenv("DISPLAY") || getenv("WAYLAND_DISPLAY");
}

namespace gloamer::platform::backend {

void showMessageBox(HWND owner, const char* text, const char* caption, UINT type)
{
    if (hasDisplay()) {
        Window* window = findWindow(owner);
        Uint32 flags = (type & MB_ICONERROR) ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        if (SDL_ShowSimpleMessageBox(flags, caption, text, window ? sdlWindowOf(*window) : nullptr) == 0)
            return;
    }
    fprintf(stderr, "%s: %s\n", caption, text);
}

} // namespace gloamer::platform::backend

extern "C" {

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
    return gloamer::platform::copyFileName(path, fileName, size);
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

} // extern "C"
