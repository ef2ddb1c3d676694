// fake_gl.cpp -- records every OpenGL call with its arguments and tracks matrices, switches and textures.
#include "tests/fakes/fake_gl.h"

#include <cmath>
#include <cstring>

#include "tests/fakes/call_log.h"

namespace fake {

Matrix identity()
{
    return Matrix{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

GlState& gl()
{
    static GlState state;
    return state;
}

void resetGl()
{
    gl() = GlState{};
    gl().stacks[GL_MODELVIEW] = {identity()};
    gl().stacks[GL_PROJECTION] = {identity()};
    gl().stacks[GL_TEXTURE] = {identity()};
}

static Matrix& current()
{
    if (gl().stacks.empty())
        resetGl();
    return gl().stacks[gl().matrixMode].back();
}

static void multiply(const Matrix& right)
{
    Matrix& left = current();
    Matrix result{};
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row) {
            double sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += left[k * 4 + row] * right[column * 4 + k];
            result[column * 4 + row] = sum;
        }
    left = result;
}

static void vertex(double x, double y, double z)
{
    if (gl().stacks.empty())
        resetGl();
    const Matrix& m = gl().top(GL_MODELVIEW);
    Vertex v{x, y, z,
             m[0] * x + m[4] * y + m[8] * z + m[12],
             m[1] * x + m[5] * y + m[9] * z + m[13],
             m[2] * x + m[6] * y + m[10] * z + m[14],
             gl().texCoord[0], gl().texCoord[1], gl().color};
    if (!gl().batches.empty())
        gl().batches.back().push_back(v);
}

static Texture* boundTexture(GLenum target)
{
    auto found = gl().bound.find(target);
    if (found == gl().bound.end())
        return nullptr;
    Texture& texture = gl().textures[found->second];
    texture.target = target;
    return &texture;
}

} // namespace fake

using fake::gl;
using fake::log;

extern "C" {

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    log().record("glViewport", {(double)x, (double)y, (double)width, (double)height});
    gl().viewport = {x, y, width, height};
}

void glMatrixMode(GLenum mode)
{
    log().record("glMatrixMode", {(double)mode});
    gl().matrixMode = mode;
}

void glLoadIdentity(void)
{
    log().record("glLoadIdentity");
    fake::current() = fake::identity();
}

void glFrustum(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar)
{
    log().record("glFrustum", {left, right, bottom, top, zNear, zFar});
    fake::Matrix m{};
    m[0] = 2 * zNear / (right - left);
    m[5] = 2 * zNear / (top - bottom);
    m[8] = (right + left) / (right - left);
    m[9] = (top + bottom) / (top - bottom);
    m[10] = -(zFar + zNear) / (zFar - zNear);
    m[11] = -1;
    m[14] = -2 * zFar * zNear / (zFar - zNear);
    fake::multiply(m);
}

void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar)
{
    log().record("glOrtho", {left, right, bottom, top, zNear, zFar});
    fake::Matrix m = fake::identity();
    m[0] = 2 / (right - left);
    m[5] = 2 / (top - bottom);
    m[10] = -2 / (zFar - zNear);
    m[12] = -(right + left) / (right - left);
    m[13] = -(top + bottom) / (top - bottom);
    m[14] = -(zFar + zNear) / (zFar - zNear);
    fake::multiply(m);
}

void glPushMatrix(void)
{
    log().record("glPushMatrix");
    fake::Matrix top = fake::current();
    gl().stacks[gl().matrixMode].push_back(top);
}

void glPopMatrix(void)
{
    log().record("glPopMatrix");
    auto& stack = gl().stacks[gl().matrixMode];
    if (stack.size() > 1)
        stack.pop_back();
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    log().record("glTranslatef", {x, y, z});
    fake::Matrix m = fake::identity();
    m[12] = x;
    m[13] = y;
    m[14] = z;
    fake::multiply(m);
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    log().record("glRotatef", {angle, x, y, z});
    double length = std::sqrt((double)x * x + (double)y * y + (double)z * z);
    if (length == 0)
        return;
    double ux = x / length, uy = y / length, uz = z / length;
    double radians = angle * M_PI / 180.0, c = std::cos(radians), s = std::sin(radians);
    fake::Matrix m = fake::identity();
    m[0] = ux * ux * (1 - c) + c;
    m[1] = uy * ux * (1 - c) + uz * s;
    m[2] = ux * uz * (1 - c) - uy * s;
    m[4] = ux * uy * (1 - c) - uz * s;
    m[5] = uy * uy * (1 - c) + c;
    m[6] = uy * uz * (1 - c) + ux * s;
    m[8] = ux * uz * (1 - c) + uy * s;
    m[9] = uy * uz * (1 - c) - ux * s;
    m[10] = uz * uz * (1 - c) + c;
    fake::multiply(m);
}

void glEnable(GLenum capability)
{
    log().record("glEnable", {(double)capability});
    gl().enabled.insert(capability);
}

void glDisable(GLenum capability)
{
    log().record("glDisable", {(double)capability});
    gl().enabled.erase(capability);
}

void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha)
{
    log().record("glClearColor", {red, green, blue, alpha});
}

void glClearDepth(GLclampd depth)
{
    log().record("glClearDepth", {depth});
}

void glDepthFunc(GLenum function)
{
    log().record("glDepthFunc", {(double)function});
    gl().depthFunc = function;
}

void glDepthMask(GLboolean flag)
{
    log().record("glDepthMask", {(double)flag});
    gl().depthMask = flag;
}

void glShadeModel(GLenum mode)
{
    log().record("glShadeModel", {(double)mode});
}

void glHint(GLenum target, GLenum mode)
{
    log().record("glHint", {(double)target, (double)mode});
}

void glClear(GLbitfield mask)
{
    log().record("glClear", {(double)mask});
    ++gl().clears;
}

void glBlendFunc(GLenum source, GLenum destination)
{
    log().record("glBlendFunc", {(double)source, (double)destination});
    gl().blendSrc = source;
    gl().blendDst = destination;
}

void glAlphaFunc(GLenum function, GLclampf reference)
{
    log().record("glAlphaFunc", {(double)function, reference});
    gl().alphaFunc = function;
    gl().alphaRef = reference;
}

void glCullFace(GLenum mode)
{
    log().record("glCullFace", {(double)mode});
    gl().cullFace = mode;
}

void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha)
{
    log().record("glColor4f", {red, green, blue, alpha});
    gl().color = {red, green, blue, alpha};
}

void glBegin(GLenum mode)
{
    log().record("glBegin", {(double)mode});
    gl().inBegin = true;
    gl().batches.emplace_back();
    gl().batchStates.push_back(
        fake::BatchState{mode, gl().enabled, gl().depthMask, gl().cullFace, gl().alphaFunc, gl().bound});
}

void glEnd(void)
{
    log().record("glEnd");
    gl().inBegin = false;
}

void glTexCoord2f(GLfloat s, GLfloat t)
{
    log().record("glTexCoord2f", {s, t});
    gl().texCoord = {s, t};
}

void glVertex2f(GLfloat x, GLfloat y)
{
    log().record("glVertex2f", {x, y});
    fake::vertex(x, y, 0);
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    log().record("glVertex3f", {x, y, z});
    fake::vertex(x, y, z);
}

void glBindTexture(GLenum target, GLuint texture)
{
    log().record("glBindTexture", {(double)target, (double)texture});
    gl().bound[target] = texture;
}

void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const GLvoid* pixels)
{
    log().record("glTexImage2D", {(double)target, (double)level, (double)internalFormat, (double)width,
                                  (double)height, (double)border, (double)format, (double)type,
                                  pixels ? 1.0 : 0.0});
    fake::Texture* texture = fake::boundTexture(target);
    if (!texture)
        return;
    texture->width = width;
    texture->height = height;
    texture->internalFormat = internalFormat;
    texture->format = format;
    texture->type = type;
    texture->hasData = pixels != nullptr;
    ++texture->imageCalls;
    texture->pixels.clear();
    if (pixels && format == GL_RGBA && type == GL_UNSIGNED_BYTE && width > 0 && height > 0) {
        const unsigned char* bytes = (const unsigned char*)pixels;
        texture->pixels.assign(bytes, bytes + (size_t)width * (size_t)height * 4);
    }
}

void glTexParameterf(GLenum target, GLenum name, GLfloat value)
{
    log().record("glTexParameterf", {(double)target, (double)name, value});
    if (fake::Texture* texture = fake::boundTexture(target))
        texture->params[name] = value;
}

void glTexParameteri(GLenum target, GLenum name, GLint value)
{
    log().record("glTexParameteri", {(double)target, (double)name, (double)value});
    if (fake::Texture* texture = fake::boundTexture(target))
        texture->params[name] = value;
}

void glCopyTexSubImage2D(GLenum target, GLint level, GLint xOffset, GLint yOffset, GLint x, GLint y, GLsizei width,
                         GLsizei height)
{
    log().record("glCopyTexSubImage2D", {(double)target, (double)level, (double)xOffset, (double)yOffset, (double)x,
                                         (double)y, (double)width, (double)height});
    if (fake::Texture* texture = fake::boundTexture(target))
        ++texture->copyCalls;
}

} // extern "C"
