// GoogleTest comes before Xlib, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include "TavoPlayerCore/VideoRender/DDrawRender.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "support/ColourBarsPicture.h"
#include "support/XvfbServer.h"
#include "tavoplayer/TavoOffscreenWindow.h"

namespace {

// An offscreen window that goes away with the test.
class OffscreenWindow {
public:
    OffscreenWindow(int width, int height) : m_handle(tavoCreateOffscreenWindow(width, height)) {}
    ~OffscreenWindow() { tavoDestroyOffscreenWindow(m_handle); }
    HWND handle() const { return m_handle; }

    std::vector<uint8_t> read(int* width, int* height) const {
        tavoReadOffscreenWindow(m_handle, nullptr, 0, width, height);
        std::vector<uint8_t> rgba(static_cast<size_t>(*width) * *height * 4);
        tavoReadOffscreenWindow(m_handle, rgba.data(), *width * 4, width, height);
        return rgba;
    }
    ::testing::AssertionResult showsBars() const {
        int width = 0;
        int height = 0;
        const std::vector<uint8_t> rgba = read(&width, &height);
        return ColourBarsPicture::fills(rgba, width, height);
    }
    bool isBlack() const {
        int width = 0;
        int height = 0;
        const std::vector<uint8_t> rgba = read(&width, &height);
        for (size_t i = 0; i < rgba.size(); i += 4) {
            if (rgba[i] != 0 || rgba[i + 1] != 0 || rgba[i + 2] != 0) {
                return false;
            }
        }
        return true;
    }

private:
    HWND m_handle;
};

std::unique_ptr<IVideoRender> openRenderer(HWND window, int width, int height,
                                           int32_t* openResult = nullptr) {
    IVideoRender* renderer = nullptr;
    EXPECT_TRUE(createDDrawRender(&renderer));
    renderer->SetWindow(window, 0);
    const int32_t result = renderer->SetFormat(width, height, kPixelFormatYUV420);
    if (openResult) {
        *openResult = result;
    }
    return std::unique_ptr<IVideoRender>(renderer);
}

}  // namespace

TEST(DDrawRender, FactoryFillsOnlyAnEmptySlot) {
    IVideoRender* renderer = nullptr;
    ASSERT_TRUE(createDDrawRender(&renderer));
    ASSERT_NE(nullptr, renderer);
    IVideoRender* const first = renderer;
    EXPECT_FALSE(createDDrawRender(&renderer));
    EXPECT_EQ(first, renderer);
    delete renderer;
}

TEST(DDrawRender, ColourBarsLandOnTheOffscreenWindow) {
    OffscreenWindow window(128, 96);
    int32_t opened = -1;
    std::unique_ptr<IVideoRender> renderer = openRenderer(window.handle(), 128, 96, &opened);
    ASSERT_EQ(0, opened);
    ColourBarsPicture bars(128, 96, 16, 8);
    EXPECT_EQ(0, renderer->RenderPicture(&bars.picture()));
    EXPECT_TRUE(window.showsBars());
    int width = 0;
    int height = 0;
    EXPECT_EQ(0xFF, window.read(&width, &height)[3]);  // opaque
}

TEST(DDrawRender, ThePictureFillsLargerAndSmallerWindows) {
    ColourBarsPicture bars(128, 96);
    for (const int width : {320, 80}) {
        OffscreenWindow window(width, width * 5 / 8);
        std::unique_ptr<IVideoRender> renderer = openRenderer(window.handle(), 128, 96);
        renderer->RenderPicture(&bars.picture());
        EXPECT_TRUE(window.showsBars()) << width;
    }
}

TEST(DDrawRender, OddPictureAndWindowSizes) {
    ColourBarsPicture bars(161, 91, 3, 1);
    for (const int windowWidth : {161, 101, 243}) {
        const int windowHeight = windowWidth * 91 / 161;
        OffscreenWindow window(windowWidth, windowHeight);
        std::unique_ptr<IVideoRender> renderer = openRenderer(window.handle(), 161, 91);
        renderer->RenderPicture(&bars.picture());
        EXPECT_TRUE(window.showsBars()) << windowWidth;
    }
}

TEST(DDrawRender, AnEmptyWindowDrawsNothingButKeepsThePicture) {
    OffscreenWindow window(0, 0);
    int32_t opened = -1;
    std::unique_ptr<IVideoRender> renderer = openRenderer(window.handle(), 64, 48, &opened);
    EXPECT_EQ(0, opened);
    ColourBarsPicture bars(64, 48);
    EXPECT_EQ(0, renderer->RenderPicture(&bars.picture()));

    std::vector<uint8_t> planes[3] = {std::vector<uint8_t>(64 * 48), std::vector<uint8_t>(32 * 48),
                                      std::vector<uint8_t>(32 * 48)};
    VideoPicture copy{{planes[0].data(), planes[1].data(), planes[2].data()}, {0, 0, 0}, 0};
    ASSERT_EQ(0, renderer->GetLastPicture(&copy));
    EXPECT_EQ(64, copy.linesize[0]);
    EXPECT_EQ(32, copy.linesize[2]);
    EXPECT_EQ(0, std::memcmp(planes[0].data(), bars.picture().data[0], 64 * 48));
    EXPECT_EQ(0, std::memcmp(planes[2].data(), bars.picture().data[2], 32 * 24));

    // Once the window has a size, a repaint shows the kept picture.
    ASSERT_EQ(0, tavoResizeOffscreenWindow(window.handle(), 96, 72));
    EXPECT_EQ(0, renderer->RepaintLastPicture());
    EXPECT_TRUE(window.showsBars());
}

TEST(DDrawRender, RepaintShowsTheLastPictureAgain) {
    OffscreenWindow window(128, 96);
    std::unique_ptr<IVideoRender> renderer = openRenderer(window.handle(), 128, 96);
    EXPECT_EQ(0, renderer->RepaintLastPicture());  // nothing to show yet
    EXPECT_TRUE(window.isBlack());

    {
        // The renderer keeps its own copy: the decoder's planes may be gone.
        ColourBarsPicture bars(128, 96);
        renderer->RenderPicture(&bars.picture());
    }
    ASSERT_EQ(0, tavoResizeOffscreenWindow(window.handle(), 200, 120));  // resizing clears
    EXPECT_TRUE(window.isBlack());
    EXPECT_EQ(0, renderer->RepaintLastPicture());
    EXPECT_TRUE(window.showsBars());
}

TEST(DDrawRender, LostAndBusySurfacesStillShowThePicture) {
    OffscreenWindow window(128, 96);
    std::unique_ptr<IVideoRender> renderer = openRenderer(window.handle(), 128, 96);
    ColourBarsPicture bars(128, 96);

    DirectDrawSimulateModeChange();
    renderer->RenderPicture(&bars.picture());
    EXPECT_TRUE(window.showsBars());

    tavoResizeOffscreenWindow(window.handle(), 128, 96);  // black again
    DirectDrawSimulateBusyLocks(3);
    renderer->RenderPicture(&bars.picture());
    EXPECT_TRUE(window.showsBars());
}

TEST(DDrawRender, APixelFormatOtherThanYuv420FailsOpenButKeepsCopies) {
    OffscreenWindow window(64, 48);
    IVideoRender* renderer = nullptr;
    ASSERT_TRUE(createDDrawRender(&renderer));
    std::unique_ptr<IVideoRender> owner(renderer);
    renderer->SetWindow(window.handle(), 0);
    EXPECT_EQ(-1, renderer->SetFormat(64, 48, 5));

    ColourBarsPicture bars(64, 48);
    EXPECT_EQ(0, renderer->RenderPicture(&bars.picture()));
    EXPECT_TRUE(window.isBlack());
    std::vector<uint8_t> planes[3] = {std::vector<uint8_t>(64 * 48), std::vector<uint8_t>(32 * 48),
                                      std::vector<uint8_t>(32 * 48)};
    VideoPicture copy{{planes[0].data(), planes[1].data(), planes[2].data()}, {0, 0, 0}, 0};
    EXPECT_EQ(0, renderer->GetLastPicture(&copy));
}

TEST(DDrawRender, LastPictureCopiesHaveFourRowsToSpare) {
    // The copy's buffers are sized from the first picture's strides for
    // (height / 4) x 4 + 4 rows; a later picture whose planes would not fit
    // is refused, which shows how many rows there are.
    struct Case {
        uint32_t height;
        int32_t fitting;  // the largest luma stride that still fits
    };
    for (const Case& test : {Case{1080, 1003}, Case{1082, 1001}}) {
        IVideoRender* renderer = nullptr;
        ASSERT_TRUE(createDDrawRender(&renderer));
        std::unique_ptr<IVideoRender> owner(renderer);
        renderer->SetFormat(64, test.height, kPixelFormatYUV420);  // no window: draws nothing

        std::vector<uint8_t> source(static_cast<size_t>(test.fitting + 1) * test.height, 7);
        VideoPicture picture{{source.data(), source.data(), source.data()}, {1000, 500, 500}, 0};
        std::vector<uint8_t> target(source.size());
        VideoPicture copy{{target.data(), target.data(), target.data()}, {0, 0, 0}, 0};
        EXPECT_EQ(1, renderer->GetLastPicture(&copy));
        EXPECT_EQ(0, copy.linesize[0]);  // untouched

        renderer->RenderPicture(&picture);
        picture.linesize[0] = test.fitting;
        renderer->RenderPicture(&picture);
        ASSERT_EQ(0, renderer->GetLastPicture(&copy));
        EXPECT_EQ(test.fitting, copy.linesize[0]) << test.height;

        picture.linesize[0] = test.fitting + 1;
        renderer->RenderPicture(&picture);
        ASSERT_EQ(0, renderer->GetLastPicture(&copy));
        EXPECT_EQ(test.fitting, copy.linesize[0]) << test.height;
    }
}
