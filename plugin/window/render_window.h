// render_window.h -- the plug-in's own window and GL context: start-up, window procedure, teardown.
#pragma once

#include "platform/win32.h"

struct VisModule;

int startRenderWindow(VisModule* module);
LRESULT CALLBACK renderWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int teardownWindow();
