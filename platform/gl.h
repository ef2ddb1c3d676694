// gl.h -- the one OpenGL seam: the system's OpenGL 1.1 header, or the GL 1.1 layer over GLES 3 / WebGL 2, plus
// the rectangle-texture target.
#pragma once

#include "platform/win32.h"
#if defined(GLOAMER_GL_GLES)
#include "platform/gl11_over_gles.h"
#else
#include <GL/gl.h>
#endif

#ifndef GL_TEXTURE_RECTANGLE_NV
#define GL_TEXTURE_RECTANGLE_NV 0x84F5
#endif
