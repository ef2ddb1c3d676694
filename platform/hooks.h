// hooks.h -- what the Linux platform layer offers a host beyond Win32: its clock, frame presentation, message boxes.
#pragma once

#include "platform/win32.h"

#ifdef __cplusplus
extern "C" {
#endif

// Replaces GetTickCount's clock for every caller in the process; null restores the system clock.
typedef DWORD (*GloamerTickSource)(void* user);
void gloamerSetTickSource(GloamerTickSource source, void* user);

// Called by SwapBuffers with the window's GL context current, before the buffers are swapped.
typedef void (*GloamerPresentHook)(HWND window, int width, int height, void* user);
void gloamerSetPresentHook(GloamerPresentHook hook, void* user);

// Takes over MessageBoxA: the hook's answer is returned to the caller; null restores the default.
typedef int (*GloamerMessageBoxHook)(HWND owner, const char* text, const char* caption, UINT type, void* user);
void gloamerSetMessageBoxHook(GloamerMessageBoxHook hook, void* user);

// Has the window fill the whole display it is on, borderless, or gives it back its windowed size and place.
// FALSE where the window has no surface or the display refuses.
BOOL gloamerSetFullscreen(HWND window, BOOL on);

// Windows drawn offscreen (SDL's offscreen video) draw on EGL device `index`, in eglQueryDevicesEXT's order;
// FALSE once video has started, when it is too late to choose.
BOOL gloamerDrawOffscreenOn(int index);

#ifdef __cplusplus
}
#endif
