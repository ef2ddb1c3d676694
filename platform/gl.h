// gl.h -- the one OpenGL seam: the system's OpenGL 1.1 header plus the rectangle-texture target.
#pragma once

#include "platform/win32.h"
#include <GL/gl.h>

#ifndef GL_TEXTURE_RECTANGLE_NV
#define GL_TEXTURE_RECTANGLE_NV 0x84F5
#endif
