// textures.cpp -- GL 1.1 texture objects over GLES 2D textures: plug-in-chosen names, the rectangle target, GL_CLAMP.
#include <cstddef>
#include <vector>

#include "platform/gles/layer.h"

namespace gloamer::gles {

namespace {

bool isTextureTarget(GLenum target)
{
    return target == GL_TEXTURE_2D || target == GL_TEXTURE_RECTANGLE_NV;
}

// Binds the object's GLES texture to the one GLES target the layer uses, making it on first use.
void bindReal(Texture& texture)
{
    if (!texture.real) {
        glGenTextures(1, &texture.real);
        glBindTexture(GL_TEXTURE_2D, texture.real);
        // A rectangle texture starts linear and clamped; a GLES texture starts as GL_TEXTURE_2D does.
        if (texture.target == GL_TEXTURE_RECTANGLE_NV) {
            texture.minFilter = GL_LINEAR;
            texture.wrapS = texture.wrapT = GL_CLAMP_TO_EDGE;
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        }
        return;
    }
    glBindTexture(GL_TEXTURE_2D, texture.real);
}

bool hasAlpha(GLint internalFormat)
{
    return internalFormat == 4 || internalFormat == GL_RGBA || internalFormat == GL_RGBA8;
}

bool isColourFormat(GLint internalFormat)
{
    return hasAlpha(internalFormat) || internalFormat == 3 || internalFormat == GL_RGB ||
           internalFormat == GL_RGB8;
}

// RGBA rows to tightly packed RGB rows padded to the default unpack alignment of 4, which GL 1.1 does when an
// RGBA image is given to an RGB texture.
std::vector<unsigned char> dropAlpha(const unsigned char* rgba, GLsizei width, GLsizei height)
{
    const size_t rowBytes = ((size_t)width * 3 + 3) & ~(size_t)3;
    std::vector<unsigned char> rgb(rowBytes * (size_t)height);
    for (GLsizei y = 0; y < height; ++y)
        for (GLsizei x = 0; x < width; ++x)
            for (int channel = 0; channel < 3; ++channel)
                rgb[(size_t)y * rowBytes + (size_t)x * 3 + channel] = rgba[((size_t)y * width + x) * 4 + channel];
    return rgb;
}

} // namespace

Texture* boundTexture(GLenum target)
{
    if (!isTextureTarget(target)) {
        setError(GL_INVALID_ENUM);
        return nullptr;
    }
    Layer& state = layer();
    GLuint name = target == GL_TEXTURE_2D ? state.bound2D : state.boundRectangle;
    if (name)
        return &state.textures[name];
    Texture& fallback = target == GL_TEXTURE_2D ? state.default2D : state.defaultRectangle;
    fallback.target = target;
    return &fallback;
}

const Texture* drawnTexture()
{
    Layer& state = layer();
    const Texture* texture = state.textureRectangle ? boundTexture(GL_TEXTURE_RECTANGLE_NV)
                             : state.texture2D      ? boundTexture(GL_TEXTURE_2D)
                                                    : nullptr;
    // Only level 0 is ever given: a mipmapping minification filter leaves the texture incomplete.
    bool complete = texture && texture->defined && texture->real &&
                    (texture->minFilter == GL_NEAREST || texture->minFilter == GL_LINEAR);
    return complete ? texture : nullptr;
}

} // namespace gloamer::gles

using namespace gloamer::gles;

extern "C" {

void gl11BindTexture(GLenum target, GLuint name)
{
    if (!outsideBeginEnd())
        return;
    if (!isTextureTarget(target))
        return setError(GL_INVALID_ENUM);
    Layer& state = layer();
    if (name) {
        Texture& texture = state.textures[name];
        if (texture.target && texture.target != target)
            return setError(GL_INVALID_OPERATION); // a texture keeps the target it was first bound to
        texture.target = target;
    }
    (target == GL_TEXTURE_2D ? state.bound2D : state.boundRectangle) = name;
}

void gl11TexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint border,
                    GLenum format, GLenum type, const GLvoid* pixels)
{
    if (!outsideBeginEnd())
        return;
    Texture* texture = boundTexture(target);
    if (!texture)
        return;
    // Borders are GL 1.1's alone, and the subset draws from level 0 only.
    if (level != 0 || border != 0 || width < 0 || height < 0 || !isColourFormat(internalFormat))
        return setError(GL_INVALID_VALUE);
    if (format != GL_RGB && format != GL_RGBA)
        return setError(GL_INVALID_ENUM);
    if (pixels && type != GL_UNSIGNED_BYTE)
        return setError(GL_INVALID_ENUM);

    bindReal(*texture);
    std::vector<unsigned char> converted;
    bool alpha = hasAlpha(internalFormat) && format == GL_RGBA;
    if (!pixels) {
        // Storage for copies: GLES copies only into formats the framebuffer covers, and a copy from a
        // framebuffer without alpha reads as alpha 1 in GL 1.1, which an RGB texture samples too.
        GLint alphaBits = 0;
        glGetIntegerv(GL_ALPHA_BITS, &alphaBits);
        alpha = hasAlpha(internalFormat) && alphaBits > 0;
    } else if (!hasAlpha(internalFormat) && format == GL_RGBA) {
        converted = dropAlpha((const unsigned char*)pixels, width, height);
        pixels = converted.data();
    }
    // An RGBA image in an RGB texture, or RGB in RGBA: the missing alpha samples as 1 either way.
    glTexImage2D(GL_TEXTURE_2D, 0, alpha ? GL_RGBA8 : GL_RGB8, width, height, 0, alpha ? GL_RGBA : GL_RGB,
                 GL_UNSIGNED_BYTE, pixels);
    texture->width = width;
    texture->height = height;
    texture->defined = width > 0 && height > 0;
}

void gl11TexParameteri(GLenum target, GLenum name, GLint value)
{
    if (!outsideBeginEnd())
        return;
    Texture* texture = boundTexture(target);
    if (!texture)
        return;
    const bool rectangle = target == GL_TEXTURE_RECTANGLE_NV;
    GLenum real = (GLenum)value;
    switch (name) {
    case GL_TEXTURE_MIN_FILTER:
        if (value != GL_NEAREST && value != GL_LINEAR &&
            (rectangle || (value != GL_NEAREST_MIPMAP_NEAREST && value != GL_LINEAR_MIPMAP_NEAREST &&
                           value != GL_NEAREST_MIPMAP_LINEAR && value != GL_LINEAR_MIPMAP_LINEAR)))
            return setError(GL_INVALID_ENUM);
        texture->minFilter = (GLenum)value;
        break;
    case GL_TEXTURE_MAG_FILTER:
        if (value != GL_NEAREST && value != GL_LINEAR)
            return setError(GL_INVALID_ENUM);
        texture->magFilter = (GLenum)value;
        break;
    case GL_TEXTURE_WRAP_S:
    case GL_TEXTURE_WRAP_T:
        if (value != GL_CLAMP && value != GL_CLAMP_TO_EDGE && (rectangle || value != GL_REPEAT))
            return setError(GL_INVALID_ENUM);
        // GLES has no GL_CLAMP: the border it blends in at the edges is added by the shader.
        if (value == GL_CLAMP)
            real = GL_CLAMP_TO_EDGE;
        (name == GL_TEXTURE_WRAP_S ? texture->wrapS : texture->wrapT) = (GLenum)value;
        break;
    default:
        return setError(GL_INVALID_ENUM);
    }
    bindReal(*texture);
    glTexParameteri(GL_TEXTURE_2D, name, (GLint)real);
}

void gl11TexParameterf(GLenum target, GLenum name, GLfloat value)
{
    gl11TexParameteri(target, name, (GLint)value);
}

void gl11CopyTexSubImage2D(GLenum target, GLint level, GLint xOffset, GLint yOffset, GLint x, GLint y,
                           GLsizei width, GLsizei height)
{
    if (!outsideBeginEnd())
        return;
    Texture* texture = boundTexture(target);
    if (!texture)
        return;
    if (!texture->defined || level != 0)
        return setError(GL_INVALID_OPERATION);
    bindReal(*texture);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, xOffset, yOffset, x, y, width, height);
}

} // extern "C"
