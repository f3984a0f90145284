#include "TavoPlayerCore/VideoRender/CD3DYUV420Shader.h"

#include <string>
#include <vector>

#include "Platform/D3D9/CPixelShaderProgram.h"
#include "Platform/Win32/ReleaseAndClear.h"

namespace {

const char* const kSamplerNames[3] = {"YTextue", "UTextue", "VTextue"};

// The program's source, shared by both versions: the headers below map its
// inputs, texture reads and result onto each shading-language version.
const char kSource[] = R"(
precision highp float;
uniform sampler2D YTextue;
uniform sampler2D UTextue;
uniform sampler2D VTextue;
uniform float transparent;
D3D_IN vec2 d3d_TexCoord0;
D3D_IN vec2 d3d_TexCoord1;
D3D_IN vec2 d3d_TexCoord2;
void main() {
    float y = D3D_SAMPLE(YTextue, d3d_TexCoord0).r;
    float u = D3D_SAMPLE(UTextue, d3d_TexCoord1).r;
    float v = D3D_SAMPLE(VTextue, d3d_TexCoord2).r;
    D3D_TARGET = vec4(1.164383 * y + 1.596027 * v - 0.874202,
                      1.164383 * y - 0.391762 * u - 0.812968 * v + 0.531668,
                      1.164383 * y + 2.017232 * u - 1.085631,
                      transparent);
}
)";

const char kHeader30[] =
    "#version 300 es\n"
    "#define D3D_IN in\n"
    "#define D3D_SAMPLE texture\n"
    "#define D3D_TARGET d3d_Target0\n"
    "out highp vec4 d3d_Target0;\n";

const char kHeader20[] =
    "#define D3D_IN varying\n"
    "#define D3D_SAMPLE texture2D\n"
    "#define D3D_TARGET gl_FragColor\n";

// The ps_3_0 or ps_2_0 program with its constant table.
CPixelShaderProgram program(bool version30) {
    std::vector<CPixelShaderProgram::Constant> constants;
    for (UINT i = 0; i < 3; ++i) {
        constants.push_back(
            {kSamplerNames[i], D3DXRS_SAMPLER, i, 1, D3DXPC_OBJECT, D3DXPT_SAMPLER2D, 1, 1, {}});
    }
    constants.push_back({"transparent",
                         D3DXRS_FLOAT4,
                         0,
                         1,
                         D3DXPC_SCALAR,
                         D3DXPT_FLOAT,
                         1,
                         1,
                         {1.0f, 0.0f, 0.0f, 0.0f}});
    return CPixelShaderProgram(version30 ? D3DPS_VERSION(3, 0) : D3DPS_VERSION(2, 0), constants,
                               std::string(version30 ? kHeader30 : kHeader20) + kSource);
}

}  // namespace

CD3DYUV420Shader::CD3DYUV420Shader()
    : m_pixelShader(nullptr), m_constantTable(nullptr), m_samplers{}, m_samplerDescs{} {}

CD3DYUV420Shader::~CD3DYUV420Shader() {
    release();
}

void CD3DYUV420Shader::release() {
    releaseAndClear(&m_constantTable);
    releaseAndClear(&m_pixelShader);
}

bool CD3DYUV420Shader::Create(IDirect3DDevice9* device) {
    release();
    if (!device) {
        return false;
    }
    D3DCAPS9 caps{};
    if (FAILED(device->GetDeviceCaps(&caps)) || caps.PixelShaderVersion < D3DPS_VERSION(2, 0)) {
        return false;
    }
    const std::vector<DWORD> tokens =
        program(caps.PixelShaderVersion >= D3DPS_VERSION(3, 0)).tokens();
    if (FAILED(device->CreatePixelShader(tokens.data(), &m_pixelShader)) ||
        FAILED(D3DXGetShaderConstantTable(tokens.data(), &m_constantTable))) {
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        m_samplers[i] = m_constantTable->GetConstantByName(nullptr, kSamplerNames[i]);
        if (!m_samplers[i]) {
            return false;
        }
    }
    for (int i = 0; i < 3; ++i) {
        UINT count = 1;
        if (FAILED(m_constantTable->GetConstantDesc(m_samplers[i], &m_samplerDescs[i], &count))) {
            return false;
        }
    }
    return SUCCEEDED(m_constantTable->SetDefaults(device));
}

bool CD3DYUV420Shader::Apply(IDirect3DDevice9* device, IDirect3DTexture9* const textures[3]) {
    if (!m_pixelShader || !m_constantTable || FAILED(device->SetPixelShader(m_pixelShader))) {
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        if (FAILED(device->SetTexture(m_samplerDescs[i].RegisterIndex, textures[i]))) {
            return false;
        }
    }
    return true;
}
