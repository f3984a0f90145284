#pragma once

#include <cstdint>
#include <vector>

#include "Common/CLock.h"

// A window without a display: a size and the RGBA pixels that are "on
// screen". Renderers present into it; hosts and tests read it back. Handles
// are the objects' addresses; only live windows are recognised.
//
// All operations are thread-safe: the host resizes and reads on its threads
// while the video loop presents.
class COffscreenWindow {
public:
    COffscreenWindow(int width, int height);
    ~COffscreenWindow();

    COffscreenWindow(const COffscreenWindow&) = delete;
    COffscreenWindow& operator=(const COffscreenWindow&) = delete;

    // The live window behind a handle, or null for anything else.
    static COffscreenWindow* fromHandle(const void* handle);

    void size(int* width, int* height) const;
    // Changes the size; the pixels become black. False for a negative size.
    bool resize(int width, int height);
    // Copies the pixels (top row first, 4 bytes a pixel) into rgba rows of
    // strideBytes. The caller's buffer must hold height rows of the current
    // size, which is reported through width and height. With a null rgba only
    // the size is reported. False (nothing copied) for a stride shorter than a row.
    bool read(uint8_t* rgba, int strideBytes, int* width, int* height) const;
    // Puts an RGBA image on screen. It must have the window's current size;
    // false (nothing changes) when the window was resized in between.
    bool present(const uint8_t* rgba, int width, int height, int strideBytes);
    // Puts an RGBA image on screen with its top-left corner at (x, y) of the
    // window; what falls outside the window is dropped.
    void presentAt(int x, int y, const uint8_t* rgba, int width, int height, int strideBytes);

private:
    mutable RIVO_Common_Player::CLock m_lock;
    int m_width GUARDED_BY(m_lock);
    int m_height GUARDED_BY(m_lock);
    std::vector<uint8_t> m_pixels GUARDED_BY(m_lock);  // RGBA, tightly packed
};
