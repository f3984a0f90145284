#include "Platform/D3D9/CPixelShaderProgram.h"

#include <gtest/gtest.h>

#include <vector>

#include "Platform/D3D9/CD3DXConstantTable.h"
#include "Platform/D3D9/D3DX9.h"

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

TEST(CPixelShaderProgram, TokenStreamLooksLikeACompiledProgramAndReadsBack) {
    const std::vector<DWORD> tokens = sampleProgram().tokens();
    EXPECT_EQ(0xFFFF0300u, tokens.front());
    EXPECT_EQ(0x0000FFFFu, tokens.back());
    EXPECT_EQ(0xFFFEu, tokens[1] & 0xFFFF);  // a comment block
    EXPECT_EQ(MAKEFOURCC('C', 'T', 'A', 'B'), tokens[2]);

    CPixelShaderProgram read;
    ASSERT_TRUE(read.parse(tokens.data()));
    EXPECT_EQ(D3DPS_VERSION(3, 0), read.version());
    EXPECT_EQ("#version 300 es\nvoid main() {}\n", read.glsl());
    ASSERT_EQ(2u, read.constants().size());
    const CPixelShaderProgram::Constant& tint = read.constants()[1];
    EXPECT_EQ("tint", tint.name);
    EXPECT_EQ(5u, tint.registerIndex);
    EXPECT_EQ(3u, tint.columns);
    EXPECT_EQ((std::vector<float>{0.5f, 1.0f, 2.0f, 0.0f}), tint.defaultValue);
    EXPECT_TRUE(read.constants()[0].defaultValue.empty());
}

TEST(CPixelShaderProgram, RefusesStreamsOfOtherForms) {
    CPixelShaderProgram read;
    EXPECT_FALSE(read.parse(nullptr));
    const DWORD vertexShader[] = {0xFFFE0300, 0x0000FFFF};
    EXPECT_FALSE(read.parse(vertexShader));
    const DWORD instructions[] = {0xFFFF0200, 0x02000001, 0x800F0800, 0x0000FFFF};
    EXPECT_FALSE(read.parse(instructions));
    // A constant table too short for its header.
    const DWORD truncated[] = {0xFFFF0200, 0xFFFE | (3u << 16), MAKEFOURCC('C', 'T', 'A', 'B'), 28,
                               0,          0x0000FFFF};
    EXPECT_FALSE(read.parse(truncated));
    // A table whose constant records point outside it.
    std::vector<DWORD> tokens = sampleProgram().tokens();
    tokens[3 + 4] = 0x10000;  // ConstantInfo offset
    EXPECT_FALSE(read.parse(tokens.data()));
}

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
    EXPECT_EQ(D3DXRS_SAMPLER, desc.RegisterSet);
    EXPECT_EQ(2u, desc.RegisterIndex);

    // A name works as a handle too.
    ASSERT_EQ(D3D_OK, table->GetConstantDesc("tint", &desc, &count));
    EXPECT_EQ(D3DXRS_FLOAT4, desc.RegisterSet);
    EXPECT_EQ(12u, desc.Bytes);
    ASSERT_NE(nullptr, desc.DefaultValue);
    EXPECT_EQ(2.0f, static_cast<const float*>(desc.DefaultValue)[2]);
    EXPECT_EQ(D3DERR_INVALIDCALL, table->GetConstantDesc("Missing", &desc, &count));
    EXPECT_EQ(0u, table->Release());
}

TEST(CD3DXConstantTable, RefusesProgramsWithoutATable) {
    ID3DXConstantTable* table = nullptr;
    EXPECT_EQ(D3DERR_INVALIDCALL, D3DXGetShaderConstantTable(nullptr, &table));
    const DWORD noTable[] = {0xFFFF0200, 0x0000FFFF};
    EXPECT_EQ(D3DXERR_INVALIDDATA, D3DXGetShaderConstantTable(noTable, &table));
    EXPECT_EQ(nullptr, table);
}
