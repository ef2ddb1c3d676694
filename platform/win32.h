// win32.h -- the one window-system seam: the real Windows API on Windows, our Win32 + WGL subset elsewhere.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#define PLUGIN_EXPORT __declspec(dllexport)
#else
#include "platform/win32_subset.h"
#define PLUGIN_EXPORT __attribute__((visibility("default")))
#endif
