#pragma once

#include <cstdint>

#include "Platform/Win32/Win32Types.h"
#include "TavoPlayerCore/VideoRender/VideoPicture.h"

class CMediaRefClock;

// Renderer kinds (the player's PARAM_RENDER_KIND values).
constexpr int32_t kRenderTypeDDraw = 0x202;
constexpr int32_t kRenderTypeD3D = 0x203;
constexpr int32_t kRenderTypeD3DTX = 0x204;

// Pixel-format code of SetFormat for planar YUV 4:2:0 (shown as YV12).
constexpr uint32_t kPixelFormatYUV420 = 3;

// Shows decoded pictures in a host's window, stretched over the whole client
// area, and keeps a copy of the last picture for repaints and snapshots.
//
// The player serialises every call with its video lock: SetFormat and
// RenderPicture come from the video loop, SetWindow, RepaintLastPicture,
// GetLastPicture and SetFloatOption from host threads. Pictures passed in
// stay the caller's; a renderer copies what it keeps.
class IVideoRender {
public:
    virtual ~IVideoRender() = default;
    // Creates the platform objects for the stored window and format; called by SetFormat.
    virtual int32_t Open() = 0;
    // Releases everything; the destructor runs it.
    virtual int32_t Close() = 0;
    virtual int32_t SetWindow(HWND window, uint32_t extra) = 0;
    virtual int32_t Reserved1(uint32_t) = 0;
    // Stores the picture size and pixel-format code, then returns Open().
    virtual int32_t SetFormat(uint32_t width, uint32_t height, uint32_t pixelFormat) = 0;
    virtual int32_t Reserved2() = 0;
    virtual int32_t Reserved3() = 0;
    virtual int32_t Reserved4() = 0;
    virtual int32_t Reserved5() = 0;
    virtual int32_t Reserved6(uint32_t, uint32_t, uint32_t) = 0;
    // Draws the picture and keeps a copy of it. 0, or 1 when the picture was
    // not taken and should be offered again.
    virtual int32_t RenderPicture(const VideoPicture* picture) = 0;
    // Draws the kept copy again, if there is one.
    virtual int32_t RepaintLastPicture() = 0;
    virtual int32_t Reserved7(uint32_t) = 0;
    virtual int32_t Reserved8(uint32_t) = 0;
    // Copies the kept picture into target's planes (which the caller sizes:
    // stride x height bytes for every plane) and its strides. 0, or 1 when
    // there is no picture yet (target untouched).
    virtual int32_t GetLastPicture(VideoPicture* target) = 0;
    virtual int32_t Reserved9(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) = 0;
    virtual int32_t Reserved10(uint32_t) = 0;
    virtual void StoreValuePair(uint32_t first, int32_t second) = 0;
    virtual void LoadValuePair(uint32_t* first, int32_t* second) = 0;
    virtual void SetRefClock(CMediaRefClock* clock) = 0;
    virtual int32_t Reserved11() = 0;
    virtual void SetHostPair(void* eventSink, void* eventContext) = 0;
    virtual int32_t Reserved12() = 0;
    virtual int32_t Reserved13() = 0;
    virtual void SetWindowScaling(uint8_t on) = 0;
    virtual void SetFloatOption(float value) = 0;
};

// Each factory fills an empty slot with a new, unconfigured renderer and
// returns true; an occupied slot or a failed allocation gives false.
bool createD3DRender(IVideoRender** slot);
bool createD3DTXRender(IVideoRender** slot);
bool createDDrawRender(IVideoRender** slot);
