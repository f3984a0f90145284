#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "Platform/DDraw/CDirectDrawSurface.h"
#include "Platform/DDraw/CYV12Scaler.h"

// An offscreen plain surface of the FourCC "YV12" in memory: the luma plane
// (height rows of pitch bytes), then the V plane and the U plane (height / 2
// rows of pitch / 2 bytes each). The pitch is the width rounded up to 32
// bytes. New surfaces are black.
class CDirectDrawYV12Surface : public CDirectDrawSurface {
public:
    // A surface for a validated description (width and height from 1 to
    // kMaxSize); null when its memory cannot be had.
    static CDirectDrawYV12Surface* create(const DDSURFACEDESC2& description);
    // Makes the next count calls of Lock, on any surface, answer DDERR_WASSTILLDRAWING.
    static void simulateBusyLocks(int count);

    static constexpr DWORD kMaxSize = 16384;

    HRESULT Lock(RECT* rect, DDSURFACEDESC2* description, DWORD flags, HANDLE event) override;
    HRESULT Unlock(RECT* rect) override;
    // Blits onto an offscreen surface are not offered.
    HRESULT Blt(RECT* destRect, IDirectDrawSurface7* source, RECT* sourceRect, DWORD flags,
                DDBLTFX* effects) override;

    bool locked() const { return m_locked; }
    YV12Image image() const;

private:
    static std::atomic<int> s_busyLocks;

    CDirectDrawYV12Surface(const DDSURFACEDESC2& description, std::unique_ptr<uint8_t[]> pixels,
                           LONG pitch);

    DDSURFACEDESC2 m_description;
    std::unique_ptr<uint8_t[]> m_pixels;
    LONG m_pitch;
    bool m_locked;
};
