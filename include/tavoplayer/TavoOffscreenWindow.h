#pragma once

// Offscreen windows: window handles for hosts without a display. Give the
// handle to a player with PARAM_WINDOW; the renderers draw into it, and the
// host reads back what is "on screen" (for thumbnails, tests, or servers).

#include "tavoplayer/ITavoMediaPlayer.h"

extern "C" {
// Creates a black window of the given size; null when it cannot be created.
TAVOPLAYER_API void* tavoCreateOffscreenWindow(int width, int height);
// Changes the size (the contents become black). 0 on success, -1 for an
// unknown window or a negative size.
TAVOPLAYER_API int tavoResizeOffscreenWindow(void* window, int width, int height);
// Copies what is on screen into rgba: top row first, 4 bytes a pixel (R, G,
// B, A), rows strideBytes apart; the buffer must hold height such rows. With a
// null rgba only the size is reported. 0 on success, -1 for an unknown window
// or a stride shorter than a row.
TAVOPLAYER_API int tavoReadOffscreenWindow(void* window, unsigned char* rgba, int strideBytes,
                                           int* width, int* height);
// Destroys the window. The player must no longer use it (set another window first).
TAVOPLAYER_API void tavoDestroyOffscreenWindow(void* window);
}
