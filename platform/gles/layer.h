// layer.h -- the state the GL 1.1 layer keeps for the current context, shared by its files.
#pragma once

#include <unordered_map>
#include <vector>

#include "platform/gl11_api.h"
#include "platform/win32.h"

namespace gloamer::gles {

// Column-major, as GL keeps them.
struct Matrix {
    float m[16];
};
Matrix identityMatrix();
Matrix multiply(const Matrix& a, const Matrix& b); // a * b

struct Vertex {
    float position[3];
    float color[4];
    float texCoord[2];
};

// One GL 1.1 texture object over an OpenGL ES 2D texture; its target is fixed by its first bind.
struct Texture {
    GLuint real = 0;
    GLenum target = 0;
    GLsizei width = 0;
    GLsizei height = 0;
    bool defined = false;
    GLenum minFilter = GL_NEAREST_MIPMAP_LINEAR;
    GLenum magFilter = GL_LINEAR;
    GLenum wrapS = GL_REPEAT;
    GLenum wrapT = GL_REPEAT;
};

// The shader that stands in for the fixed-function pipeline, and where its inputs go.
struct Program {
    GLuint program = 0;
    GLuint vertexArray = 0;
    GLuint vertexBuffer = 0;
    GLint transform = -1;
    GLint texScale = -1;
    GLint borderSize = -1;
    GLint textured = -1;
    GLint flatShaded = -1;
    GLint alphaFunc = -1;
    GLint alphaRef = -1;
};

struct Layer {
    HGLRC context = nullptr;
    GLenum error = GL_NO_ERROR;

    GLenum matrixMode = GL_MODELVIEW;
    std::vector<Matrix> modelview;
    std::vector<Matrix> projection;

    bool insideBegin = false;
    GLenum primitive = 0;
    std::vector<Vertex> vertices;
    float color[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float texCoord[2] = {0.0f, 0.0f};

    bool texture2D = false;
    bool textureRectangle = false;
    bool alphaTest = false;
    GLenum alphaFunc = GL_ALWAYS;
    float alphaRef = 0.0f;
    bool flatShaded = false;

    std::unordered_map<GLuint, Texture> textures; // by name
    Texture default2D;                            // name 0 of each target
    Texture defaultRectangle;
    GLuint bound2D = 0;
    GLuint boundRectangle = 0;

    Program shader;
};

// The state of the context current now: a context the layer has not seen before starts from GL's defaults.
Layer& layer();
// Records the first error since the last glGetError, as GL does.
void setError(GLenum error);
// False, with GL_INVALID_OPERATION recorded, between glBegin and glEnd, where only vertex data may be given;
// false too while no context is current.
bool outsideBeginEnd();

// The texture object bound to a target (made on first use), or null with GL_INVALID_ENUM for another target.
Texture* boundTexture(GLenum target);
// The texture a draw samples: the rectangle target's when enabled, else GL_TEXTURE_2D's; null when texturing is
// off or the texture is incomplete, which GL 1.1 treats as texturing off.
const Texture* drawnTexture();

// Builds the shader on first use in the context; fills its uniforms for a draw with the given texture.
Program& program();
void applyDrawState(const Texture* texture);

} // namespace gloamer::gles
