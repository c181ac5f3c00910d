#include "play/GlShaders.h"

#include <array>

namespace vantrell {

// Gouraud shading of one spot light at the eye, following the fixed-function lighting
// model the level colours were designed for: diffuse only, no ambient, attenuation
// 1 / (a0 + a1 d + a2 d^2), no light beyond the range, a spot factor of 1 inside the inner
// cone, 0 outside the outer cone and ((rho - cos(phi/2)) / (cos(theta/2) - cos(phi/2)))^falloff
// between. Normals are used as stored (no renormalisation), in world space, since the
// world transform is the identity.
const char* const levelVertexShader = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
uniform mat4 viewProjection;
uniform bool convertDepth;
uniform vec3 lightPosition;
uniform vec3 lightDirection;
uniform vec4 materialDiffuse;
const float lightRange = 1000.0;
const vec3 attenuation = vec3(0.1, 0.1, 0.0);
const float cosHalfTheta = 0.86602540;  // cos(pi/6): inner cone pi/3
const float cosHalfPhi = 0.70710678;    // cos(pi/4): outer cone pi/2
const float falloff = 1.0;
out vec4 colour;
void main() {
    vec4 clip = viewProjection * vec4(position, 1.0);
    // The projection maps depth to 0..w; without clip control GL expects -w..w.
    if (convertDepth) clip.z = 2.0 * clip.z - clip.w;
    gl_Position = clip;

    vec3 toLight = lightPosition - position;
    float d = length(toLight);
    float lit = 0.0;
    if (d > 0.0 && d <= lightRange) {
        vec3 l = toLight / d;
        float rho = dot(normalize(lightDirection), -l);
        float spot;
        if (rho > cosHalfTheta) spot = 1.0;
        else if (rho <= cosHalfPhi) spot = 0.0;
        else spot = pow((rho - cosHalfPhi) / (cosHalfTheta - cosHalfPhi), falloff);
        float atten = 1.0 / (attenuation.x + attenuation.y * d + attenuation.z * d * d);
        lit = max(dot(normal, l), 0.0) * atten * spot;
    }
    colour = vec4(clamp(materialDiffuse.rgb * lit, 0.0, 1.0), materialDiffuse.a);
}
)";

const char* const levelFragmentShader = R"(#version 330 core
in vec4 colour;
out vec4 fragment;
void main() { fragment = colour; }
)";

// The same spot light worked out for every pixel from the interpolated (renormalised) normal,
// plus a small ambient term so that faces outside the cone or turned away stay readable.
// The flat variant ignores the light: the list colour scaled by how squarely the face, taken
// from the screen-space derivatives of its positions, turns to the eye.
const char* const pixelVertexShader = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
uniform mat4 viewProjection;
uniform bool convertDepth;
out vec3 worldPosition;
out vec3 worldNormal;
void main() {
    vec4 clip = viewProjection * vec4(position, 1.0);
    if (convertDepth) clip.z = 2.0 * clip.z - clip.w;
    gl_Position = clip;
    worldPosition = position;
    worldNormal = normal;
}
)";

const char* const pixelFragmentShader = R"(#version 330 core
in vec3 worldPosition;
in vec3 worldNormal;
uniform vec3 lightPosition;
uniform vec3 lightDirection;
uniform vec4 materialDiffuse;
const float lightRange = 1000.0;
const vec3 attenuation = vec3(0.1, 0.1, 0.0);
const float cosHalfTheta = 0.86602540;
const float cosHalfPhi = 0.70710678;
const float falloff = 1.0;
const float ambient = 0.25;
out vec4 fragment;
void main() {
    vec3 toLight = lightPosition - worldPosition;
    float d = length(toLight);
    float lit = 0.0;
    float normalLength = length(worldNormal);
    if (d > 0.0 && d <= lightRange && normalLength > 0.0) {
        vec3 l = toLight / d;
        float rho = dot(normalize(lightDirection), -l);
        float spot;
        if (rho > cosHalfTheta) spot = 1.0;
        else if (rho <= cosHalfPhi) spot = 0.0;
        else spot = pow((rho - cosHalfPhi) / (cosHalfTheta - cosHalfPhi), falloff);
        float atten = 1.0 / (attenuation.x + attenuation.y * d + attenuation.z * d * d);
        lit = max(dot(worldNormal / normalLength, l), 0.0) * atten * spot;
    }
    fragment = vec4(clamp(materialDiffuse.rgb * (lit + ambient), 0.0, 1.0), materialDiffuse.a);
}
)";

const char* const flatFragmentShader = R"(#version 330 core
in vec3 worldPosition;
in vec3 worldNormal;
uniform vec3 lightPosition;  // the eye
uniform vec4 materialDiffuse;
out vec4 fragment;
void main() {
    vec3 face = cross(dFdx(worldPosition), dFdy(worldPosition));
    vec3 toEye = lightPosition - worldPosition;
    float facing = 1.0;
    if (length(face) > 0.0 && length(toEye) > 0.0) facing = abs(dot(normalize(face), normalize(toEye)));
    fragment = vec4(materialDiffuse.rgb * (0.25 + 0.75 * facing), materialDiffuse.a);
}
)";

// Lines in the world (frozen view volume, space boxes) with a colour per vertex, or the
// level's triangles in one colour for their edges.
const char* const lineVertexShader = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 vertexColour;
uniform mat4 viewProjection;
uniform bool convertDepth;
uniform bool oneColour;
uniform vec3 solidColour;
out vec3 colour;
void main() {
    vec4 clip = viewProjection * vec4(position, 1.0);
    if (convertDepth) clip.z = 2.0 * clip.z - clip.w;
    gl_Position = clip;
    colour = oneColour ? solidColour : vertexColour;
}
)";

const char* const lineFragmentShader = R"(#version 330 core
in vec3 colour;
out vec4 fragment;
void main() { fragment = vec4(colour, 1.0); }
)";

const char* const textVertexShader = R"(#version 330 core
layout(location = 0) in vec2 pixel;     // framebuffer pixels, origin top left
layout(location = 1) in vec2 texel;
uniform vec2 framebufferSize;
out vec2 atlasPosition;
void main() {
    atlasPosition = texel;
    gl_Position = vec4(pixel.x / framebufferSize.x * 2.0 - 1.0, 1.0 - pixel.y / framebufferSize.y * 2.0, 0.0, 1.0);
}
)";

// The atlas holds coverage in red and the coverage grown by one pixel in green: white
// glyphs over a one-pixel dark outline, premultiplied for blending.
const char* const textFragmentShader = R"(#version 330 core
in vec2 atlasPosition;
uniform sampler2D atlas;
out vec4 fragment;
void main() {
    vec2 coverage = texture(atlas, atlasPosition).rg;
    fragment = vec4(vec3(coverage.r), max(coverage.r, coverage.g));
}
)";

// Boxes behind the info panel and the note, and the legend's swatches (premultiplied).
const char* const boxFragmentShader = R"(#version 330 core
in vec2 atlasPosition;
uniform vec4 fillColour;
out vec4 fragment;
void main() { fragment = fillColour; }
)";

namespace {

GLuint compileShader(GLenum type, const char* source, const char* name, std::string& error) {
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        std::array<char, 2048> log{};
        glGetShaderInfoLog(shader, static_cast<GLsizei>(log.size()), nullptr, log.data());
        error = std::string("the ") + name + " shader does not compile: " + log.data();
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

GLuint linkProgram(const char* vertexSource, const char* fragmentSource, const char* name, std::string& error) {
    const GLuint vertex = compileShader(GL_VERTEX_SHADER, vertexSource, name, error);
    if (vertex == 0) return 0;
    const GLuint fragment = compileShader(GL_FRAGMENT_SHADER, fragmentSource, name, error);
    if (fragment == 0) {
        glDeleteShader(vertex);
        return 0;
    }
    const GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint ok = GL_FALSE;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        std::array<char, 2048> log{};
        glGetProgramInfoLog(program, static_cast<GLsizei>(log.size()), nullptr, log.data());
        error = std::string("the ") + name + " shaders do not link: " + log.data();
        glDeleteProgram(program);
        return 0;
    }
    return program;
}

}  // namespace vantrell
