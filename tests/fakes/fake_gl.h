// fake_gl.h -- a recording OpenGL 1.1 stand-in that also keeps the state tests ask about.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <set>
#include <vector>

#include "platform/gl.h"

namespace fake {

using Matrix = std::array<double, 16>; // column-major, as GL keeps it

struct Texture {
    GLenum target = 0;
    int width = 0;
    int height = 0;
    int internalFormat = 0;
    GLenum format = 0;
    GLenum type = 0;
    bool hasData = false;
    std::vector<unsigned char> pixels; // copied from glTexImage2D when given RGBA bytes
    std::map<GLenum, double> params;   // every glTexParameter* value, as a number
    int imageCalls = 0;
    int copyCalls = 0;
};

struct Vertex {
    double x, y, z;    // as given
    double ex, ey, ez; // after the modelview matrix
    double s, t;
    std::array<float, 4> color;
};

// What was in force when a glBegin opened its batch.
struct BatchState {
    GLenum mode = 0;
    std::set<GLenum> enabled;
    GLboolean depthMask = GL_TRUE;
    GLenum cullFace = GL_BACK;
    GLenum alphaFunc = GL_ALWAYS;
    std::map<GLenum, GLuint> bound;
};

struct GlState {
    std::set<GLenum> enabled;
    GLenum matrixMode = GL_MODELVIEW;
    std::map<GLenum, std::vector<Matrix>> stacks; // top of each stack is the current matrix
    std::array<float, 4> color{1, 1, 1, 1};
    std::array<float, 2> texCoord{0, 0};
    std::map<GLenum, GLuint> bound; // target -> texture name
    std::map<GLuint, Texture> textures;
    GLenum blendSrc = GL_ONE, blendDst = GL_ZERO;
    GLenum alphaFunc = GL_ALWAYS;
    float alphaRef = 0;
    GLboolean depthMask = GL_TRUE;
    GLenum depthFunc = GL_LESS;
    GLenum cullFace = GL_BACK;
    std::array<int, 4> viewport{0, 0, 0, 0};
    bool inBegin = false;
    std::vector<std::vector<Vertex>> batches; // the vertices of each glBegin .. glEnd
    std::vector<BatchState> batchStates;      // the state each of those batches was drawn in
    int clears = 0;

    bool isEnabled(GLenum capability) const { return enabled.count(capability) != 0; }
    const Matrix& top(GLenum mode) const { return stacks.at(mode).back(); }
    size_t depth(GLenum mode) const { return stacks.at(mode).size(); }
};

GlState& gl();
void resetGl();
Matrix identity();

} // namespace fake
