// surface_null.h -- what the null backend keeps for a window: its place and its title, for a test to read back.
#pragma once

#include <string>

#include "platform/common/backend.h"

namespace gloamer::platform::null {

struct NullSurface {
    int x = 0;
    int y = 0;
    std::string title;
};

// The surface of a window that has one; null for message-only windows.
NullSurface* surfaceOf(const Window& window);

} // namespace gloamer::platform::null
