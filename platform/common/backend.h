// backend.h -- what each platform backend (SDL2, the browser) supplies under the shared Win32 + WGL bookkeeping.
#pragma once

#include "platform/common/registry_common.h"

namespace gloamer::platform::backend {

// Makes the window's surface at its client size (x, y may be CW_USEDEFAULT); false when none can be made.
bool createSurface(Window& window, const char* title, int x, int y);
void destroySurface(Window& window);
void showSurface(Window& window, bool visible);
void raiseSurface(Window& window);
// The caption the window system shows for the window.
void titleSurface(Window& window, const char* title);
void surfacePosition(const Window& window, int* x, int* y);
void moveSurface(Window& window, int x, int y);
// Sets the surface's client size; the shared code then updates the window and sends WM_SIZE.
void resizeSurface(Window& window, int width, int height);
// The window's client size changed: the backend's drawing buffers follow it.
void followClientSize(const Window& window);
// Turns the window system's pending events into queued messages.
void pumpEvents();
// Waits a little for events, so that GetMessageA does not spin.
void waitForEvents(int milliseconds);

// A GL context for the window, left not current; 0 when none can be made.
uintptr_t createContext(Window& window);
// Makes `context` current on `window`; both null releases the current context.
bool makeCurrent(Window* window, GlContext* context);
void deleteContext(GlContext& context, bool current);
void swapBuffers(Window& window);

// Shows a message to the user and returns once it is dismissed (or at once where nobody can dismiss it).
void showMessageBox(HWND owner, const char* text, const char* caption, UINT type);

} // namespace gloamer::platform::backend
