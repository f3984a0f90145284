#include "TavoPlayerCore/AudioRender/DSoundRender.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "Common/CAutoLock.h"
#include "Common/Log.h"
#include "Platform/Win32/Win32Event.h"

using RIVO_Common_Player::CAutoLock;
using RIVO_Common_Player::rivo_CMutex;

namespace {

// Largest block whose two-block buffer DirectSound can create.
constexpr int64_t kMaxBlockSize = DSBSIZE_MAX / 2;
// How long the feeding thread waits for a notification before it looks at
// its flag again.
constexpr DWORD kNotificationWaitMs = 200;
constexpr DWORD kBufferFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY |
                               DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;

}  // namespace

DSoundRender::DSoundRender()
    : m_device(nullptr),
      m_buffer(nullptr),
      m_baseBuffer(nullptr),
      m_notify(nullptr),
      m_positions(),
      m_events(),
      m_blockSize(0),
      m_writeOffset(0),
      m_playPending(false),
      m_staging(nullptr),
      m_stagingFill(0),
      m_stagingCapacity(0),
      m_stagingReadOffset(0),
      m_window(nullptr),
      m_channels(0),
      m_sampleRate(0),
      m_bitsPerSample(0),
      m_feeding(0),
      m_mutex(new rivo_CMutex()) {
    m_runner.SetOwner(this);
}

DSoundRender::~DSoundRender() {
    Stop();
    Close();
    delete m_mutex;
}

uint32_t DSoundRender::GetBlockSize() const {
    const int64_t frame = static_cast<int64_t>(m_bitsPerSample / 8) * m_channels;
    const int64_t block = frame * (static_cast<int64_t>(m_sampleRate) * kBlockMs / 1000);
    return block > 0 && block <= kMaxBlockSize ? static_cast<uint32_t>(block) : 0;
}

uint32_t DSoundRender::Open() {
    if (!m_window) {
        return 1;
    }
    const uint32_t blockSize = GetBlockSize();
    if (blockSize == 0) {
        return 1;
    }
    if (m_device) {
        Stop();
        Close();
    }
    bool staged = false;
    {
        CAutoLock lock(m_mutex);
        m_blockSize = blockSize;
        m_writeOffset = static_cast<int32_t>(blockSize);
        const uint32_t stagingBytes = blockSize * (kStagingMs / kBlockMs);
        m_staging = new (std::nothrow) uint8_t[stagingBytes]();
        m_stagingFill = 0;
        m_stagingCapacity = stagingBytes;
        m_stagingReadOffset = 0;
        staged = m_staging != nullptr;
    }
    if (!staged || FAILED(DirectSoundCreate8(nullptr, &m_device, nullptr)) ||
        FAILED(m_device->SetCooperativeLevel(m_window, DSSCL_NORMAL))) {
        Close();
        return 1;
    }

    const WORD bytesPerSample = static_cast<WORD>(m_bitsPerSample / 8);
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(m_channels);
    format.nSamplesPerSec = m_sampleRate;
    format.nAvgBytesPerSec = bytesPerSample * m_sampleRate * m_channels;
    format.nBlockAlign = static_cast<WORD>(bytesPerSample * m_channels);
    format.wBitsPerSample = static_cast<WORD>(m_bitsPerSample);
    format.cbSize = 0;
    DSBUFFERDESC desc = {};
    desc.dwSize = sizeof(DSBUFFERDESC);
    desc.dwFlags = kBufferFlags;
    desc.dwBufferBytes = 2 * blockSize;
    desc.dwReserved = 0;
    desc.lpwfxFormat = &format;
    if (FAILED(m_device->CreateSoundBuffer(&desc, &m_baseBuffer, nullptr)) ||
        FAILED(m_baseBuffer->QueryInterface(IID_IDirectSoundBuffer8,
                                            reinterpret_cast<void**>(&m_buffer))) ||
        FAILED(m_buffer->QueryInterface(IID_IDirectSoundNotify,
                                        reinterpret_cast<void**>(&m_notify)))) {
        Close();
        return 1;
    }

    for (int i = 0; i < 2; ++i) {
        m_events[i] = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        m_positions[i].dwOffset = i * blockSize;
        m_positions[i].hEventNotify = m_events[i];
    }
    // Without its events the buffer could not be fed at all.
    if (!m_events[0] || !m_events[1]) {
        Close();
        return 1;
    }
    m_notify->SetNotificationPositions(2, m_positions);
    m_buffer->SetVolume(DSBVOLUME_MIN);
    return 0;
}

uint32_t DSoundRender::Close() {
    // Nothing may be fed while the buffers go away.
    m_runner.StopFeeding();
    if (m_notify) {
        m_notify->Release();
        m_notify = nullptr;
    }
    if (m_buffer) {
        m_buffer->Release();
        m_buffer = nullptr;
    }
    if (m_baseBuffer) {
        m_baseBuffer->Release();
        m_baseBuffer = nullptr;
    }
    if (m_device) {
        m_device->Release();
        m_device = nullptr;
    }
    for (int i = 0; i < 2; ++i) {
        if (m_events[i]) {
            CloseHandle(m_events[i]);
            m_events[i] = nullptr;
        }
        m_positions[i] = DSBPOSITIONNOTIFY();
    }
    CAutoLock lock(m_mutex);
    delete[] m_staging;
    m_staging = nullptr;
    m_stagingFill = 0;
    m_stagingCapacity = 0;
    m_stagingReadOffset = 0;
    return 0;
}

uint32_t DSoundRender::SetFormat(const AudioFormat* format) {
    if (!format) {
        return 1;
    }
    m_channels = format->channels;
    m_sampleRate = format->sampleRate;
    m_bitsPerSample = format->bitsPerSample;
    return Open();
}

uint32_t DSoundRender::SetWindow(HWND window) {
    m_window = window;
    return 0;
}

uint32_t DSoundRender::Start() {
    if (!m_device) {
        return AUDIO_RENDER_NO_DEVICE;
    }
    m_runner.StartFeeding();
    m_buffer->SetCurrentPosition(0);
    // The buffer plays once a block is staged, with that block in its first
    // half: started at once, it would play a block of silence before any
    // sound written now. (Deliberately beyond the renderer's first design,
    // which started the buffer here; 40 ms less delay at the start.)
    CAutoLock lock(m_mutex);
    m_writeOffset = 0;
    m_playPending = true;
    return 0;
}

uint32_t DSoundRender::Stop() {
    if (!m_device) {
        return AUDIO_RENDER_NO_DEVICE;
    }
    m_buffer->Stop();
    m_runner.StopFeeding();
    CAutoLock lock(m_mutex);
    m_playPending = false;
    return 0;
}

uint32_t DSoundRender::Write(const void* data, uint32_t size) {
    if (!m_device) {
        return AUDIO_RENDER_NO_DEVICE;
    }
    if (!data && size) {
        return 1;
    }
    CAutoLock lock(m_mutex);
    // The comparisons are strict: at least one byte stays free.
    if (uint64_t(m_stagingReadOffset) + uint64_t(m_stagingFill) + size < m_stagingCapacity) {
        append_Locked(data, size);
        return 0;
    }
    std::memmove(m_staging, m_staging + m_stagingReadOffset, m_stagingFill);
    m_stagingReadOffset = 0;
    if (uint64_t(m_stagingFill) + size < m_stagingCapacity) {
        append_Locked(data, size);
        return 0;
    }
    return 1;
}

void DSoundRender::append_Locked(const void* data, uint32_t size) {
    if (size) {
        std::memcpy(m_staging + m_stagingReadOffset + m_stagingFill, data, size);
    }
    m_stagingFill += static_cast<int32_t>(size);
    if (m_playPending && m_stagingFill >= static_cast<int32_t>(m_blockSize)) {
        m_playPending = false;
        moveBlock_Locked();
        m_buffer->Play(0, 0, DSBPLAY_LOOPING);
    }
}

void DSoundRender::moveBlock_Locked() {
    LPVOID region = nullptr;
    DWORD regionBytes = 0;
    const bool locked = SUCCEEDED(
        m_buffer->Lock(m_writeOffset, m_blockSize, &region, &regionBytes, nullptr, nullptr, 0));
    if (m_stagingFill >= static_cast<int32_t>(m_blockSize)) {
        if (locked) {
            std::memcpy(region, m_staging + m_stagingReadOffset, regionBytes);
        }
        m_stagingReadOffset += m_blockSize;
        m_stagingFill -= static_cast<int32_t>(m_blockSize);
    } else if (locked) {
        // Too little to play: silence, and the partial block waits.
        std::memset(region, 0, regionBytes);
    }
    m_writeOffset = static_cast<int32_t>((m_writeOffset + m_blockSize) % (2 * m_blockSize));
    if (locked) {
        m_buffer->Unlock(region, regionBytes, nullptr, 0);
    }
}

uint32_t DSoundRender::FillNextBlock() {
    if (!m_device) {
        return AUDIO_RENDER_NO_DEVICE;
    }
    const DWORD signalled = WaitForMultipleObjects(2, m_events, FALSE, kNotificationWaitMs);
    if (signalled != WAIT_OBJECT_0 && signalled != WAIT_OBJECT_0 + 1) {
        return 0;
    }
    int32_t written = 0;
    {
        CAutoLock lock(m_mutex);
        // Which event fired does not matter: the cursor has just entered one half,
        // and the next block goes into the other, which the write offset names.
        moveBlock_Locked();
        written = m_writeOffset;
    }
    // Standard output may block (a full pipe); the player's writes must not
    // wait for it.
    std::printf("this is %7d of buffer\n", written);
    std::fflush(stdout);
    return 0;
}

uint32_t DSoundRender::GetQueuedMs() {
    if (!m_device) {
        return AUDIO_RENDER_NO_DEVICE;
    }
    const uint32_t bytesPerSecond =
        static_cast<uint32_t>(m_bitsPerSample / 8) * m_channels * m_sampleRate;
    DWORD play = 0;
    DWORD taken = 0;
    if (bytesPerSecond == 0 || FAILED(m_buffer->GetCurrentPosition(&play, &taken))) {
        return 0;
    }
    CAutoLock lock(m_mutex);
    if (m_playPending) {
        return static_cast<uint32_t>(static_cast<uint64_t>(m_stagingFill) * 1000 / bytesPerSecond);
    }
    const uint32_t size = 2 * m_blockSize;
    // Counted from the cursor up to which the device has taken the sound,
    // plus what it has taken but not yet played: the play cursor may still
    // lie in the half that the feeding thread has already filled anew.
    uint32_t ahead = (static_cast<uint32_t>(m_writeOffset) + size - taken % size) % size;
    if (ahead == 0) {
        ahead = size;
    }
    const uint32_t inDevice = (taken % size + size - play % size) % size;
    const uint64_t queued =
        static_cast<uint64_t>(ahead) + inDevice + static_cast<uint64_t>(m_stagingFill);
    return static_cast<uint32_t>(queued * 1000 / bytesPerSecond);
}

uint32_t DSoundRender::SetVolume(uint32_t volume) {
    const uint32_t level = volume & 0xFF;
    int iValueForDSound;
    if (!m_device) {
        iValueForDSound = AUDIO_RENDER_NO_DEVICE;
    } else if (level == 0) {
        iValueForDSound = DSBVOLUME_MIN;
    } else if (level > 100) {
        iValueForDSound = DSBVOLUME_MAX;
    } else {
        iValueForDSound = static_cast<int>(100 * 20 * std::log10(level / 100.0));
    }
    RIVO_LOG("Volume = %d , iValueForDSound =%d", static_cast<int>(volume), iValueForDSound);
    if (!m_device) {
        return AUDIO_RENDER_NO_DEVICE;
    }
    if (!m_buffer) {
        return 0;
    }
    m_buffer->SetVolume(iValueForDSound);
    return 0;
}

uint32_t DSoundRender::GetVolume() {
    if (!m_device) {
        return AUDIO_RENDER_NO_DEVICE;
    }
    if (!m_buffer) {
        return 0;
    }
    LONG value = 0;
    m_buffer->GetVolume(&value);
    if (value == DSBVOLUME_MAX) {
        return 100;
    }
    if (value == DSBVOLUME_MIN) {
        return 0;
    }
    return static_cast<uint32_t>(static_cast<int>(100 * std::pow(10.0, value / 100.0 / 20.0))) &
           0xFF;
}

int32_t DSoundRender::stagingFill() const {
    CAutoLock lock(m_mutex);
    return m_stagingFill;
}

uint32_t DSoundRender::stagingReadOffset() const {
    CAutoLock lock(m_mutex);
    return m_stagingReadOffset;
}

uint32_t DSoundRender::Reserved1() {
    return 0;
}

uint32_t DSoundRender::Reserved2() {
    return m_device ? 0 : AUDIO_RENDER_NO_DEVICE;
}

uint32_t DSoundRender::Reserved3(uint32_t) {
    return Reserved2();
}

uint32_t DSoundRender::Reserved4(uint32_t) {
    return Reserved2();
}

uint32_t DSoundRender::Reserved5(uint32_t) {
    return 0;
}

uint32_t DSoundRender::Reserved6() {
    return Reserved2();
}

uint32_t DSoundRender::Reserved7() {
    return 0;
}

uint32_t DSoundRender::Reserved8(uint32_t) {
    return 0x7fffffff;
}
