// wgl_web.cpp -- the browser backend's GL contexts: WebGL 2 contexts on the canvas, in the window's pixel format.
#include <emscripten/html5.h>

#include "platform/common/backend.h"

namespace gloamer::platform::backend {

// RGB without alpha and a 16-bit-or-better depth buffer, as the native window's format; no multisampling.
uintptr_t createContext(Window&)
{
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_TRUE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.premultipliedAlpha = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_FALSE;
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context("#canvas", &attributes);
    return context > 0 ? (uintptr_t)context : 0;
}

bool makeCurrent(Window* window, GlContext* context)
{
    if (!window || !context) {
        emscripten_webgl_make_context_current(0);
        return true;
    }
    return emscripten_webgl_make_context_current((EMSCRIPTEN_WEBGL_CONTEXT_HANDLE)context->native) ==
           EMSCRIPTEN_RESULT_SUCCESS;
}

void deleteContext(GlContext& context, bool current)
{
    if (current)
        emscripten_webgl_make_context_current(0);
    emscripten_webgl_destroy_context((EMSCRIPTEN_WEBGL_CONTEXT_HANDLE)context.native);
}

// The browser shows the drawing buffer when control returns to it at the end of the animation frame.
void swapBuffers(Window&) {}

} // namespace gloamer::platform::backend
