#pragma once

#include <cstdint>
#include <new>

#include "TavoPlayerCore/VideoRender/CLastPicture.h"
#include "TavoPlayerCore/VideoRender/IVideoRender.h"

// What the three renderers share: the reserved operations (each answering
// 0), the stored window, picture format and value pair, the options that
// change nothing, and the last picture behind RenderPicture,
// RepaintLastPicture and GetLastPicture. A renderer supplies Open, Close and
// its draw step, and its destructor runs Close.
//
// Threads: as IVideoRender says; the last picture has a lock of its own so
// that a snapshot never reads a half-written copy, and the draw step runs
// under it.
class CVideoRenderBase : public IVideoRender {
public:
    CVideoRenderBase(const CVideoRenderBase&) = delete;
    CVideoRenderBase& operator=(const CVideoRenderBase&) = delete;

    // Keeps the window for the next Open; extra is ignored.
    int32_t SetWindow(HWND window, uint32_t extra) override;
    int32_t Reserved1(uint32_t) override { return 0; }
    int32_t SetFormat(uint32_t width, uint32_t height, uint32_t pixelFormat) override;
    int32_t Reserved2() override { return 0; }
    int32_t Reserved3() override { return 0; }
    int32_t Reserved4() override { return 0; }
    int32_t Reserved5() override { return 0; }
    int32_t Reserved6(uint32_t, uint32_t, uint32_t) override { return 0; }
    // Runs the draw step, then keeps the picture whatever the draw
    // step achieved; always 0.
    int32_t RenderPicture(const VideoPicture* picture) override;
    int32_t RepaintLastPicture() override;
    int32_t Reserved7(uint32_t) override { return 0; }
    int32_t Reserved8(uint32_t) override { return 0; }
    // 1 also for a null target.
    int32_t GetLastPicture(VideoPicture* target) override;
    int32_t Reserved9(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) override { return 0; }
    int32_t Reserved10(uint32_t) override { return 0; }
    void StoreValuePair(uint32_t first, int32_t second) override;
    // Writes the pair last stored (0 and 0 before any).
    void LoadValuePair(uint32_t* first, int32_t* second) override;
    void SetRefClock(CMediaRefClock*) override {}
    int32_t Reserved11() override { return 0; }
    void SetHostPair(void*, void*) override {}
    int32_t Reserved12() override { return 0; }
    int32_t Reserved13() override { return 0; }
    void SetWindowScaling(uint8_t) override {}
    void SetFloatOption(float) override {}

protected:
    CVideoRenderBase();

    // Shows picture in the window; a failing step drops the frame silently.
    virtual void draw(const VideoPicture& picture) REQUIRES(m_lastPicture.lock()) = 0;

    HWND m_window;
    uint32_t m_width;
    uint32_t m_height;
    uint32_t m_pixelFormat;
    CLastPicture m_lastPicture;

private:
    uint32_t m_valueFirst;
    int32_t m_valueSecond;
};

// The renderer factories' common step: fills an empty slot with a new,
// unconfigured Render and returns true; an occupied slot or a failed
// allocation gives false.
template <class Render>
bool createRenderInSlot(IVideoRender** slot) {
    if (!slot || *slot) {
        return false;
    }
    *slot = new (std::nothrow) Render();
    return *slot != nullptr;
}
