// state.cpp -- the layer's per-context state, GL 1.1 errors, capabilities and the fixed-function state GLES keeps.
#include <algorithm>
#include <memory>

#include "platform/gles/layer.h"

namespace gloamer::gles {

namespace {

std::unique_ptr<Layer> current;

float clamp01(float value)
{
    return std::clamp(value, 0.0f, 1.0f);
}

} // namespace

// Objects belong to their context: a context made after another (a second init) gets state of its own, and
// the old one's objects went with it. One context at a time is drawn with, as the plug-in does.
Layer& layer()
{
    HGLRC context = wglGetCurrentContext();
    if (!current || current->context != context) {
        current = std::make_unique<Layer>();
        current->context = context;
        current->modelview.push_back(identityMatrix());
        current->projection.push_back(identityMatrix());
    }
    return *current;
}

void setError(GLenum error)
{
    Layer& state = layer();
    if (state.error == GL_NO_ERROR)
        state.error = error;
}

bool outsideBeginEnd()
{
    // With no context current GL ignores a call (a window's first WM_SIZE comes before its context); WebGL
    // would have no context to pass it to.
    if (!layer().context)
        return false;
    if (!layer().insideBegin)
        return true;
    setError(GL_INVALID_OPERATION);
    return false;
}

} // namespace gloamer::gles

using namespace gloamer::gles;

extern "C" {

// The capabilities GL 1.1 has and GLES lacks live in the layer; the rest pass through.
static void setCapability(GLenum capability, bool enabled)
{
    if (!outsideBeginEnd())
        return;
    Layer& state = layer();
    switch (capability) {
    case GL_TEXTURE_2D:
        state.texture2D = enabled;
        return;
    case GL_TEXTURE_RECTANGLE_NV:
        state.textureRectangle = enabled;
        return;
    case GL_ALPHA_TEST:
        state.alphaTest = enabled;
        return;
    case GL_BLEND:
    case GL_CULL_FACE:
    case GL_DEPTH_TEST:
    case GL_DITHER:
    case GL_SCISSOR_TEST:
    case GL_STENCIL_TEST:
    case GL_POLYGON_OFFSET_FILL:
        enabled ? glEnable(capability) : glDisable(capability);
        return;
    }
    setError(GL_INVALID_ENUM);
}

void gl11Enable(GLenum capability)
{
    setCapability(capability, true);
}

void gl11Disable(GLenum capability)
{
    setCapability(capability, false);
}

void gl11AlphaFunc(GLenum func, GLclampf ref)
{
    if (!outsideBeginEnd())
        return;
    if (func < GL_NEVER || func > GL_ALWAYS)
        return setError(GL_INVALID_ENUM);
    layer().alphaFunc = func;
    layer().alphaRef = clamp01(ref);
}

void gl11ShadeModel(GLenum mode)
{
    if (!outsideBeginEnd())
        return;
    if (mode != GL_FLAT && mode != GL_SMOOTH)
        return setError(GL_INVALID_ENUM);
    layer().flatShaded = mode == GL_FLAT;
}

// Every GLES rasteriser interpolates with perspective and draws no smoothed primitives: the hints have nothing
// left to choose.
void gl11Hint(GLenum target, GLenum mode)
{
    if (!outsideBeginEnd())
        return;
    if (target < GL_PERSPECTIVE_CORRECTION_HINT || target > GL_FOG_HINT ||
        (mode != GL_DONT_CARE && mode != GL_FASTEST && mode != GL_NICEST))
        setError(GL_INVALID_ENUM);
}

void gl11BlendFunc(GLenum source, GLenum destination)
{
    if (outsideBeginEnd())
        glBlendFunc(source, destination);
}

void gl11CullFace(GLenum mode)
{
    if (outsideBeginEnd())
        glCullFace(mode);
}

void gl11DepthFunc(GLenum func)
{
    if (outsideBeginEnd())
        glDepthFunc(func);
}

void gl11DepthMask(GLboolean flag)
{
    if (outsideBeginEnd())
        glDepthMask(flag);
}

void gl11Viewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    if (outsideBeginEnd())
        glViewport(x, y, width, height);
}

void gl11ClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha)
{
    if (outsideBeginEnd())
        glClearColor(clamp01(red), clamp01(green), clamp01(blue), clamp01(alpha));
}

void gl11ClearDepth(GLclampd depth)
{
    if (outsideBeginEnd())
        glClearDepthf(clamp01((float)depth));
}

void gl11Clear(GLbitfield mask)
{
    if (outsideBeginEnd())
        glClear(mask);
}

// The layer's own error first, then what GLES recorded.
GLenum gl11GetError(void)
{
    Layer& state = layer();
    if (state.error != GL_NO_ERROR) {
        GLenum error = state.error;
        state.error = GL_NO_ERROR;
        return error;
    }
    return glGetError();
}

} // extern "C"
