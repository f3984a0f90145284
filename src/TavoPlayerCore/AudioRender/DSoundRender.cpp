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

// Largest block whose buffer DirectSound can create.
constexpr int64_t kMaxBlockSize = DSBSIZE_MAX / DSoundRender::kBlocks;
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
      m_event(nullptr),
      m_blockSize(0),
      m_writeOffset(0),
      m_ahead(0),
      m_lastTaken(0),
      m_deviceHold(0),
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
        m_writeOffset = 0;
        m_ahead = 0;
        m_lastTaken = 0;
        m_deviceHold = 0;
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
    desc.dwBufferBytes = kBlocks * blockSize;
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

    m_event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    // Without its event the buffer could not be fed at all.
    if (!m_event) {
        Close();
        return 1;
    }
    for (uint32_t i = 0; i < kBlocks; ++i) {
        m_positions[i].dwOffset = i * blockSize;
        m_positions[i].hEventNotify = m_event;
    }
    m_notify->SetNotificationPositions(kBlocks, m_positions);
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
    if (m_event) {
        CloseHandle(m_event);
        m_event = nullptr;
    }
    for (DSBPOSITIONNOTIFY& position : m_positions) {
        position = DSBPOSITIONNOTIFY();
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
    // The buffer plays once enough is staged to keep it going, that sound at
    // its start: started at once, it would play silence before any sound
    // written now. (Deliberately beyond the renderer's first design, which
    // started the buffer here.)
    CAutoLock lock(m_mutex);
    m_writeOffset = 0;
    m_ahead = 0;
    m_lastTaken = 0;
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
    if (m_playPending && m_stagingFill >= static_cast<int32_t>(kLeadBlocks * m_blockSize)) {
        m_playPending = false;
        fill_Locked(0, 0);
        m_buffer->Play(0, 0, DSBPLAY_LOOPING);
    }
}

uint32_t DSoundRender::queuedAhead_Locked(DWORD taken) const {
    const uint32_t size = kBlocks * m_blockSize;
    const uint32_t takenSince = (taken % size + size - m_lastTaken % size) % size;
    return takenSince < m_ahead ? m_ahead - takenSince : 0;
}

void DSoundRender::fill_Locked(DWORD play, DWORD taken) {
    const uint32_t size = kBlocks * m_blockSize;
    uint32_t ahead = queuedAhead_Locked(taken);
    if (ahead == 0) {
        // The device ran past the queue: the next block goes at the first
        // boundary it has not reached.
        const uint32_t next = (taken % size + m_blockSize - 1) / m_blockSize * m_blockSize;
        m_writeOffset = static_cast<int32_t>(next % size);
        ahead = next - taken % size;
    }
    const uint32_t inDevice = (taken % size + size - play % size) % size;
    if (inDevice > m_deviceHold) {
        m_deviceHold = inDevice;
    }
    // The last block stays unwritten, so that a full queue never reaches
    // round to the cursor.
    while (m_stagingFill >= static_cast<int32_t>(m_blockSize) && ahead + 2 * m_blockSize <= size) {
        writeBlock_Locked(m_staging + m_stagingReadOffset);
        m_stagingReadOffset += m_blockSize;
        m_stagingFill -= static_cast<int32_t>(m_blockSize);
        ahead += m_blockSize;
    }
    // Too little to play: silence, and a partial block waits.
    while (ahead < m_deviceHold + kLeadBlocks * m_blockSize && ahead + 2 * m_blockSize <= size) {
        writeBlock_Locked(nullptr);
        ahead += m_blockSize;
    }
    m_ahead = ahead;
    m_lastTaken = taken;
}

void DSoundRender::writeBlock_Locked(const uint8_t* sound) {
    LPVOID region = nullptr;
    DWORD regionBytes = 0;
    if (SUCCEEDED(m_buffer->Lock(m_writeOffset, m_blockSize, &region, &regionBytes, nullptr,
                                 nullptr, 0))) {
        if (sound) {
            std::memcpy(region, sound, regionBytes);
        } else {
            std::memset(region, 0, regionBytes);
        }
        m_buffer->Unlock(region, regionBytes, nullptr, 0);
    }
    m_writeOffset = static_cast<int32_t>((m_writeOffset + m_blockSize) % (kBlocks * m_blockSize));
    m_blocksWritten.push_back(m_writeOffset);
}

uint32_t DSoundRender::FillNextBlock() {
    if (!m_device) {
        return AUDIO_RENDER_NO_DEVICE;
    }
    const DWORD waited = WaitForMultipleObjects(1, &m_event, FALSE, kNotificationWaitMs);
    if (waited != WAIT_OBJECT_0) {
        return waited == WAIT_TIMEOUT ? 0 : 1;
    }
    DWORD play = 0;
    DWORD taken = 0;
    if (FAILED(m_buffer->GetCurrentPosition(&play, &taken))) {
        return 0;
    }
    std::vector<int32_t> written;
    {
        CAutoLock lock(m_mutex);
        if (!m_playPending) {
            fill_Locked(play, taken);
        }
        written.swap(m_blocksWritten);
    }
    // Standard output may block (a full pipe); the player's writes must not
    // wait for it.
    for (int32_t offset : written) {
        std::printf("this is %7d of buffer\n", offset);
    }
    if (!written.empty()) {
        std::fflush(stdout);
    }
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
    uint64_t queued = static_cast<uint64_t>(m_stagingFill);
    if (!m_playPending) {
        const uint32_t size = kBlocks * m_blockSize;
        queued += queuedAhead_Locked(taken) + (taken % size + size - play % size) % size;
    }
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
