// system_null.cpp -- the null backend's system services: no one to show a message box to, no library to load.
#include "platform/common/backend.h"

namespace gloamer::platform::backend {

// Nobody can dismiss a box here, so it returns at once, as the contract allows.
void showMessageBox(HWND, const char*, const char*, UINT) {}

} // namespace gloamer::platform::backend

extern "C" {

DWORD GetModuleFileNameA(HMODULE, LPSTR fileName, DWORD size)
{
    return gloamer::platform::copyFileName("", fileName, size);
}

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
