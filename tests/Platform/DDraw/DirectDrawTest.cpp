#include <gtest/gtest.h>

#include "Platform/DDraw/DirectDraw.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "support/ColourBarPicture.h"
#include "support/OffscreenTestWindow.h"
#include "tavoplayer/TavoOffscreenWindow.h"

namespace {

IDirectDraw7* createDirectDraw(HWND window) {
    void* created = nullptr;
    EXPECT_EQ(DD_OK, DirectDrawCreateEx(nullptr, &created, IID_IDirectDraw7, nullptr));
    IDirectDraw7* directDraw = static_cast<IDirectDraw7*>(created);
    EXPECT_EQ(DD_OK, directDraw->SetCooperativeLevel(window, DDSCL_NORMAL));
    return directDraw;
}

DDSURFACEDESC2 yv12Description(DWORD width, DWORD height) {
    DDSURFACEDESC2 description{};
    description.dwSize = DDSURFACEDESC2_SIZE;
    description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    description.dwWidth = width;
    description.dwHeight = height;
    description.ddpfPixelFormat.dwSize = DDPIXELFORMAT_SIZE;
    description.ddpfPixelFormat.dwFlags = DDPF_FOURCC | DDPF_YUV;
    description.ddpfPixelFormat.dwFourCC = FOURCC_YV12;
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    return description;
}

// A primary surface whose clipper is bound to an offscreen window, and a
// YV12 surface holding colour bars.
class DirectDrawBlt : public ::testing::Test {
protected:
    static constexpr int kWidth = 128;
    static constexpr int kHeight = 96;

    void SetUp() override {
        m_directDraw = createDirectDraw(m_window.handle());
        DDSURFACEDESC2 primary{};
        primary.dwSize = DDSURFACEDESC2_SIZE;
        primary.dwFlags = DDSD_CAPS;
        primary.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        ASSERT_EQ(DD_OK, m_directDraw->CreateSurface(&primary, &m_primary, nullptr));
        DDSURFACEDESC2 yv12 = yv12Description(kWidth, kHeight);
        ASSERT_EQ(DD_OK, m_directDraw->CreateSurface(&yv12, &m_yv12, nullptr));
        ASSERT_EQ(DD_OK, m_directDraw->CreateClipper(0, &m_clipper, nullptr));
        ASSERT_EQ(DD_OK, m_clipper->SetHWnd(0, m_window.handle()));
        ASSERT_EQ(DD_OK, m_primary->SetClipper(m_clipper));
        writeBars();
    }
    void TearDown() override {
        m_yv12->Release();
        m_primary->Release();
        EXPECT_EQ(0u, m_clipper->Release());  // the primary surface let go of it
        EXPECT_EQ(0u, m_directDraw->Release());
    }

    void writeBars() {
        ColourBarPicture bars(kWidth, kHeight);
        DDSURFACEDESC2 locked{};
        locked.dwSize = DDSURFACEDESC2_SIZE;
        ASSERT_EQ(DD_OK, m_yv12->Lock(nullptr, &locked, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr));
        uint8_t* destination = static_cast<uint8_t*>(locked.lpSurface);
        const int planes[3] = {0, 2, 1};  // Y, V, U
        for (int plane : planes) {
            const int rows = plane == 0 ? kHeight : kHeight / 2;
            const int bytes = plane == 0 ? kWidth : kWidth / 2;
            const LONG pitch = plane == 0 ? locked.lPitch : locked.lPitch / 2;
            for (int row = 0; row < rows; ++row) {
                std::memcpy(destination,
                            bars.picture().data[plane] + row * bars.picture().linesize[plane],
                            bytes);
                destination += pitch;
            }
        }
        ASSERT_EQ(DD_OK, m_yv12->Unlock(nullptr));
    }
    std::vector<uint8_t> shown() {
        int width = 0;
        int height = 0;
        return m_window.read(&width, &height);
    }
    void expectBar(const std::vector<uint8_t>& rgba, int x, int y, int bar) {
        uint8_t expected[3];
        ColourBarPicture::expectedRgb(bar, expected);
        for (int channel = 0; channel < 3; ++channel) {
            EXPECT_NEAR(expected[channel], rgba[(y * kWidth + x) * 4 + channel], 3)
                << x << "," << y << " bar " << bar;
        }
    }

    OffscreenTestWindow m_window{kWidth, kHeight};
    IDirectDraw7* m_directDraw = nullptr;
    IDirectDrawSurface7* m_primary = nullptr;
    IDirectDrawSurface7* m_yv12 = nullptr;
    IDirectDrawClipper* m_clipper = nullptr;
};

}  // namespace

TEST_F(DirectDrawBlt, DrawsAtTheDestinationClippedToTheWindow) {
    RECT whole{0, 0, kWidth, kHeight};
    ASSERT_EQ(DD_OK, m_primary->Blt(&whole, m_yv12, nullptr, DDBLT_WAIT, nullptr));
    EXPECT_TRUE(ColourBarPicture::fills(shown(), kWidth, kHeight));

    // Half outside the window: its left half shows the picture's right half.
    tavoResizeOffscreenWindow(m_window.handle(), kWidth, kHeight);  // black again
    RECT hanging{-64, 0, 64, 96};
    ASSERT_EQ(DD_OK, m_primary->Blt(&hanging, m_yv12, nullptr, DDBLT_WAIT, nullptr));
    const std::vector<uint8_t> rgba = shown();
    expectBar(rgba, 24, 48, 5);
    expectBar(rgba, 120, 48, 4);  // untouched black

    RECT elsewhere{200, 0, 300, 96};
    EXPECT_EQ(DD_OK, m_primary->Blt(&elsewhere, m_yv12, nullptr, DDBLT_WAIT, nullptr));
}

TEST_F(DirectDrawBlt, FailsOnBusyLostOrWindowlessSurfacesUntilPutRight) {
    RECT whole{0, 0, kWidth, kHeight};
    DDSURFACEDESC2 locked{};
    locked.dwSize = DDSURFACEDESC2_SIZE;
    ASSERT_EQ(DD_OK, m_yv12->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr));
    EXPECT_EQ(DDERR_SURFACEBUSY, m_primary->Blt(&whole, m_yv12, nullptr, DDBLT_WAIT, nullptr));
    m_yv12->Unlock(nullptr);

    DirectDrawSimulateModeChange();
    EXPECT_EQ(DDERR_SURFACELOST, m_primary->Blt(&whole, m_yv12, nullptr, DDBLT_WAIT, nullptr));
    m_primary->Restore();
    EXPECT_EQ(DDERR_SURFACELOST, m_primary->Blt(&whole, m_yv12, nullptr, DDBLT_WAIT, nullptr));
    m_yv12->Restore();
    EXPECT_EQ(DD_OK, m_primary->Blt(&whole, m_yv12, nullptr, DDBLT_WAIT, nullptr));

    HWND gone = tavoCreateOffscreenWindow(16, 16);
    ASSERT_EQ(DD_OK, m_clipper->SetHWnd(0, gone));
    tavoDestroyOffscreenWindow(gone);
    EXPECT_EQ(DDERR_INVALIDCLIPLIST, m_primary->Blt(&whole, m_yv12, nullptr, DDBLT_WAIT, nullptr));
}
