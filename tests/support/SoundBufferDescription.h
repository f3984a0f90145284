#pragma once

#include "Platform/DSound/DirectSound8.h"

// A PCM format and a looping-buffer description as the audio renderer asks
// for them (volume, notification positions, global focus, precise cursor).
inline WAVEFORMATEX pcmFormat(WORD bits, WORD channels, DWORD rate) {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = channels;
    format.nSamplesPerSec = rate;
    format.nBlockAlign = static_cast<WORD>(bits / 8 * channels);
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    format.wBitsPerSample = bits;
    return format;
}

inline DSBUFFERDESC describeBuffer(WAVEFORMATEX* format, DWORD bytes) {
    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof(DSBUFFERDESC);
    desc.dwFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_GLOBALFOCUS |
                   DSBCAPS_GETCURRENTPOSITION2;
    desc.dwBufferBytes = bytes;
    desc.lpwfxFormat = format;
    return desc;
}
