#include "Platform/D3D9/CPixelShaderProgram.h"

#include <gtest/gtest.h>

#include <vector>

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

TEST(CPixelShaderProgram, TokenStreamReadsBack) {
    std::vector<DWORD> tokens = sampleProgram().tokens();
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

    // A table whose constant records point outside it is refused.
    tokens[3 + 4] = 0x10000;  // ConstantInfo offset
    EXPECT_FALSE(read.parse(tokens.data()));
}
