#include "TavoPlayerCore/VideoRender/CVideoRenderBase.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

namespace {

struct Kind {
    const char* name;
    bool (*create)(IVideoRender**);
    bool keepsValuePair;
};

void PrintTo(const Kind& kind, std::ostream* out) {
    *out << kind.name;
}

class CVideoRenderBaseTest : public testing::TestWithParam<Kind> {
protected:
    void SetUp() override {
        IVideoRender* render = nullptr;
        ASSERT_TRUE(GetParam().create(&render));
        m_render.reset(render);
    }
    std::unique_ptr<IVideoRender> m_render;
};

TEST_P(CVideoRenderBaseTest, ReservedOperationsAnswerZero) {
    IVideoRender& render = *m_render;
    EXPECT_EQ(0, render.Reserved1(7));
    EXPECT_EQ(0, render.Reserved2());
    EXPECT_EQ(0, render.Reserved3());
    EXPECT_EQ(0, render.Reserved4());
    EXPECT_EQ(0, render.Reserved5());
    EXPECT_EQ(0, render.Reserved6(1, 2, 3));
    EXPECT_EQ(0, render.Reserved7(7));
    EXPECT_EQ(0, render.Reserved8(7));
    EXPECT_EQ(0, render.Reserved9(1, 2, 3, 4, 5));
    EXPECT_EQ(0, render.Reserved10(7));
    EXPECT_EQ(0, render.Reserved11());
    EXPECT_EQ(0, render.Reserved12());
    EXPECT_EQ(0, render.Reserved13());
}

TEST_P(CVideoRenderBaseTest, ValuePairIsKeptOnlyByTheDirect3DRenderers) {
    m_render->SetRefClock(nullptr);
    m_render->SetHostPair(nullptr, nullptr);
    m_render->SetFloatOption(2.5f);
    m_render->StoreValuePair(17, -3);
    uint32_t first = 5;
    int32_t second = 5;
    m_render->LoadValuePair(&first, &second);
    EXPECT_EQ(GetParam().keepsValuePair ? 17u : 5u, first);
    EXPECT_EQ(GetParam().keepsValuePair ? -3 : 5, second);
}

TEST_P(CVideoRenderBaseTest, NoPictureToRepaintOrCopyYet) {
    EXPECT_EQ(0, m_render->RenderPicture(nullptr));
    EXPECT_EQ(0, m_render->RepaintLastPicture());
    EXPECT_EQ(1, m_render->GetLastPicture(nullptr));
    VideoPicture target{};
    EXPECT_EQ(1, m_render->GetLastPicture(&target));
}

INSTANTIATE_TEST_SUITE_P(Renderers, CVideoRenderBaseTest,
                         testing::Values(Kind{"D3DRender", createD3DRender, true},
                                         Kind{"D3DTXRender", createD3DTXRender, true},
                                         Kind{"DDrawRender", createDDrawRender, false}),
                         [](const testing::TestParamInfo<Kind>& info) { return info.param.name; });

}  // namespace
