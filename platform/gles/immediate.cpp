// immediate.cpp -- glBegin/glEnd: vertices gathered with the current colour and texture coordinate, quads cut
// into triangles, and each primitive group streamed into a buffer and drawn.
#include <cstddef>

#include "platform/gles/layer.h"

using namespace gloamer::gles;

namespace {

bool isPrimitive(GLenum mode)
{
    switch (mode) {
    case GL_POINTS:
    case GL_LINES:
    case GL_LINE_LOOP:
    case GL_LINE_STRIP:
    case GL_TRIANGLES:
    case GL_TRIANGLE_STRIP:
    case GL_TRIANGLE_FAN:
    case GL_QUADS:
        return true;
    }
    return false; // quad strips and polygons are not part of the subset
}

// Each quad as two triangles that keep its winding and both end on its last vertex, which gives a flat-shaded
// quad its colour in GL 1.1 as the last vertex of a triangle does in GLES.
std::vector<Vertex> triangulateQuads(const std::vector<Vertex>& quads)
{
    static const int corners[6] = {0, 1, 3, 1, 2, 3};
    std::vector<Vertex> triangles;
    triangles.reserve(quads.size() / 4 * 6);
    for (size_t first = 0; first + 4 <= quads.size(); first += 4)
        for (int corner : corners)
            triangles.push_back(quads[first + corner]);
    return triangles;
}

void addVertex(float x, float y, float z)
{
    Layer& state = layer();
    if (!state.insideBegin)
        return; // GL leaves a vertex outside glBegin/glEnd undefined; here it draws nothing
    Vertex vertex{{x, y, z},
                  {state.color[0], state.color[1], state.color[2], state.color[3]},
                  {state.texCoord[0], state.texCoord[1]}};
    state.vertices.push_back(vertex);
}

} // namespace

extern "C" {

void gl11Begin(GLenum mode)
{
    if (!outsideBeginEnd())
        return;
    if (!isPrimitive(mode))
        return setError(GL_INVALID_ENUM);
    Layer& state = layer();
    state.insideBegin = true;
    state.primitive = mode;
    state.vertices.clear();
}

void gl11End(void)
{
    Layer& state = layer();
    if (!state.insideBegin)
        return setError(GL_INVALID_OPERATION);
    state.insideBegin = false;
    std::vector<Vertex> quadTriangles;
    const std::vector<Vertex>* drawn = &state.vertices;
    GLenum mode = state.primitive;
    if (mode == GL_QUADS) {
        quadTriangles = triangulateQuads(state.vertices);
        drawn = &quadTriangles;
        mode = GL_TRIANGLES;
    }
    if (drawn->empty())
        return;
    applyDrawState(drawnTexture());
    glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(drawn->size() * sizeof(Vertex)), drawn->data(), GL_STREAM_DRAW);
    glDrawArrays(mode, 0, (GLsizei)drawn->size());
}

void gl11Vertex2f(GLfloat x, GLfloat y)
{
    addVertex(x, y, 0.0f);
}

void gl11Vertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    addVertex(x, y, z);
}

void gl11TexCoord2f(GLfloat s, GLfloat t)
{
    Layer& state = layer();
    state.texCoord[0] = s;
    state.texCoord[1] = t;
}

void gl11Color4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha)
{
    Layer& state = layer();
    state.color[0] = red;
    state.color[1] = green;
    state.color[2] = blue;
    state.color[3] = alpha;
}

} // extern "C"
