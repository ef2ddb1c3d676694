// matrices.cpp -- the modelview and projection stacks, with GL 1.1's matrix operations computed in float.
#include <cmath>

#include "platform/gles/layer.h"

namespace gloamer::gles {

// GL 1.1 asks for at least 32 modelview and 2 projection entries; Mesa gives 32 of each.
static const size_t stackDepth = 32;

Matrix identityMatrix()
{
    return Matrix{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
}

Matrix multiply(const Matrix& a, const Matrix& b)
{
    Matrix product;
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k)
                sum += a.m[k * 4 + row] * b.m[column * 4 + k];
            product.m[column * 4 + row] = sum;
        }
    return product;
}

} // namespace gloamer::gles

using namespace gloamer::gles;

namespace {

std::vector<Matrix>& currentStack()
{
    Layer& state = layer();
    return state.matrixMode == GL_PROJECTION ? state.projection : state.modelview;
}

// Right-multiplies the current matrix, as every GL 1.1 matrix operation does.
void apply(const Matrix& operand)
{
    Matrix& top = currentStack().back();
    top = multiply(top, operand);
}

} // namespace

extern "C" {

void gl11MatrixMode(GLenum mode)
{
    if (!outsideBeginEnd())
        return;
    if (mode != GL_MODELVIEW && mode != GL_PROJECTION)
        return setError(GL_INVALID_ENUM); // the texture matrix is not part of the subset
    layer().matrixMode = mode;
}

void gl11LoadIdentity(void)
{
    if (outsideBeginEnd())
        currentStack().back() = identityMatrix();
}

void gl11PushMatrix(void)
{
    if (!outsideBeginEnd())
        return;
    std::vector<Matrix>& stack = currentStack();
    if (stack.size() >= stackDepth)
        return setError(GL_STACK_OVERFLOW);
    stack.push_back(stack.back());
}

void gl11PopMatrix(void)
{
    if (!outsideBeginEnd())
        return;
    std::vector<Matrix>& stack = currentStack();
    if (stack.size() <= 1)
        return setError(GL_STACK_UNDERFLOW);
    stack.pop_back();
}

void gl11Frustum(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar)
{
    if (!outsideBeginEnd())
        return;
    if (zNear <= 0.0 || zFar <= 0.0 || left == right || bottom == top || zNear == zFar)
        return setError(GL_INVALID_VALUE);
    const float l = (float)left, r = (float)right, b = (float)bottom, t = (float)top;
    const float n = (float)zNear, f = (float)zFar;
    Matrix frustum{};
    frustum.m[0] = 2.0f * n / (r - l);
    frustum.m[5] = 2.0f * n / (t - b);
    frustum.m[8] = (r + l) / (r - l);
    frustum.m[9] = (t + b) / (t - b);
    frustum.m[10] = -(f + n) / (f - n);
    frustum.m[11] = -1.0f;
    frustum.m[14] = -(2.0f * f * n) / (f - n);
    apply(frustum);
}

void gl11Ortho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar)
{
    if (!outsideBeginEnd())
        return;
    if (left == right || bottom == top || zNear == zFar)
        return setError(GL_INVALID_VALUE);
    const float l = (float)left, r = (float)right, b = (float)bottom, t = (float)top;
    const float n = (float)zNear, f = (float)zFar;
    Matrix ortho = identityMatrix();
    ortho.m[0] = 2.0f / (r - l);
    ortho.m[5] = 2.0f / (t - b);
    ortho.m[10] = -2.0f / (f - n);
    ortho.m[12] = -(r + l) / (r - l);
    ortho.m[13] = -(t + b) / (t - b);
    ortho.m[14] = -(f + n) / (f - n);
    apply(ortho);
}

void gl11Translatef(GLfloat x, GLfloat y, GLfloat z)
{
    if (!outsideBeginEnd())
        return;
    Matrix translation = identityMatrix();
    translation.m[12] = x;
    translation.m[13] = y;
    translation.m[14] = z;
    apply(translation);
}

// A rotation by `angle` degrees about the axis (x, y, z), which need not be of unit length.
void gl11Rotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    if (!outsideBeginEnd())
        return;
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length == 0.0f)
        return; // no axis: GL leaves the matrix as it is
    x /= length;
    y /= length;
    z /= length;
    const double radians = angle * M_PI / 180.0;
    const float s = (float)std::sin(radians), c = (float)std::cos(radians), k = 1.0f - c;
    Matrix rotation = identityMatrix();
    rotation.m[0] = x * x * k + c;
    rotation.m[1] = y * x * k + z * s;
    rotation.m[2] = x * z * k - y * s;
    rotation.m[4] = x * y * k - z * s;
    rotation.m[5] = y * y * k + c;
    rotation.m[6] = y * z * k + x * s;
    rotation.m[8] = x * z * k + y * s;
    rotation.m[9] = y * z * k - x * s;
    rotation.m[10] = z * z * k + c;
    apply(rotation);
}

} // extern "C"
