// system_web.cpp -- the browser backend's system services: the plug-in's file name in the page's file system, message boxes.
#include <emscripten.h>

#include "platform/common/backend.h"

// The plug-in is linked into the page's program; its logo is put beside this name in the virtual file system.
static const char pluginFileName[] = "/gloamer/vis_gloamer.wasm";

// The page shows the message in its status line (window.gloamerMessageBox); without one, on the console.
EM_JS(void, showMessageInPage, (const char* caption, const char* text), {
    const c = UTF8ToString(caption);
    const t = UTF8ToString(text);
    if (typeof window !== "undefined" && typeof window.gloamerMessageBox === "function")
        window.gloamerMessageBox(c, t);
    else
        console.warn(c + ": " + t);
});

namespace gloamer::platform::backend {

// A page cannot wait for the user inside a frame, so the box is shown and the call returns at once.
void showMessageBox(HWND, const char* text, const char* caption, UINT)
{
    showMessageInPage(caption, text);
}

} // namespace gloamer::platform::backend

extern "C" {

DWORD GetModuleFileNameA(HMODULE, LPSTR fileName, DWORD size)
{
    return gloamer::platform::copyFileName(pluginFileName, fileName, size);
}

// The page's host links its plug-in in and calls winampVisGetHeader itself: there is nothing to load.
HMODULE LoadLibraryA(LPCSTR)
{
    return nullptr;
}

FARPROC GetProcAddress(HMODULE, LPCSTR)
{
    return nullptr;
}

BOOL FreeLibrary(HMODULE)
{
    return FALSE;
}

} // extern "C"
