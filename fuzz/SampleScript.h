#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/ScriptedHost.h"

// The sample-path fuzzer's input: what a host hands a player, as bytes.
//
// Byte 0 holds options: bits 0-1 the renderer (DirectDraw, Direct3D,
// Direct3D with shader, DirectDraw), bit 2 the frame store. Then samples
// follow until the bytes run out, each:
//   flags    1 byte: bit 0 video track (else audio), bit 1 MEDIA_FLAG_KEYFRAME,
//            bit 2 MEDIA_FLAG_DESCRIPTION with a StreamInfo, bit 3
//            MEDIA_FLAG_NO_DISPLAY, bit 4 an absolute time (else a delta),
//            bit 5 no payload pointer
//   time     4 bytes (absolute) or 2 bytes (signed delta from the track's
//            previous sample; the first counts from 10000), little-endian
//   info     with bit 2 only: kind, codec (0x7F: CODEC_NONE) 1 byte each,
//            rateOrWidth and formatOrHeight 4 bytes each
//   length   2 bytes, then that many payload bytes (cut at the input's end)
// Every sample is due at once; the players' own pacing decides when it is taken.
class SampleScript {
public:
    struct Entry {
        int32_t track;
        ScriptedHost::Item item;
    };

    static SampleScript parse(const uint8_t* data, size_t size);
    // The bytes parse() turns back into this script.
    std::vector<uint8_t> bytes() const;

    uint8_t options = 0;
    std::vector<Entry> entries;
};
