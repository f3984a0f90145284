#include <gtest/gtest.h>

#include "Platform/DDraw/DirectDraw.h"
#include "support/OffscreenTestWindow.h"
#include "tavoplayer/TavoOffscreenWindow.h"

// A primary surface whose clipper is bound to an offscreen window, and a
// YV12 surface to draw from: a blit fails while the source is locked, after a
// mode change until both surfaces are restored, and once the window is gone.
TEST(DirectDrawBlt, FailsOnBusyLostOrWindowlessSurfacesUntilPutRight) {
    OffscreenTestWindow window(128, 96);
    void* created = nullptr;
    ASSERT_EQ(DD_OK, DirectDrawCreateEx(nullptr, &created, IID_IDirectDraw7, nullptr));
    IDirectDraw7* directDraw = static_cast<IDirectDraw7*>(created);
    EXPECT_EQ(DD_OK, directDraw->SetCooperativeLevel(window.handle(), DDSCL_NORMAL));
    DDSURFACEDESC2 description{};
    description.dwSize = DDSURFACEDESC2_SIZE;
    description.dwFlags = DDSD_CAPS;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface7* primary = nullptr;
    ASSERT_EQ(DD_OK, directDraw->CreateSurface(&description, &primary, nullptr));
    description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    description.dwWidth = 128;
    description.dwHeight = 96;
    description.ddpfPixelFormat.dwSize = DDPIXELFORMAT_SIZE;
    description.ddpfPixelFormat.dwFlags = DDPF_FOURCC | DDPF_YUV;
    description.ddpfPixelFormat.dwFourCC = FOURCC_YV12;
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    IDirectDrawSurface7* yv12 = nullptr;
    ASSERT_EQ(DD_OK, directDraw->CreateSurface(&description, &yv12, nullptr));
    IDirectDrawClipper* clipper = nullptr;
    ASSERT_EQ(DD_OK, directDraw->CreateClipper(0, &clipper, nullptr));
    ASSERT_EQ(DD_OK, clipper->SetHWnd(0, window.handle()));
    ASSERT_EQ(DD_OK, primary->SetClipper(clipper));

    RECT whole{0, 0, 128, 96};
    DDSURFACEDESC2 locked{};
    locked.dwSize = DDSURFACEDESC2_SIZE;
    ASSERT_EQ(DD_OK, yv12->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr));
    EXPECT_EQ(DDERR_SURFACEBUSY, primary->Blt(&whole, yv12, nullptr, DDBLT_WAIT, nullptr));
    yv12->Unlock(nullptr);

    DirectDrawSimulateModeChange();
    EXPECT_EQ(DDERR_SURFACELOST, primary->Blt(&whole, yv12, nullptr, DDBLT_WAIT, nullptr));
    primary->Restore();
    EXPECT_EQ(DDERR_SURFACELOST, primary->Blt(&whole, yv12, nullptr, DDBLT_WAIT, nullptr));
    yv12->Restore();
    EXPECT_EQ(DD_OK, primary->Blt(&whole, yv12, nullptr, DDBLT_WAIT, nullptr));

    HWND gone = tavoCreateOffscreenWindow(16, 16);
    ASSERT_EQ(DD_OK, clipper->SetHWnd(0, gone));
    tavoDestroyOffscreenWindow(gone);
    EXPECT_EQ(DDERR_INVALIDCLIPLIST, primary->Blt(&whole, yv12, nullptr, DDBLT_WAIT, nullptr));

    yv12->Release();
    primary->Release();
    EXPECT_EQ(0u, clipper->Release());  // the primary surface let go of it
    EXPECT_EQ(0u, directDraw->Release());
}
