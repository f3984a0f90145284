#include "TavoPlayerCore/VideoRender/D3DRender.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/ColourBarPicture.h"
#include "tavoplayer/TavoOffscreenWindow.h"

namespace {

struct WindowDeleter {
    void operator()(void* window) const { tavoDestroyOffscreenWindow(window); }
};
using OffscreenWindow = std::unique_ptr<void, WindowDeleter>;

OffscreenWindow makeWindow(int width, int height) {
    return OffscreenWindow(tavoCreateOffscreenWindow(width, height));
}

}  // namespace

TEST(D3DRender, DrawsColourBarsOverTheWholeWindow) {
    struct Case {
        int pictureWidth, pictureHeight, windowWidth, windowHeight;
    };
    for (const Case& c : {Case{64, 48, 160, 120}, Case{64, 48, 40, 30}, Case{63, 37, 100, 70},
                          Case{63, 37, 31, 19}}) {
        SCOPED_TRACE(testing::Message() << c.pictureWidth << "x" << c.pictureHeight << " in "
                                        << c.windowWidth << "x" << c.windowHeight);
        OffscreenWindow window = makeWindow(c.windowWidth, c.windowHeight);
        ColourBarPicture bars(c.pictureWidth, c.pictureHeight);
        IVideoRender* render = nullptr;
        ASSERT_TRUE(createD3DRender(&render));
        EXPECT_EQ(0, render->SetWindow(window.get(), 0));
        EXPECT_EQ(0, render->SetFormat(c.pictureWidth, c.pictureHeight, 3));
        EXPECT_EQ(0, render->RenderPicture(&bars.picture()));
        int width = 0;
        int height = 0;
        const std::vector<uint8_t> pixels = readOffscreenWindow(window.get(), &width, &height);
        bars.expectShownIn(pixels.data(), width * 4, width, height);
        delete render;
    }
}
