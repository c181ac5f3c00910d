// The renderer's GLSL 3.30 core programs (the level in three shadings, lines and edges,
// overlay text and panel boxes) and the compiling and linking of them. Every attribute,
// uniform and output named here is looked up by GlRenderer.cpp by the same name.
#pragma once

#include <epoxy/gl.h>

#include <string>

namespace vantrell {

extern const char* const levelVertexShader;
extern const char* const levelFragmentShader;
extern const char* const pixelVertexShader;
extern const char* const pixelFragmentShader;
extern const char* const flatFragmentShader;
extern const char* const lineVertexShader;
extern const char* const lineFragmentShader;
extern const char* const textVertexShader;
extern const char* const textFragmentShader;
extern const char* const boxFragmentShader;

// A program made of the two sources, or 0 with the compile or link log in error (name says
// which program failed). Needs a current context.
[[nodiscard]] GLuint linkProgram(const char* vertexSource, const char* fragmentSource, const char* name,
                                 std::string& error);

}  // namespace vantrell
