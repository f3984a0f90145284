#pragma once

#include <GLES2/gl2.h>

class CGlesContext;

// The drawing a device does on its own behalf: copying an RGBA texture
// (Present, StretchRect between render targets) and converting the three
// planes of a YV12 surface to RGB (StretchRect). Each call covers the current
// viewport of the bound framebuffer. Lives in one context; make and use it
// inside a CGlesContext::Scope (checked when it draws).
class CGlesBlitter {
public:
    explicit CGlesBlitter(CGlesContext& context);
    ~CGlesBlitter();

    CGlesBlitter(const CGlesBlitter&) = delete;
    CGlesBlitter& operator=(const CGlesBlitter&) = delete;

    // False when a program failed to compile.
    bool valid() const { return m_rgbaProgram != 0 && m_yuvProgram != 0; }

    // texRect is (u0, v0, u1, v1): the texture coordinates that land on the
    // viewport's corner at the GL origin and on the opposite corner. filter is
    // GL_NEAREST or GL_LINEAR; textures are clamped at their edges. Alpha is
    // written as 1.
    void drawRgba(GLuint texture, GLint filter, const GLfloat texRect[4]);
    // planes are the Y, U and V textures; the result is BT.601 limited-range
    // YCbCr converted to RGB.
    void drawYv12(const GLuint planes[3], GLint filter, const GLfloat texRect[4]);

private:
    void draw(GLuint program, GLint texRectLocation, const GLuint* textures, int count,
              GLint filter, const GLfloat texRect[4]);

    CGlesContext& m_context;
    GLuint m_quad;
    GLuint m_rgbaProgram;
    GLint m_rgbaTexRect;
    GLuint m_yuvProgram;
    GLint m_yuvTexRect;
};
