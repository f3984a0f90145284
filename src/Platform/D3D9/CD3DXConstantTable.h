#pragma once

#include <vector>

#include "Platform/D3D9/CPixelShaderProgram.h"
#include "Platform/D3D9/ID3DXConstantTable.h"
#include "Platform/Win32/CRefCounted.h"

// The constant table of a pixel-shader program. Handles are the constants'
// name strings owned by the table; a constant's name given as a string is
// accepted as its handle too, as D3DX does.
class CD3DXConstantTable : public CRefCounted<ID3DXConstantTable> {
public:
    explicit CD3DXConstantTable(const std::vector<CPixelShaderProgram::Constant>& constants);

    D3DXHANDLE GetConstantByName(D3DXHANDLE parent, const char* name) override;
    HRESULT GetConstantDesc(D3DXHANDLE constant, D3DXCONSTANT_DESC* desc, UINT* count) override;
    HRESULT SetDefaults(IDirect3DDevice9* device) override;

private:
    const CPixelShaderProgram::Constant* find(D3DXHANDLE handle) const;

    const std::vector<CPixelShaderProgram::Constant> m_constants;
};
