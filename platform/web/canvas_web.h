// canvas_web.h -- what the browser backend's surfaces and events share: the page's one canvas.
#pragma once

#include "platform/common/backend.h"

namespace gloamer::platform::web {

extern const char canvasSelector[];
// A resize or full-screen change since the last look at the canvas's size.
extern bool layoutChanged;

// The window drawing on the canvas, or null.
Window* canvasWindow();
// Starts listening to the page's resize, full-screen and key events (once).
void listenToPage();

} // namespace gloamer::platform::web
