#pragma once

#include <cstdint>
#include <vector>

#include "Platform/Win32/Win32Types.h"

// An offscreen window (the library's exported helpers) that goes away with
// the object, for tests and benchmarks that read back what a renderer or a
// player drew.
class OffscreenTestWindow {
public:
    OffscreenTestWindow(int width, int height);
    ~OffscreenTestWindow();

    OffscreenTestWindow(OffscreenTestWindow&& other) noexcept;
    OffscreenTestWindow& operator=(OffscreenTestWindow&& other) noexcept;
    OffscreenTestWindow(const OffscreenTestWindow&) = delete;
    OffscreenTestWindow& operator=(const OffscreenTestWindow&) = delete;

    // The window as a window handle for the engine.
    HWND handle() const { return m_handle; }
    // What is on screen as RGBA, top row first, rows of width pixels; empty
    // when the window cannot be read.
    std::vector<uint8_t> read(int* width, int* height) const;
    // True when every pixel is black.
    bool isBlack() const;

    // The simulated camera's test pattern on screen: its picture number (-1
    // when none can be read, say before the first picture) and whether it
    // flashes, both from one read.
    struct Pattern {
        int64_t number;
        bool flash;
    };
    Pattern pattern() const;

private:
    HWND m_handle;
};
