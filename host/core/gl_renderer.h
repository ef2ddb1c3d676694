// gl_renderer.h -- which GL renderer draws the frames, whether it is a software one, and what that means for speed.
#pragma once

#include <string>

namespace gloamer {

struct GlRenderer {
    std::string vendor;   // GL_VENDOR
    std::string renderer; // GL_RENDERER
    bool software = false;
    bool known() const { return !renderer.empty(); }
};

// True for the rasterizers that draw on the CPU: Mesa's llvmpipe, softpipe and swrast, SwiftShader, Windows'
// GDI Generic and Basic Render Driver.
bool isSoftwareRenderer(const std::string& vendor, const std::string& renderer);

// The renderer of the GL context current on this thread; not known() when none is current.
GlRenderer currentGlRenderer();

// "gloamer: drawing with llvmpipe (LLVM 15.0.6, 256 bits) of Mesa: software, on the CPU"
std::string rendererLine(const GlRenderer& gl);

// Empty unless a software renderer draws frames of 1280x720 or more: then what to expect on `cores` cores and
// that a GPU is much faster.
std::string softwareSpeedLine(const GlRenderer& gl, int width, int height, unsigned cores);

// Prints rendererLine, and softwareSpeedLine where it says something, on stderr; nothing for an unknown renderer.
void announceRenderer(const GlRenderer& gl, int width, int height);

} // namespace gloamer
