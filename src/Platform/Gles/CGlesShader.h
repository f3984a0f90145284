#pragma once

#include <GLES2/gl2.h>

// Compiling and linking GLSL programs in the current context.
class CGlesShader {
public:
    // A linked program of the two sources, with attributes[i] bound to
    // location i; 0 when compiling or linking fails.
    static GLuint link(const char* vertexSource, const char* fragmentSource,
                       const char* const* attributes, int attributeCount);

private:
    static GLuint compile(GLenum type, const char* source);
};
