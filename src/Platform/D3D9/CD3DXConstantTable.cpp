#include "Platform/D3D9/CD3DXConstantTable.h"

#include <cstring>
#include <new>

#include "Platform/D3D9/D3DX9.h"
#include "Platform/D3D9/IDirect3DDevice9.h"

HRESULT D3DXGetShaderConstantTable(const DWORD* function, ID3DXConstantTable** constantTable) {
    if (!function || !constantTable) {
        return D3DERR_INVALIDCALL;
    }
    CPixelShaderProgram program;
    if (!program.parse(function) || !program.hasConstantTable()) {
        return D3DXERR_INVALIDDATA;
    }
    *constantTable = new (std::nothrow) CD3DXConstantTable(program.constants());
    return *constantTable ? D3D_OK : E_OUTOFMEMORY;
}

CD3DXConstantTable::CD3DXConstantTable(const std::vector<CPixelShaderProgram::Constant>& constants)
    : m_constants(constants) {}

const CPixelShaderProgram::Constant* CD3DXConstantTable::find(D3DXHANDLE handle) const {
    if (!handle) {
        return nullptr;
    }
    for (const CPixelShaderProgram::Constant& constant : m_constants) {
        if (handle == constant.name.c_str()) {
            return &constant;
        }
    }
    for (const CPixelShaderProgram::Constant& constant : m_constants) {
        if (constant.name == handle) {
            return &constant;
        }
    }
    return nullptr;
}

D3DXHANDLE CD3DXConstantTable::GetConstantByName(D3DXHANDLE parent, const char* name) {
    if (parent || !name) {
        return nullptr;  // the programs have no structures
    }
    const CPixelShaderProgram::Constant* constant = find(name);
    return constant ? constant->name.c_str() : nullptr;
}

HRESULT CD3DXConstantTable::GetConstantDesc(D3DXHANDLE handle, D3DXCONSTANT_DESC* desc,
                                            UINT* count) {
    const CPixelShaderProgram::Constant* constant = find(handle);
    if (!constant || !count) {
        return D3DERR_INVALIDCALL;
    }
    if (desc && *count >= 1) {
        desc->Name = constant->name.c_str();
        desc->RegisterSet = constant->registerSet;
        desc->RegisterIndex = constant->registerIndex;
        desc->RegisterCount = constant->registerCount;
        desc->Class = constant->parameterClass;
        desc->Type = constant->type;
        desc->Rows = constant->rows;
        desc->Columns = constant->columns;
        desc->Elements = 1;
        desc->StructMembers = 0;
        desc->Bytes = 4 * constant->rows * constant->columns;
        desc->DefaultValue =
            constant->defaultValue.empty() ? nullptr : constant->defaultValue.data();
    }
    *count = 1;
    return D3D_OK;
}

HRESULT CD3DXConstantTable::SetDefaults(IDirect3DDevice9* device) {
    if (!device) {
        return D3DERR_INVALIDCALL;
    }
    for (const CPixelShaderProgram::Constant& constant : m_constants) {
        if (constant.registerSet != D3DXRS_FLOAT4 || constant.defaultValue.empty()) {
            continue;
        }
        const HRESULT result = device->SetPixelShaderConstantF(
            constant.registerIndex, constant.defaultValue.data(), constant.registerCount);
        if (FAILED(result)) {
            return result;
        }
    }
    return D3D_OK;
}
