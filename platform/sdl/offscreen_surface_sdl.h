// offscreen_surface_sdl.h -- resizable drawing surfaces for windows where SDL's own cannot resize (offscreen video).
#pragma once

#include "platform/sdl/registry_sdl.h"

namespace gloamer::platform {

// True under SDL's offscreen driver, whose window surfaces keep their first size for good.
bool usesOffscreenSurfaces();
// With `context` current: binds its framebuffer object, made or resized to the window's client size.
void bindOffscreenSurface(GlContext& context, const Window& window);

} // namespace gloamer::platform
