#pragma once

// The D3DX 9 calls the engine uses, on the Direct3D 9 stand-in's shader programs.

#include "Platform/D3D9/D3D9Types.h"
#include "Platform/D3D9/ID3DXConstantTable.h"

// Reads the constant table of a compiled pixel-shader program (see
// CPixelShaderProgram) into a new ID3DXConstantTable (reference count 1).
// D3DERR_INVALIDCALL for null arguments, D3DXERR_INVALIDDATA when the program
// carries no readable table.
HRESULT D3DXGetShaderConstantTable(const DWORD* function, ID3DXConstantTable** constantTable);
