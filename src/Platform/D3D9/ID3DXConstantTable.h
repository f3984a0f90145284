#pragma once

#include "Platform/D3D9/D3D9Types.h"

class IDirect3DDevice9;

// The constants a compiled shader program declares: names, registers, types
// and default values.
class ID3DXConstantTable {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // The handle of a top-level constant (parent null), or null when there is none.
    virtual D3DXHANDLE GetConstantByName(D3DXHANDLE parent, const char* name) = 0;
    // Fills at most *count descriptions (one for a plain constant) and sets
    // *count to the number filled.
    virtual HRESULT GetConstantDesc(D3DXHANDLE constant, D3DXCONSTANT_DESC* desc, UINT* count) = 0;
    // Loads the default values of the program's constants into the device's registers.
    virtual HRESULT SetDefaults(IDirect3DDevice9* device) = 0;

protected:
    virtual ~ID3DXConstantTable() = default;
};
