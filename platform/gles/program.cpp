// program.cpp -- the shader that does the fixed-function work the subset needs: transform, colour clamp,
// MODULATE texturing with GL_CLAMP's border, flat shading and the alpha test.
#include <cstddef>
#include <cstdio>

#include "platform/gles/layer.h"

namespace gloamer::gles {

namespace {

// GLSL ES 3.00, which WebGL 2 runs as well.
const char vertexSource[] = R"(#version 300 es
uniform mat4 transform;
uniform vec2 texScale;
layout(location = 0) in vec3 position;
layout(location = 1) in vec4 color;
layout(location = 2) in vec2 texCoord;
out vec4 smoothColor;
flat out vec4 flatColor;
out vec2 coord;
void main() {
    // Fixed-function GL clamps each vertex's colour to [0, 1] before it is interpolated.
    smoothColor = clamp(color, 0.0, 1.0);
    flatColor = smoothColor;
    coord = texCoord * texScale;
    gl_Position = transform * vec4(position, 1.0);
    gl_PointSize = 1.0;
}
)";

const char fragmentSource[] = R"(#version 300 es
precision highp float;
uniform sampler2D image;
uniform bool textured;
uniform bool flatShaded;
uniform vec2 borderSize;
uniform int alphaFunc;
uniform float alphaRef;
in vec4 smoothColor;
flat in vec4 flatColor;
in vec2 coord;
out vec4 fragColor;

// GL_CLAMP under linear filtering mixes in the transparent black border within half a texel of an edge.
float borderWeight(float s, float size) {
    if (size == 0.0)
        return 1.0;
    float texel = clamp(s, 0.0, 1.0) * size;
    return clamp(min(texel + 0.5, size - texel + 0.5), 0.0, 1.0);
}

bool passes(float alpha) {
    switch (alphaFunc) {
    case 0: return false;
    case 1: return alpha < alphaRef;
    case 2: return alpha == alphaRef;
    case 3: return alpha <= alphaRef;
    case 4: return alpha > alphaRef;
    case 5: return alpha != alphaRef;
    case 6: return alpha >= alphaRef;
    }
    return true;
}

void main() {
    vec4 color = flatShaded ? flatColor : smoothColor;
    if (textured)
        color *= texture(image, coord) * (borderWeight(coord.x, borderSize.x) * borderWeight(coord.y, borderSize.y));
    if (!passes(color.a))
        discard;
    fragColor = color;
}
)";

GLuint compile(GLenum kind, const char* source)
{
    GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint compiled = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (!compiled) {
        char log[1024] = "";
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "gloamer: the GL 1.1 layer's shader does not compile: %s\n", log);
    }
    return shader;
}

void build(Program& shader)
{
    GLuint vertex = compile(GL_VERTEX_SHADER, vertexSource);
    GLuint fragment = compile(GL_FRAGMENT_SHADER, fragmentSource);
    shader.program = glCreateProgram();
    glAttachShader(shader.program, vertex);
    glAttachShader(shader.program, fragment);
    glLinkProgram(shader.program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    shader.transform = glGetUniformLocation(shader.program, "transform");
    shader.texScale = glGetUniformLocation(shader.program, "texScale");
    shader.borderSize = glGetUniformLocation(shader.program, "borderSize");
    shader.textured = glGetUniformLocation(shader.program, "textured");
    shader.flatShaded = glGetUniformLocation(shader.program, "flatShaded");
    shader.alphaFunc = glGetUniformLocation(shader.program, "alphaFunc");
    shader.alphaRef = glGetUniformLocation(shader.program, "alphaRef");
    glUseProgram(shader.program);
    glUniform1i(glGetUniformLocation(shader.program, "image"), 0);

    // Vertices are streamed through one buffer; WebGL 2 has no client-side arrays.
    glGenVertexArrays(1, &shader.vertexArray);
    glBindVertexArray(shader.vertexArray);
    glGenBuffers(1, &shader.vertexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, shader.vertexBuffer);
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), (const void*)offsetof(Vertex, position));
    glVertexAttribPointer(1, 4, GL_FLOAT, GL_FALSE, sizeof(Vertex), (const void*)offsetof(Vertex, color));
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), (const void*)offsetof(Vertex, texCoord));
}

// GL_CLAMP's border weighs in only where a linear filter reaches past the edge texels.
float borderSize(GLenum wrap, const Texture& texture, GLsizei size)
{
    return wrap == GL_CLAMP && texture.magFilter == GL_LINEAR ? (float)size : 0.0f;
}

} // namespace

Program& program()
{
    Program& shader = layer().shader;
    if (!shader.program)
        build(shader);
    return shader;
}

void applyDrawState(const Texture* texture)
{
    Layer& state = layer();
    Program& shader = program();
    glUseProgram(shader.program);
    glBindVertexArray(shader.vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, shader.vertexBuffer);

    Matrix transform = multiply(state.projection.back(), state.modelview.back());
    glUniformMatrix4fv(shader.transform, 1, GL_FALSE, transform.m);
    glUniform1i(shader.textured, texture ? 1 : 0);
    if (texture) {
        glBindTexture(GL_TEXTURE_2D, texture->real);
        // Rectangle textures are addressed in texels.
        const bool rectangle = texture->target == GL_TEXTURE_RECTANGLE_NV;
        glUniform2f(shader.texScale, rectangle ? 1.0f / (float)texture->width : 1.0f,
                    rectangle ? 1.0f / (float)texture->height : 1.0f);
        glUniform2f(shader.borderSize, borderSize(texture->wrapS, *texture, texture->width),
                    borderSize(texture->wrapT, *texture, texture->height));
    }
    glUniform1i(shader.flatShaded, state.flatShaded ? 1 : 0);
    glUniform1i(shader.alphaFunc, state.alphaTest ? (GLint)(state.alphaFunc - GL_NEVER) : 7);
    glUniform1f(shader.alphaRef, state.alphaRef);
}

} // namespace gloamer::gles
