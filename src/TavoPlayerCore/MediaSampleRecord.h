#pragma once

#include "tavoplayer/ITavoMediaPlayer.h"

// Sets every field of the record to zero, then ulTick to tickMs().
void initMediaSample(MediaSample* sample);

// Frees a record that the store owns (allocated with new, its buffers with
// new[] and its StreamInfo with new): pExtData, pStreamInfo and pData (each
// only when set, each cleared afterwards), then the record itself.
void releaseMediaSample(MediaSample* sample);
