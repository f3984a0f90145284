#include "Platform/Gles/CGlesBlitter.h"

#include "Platform/Gles/CGlesContext.h"
#include "Platform/Gles/CGlesShader.h"

namespace {

const char kVertexShader[] = R"(
attribute vec2 aCorner;
uniform vec4 uTexRect;
varying vec2 vTex;
void main() {
    vTex = mix(uTexRect.xy, uTexRect.zw, aCorner);
    gl_Position = vec4(aCorner * 2.0 - 1.0, 0.0, 1.0);
}
)";

const char kRgbaShader[] = R"(
precision highp float;
uniform sampler2D uTexture;
varying vec2 vTex;
void main() {
    gl_FragColor = vec4(texture2D(uTexture, vTex).rgb, 1.0);
}
)";

// ITU-R BT.601, limited range: luma 16..235 and chroma 16..240 around 128.
const char kYuvShader[] = R"(
precision highp float;
uniform sampler2D uY;
uniform sampler2D uU;
uniform sampler2D uV;
varying vec2 vTex;
const mat3 kToRgb = mat3(1.164383, 1.164383, 1.164383,
                         0.0, -0.391762, 2.017232,
                         1.596027, -0.812968, 0.0);
void main() {
    vec3 yuv = vec3(texture2D(uY, vTex).r, texture2D(uU, vTex).r, texture2D(uV, vTex).r);
    vec3 rgb = kToRgb * (yuv - vec3(16.0, 128.0, 128.0) / 255.0);
    gl_FragColor = vec4(clamp(rgb, 0.0, 1.0), 1.0);
}
)";

const GLfloat kCorners[] = {0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f, 1.0f};

}  // namespace

CGlesBlitter::CGlesBlitter(CGlesContext& context)
    : m_context(context),
      m_quad(0),
      m_rgbaProgram(0),
      m_rgbaTexRect(-1),
      m_yuvProgram(0),
      m_yuvTexRect(-1) {
    const char* const attributes[] = {"aCorner"};
    m_rgbaProgram = CGlesShader::link(kVertexShader, kRgbaShader, attributes, 1);
    m_yuvProgram = CGlesShader::link(kVertexShader, kYuvShader, attributes, 1);
    if (!valid()) {
        return;
    }
    m_rgbaTexRect = glGetUniformLocation(m_rgbaProgram, "uTexRect");
    m_yuvTexRect = glGetUniformLocation(m_yuvProgram, "uTexRect");
    glUseProgram(m_rgbaProgram);
    glUniform1i(glGetUniformLocation(m_rgbaProgram, "uTexture"), 0);
    glUseProgram(m_yuvProgram);
    glUniform1i(glGetUniformLocation(m_yuvProgram, "uY"), 0);
    glUniform1i(glGetUniformLocation(m_yuvProgram, "uU"), 1);
    glUniform1i(glGetUniformLocation(m_yuvProgram, "uV"), 2);
    glGenBuffers(1, &m_quad);
    glBindBuffer(GL_ARRAY_BUFFER, m_quad);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kCorners), kCorners, GL_STATIC_DRAW);
}

CGlesBlitter::~CGlesBlitter() {
    glDeleteBuffers(1, &m_quad);
    glDeleteProgram(m_rgbaProgram);
    glDeleteProgram(m_yuvProgram);
}

void CGlesBlitter::drawRgba(GLuint texture, GLint filter, const GLfloat texRect[4]) {
    draw(m_rgbaProgram, m_rgbaTexRect, &texture, 1, filter, texRect);
}

void CGlesBlitter::drawYv12(const GLuint planes[3], GLint filter, const GLfloat texRect[4]) {
    draw(m_yuvProgram, m_yuvTexRect, planes, 3, filter, texRect);
}

void CGlesBlitter::draw(GLuint program, GLint texRectLocation, const GLuint* textures, int count,
                        GLint filter, const GLfloat texRect[4]) {
    // Callers reach the blitter through the context, so the analysis cannot
    // tie their scope to m_context; the check makes the tie.
    m_context.mutex().assertHeld();
    glUseProgram(program);
    glUniform4fv(texRectLocation, 1, texRect);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    for (int i = 0; i < count; ++i) {
        glActiveTexture(GL_TEXTURE0 + i);
        glBindTexture(GL_TEXTURE_2D, textures[i]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    glActiveTexture(GL_TEXTURE0);
    glBindBuffer(GL_ARRAY_BUFFER, m_quad);
    m_context.enableVertexAttributes_Locked(1u);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
}
