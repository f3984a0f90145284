#pragma once

// DirectSound 8 on Linux: the part of the DirectSound API that the engine's
// audio output uses, with the Windows names, records, flag values and result
// codes. DirectSoundCreate8 opens the default playback device through SDL2's
// audio subsystem (SDL picks PulseAudio, PipeWire or ALSA, or the driver that
// SDL_AUDIODRIVER names); each secondary buffer loops over its memory while an
// SDL audio device consumes it, setting the notification events as the play
// cursor crosses their offsets and applying the volume as a gain.
//
// Offered: DirectSoundCreate8 (default device only), SetCooperativeLevel,
// CreateSoundBuffer for 16-bit PCM secondary buffers, the buffer's Lock,
// Unlock, Play, Stop, SetCurrentPosition, SetVolume and GetVolume, and the
// notify interface. Primary buffers, 3-D, pan, frequency and effects are not.

#include "Platform/Win32/Win32Types.h"

#define DS_OK ((HRESULT)0)
#define DSERR_INVALIDPARAM E_INVALIDARG
#define DSERR_INVALIDCALL ((HRESULT)0x88780032)
#define DSERR_OUTOFMEMORY E_OUTOFMEMORY
#define DSERR_BADFORMAT ((HRESULT)0x88780064)
#define DSERR_UNSUPPORTED E_NOTIMPL
#define DSERR_NODRIVER ((HRESULT)0x88780078)
#define DSERR_NOAGGREGATION ((HRESULT)0x80040110)
#define DSERR_CONTROLUNAVAIL ((HRESULT)0x8878001E)
#define DSERR_NOINTERFACE E_NOINTERFACE

#define DSSCL_NORMAL 0x00000001
#define DSSCL_PRIORITY 0x00000002
#define DSSCL_EXCLUSIVE 0x00000003
#define DSSCL_WRITEPRIMARY 0x00000004

#define DSBCAPS_PRIMARYBUFFER 0x00000001
#define DSBCAPS_CTRLVOLUME 0x00000080
#define DSBCAPS_CTRLPOSITIONNOTIFY 0x00000100
#define DSBCAPS_GLOBALFOCUS 0x00008000
#define DSBCAPS_GETCURRENTPOSITION2 0x00010000

#define DSBPLAY_LOOPING 0x00000001

#define DSBVOLUME_MIN (-10000)
#define DSBVOLUME_MAX 0

#define DSBSIZE_MIN 4
#define DSBSIZE_MAX 0x0FFFFFFF

#define DSBFREQUENCY_MIN 100
#define DSBFREQUENCY_MAX 200000

#define WAVE_FORMAT_PCM 1

struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
typedef WAVEFORMATEX* LPWAVEFORMATEX;

struct DSBUFFERDESC {
    DWORD dwSize;  // sizeof(DSBUFFERDESC)
    DWORD dwFlags;
    DWORD dwBufferBytes;
    DWORD dwReserved;
    LPWAVEFORMATEX lpwfxFormat;
    GUID guid3DAlgorithm;
};
typedef const DSBUFFERDESC* LPCDSBUFFERDESC;

struct DSBPOSITIONNOTIFY {
    DWORD dwOffset;
    HANDLE hEventNotify;
};
typedef const DSBPOSITIONNOTIFY* LPCDSBPOSITIONNOTIFY;

// {279AFA85-4981-11CE-A521-0020AF0BE560}
inline constexpr IID IID_IDirectSoundBuffer = {
    0x279AFA85, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
// {6825A449-7524-4D82-920F-50E36AB3AB1E}
inline constexpr IID IID_IDirectSoundBuffer8 = {
    0x6825A449, 0x7524, 0x4D82, {0x92, 0x0F, 0x50, 0xE3, 0x6A, 0xB3, 0xAB, 0x1E}};
// {B0210783-89CD-11D0-AF08-00A0C925CD16}
inline constexpr IID IID_IDirectSoundNotify = {
    0xB0210783, 0x89CD, 0x11D0, {0xAF, 0x08, 0x00, 0xA0, 0xC9, 0x25, 0xCD, 0x16}};
// {C50A7E93-F395-4834-9EF6-7FA99DE50966}
inline constexpr IID IID_IDirectSound8 = {
    0xC50A7E93, 0xF395, 0x4834, {0x9E, 0xF6, 0x7F, 0xA9, 0x9D, 0xE5, 0x09, 0x66}};

// A secondary sound buffer.
class IDirectSoundBuffer : public IUnknown {
public:
    // The play cursor (the byte being heard now) and the write cursor (the
    // first byte that is safe to write: everything between them has gone to
    // the sound device already). Either pointer may be null.
    virtual HRESULT GetCurrentPosition(DWORD* pdwCurrentPlayCursor,
                                       DWORD* pdwCurrentWriteCursor) = 0;
    // The volume in hundredths of a decibel (DSBVOLUME_MIN to DSBVOLUME_MAX).
    virtual HRESULT GetVolume(LONG* plVolume) = 0;
    // Hands out dwBytes of the buffer from dwOffset for writing, as one region
    // or, when it wraps past the end, two (the second needs ppvAudioPtr2).
    // One region may be locked at a time; dwFlags must be 0.
    virtual HRESULT Lock(DWORD dwOffset, DWORD dwBytes, LPVOID* ppvAudioPtr1, DWORD* pdwAudioBytes1,
                         LPVOID* ppvAudioPtr2, DWORD* pdwAudioBytes2, DWORD dwFlags) = 0;
    // Starts playing from the cursor; DSBPLAY_LOOPING loops, otherwise the
    // buffer stops at its end.
    virtual HRESULT Play(DWORD dwReserved1, DWORD dwPriority, DWORD dwFlags) = 0;
    virtual HRESULT SetCurrentPosition(DWORD dwNewPosition) = 0;
    // Needs DSBCAPS_CTRLVOLUME. DSBVOLUME_MIN is silence.
    virtual HRESULT SetVolume(LONG lVolume) = 0;
    virtual HRESULT Stop() = 0;
    // Gives back a locked region; the given byte counts are what was written.
    virtual HRESULT Unlock(LPVOID pvAudioPtr1, DWORD dwAudioBytes1, LPVOID pvAudioPtr2,
                           DWORD dwAudioBytes2) = 0;
};

// The DirectSound 8 interface of a secondary buffer.
class IDirectSoundBuffer8 : public IDirectSoundBuffer {};

// Events set when the play cursor reaches given offsets of a buffer created
// with DSBCAPS_CTRLPOSITIONNOTIFY.
class IDirectSoundNotify : public IUnknown {
public:
    // Replaces the notification positions; only while the buffer is stopped.
    virtual HRESULT SetNotificationPositions(DWORD dwPositionNotifies,
                                             LPCDSBPOSITIONNOTIFY pcPositionNotifies) = 0;
};

// A playback device.
class IDirectSound8 : public IUnknown {
public:
    virtual HRESULT CreateSoundBuffer(LPCDSBUFFERDESC pcDSBufferDesc,
                                      IDirectSoundBuffer** ppDSBuffer, IUnknown* pUnkOuter) = 0;
    // Accepts a window and a level; every level shares the device with other
    // programs, as the sound server does. DSSCL_WRITEPRIMARY is not offered.
    virtual HRESULT SetCooperativeLevel(HWND hwnd, DWORD dwLevel) = 0;
};

typedef HRESULT (*DirectSoundCreate8Function)(LPCGUID lpcGuidDevice, IDirectSound8** ppDS8,
                                              IUnknown* pUnkOuter);

// Opens the default playback device (lpcGuidDevice null). DSERR_NODRIVER when
// SDL has no audio driver or no playback device.
HRESULT DirectSoundCreate8(LPCGUID lpcGuidDevice, IDirectSound8** ppDS8, IUnknown* pUnkOuter);

// Test seams. Redirects DirectSoundCreate8 to another implementation (null
// restores the SDL one).
void setDirectSoundCreate8ForTesting(DirectSoundCreate8Function create);
// Makes the SDL implementation answer as if no audio device existed.
void setDirectSoundFailureForTesting(bool fail);
