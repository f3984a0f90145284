#include "Platform/D3D9/CDirect3DPixelShader9.h"

#include <new>
#include <string>

#include "Platform/Gles/CGlesContext.h"
#include "Platform/Gles/CGlesShader.h"

namespace {

// The device's vertex stage for pre-transformed (D3DFVF_XYZRHW) vertices:
// screen positions in pixels become clip coordinates for the render target,
// the diffuse colour (stored B, G, R, A) and four texture coordinate sets
// pass on to the pixel shader.
const char kVertexStage[] = R"(
D3D_IN vec4 d3d_Position;
D3D_IN vec4 d3d_Diffuse;
D3D_IN vec2 d3d_TexIn0;
D3D_IN vec2 d3d_TexIn1;
D3D_IN vec2 d3d_TexIn2;
D3D_IN vec2 d3d_TexIn3;
uniform vec4 d3d_Viewport;
D3D_OUT vec4 d3d_Color0;
D3D_OUT vec2 d3d_TexCoord0;
D3D_OUT vec2 d3d_TexCoord1;
D3D_OUT vec2 d3d_TexCoord2;
D3D_OUT vec2 d3d_TexCoord3;
void main() {
    d3d_Color0 = d3d_Diffuse.bgra;
    d3d_TexCoord0 = d3d_TexIn0;
    d3d_TexCoord1 = d3d_TexIn1;
    d3d_TexCoord2 = d3d_TexIn2;
    d3d_TexCoord3 = d3d_TexIn3;
    // Direct3D 9 puts pixel centres on whole coordinates, OpenGL half-way
    // between them: x = -0.5 is the left edge of the target. d3d_Viewport
    // holds the scale (xy) and offset (zw) from pixels to clip coordinates.
    vec2 position = (d3d_Position.xy + 0.5) * d3d_Viewport.xy + d3d_Viewport.zw;
    gl_Position = vec4(position, 2.0 * d3d_Position.z - 1.0, 1.0) / d3d_Position.w;
}
)";

const char kVertexStage100[] = "#define D3D_IN attribute\n#define D3D_OUT varying\n";
const char kVertexStage300[] = "#version 300 es\n#define D3D_IN in\n#define D3D_OUT out\n";

const char* const kAttributes[] = {"d3d_Position", "d3d_Diffuse", "d3d_TexIn0",
                                   "d3d_TexIn1",   "d3d_TexIn2",  "d3d_TexIn3"};

}  // namespace

CDirect3DPixelShader9* CDirect3DPixelShader9::create(const std::shared_ptr<CGlesContext>& context,
                                                     const CPixelShaderProgram& program) {
    CDirect3DPixelShader9* shader = new (std::nothrow) CDirect3DPixelShader9(context);
    if (shader && !shader->link(program)) {
        shader->Release();
        return nullptr;
    }
    return shader;
}

CDirect3DPixelShader9::CDirect3DPixelShader9(const std::shared_ptr<CGlesContext>& context)
    : m_context(context), m_generation(0), m_program(0), m_viewport(-1) {}

CDirect3DPixelShader9::~CDirect3DPixelShader9() {
    CGlesContext::Scope scope(*m_context);
    if (scope.current() && m_context->generation_Locked() == m_generation) {
        glDeleteProgram(m_program);
    }
}

bool CDirect3DPixelShader9::link(const CPixelShaderProgram& program) {
    CGlesContext::Scope scope(*m_context);
    m_generation = m_context->generation_Locked();
    if (!scope.current()) {
        return false;
    }
    const bool glsl300 = ((program.version() >> 8) & 0xFF) >= 3;
    const std::string vertex =
        std::string(glsl300 ? kVertexStage300 : kVertexStage100) + kVertexStage;
    m_program = CGlesShader::link(vertex.c_str(), program.glsl().c_str(), kAttributes,
                                  sizeof(kAttributes) / sizeof(kAttributes[0]));
    if (!m_program) {
        return false;
    }
    glUseProgram(m_program);
    m_viewport = glGetUniformLocation(m_program, "d3d_Viewport");
    for (const CPixelShaderProgram::Constant& constant : program.constants()) {
        const GLint location = glGetUniformLocation(m_program, constant.name.c_str());
        if (constant.registerSet == D3DXRS_SAMPLER && constant.registerCount == 1 &&
            constant.registerIndex < kSamplers) {
            glUniform1i(location, static_cast<GLint>(constant.registerIndex));
            m_samplers.push_back(constant.registerIndex);
        } else if (constant.registerSet == D3DXRS_FLOAT4 && constant.registerCount == 1 &&
                   constant.registerIndex < kFloatRegisters &&
                   (constant.parameterClass == D3DXPC_SCALAR ||
                    constant.parameterClass == D3DXPC_VECTOR) &&
                   constant.rows == 1 && constant.columns >= 1 && constant.columns <= 4) {
            m_floats.push_back(FloatConstant{location, constant.registerIndex, constant.columns});
        } else {
            return false;
        }
    }
    return true;
}

bool CDirect3DPixelShader9::use_Locked(const float (*registers)[4], UINT targetWidth,
                                       UINT targetHeight, bool bottomUp) const {
    m_context->mutex().assertHeld();
    if (m_context->generation_Locked() != m_generation) {
        return false;
    }
    glUseProgram(m_program);
    // Rows stored bottom row first put Direct3D's top row at clip y = 1.
    const float yScale = 2.0f / static_cast<float>(targetHeight);
    glUniform4f(m_viewport, 2.0f / static_cast<float>(targetWidth), bottomUp ? -yScale : yScale,
                -1.0f, bottomUp ? 1.0f : -1.0f);
    for (const FloatConstant& constant : m_floats) {
        const float* value = registers[constant.registerIndex];
        switch (constant.columns) {
            case 1:
                glUniform1fv(constant.location, 1, value);
                break;
            case 2:
                glUniform2fv(constant.location, 1, value);
                break;
            case 3:
                glUniform3fv(constant.location, 1, value);
                break;
            default:
                glUniform4fv(constant.location, 1, value);
                break;
        }
    }
    return true;
}
