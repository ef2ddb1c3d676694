// egl_devices.cpp -- EGL's device list (EGL_EXT_device_enumeration) and a context made on one of them to name it.
#include "host/core/egl_devices.h"

// The seam's Win32 subset before GL's headers, which define APIENTRY only where it is not yet.
#include "platform/hooks.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/core/gl_renderer.h"

namespace gloamer {

namespace {

struct DeviceFunctions {
    PFNEGLQUERYDEVICESEXTPROC queryDevices = nullptr;
    PFNEGLQUERYDEVICESTRINGEXTPROC queryDeviceString = nullptr;
    PFNEGLGETPLATFORMDISPLAYEXTPROC platformDisplay = nullptr;
};

bool hasExtension(const char* list, const char* name)
{
    if (!list)
        return false;
    const size_t length = std::strlen(name);
    for (const char* at = std::strstr(list, name); at; at = std::strstr(at + 1, name))
        if ((at == list || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0'))
            return true;
    return false;
}

// Null members where this EGL cannot list devices or open a display on one.
DeviceFunctions deviceFunctions()
{
    DeviceFunctions egl;
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!hasExtension(client, "EGL_EXT_platform_device") ||
        !(hasExtension(client, "EGL_EXT_device_enumeration") || hasExtension(client, "EGL_EXT_device_base")))
        return egl;
    egl.queryDevices = (PFNEGLQUERYDEVICESEXTPROC)eglGetProcAddress("eglQueryDevicesEXT");
    egl.queryDeviceString = (PFNEGLQUERYDEVICESTRINGEXTPROC)eglGetProcAddress("eglQueryDeviceStringEXT");
    egl.platformDisplay = (PFNEGLGETPLATFORMDISPLAYEXTPROC)eglGetProcAddress("eglGetPlatformDisplayEXT");
    if (!egl.queryDevices || !egl.queryDeviceString || !egl.platformDisplay)
        return {};
    return egl;
}

std::vector<EGLDeviceEXT> deviceHandles(const DeviceFunctions& egl)
{
    EGLint count = 0;
    if (!egl.queryDevices || !egl.queryDevices(0, nullptr, &count) || count <= 0)
        return {};
    std::vector<EGLDeviceEXT> devices((size_t)count);
    if (!egl.queryDevices(count, devices.data(), &count))
        return {};
    devices.resize((size_t)count);
    return devices;
}

std::string eglFailure(const char* what)
{
    char text[120];
    std::snprintf(text, sizeof(text), "%s failed (EGL error 0x%04x)", what, (unsigned)eglGetError());
    return text;
}

// Desktop GL as the platform layer asks for it, or OpenGL ES 3 under GLOAMER_GL_PROFILE=es.
bool choosesEs()
{
    const char* profile = std::getenv("GLOAMER_GL_PROFILE");
    return profile && !std::strcmp(profile, "es");
}

// With the display started: a 1x1 pbuffer and a context on it, current while the names are read.
void readNames(EGLDisplay display, EglDevice& device)
{
    const bool es = choosesEs();
    if (!eglBindAPI(es ? EGL_OPENGL_ES_API : EGL_OPENGL_API)) {
        device.failure = eglFailure(es ? "binding OpenGL ES" : "binding desktop OpenGL");
        return;
    }
    const EGLint configWanted[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                   es ? EGL_OPENGL_ES3_BIT : EGL_OPENGL_BIT, EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8,
                                   EGL_BLUE_SIZE, 8, EGL_NONE};
    EGLConfig config;
    EGLint configs = 0;
    if (!eglChooseConfig(display, configWanted, &config, 1, &configs) || configs < 1) {
        device.failure = "it offers no 8-bit RGB pbuffer configuration for GL";
        return;
    }
    const EGLint size[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, size);
    const EGLint esVersion[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_NONE};
    EGLContext context = surface == EGL_NO_SURFACE
                             ? EGL_NO_CONTEXT
                             : eglCreateContext(display, config, EGL_NO_CONTEXT, es ? esVersion : nullptr);
    if (context == EGL_NO_CONTEXT)
        device.failure = eglFailure(surface == EGL_NO_SURFACE ? "making a pbuffer" : "making a GL context");
    else if (!eglMakeCurrent(display, surface, surface, context))
        device.failure = eglFailure("making its GL context current");
    else {
        const GLubyte* vendor = glGetString(GL_VENDOR);
        const GLubyte* renderer = glGetString(GL_RENDERER);
        device.vendor = vendor ? (const char*)vendor : "";
        device.renderer = renderer ? (const char*)renderer : "";
        device.draws = !device.renderer.empty();
        if (!device.draws)
            device.failure = "its GL context names no renderer";
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    if (context != EGL_NO_CONTEXT)
        eglDestroyContext(display, context);
    if (surface != EGL_NO_SURFACE)
        eglDestroySurface(display, surface);
}

} // namespace

std::vector<EglDevice> listEglDevices()
{
    const DeviceFunctions egl = deviceFunctions();
    std::vector<EglDevice> devices;
    for (EGLDeviceEXT handle : deviceHandles(egl)) {
        EglDevice device;
        device.index = (int)devices.size();
        const char* extensions = egl.queryDeviceString(handle, EGL_EXTENSIONS);
        device.software = hasExtension(extensions, "EGL_MESA_device_software");
        if (hasExtension(extensions, "EGL_EXT_device_drm")) {
            const char* file = egl.queryDeviceString(handle, EGL_DRM_DEVICE_FILE_EXT);
            device.deviceFile = file ? file : "";
        }
        devices.push_back(device);
    }
    return devices;
}

void probeEglDevice(EglDevice& device)
{
    device.probed = true;
    const DeviceFunctions egl = deviceFunctions();
    const std::vector<EGLDeviceEXT> handles = deviceHandles(egl);
    if (device.index < 0 || (size_t)device.index >= handles.size()) {
        device.failure = "EGL no longer lists it";
        return;
    }
    EGLDisplay display = egl.platformDisplay(EGL_PLATFORM_DEVICE_EXT, handles[(size_t)device.index], nullptr);
    EGLint major = 0, minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        device.failure = eglFailure("starting its EGL display");
        return;
    }
    readNames(display, device);
    // A hardware device whose driver is missing may come up on a software rasterizer: that is no GPU.
    if (device.draws && !device.software && isSoftwareRenderer(device.vendor, device.renderer)) {
        device.draws = false;
        device.failure = "its GL context draws with " + device.renderer + ", a software renderer, instead";
    }
    eglTerminate(display);
    eglReleaseThread();
}

bool drawOffscreenOn(int index)
{
    return gloamerDrawOffscreenOn(index) != FALSE;
}

} // namespace gloamer
