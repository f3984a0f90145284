#include "Platform/D3D9/CD3DXConstantTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Platform/D3D9/CPixelShaderProgram.h"
#include "Platform/D3D9/D3DX9.h"
#include "support/FakeDirect3D9.h"

namespace {

CPixelShaderProgram sampleProgram() {
    return CPixelShaderProgram(
        D3DPS_VERSION(3, 0),
        {{"Picture", D3DXRS_SAMPLER, 2, 1, D3DXPC_OBJECT, D3DXPT_SAMPLER2D, 1, 1, {}},
         {"tint",
          D3DXRS_FLOAT4,
          5,
          1,
          D3DXPC_VECTOR,
          D3DXPT_FLOAT,
          1,
          3,
          {0.5f, 1.0f, 2.0f, 0.0f}}},
        "#version 300 es\nvoid main() {}\n");
}

}  // namespace

TEST(CD3DXConstantTable, ReflectsNamesRegistersAndDefaults) {
    const std::vector<DWORD> tokens = sampleProgram().tokens();
    ID3DXConstantTable* table = nullptr;
    ASSERT_EQ(D3D_OK, D3DXGetShaderConstantTable(tokens.data(), &table));

    const D3DXHANDLE picture = table->GetConstantByName(nullptr, "Picture");
    ASSERT_NE(nullptr, picture);
    EXPECT_EQ(nullptr, table->GetConstantByName(nullptr, "Missing"));
    EXPECT_EQ(nullptr, table->GetConstantByName(picture, "Picture"));  // no structures

    D3DXCONSTANT_DESC desc{};
    UINT count = 1;
    ASSERT_EQ(D3D_OK, table->GetConstantDesc(picture, &desc, &count));
    EXPECT_EQ(1u, count);
    EXPECT_STREQ("Picture", desc.Name);
    EXPECT_EQ(D3DXRS_SAMPLER, desc.RegisterSet);
    EXPECT_EQ(2u, desc.RegisterIndex);
    EXPECT_EQ(D3DXPT_SAMPLER2D, desc.Type);
    EXPECT_EQ(nullptr, desc.DefaultValue);

    // A name works as a handle too.
    ASSERT_EQ(D3D_OK, table->GetConstantDesc("tint", &desc, &count));
    EXPECT_EQ(D3DXRS_FLOAT4, desc.RegisterSet);
    EXPECT_EQ(12u, desc.Bytes);
    ASSERT_NE(nullptr, desc.DefaultValue);
    EXPECT_EQ(2.0f, static_cast<const float*>(desc.DefaultValue)[2]);
    EXPECT_EQ(D3DERR_INVALIDCALL, table->GetConstantDesc("Missing", &desc, &count));
    EXPECT_EQ(0u, table->Release());
}

TEST(CD3DXConstantTable, SetDefaultsLoadsTheFloatRegisters) {
    FakeDirect3D9 fake;
    IDirect3D9* direct3D = Direct3DCreate9(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS parameters{};
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(D3D_OK, direct3D->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, 0, &parameters, &device));
    const std::vector<DWORD> tokens = sampleProgram().tokens();
    ID3DXConstantTable* table = nullptr;
    ASSERT_EQ(D3D_OK, D3DXGetShaderConstantTable(tokens.data(), &table));
    fake.takeCalls();
    EXPECT_EQ(D3D_OK, table->SetDefaults(device));
    EXPECT_EQ(std::vector<std::string>{"device1.SetPixelShaderConstantF 5 1 0.5,1,2,0"},
              fake.takeCalls());
    EXPECT_EQ(D3DERR_INVALIDCALL, table->SetDefaults(nullptr));
    table->Release();
    device->Release();
    direct3D->Release();
}

TEST(CD3DXConstantTable, RefusesProgramsWithoutATable) {
    ID3DXConstantTable* table = nullptr;
    EXPECT_EQ(D3DERR_INVALIDCALL, D3DXGetShaderConstantTable(nullptr, &table));
    const DWORD noTable[] = {0xFFFF0200, 0x0000FFFF};
    EXPECT_EQ(D3DXERR_INVALIDDATA, D3DXGetShaderConstantTable(noTable, &table));
    EXPECT_EQ(nullptr, table);
}
