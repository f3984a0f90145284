#pragma once

// DirectDraw 7's structures, flags and result codes with their Windows
// values, for the DirectDraw objects of this layer (DirectDraw.h).

#include "Platform/Win32/Win32Types.h"

#define MAKE_DDHRESULT(code) ((HRESULT)(0x88760000u | (code)))

#define DD_OK S_OK
#define DDERR_GENERIC E_FAIL
#define DDERR_INVALIDPARAMS E_INVALIDARG
#define DDERR_OUTOFMEMORY E_OUTOFMEMORY
#define DDERR_UNSUPPORTED E_NOTIMPL
#define DDERR_INVALIDCAPS MAKE_DDHRESULT(100)
#define DDERR_INVALIDCLIPLIST MAKE_DDHRESULT(110)
#define DDERR_INVALIDPIXELFORMAT MAKE_DDHRESULT(145)
#define DDERR_INVALIDRECT MAKE_DDHRESULT(150)
#define DDERR_NOCLIPLIST MAKE_DDHRESULT(205)
#define DDERR_NOCOOPERATIVELEVELSET MAKE_DDHRESULT(212)
#define DDERR_SURFACEBUSY MAKE_DDHRESULT(430)
#define DDERR_SURFACELOST MAKE_DDHRESULT(450)
#define DDERR_TOOBIGSIZE MAKE_DDHRESULT(480)
#define DDERR_WASSTILLDRAWING MAKE_DDHRESULT(540)
#define DDERR_INVALIDDIRECTDRAWGUID MAKE_DDHRESULT(561)
#define DDERR_NOTLOCKED MAKE_DDHRESULT(584)

// SetCooperativeLevel flags.
#define DDSCL_FULLSCREEN 0x00000001u
#define DDSCL_NOWINDOWCHANGES 0x00000004u
#define DDSCL_NORMAL 0x00000008u
#define DDSCL_EXCLUSIVE 0x00000010u

// DDSURFACEDESC2::dwFlags: which members are valid.
#define DDSD_CAPS 0x00000001u
#define DDSD_HEIGHT 0x00000002u
#define DDSD_WIDTH 0x00000004u
#define DDSD_PITCH 0x00000008u
#define DDSD_LPSURFACE 0x00000800u
#define DDSD_PIXELFORMAT 0x00001000u

// DDPIXELFORMAT::dwFlags.
#define DDPF_FOURCC 0x00000004u
#define DDPF_YUV 0x00000200u

// DDSCAPS2::dwCaps.
#define DDSCAPS_OFFSCREENPLAIN 0x00000040u
#define DDSCAPS_PRIMARYSURFACE 0x00000200u

// Lock flags.
#define DDLOCK_WAIT 0x00000001u
#define DDLOCK_READONLY 0x00000010u
#define DDLOCK_WRITEONLY 0x00000020u

// Blt flags: the blit is always finished when Blt returns, so the waiting
// flags change nothing; every other flag asks for an effect this layer does
// not have.
#define DDBLT_ASYNC 0x00000200u
#define DDBLT_WAIT 0x01000000u
#define DDBLT_DONOTWAIT 0x08000000u

#define MAKEFOURCC(a, b, c, d)                                               \
    ((DWORD)(BYTE)(a) | ((DWORD)(BYTE)(b) << 8) | ((DWORD)(BYTE)(c) << 16) | \
     ((DWORD)(BYTE)(d) << 24))
// Planar 4:2:0: the Y plane, then V, then U, each chroma plane of half the
// rows and half the pitch.
#define FOURCC_YV12 MAKEFOURCC('Y', 'V', '1', '2')

struct DDCOLORKEY {
    DWORD dwColorSpaceLowValue;
    DWORD dwColorSpaceHighValue;
};

struct DDPIXELFORMAT {
    DWORD dwSize;  // 32
    DWORD dwFlags;
    DWORD dwFourCC;
    union {
        DWORD dwRGBBitCount;
        DWORD dwYUVBitCount;
    };
    union {
        DWORD dwRBitMask;
        DWORD dwYBitMask;
    };
    union {
        DWORD dwGBitMask;
        DWORD dwUBitMask;
    };
    union {
        DWORD dwBBitMask;
        DWORD dwVBitMask;
    };
    union {
        DWORD dwRGBAlphaBitMask;
        DWORD dwYUVAlphaBitMask;
    };
};

struct DDSCAPS2 {
    DWORD dwCaps;
    DWORD dwCaps2;
    DWORD dwCaps3;
    DWORD dwCaps4;
};

struct DDSURFACEDESC2 {
    DWORD dwSize;  // DDSURFACEDESC2_SIZE
    DWORD dwFlags;
    DWORD dwHeight;
    DWORD dwWidth;
    LONG lPitch;
    DWORD dwBackBufferCount;
    DWORD dwRefreshRate;
    DWORD dwAlphaBitDepth;
    DWORD dwReserved;
    void* lpSurface;
    DDCOLORKEY ddckCKDestOverlay;
    DDCOLORKEY ddckCKDestBlt;
    DDCOLORKEY ddckCKSrcOverlay;
    DDCOLORKEY ddckCKSrcBlt;
    DDPIXELFORMAT ddpfPixelFormat;
    DDSCAPS2 ddsCaps;
    DWORD dwTextureStage;
};

// DirectDraw tells its description structures apart by dwSize, and that tag
// is the structure's size in DirectDraw's 32-bit layout: 124 for
// DDSURFACEDESC2, whatever the pointer width of this build.
#define DDSURFACEDESC2_SIZE 124u
#define DDPIXELFORMAT_SIZE 32u
static_assert(sizeof(DDPIXELFORMAT) == DDPIXELFORMAT_SIZE, "DDPIXELFORMAT keeps its layout");

// Blit effects; this layer has none, so Blt takes only a null pointer.
struct DDBLTFX;
