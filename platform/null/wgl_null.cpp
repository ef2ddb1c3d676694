// wgl_null.cpp -- the null backend's GL contexts: tokens that can be made current and swapped, drawing nothing.
#include "platform/common/backend.h"

namespace gloamer::platform::backend {

namespace {
uintptr_t nextContextToken = 1;
} // namespace

uintptr_t createContext(Window&)
{
    return nextContextToken++;
}

bool makeCurrent(Window*, GlContext*)
{
    return true;
}

void deleteContext(GlContext&, bool) {}

void swapBuffers(Window&) {}

} // namespace gloamer::platform::backend
