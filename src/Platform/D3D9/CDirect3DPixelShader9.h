#pragma once

#include <GLES2/gl2.h>

#include <memory>
#include <vector>

#include "Platform/D3D9/CPixelShaderProgram.h"
#include "Platform/D3D9/IDirect3DPixelShader9.h"
#include "Platform/Win32/CRefCounted.h"

class CGlesContext;

// A pixel shader: the program's GLSL linked with the device's vertex stage
// for pre-transformed vertices, and the map from the constant table's
// registers to the program's uniforms.
class CDirect3DPixelShader9 : public CRefCounted<IDirect3DPixelShader9> {
public:
    // Float registers of a device (ps_3_0 has 224).
    static constexpr UINT kFloatRegisters = 224;
    // Sampler registers of a device.
    static constexpr UINT kSamplers = 16;

    // Null when the source does not compile or link, or the table has a
    // constant the stand-in cannot map (only samplers and float scalars or
    // vectors of one register are mapped).
    static CDirect3DPixelShader9* create(const std::shared_ptr<CGlesContext>& context,
                                         const CPixelShaderProgram& program);

    // Inside a scope of the context (checked, as the device that calls it
    // holds the lock through its own pointer to the context): makes the
    // program current with the float registers loaded and positions mapped
    // onto a render target of the given size, whose rows are stored top row
    // first or, when bottomUp, bottom row first (a window's own back buffer).
    // False when the program went with a lost GL context.
    bool use_Locked(const float (*registers)[4], UINT targetWidth, UINT targetHeight,
                    bool bottomUp) const;
    // The sampler registers the program reads.
    const std::vector<UINT>& samplers() const { return m_samplers; }

private:
    struct FloatConstant {
        GLint location;
        UINT registerIndex;
        UINT columns;
    };

    explicit CDirect3DPixelShader9(const std::shared_ptr<CGlesContext>& context);
    ~CDirect3DPixelShader9() override;

    bool link(const CPixelShaderProgram& program);

    const std::shared_ptr<CGlesContext> m_context;
    // Made by link, constant afterwards.
    unsigned m_generation;  // of the context the program was made in
    GLuint m_program;
    GLint m_viewport;
    std::vector<FloatConstant> m_floats;
    std::vector<UINT> m_samplers;
};
