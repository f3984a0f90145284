#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"

#include <cstring>

#include "Common/CAutoLock.h"
#include "Common/Log.h"
#include "Common/TimeFunctions.h"
#include "TavoPlayerCore/Apm/ApmWrapper.h"
#include "TavoPlayerCore/CMediaOneMinPlay.h"
#include "TavoPlayerCore/CMediaRefClock.h"
#include "TavoPlayerCore/Decoder/CCTavoAudioConvert.h"
#include "TavoPlayerCore/Decoder/DecoderSlot.h"
#include "TavoPlayerCore/Decoder/IAudioDecoder.h"
#include "TavoPlayerCore/Decoder/IVideoDecoder.h"
#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayerThread.h"

using RIVO_Common_Player::CAutoLock;
using RIVO_Common_Player::sleepMs;

CTavoMediaPlayer::CTavoMediaPlayer()
    : m_playMode(PLAY_MODE_LIVE),
      m_videoThread(nullptr),
      m_audioThread(nullptr),
      m_audioDecoder(nullptr),
      m_videoDecoder(nullptr),
      m_audioRender(nullptr),
      m_videoRender(nullptr),
      m_hostContext(nullptr),
      m_videoRenderKind(0),
      m_videoWidth(0),
      m_videoHeight(0),
      m_audioSampleRate(0),
      m_audioChannels(0),
      m_audioBitsPerSample(0),
      m_windowParam(0),
      m_hWnd(nullptr),
      m_paused(false),
      m_displayOn(true),
      m_videoRunning(false),
      m_audioRunning(false),
      m_audioConvert(nullptr),
      m_clock(nullptr),
      m_audioChunkMax(0),
      m_audioSilencePending(0),
      m_audioOutputDelay(0),
      m_snapshotPicture{},
      m_volume(0),
      m_recorder(nullptr),
      m_frameStore(nullptr),
      m_storePlayback(false),
      m_storePaused(false),
      m_seekSeconds(0),
      m_speed(1.0f),
      m_apm(nullptr) {
    initAudio();
    initVideo();
    resetClock(1);
}

CTavoMediaPlayer::~CTavoMediaPlayer() {
    stop();
    releaseAudio();
    releaseVideo();
    destroyApmWrapper(&m_apm);
    delete m_clock;
    m_clock = nullptr;
    delete m_frameStore;
    m_frameStore = nullptr;
}

int32_t CTavoMediaPlayer::run() {
    RIVO_LOG("player start run!");
    stopLoop(m_audioRunning, m_audioThread);
    m_audioRunning = true;
    m_audioThread = new CTavoMediaPlayerThread(this, CTavoMediaPlayerThread::kAudioLoop);
    stopLoop(m_videoRunning, m_videoThread);
    m_videoRunning = true;
    m_videoThread = new CTavoMediaPlayerThread(this, CTavoMediaPlayerThread::kVideoLoop);
    return 0;
}

int32_t CTavoMediaPlayer::pause() {
    RIVO_LOG("player pause!");
    m_paused = true;
    if (m_playMode == PLAY_MODE_LIVE) {
        m_displayOn = false;
    }
    return 0;
}

int32_t CTavoMediaPlayer::resume() {
    RIVO_LOG("player resume!");
    m_paused = false;
    m_displayOn = true;
    return 0;
}

int32_t CTavoMediaPlayer::stop() {
    RIVO_LOG("player stop!");
    stopLoop(m_audioRunning, m_audioThread);
    stopLoop(m_videoRunning, m_videoThread);
    return 0;
}

int32_t CTavoMediaPlayer::noOp1(uint32_t) {
    return 0;
}

int32_t CTavoMediaPlayer::noOp2(uint32_t) {
    return 0;
}

int32_t CTavoMediaPlayer::setParam(int32_t id, void* arg) {
    switch (id) {
        case PARAM_WINDOW:
            m_hWnd = arg;
            return 0;
        case PARAM_AUDIO_FORMAT: {
            const AudioFormat* format = static_cast<const AudioFormat*>(arg);
            m_audioSampleRate = format->sampleRate;
            m_audioChannels = format->channels;
            m_audioBitsPerSample = format->bitsPerSample;
            return 0;
        }
        case PARAM_VIDEO_SIZE: {
            const int32_t* size = static_cast<const int32_t*>(arg);
            m_videoWidth = size[0];
            m_videoHeight = size[1];
            return 0;
        }
        case PARAM_PLAY_MODE:
            m_playMode = *static_cast<const int32_t*>(arg);
            return 0;
        default:
            return PLAYER_E_UNSUPPORTED;
    }
}

int32_t CTavoMediaPlayer::getParam(int32_t, void*) {
    return PLAYER_E_UNSUPPORTED;
}

int32_t CTavoMediaPlayer::setHostContext(HostContext* hostContext) {
    m_hostContext = hostContext;
    return 0;
}

void CTavoMediaPlayer::functionVideoThread() {
    for (;;) {
        if (!m_videoRunning) {
            releaseVideo();
            return;
        }
        if (!mediaSource()) {
            sleepMs(2);
            continue;
        }
        if (m_paused && m_playMode == PLAY_MODE_PLAYBACK) {
            sleepMs(10);
            continue;
        }
        if (!m_clock) {
            sleepMs(10);
            continue;
        }
        // Decoding and display arrive with the video pipeline; until then a
        // fetched sample is dropped.
        MediaSample sample{};
        if (fetchSample(TRACK_VIDEO, &sample) != 0) {
            sleepMs(10);
        }
    }
}

void CTavoMediaPlayer::functionAudioThread() {
    for (;;) {
        if (!m_audioRunning) {
            CAutoLock lock(&m_audioLock);
            releaseAudio();
            return;
        }
        if (!mediaSource()) {
            sleepMs(2);
            continue;
        }
        if (m_paused && m_playMode == PLAY_MODE_PLAYBACK) {
            sleepMs(10);
            continue;
        }
        // Decoding and playback arrive with the audio pipeline; until then a
        // fetched sample is dropped.
        MediaSample sample{};
        if (fetchSample(TRACK_AUDIO, &sample) != 0) {
            sleepMs(10);
        }
    }
}

void CTavoMediaPlayer::initAudio() {
    m_audioChunkMax = 0;
    m_audioSilencePending = 0;
    m_audioOutputDelay = 0;
    m_audioConvert = nullptr;
    m_audioDecoder = nullptr;
    m_audioRender = nullptr;
    m_volume = 0;
    createApmWrapper(&m_apm);
    if (m_apm) {
        m_apm->init();
    }
}

void CTavoMediaPlayer::initVideo() {
    m_videoRender = nullptr;
    m_videoDecoder = nullptr;
    std::memset(&m_snapshotPicture, 0, sizeof(m_snapshotPicture));
}

void CTavoMediaPlayer::releaseAudio() {
    destroyDecoder(&m_audioDecoder);
    delete m_audioConvert;
    m_audioConvert = nullptr;
}

void CTavoMediaPlayer::releaseVideo() {
    CAutoLock lock(&m_videoLock);
    destroyDecoder(&m_videoDecoder);
    for (uint8_t*& plane : m_snapshotPicture.data) {
        delete[] plane;
        plane = nullptr;
    }
}

int32_t CTavoMediaPlayer::resetClock(int32_t clockMode) {
    delete m_clock;
    m_clock = new CMediaRefClock();
    m_clock->SetMode(static_cast<uint32_t>(clockMode));
    return 0;
}

void CTavoMediaPlayer::stopLoop(std::atomic<bool>& running, CTavoMediaPlayerThread*& thread) {
    if (thread) {
        running = false;
        delete thread;
        thread = nullptr;
    }
    running = false;
}

int32_t CTavoMediaPlayer::fetchSample(int32_t track, MediaSample* sample) const {
    HostContext* context = m_hostContext;
    return context->mediaSource->getSample(context->sourceContext, track, sample);
}

MediaSourceFuncs* CTavoMediaPlayer::mediaSource() const {
    HostContext* context = m_hostContext;
    return context ? context->mediaSource : nullptr;
}
