#pragma once

#include <string>
#include <vector>

#include "Platform/D3D9/D3D9Types.h"

// A pixel-shader program of the Direct3D stand-in, in the token-stream form
// that IDirect3DDevice9::CreatePixelShader and D3DXGetShaderConstantTable
// take. As a program of the Direct3D shader compiler, it opens with the
// version token (D3DPS_VERSION), carries its constant table in a "CTAB"
// comment block laid out as the compiler lays it out, and closes with the end
// token. In place of instruction tokens a "GLSL" comment block holds the
// program as OpenGL ES shading-language source: version 1.00 for ps_2_0,
// 3.00 ("#version 300 es") for ps_3_0.
//
// The source sees the device's vertex outputs as d3d_Color0 (vec4, the
// diffuse colour) and d3d_TexCoord0 .. d3d_TexCoord3 (vec2, the texture
// coordinate sets), declares each constant of the table as a uniform of the
// same name (sampler2D for sampler registers, float or vecN for float
// registers), and writes gl_FragColor (1.00) or its one out vec4 (3.00).
class CPixelShaderProgram {
public:
    struct Constant {
        std::string name;
        D3DXREGISTER_SET registerSet;
        UINT registerIndex;
        UINT registerCount;
        D3DXPARAMETER_CLASS parameterClass;
        D3DXPARAMETER_TYPE type;
        UINT rows;
        UINT columns;
        // Four floats a register, or empty for no default.
        std::vector<float> defaultValue;
    };

    CPixelShaderProgram();
    CPixelShaderProgram(DWORD version, const std::vector<Constant>& constants,
                        const std::string& glsl);

    // Reads a token stream. False (and nothing kept) for a stream that is not
    // a pixel-shader program of this form; a stream without a constant table
    // or without source is read, with those parts empty.
    bool parse(const DWORD* tokens);
    // The program as a token stream.
    std::vector<DWORD> tokens() const;

    DWORD version() const { return m_version; }
    bool hasConstantTable() const { return m_hasConstantTable; }
    const std::vector<Constant>& constants() const { return m_constants; }
    const std::string& glsl() const { return m_glsl; }

private:
    bool parseConstantTable(const BYTE* table, size_t size);

    DWORD m_version;
    bool m_hasConstantTable;
    std::vector<Constant> m_constants;
    std::string m_glsl;
};
