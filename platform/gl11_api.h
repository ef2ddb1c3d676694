// gl11_api.h -- the OpenGL 1.1 subset the plug-in draws with, as entry points of the layer over OpenGL ES 3 / WebGL 2.
#pragma once

// The layer needs a current GLES 3 (or WebGL 2) context and the seam's wglGetCurrentContext, by which it tells
// contexts apart; nothing of EGL, SDL or the browser.

#include <GLES3/gl3.h>

// GL 1.1 types and names that OpenGL ES 3 does not have.
typedef double GLdouble;
typedef double GLclampd;

#define GL_QUADS 0x0007
#define GL_STACK_OVERFLOW 0x0503
#define GL_STACK_UNDERFLOW 0x0504
#define GL_ALPHA_TEST 0x0BC0
#define GL_PERSPECTIVE_CORRECTION_HINT 0x0C50
#define GL_POINT_SMOOTH_HINT 0x0C51
#define GL_LINE_SMOOTH_HINT 0x0C52
#define GL_POLYGON_SMOOTH_HINT 0x0C53
#define GL_FOG_HINT 0x0C54
#define GL_MODELVIEW 0x1700
#define GL_PROJECTION 0x1701
#define GL_FLAT 0x1D00
#define GL_SMOOTH 0x1D01
#define GL_CLAMP 0x2900
#ifndef GL_TEXTURE_RECTANGLE_NV
#define GL_TEXTURE_RECTANGLE_NV 0x84F5
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Immediate mode.
void gl11Begin(GLenum mode);
void gl11End(void);
void gl11Vertex2f(GLfloat x, GLfloat y);
void gl11Vertex3f(GLfloat x, GLfloat y, GLfloat z);
void gl11TexCoord2f(GLfloat s, GLfloat t);
void gl11Color4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha);

// The modelview and projection stacks.
void gl11MatrixMode(GLenum mode);
void gl11LoadIdentity(void);
void gl11PushMatrix(void);
void gl11PopMatrix(void);
void gl11Frustum(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar);
void gl11Ortho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar);
void gl11Translatef(GLfloat x, GLfloat y, GLfloat z);
void gl11Rotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z);

// Fixed-function state, clearing and errors.
void gl11Enable(GLenum capability);
void gl11Disable(GLenum capability);
void gl11AlphaFunc(GLenum func, GLclampf ref);
void gl11BlendFunc(GLenum source, GLenum destination);
void gl11CullFace(GLenum mode);
void gl11DepthFunc(GLenum func);
void gl11DepthMask(GLboolean flag);
void gl11ShadeModel(GLenum mode);
void gl11Hint(GLenum target, GLenum mode);
void gl11Viewport(GLint x, GLint y, GLsizei width, GLsizei height);
void gl11ClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha);
void gl11ClearDepth(GLclampd depth);
void gl11Clear(GLbitfield mask);
GLenum gl11GetError(void);

// Textures: GL_TEXTURE_2D and the rectangle target, addressed in texels.
void gl11BindTexture(GLenum target, GLuint texture);
void gl11TexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint border,
                    GLenum format, GLenum type, const GLvoid* pixels);
void gl11TexParameterf(GLenum target, GLenum name, GLfloat value);
void gl11TexParameteri(GLenum target, GLenum name, GLint value);
void gl11CopyTexSubImage2D(GLenum target, GLint level, GLint xOffset, GLint yOffset, GLint x, GLint y,
                           GLsizei width, GLsizei height);

#ifdef __cplusplus
}
#endif
