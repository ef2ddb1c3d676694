// gl_renderer.cpp -- the GL renderer's names as the driver gives them, and the word on a software one.
#include "host/core/gl_renderer.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include <GL/gl.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <thread>

namespace gloamer {

namespace {

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return (char)std::tolower(c); });
    return text;
}

std::string glText(GLenum name)
{
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "";
}

// Frames a second of a 1280x720 frame on one core of this project's reference machine with llvmpipe
// (6.8 fps on 2 cores, see docs/scale.md); the rasterizer's work grows with the pixels.
constexpr double softwareFpsPerCoreAt720p = 3.4;

} // namespace

bool isSoftwareRenderer(const std::string& vendor, const std::string& renderer)
{
    const std::string name = lowered(renderer);
    for (const char* software : {"llvmpipe", "softpipe", "swrast", "software rasterizer", "swiftshader",
                                 "gdi generic", "basic render driver"})
        if (name.find(software) != std::string::npos)
            return true;
    return lowered(vendor) == "microsoft corporation" && name.find("gdi") != std::string::npos;
}

GlRenderer currentGlRenderer()
{
    GlRenderer gl;
    gl.renderer = glText(GL_RENDERER);
    gl.vendor = glText(GL_VENDOR);
    gl.software = isSoftwareRenderer(gl.vendor, gl.renderer);
    return gl;
}

std::string rendererLine(const GlRenderer& gl)
{
    if (!gl.known())
        return "gloamer: the GL driver did not name its renderer";
    return "gloamer: drawing with " + gl.renderer + (gl.vendor.empty() ? "" : " of " + gl.vendor) +
           (gl.software ? ": software, on the CPU" : ": hardware");
}

std::string softwareSpeedLine(const GlRenderer& gl, int width, int height, unsigned cores)
{
    if (!gl.software || (double)width * height < 1280.0 * 720.0)
        return "";
    const double fps = softwareFpsPerCoreAt720p * std::max(1u, cores) * (1280.0 * 720.0) / ((double)width * height);
    char line[400];
    std::snprintf(line, sizeof(line),
                  "gloamer: a software renderer draws %dx%d at about %.1f frames a second on %u cores; a GPU draws "
                  "such a frame in a few milliseconds (gloamer devices lists the GPUs, --gpu picks one)",
                  width, height, fps, std::max(1u, cores));
    return line;
}

void announceRenderer(const GlRenderer& gl, int width, int height)
{
    if (!gl.known())
        return; // a plug-in that draws without GL
    std::fprintf(stderr, "%s\n", rendererLine(gl).c_str());
    const std::string speed = softwareSpeedLine(gl, width, height, std::thread::hardware_concurrency());
    if (!speed.empty())
        std::fprintf(stderr, "%s\n", speed.c_str());
    std::fflush(stderr);
}

} // namespace gloamer
