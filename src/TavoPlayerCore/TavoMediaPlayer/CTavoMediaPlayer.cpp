#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include <cstdio>
#include <cstring>
#include <new>

#include "Common/CAutoLock.h"
#include "Common/Log.h"
#include "Common/TimeFunctions.h"
#include "TavoPlayerCore/Apm/ApmWrapper.h"
#include "TavoPlayerCore/AudioRender/IAudioRender.h"
#include "TavoPlayerCore/CMediaOneMinPlay.h"
#include "TavoPlayerCore/CMediaRefClock.h"
#include "TavoPlayerCore/Decoder/CAACDecoder.h"
#include "TavoPlayerCore/Decoder/CCTavoAudioConvert.h"
#include "TavoPlayerCore/Decoder/CG711Decoder.h"
#include "TavoPlayerCore/Decoder/CH264Decoder.h"
#include "TavoPlayerCore/Decoder/CH265Decoder.h"
#include "TavoPlayerCore/Decoder/CMP3Decoder.h"
#include "TavoPlayerCore/Decoder/DecoderSlot.h"
#include "TavoPlayerCore/Decoder/IAudioDecoder.h"
#include "TavoPlayerCore/Decoder/IVideoDecoder.h"
#include "TavoPlayerCore/MediaSampleRecord.h"
#include "TavoPlayerCore/Record/CMediaRecord.h"
#include "TavoPlayerCore/TavoMediaPlayer/CJpegSnapshot.h"
#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayerThread.h"
#include "TavoPlayerCore/VideoRender/IVideoRender.h"

using RIVO_Common_Player::CAutoLock;
using RIVO_Common_Player::sleepMs;
using RIVO_Common_Player::timeMs;

namespace {

// The live catch-up speed and the normal one.
constexpr float kCatchUpSpeed = 1.2f;
constexpr float kNormalSpeed = 1.0f;
// Assumed time between handing audio to the renderer and hearing it.
constexpr uint32_t kAudioOutputDelayMs = 500;
// Audio further than this from the clock (plus the output delay) is corrected.
constexpr uint32_t kAudioDriftMs = 200;
// Longest wait of the first picture for the audio loop's first position.
constexpr uint32_t kAudioStartWaitMs = 1000;
// Timestamps this close to zero while the other side is far from it mean a restart.
constexpr uint32_t kNearZeroMs = 5000;
constexpr uint32_t kNoTimestamp = 0xFFFFFFFFu;

// True when time a lies before time b on the 32-bit millisecond circle, so a
// wait never runs for ~49 days when one of the two has wrapped and the other not.
bool isBefore(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) < 0;
}

}  // namespace

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
      m_audioChunkMax(0),
      m_audioSilencePending(0),
      m_audioOutputDelay(0),
      m_snapshotPicture{},
      m_renderWidth(0),
      m_renderHeight(0),
      m_keptPicture{},
      m_volume(0),
      m_recorder(nullptr),
      m_audioCodecType(CODEC_NONE),
      m_storePlayback(false),
      m_storePaused(false),
      m_seekSeconds(0),
      m_speed(kNormalSpeed),
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
    std::atomic_store(&m_clock, std::shared_ptr<CMediaRefClock>());
    setRecording(0);
    std::atomic_store(&m_frameStore, std::shared_ptr<CMediaOneMinPlay>());
}

// ---- Lifecycle --------------------------------------------------------------

int32_t CTavoMediaPlayer::run() {
    RIVO_LOG("player start run!");
    stopLoop(m_audioRunning, m_audioThread);
    m_audioRunning = true;
    m_audioThread =
        new (std::nothrow) CTavoMediaPlayerThread(this, CTavoMediaPlayerThread::kAudioLoop);
    stopLoop(m_videoRunning, m_videoThread);
    m_videoRunning = true;
    m_videoThread =
        new (std::nothrow) CTavoMediaPlayerThread(this, CTavoMediaPlayerThread::kVideoLoop);
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

int32_t CTavoMediaPlayer::setHostContext(HostContext* hostContext) {
    m_hostContext = hostContext;
    return 0;
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
    std::memset(&m_keptPicture, 0, sizeof(m_keptPicture));
}

void CTavoMediaPlayer::releaseAudio() {
    CAutoLock lock(&m_audioLock);
    delete m_audioRender;
    m_audioRender = nullptr;
    destroyDecoder(&m_audioDecoder);
    delete m_audioConvert;
    m_audioConvert = nullptr;
}

void CTavoMediaPlayer::releaseVideo() {
    CAutoLock lock(&m_videoLock);
    destroyDecoder(&m_videoDecoder);
    std::memset(&m_keptPicture, 0, sizeof(m_keptPicture));
    delete m_videoRender;
    m_videoRender = nullptr;
    m_renderWidth = 0;
    m_renderHeight = 0;
    freeSnapshotPlanes_Locked();
}

int32_t CTavoMediaPlayer::resetClock(int32_t clockMode) {
    std::shared_ptr<CMediaRefClock> fresh(new CMediaRefClock());
    fresh->SetMode(static_cast<uint32_t>(clockMode));
    std::atomic_store(&m_clock, fresh);
    return 0;
}

void CTavoMediaPlayer::stopLoop(std::atomic<bool>& running, CTavoMediaPlayerThread*& thread) {
    running = false;
    delete thread;
    thread = nullptr;
}

std::shared_ptr<CMediaRefClock> CTavoMediaPlayer::clock() const {
    return std::atomic_load(&m_clock);
}

std::shared_ptr<CMediaOneMinPlay> CTavoMediaPlayer::frameStore() const {
    return std::atomic_load(&m_frameStore);
}

// ---- Host access --------------------------------------------------------------

MediaSourceFuncs* CTavoMediaPlayer::mediaSource() const {
    HostContext* context = m_hostContext;
    return context ? context->mediaSource : nullptr;
}

int32_t CTavoMediaPlayer::fetchSample(int32_t track, MediaSample* sample) const {
    HostContext* context = m_hostContext;
    MediaSourceFuncs* source = context ? context->mediaSource : nullptr;
    if (!source || !source->getSample) {
        return PLAYER_E_FAIL;
    }
    return source->getSample(context->sourceContext, track, sample);
}

uint32_t CTavoMediaPlayer::hostNewestTime(int32_t track) const {
    HostContext* context = m_hostContext;
    MediaSourceFuncs* source = context ? context->mediaSource : nullptr;
    uint32_t newest = 0;
    if (source && source->getMaxTs) {
        source->getMaxTs(context->sourceContext, track, &newest);
    }
    return newest;
}

bool CTavoMediaPlayer::hostMaxDelay(uint32_t* delayMs) const {
    HostContext* context = m_hostContext;
    MediaSourceFuncs* source = context ? context->mediaSource : nullptr;
    return source && source->getMaxDelay &&
           source->getMaxDelay(context->sourceContext, delayMs) == 0;
}

void CTavoMediaPlayer::sendEvent(int32_t code, const char* text) const {
    HostContext* context = m_hostContext;
    if (context && context->eventSink && context->eventContext) {
        context->eventSink->onEvent(context->eventContext, code, text);
    }
}

// ---- Commands -----------------------------------------------------------------

int32_t CTavoMediaPlayer::setParam(int32_t id, void* arg) {
    if (id < PARAM_WINDOW || id > PARAM_RENDER_FLOAT) {
        return PLAYER_E_UNSUPPORTED;
    }
    switch (id) {
        case PARAM_WINDOW:
            return setWindow(arg);
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
        case PARAM_CLOCK_MODE:
            return resetClock(*static_cast<const int32_t*>(arg));
        case PARAM_RENDER_KIND:
            m_videoRenderKind = *static_cast<const int32_t*>(arg);
            return 0;
        case PARAM_WINDOW_PARAM: {
            m_windowParam = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(arg));
            CAutoLock lock(&m_videoLock);
            if (m_videoRender) {
                m_videoRender->SetWindow(m_hWnd, m_windowParam);
            }
            return 0;
        }
        case PARAM_VOLUME: {
            CAutoLock lock(&m_audioLock);
            m_volume = *static_cast<const int32_t*>(arg);
            if (m_audioRender) {
                m_audioRender->SetVolume(static_cast<uint32_t>(m_volume));
            }
            return 0;
        }
        case PARAM_FRAME_STORE:
            return setFrameStore(*static_cast<const int32_t*>(arg));
        case PARAM_STORE_PLAYBACK:
            return setStorePlayback(*static_cast<const int32_t*>(arg));
        case PARAM_STORE_SEEK:
            m_seekSeconds = *static_cast<const uint32_t*>(arg);
            return 0;
        case PARAM_SPEED: {
            const float speed = *static_cast<const float*>(arg);
            m_speed = speed;
            if (std::shared_ptr<CMediaRefClock> current = clock()) {
                current->SetSpeed(speed);
                RIVO_LOG("speed fast =%f", static_cast<double>(speed));
            }
            return 0;
        }
        case PARAM_STORE_PAUSE:
            if (frameStore()) {
                m_storePaused = *static_cast<const int32_t*>(arg) != 0;
            }
            return 0;
        case PARAM_REPAINT: {
            CAutoLock lock(&m_videoLock);
            if (m_videoRender) {
                m_videoRender->RepaintLastPicture();
            }
            return 0;
        }
        case PARAM_RECORD:
            return setRecording(*static_cast<const int32_t*>(arg));
        case PARAM_RECORD_FILE: {
            CAutoLock lock(&m_videoLock);
            if (CMediaRecord* recorder = m_recorder) {
                recorder->setFileName(static_cast<const char*>(arg));
            }
            return 0;
        }
        case PARAM_RENDER_FLOAT: {
            // The video loop may replace the renderer at any moment, so its
            // pointer is only read under the video lock.
            CAutoLock lock(&m_videoLock);
            if (m_videoRender) {
                m_videoRender->SetFloatOption(*static_cast<const float*>(arg));
            }
            return 0;
        }
        default:
            return PLAYER_E_UNSUPPORTED;
    }
}

int32_t CTavoMediaPlayer::getParam(int32_t id, void* arg) {
    switch (id) {
        case PARAM_SNAPSHOT:
            return takeSnapshot(static_cast<const char*>(arg));
        case PARAM_STORE_DURATION:
            if (std::shared_ptr<CMediaOneMinPlay> store = frameStore()) {
                store->getDuration(static_cast<uint32_t*>(arg));
            }
            return 0;
        default:
            return PLAYER_E_UNSUPPORTED;
    }
}

int32_t CTavoMediaPlayer::setWindow(void* window) {
    m_hWnd = window;
    {
        CAutoLock lock(&m_videoLock);
        if (m_videoRender) {
            m_videoRender->SetWindow(window, m_windowParam);
        }
    }
    CAutoLock lock(&m_audioLock);
    if (m_audioRender) {
        m_audioRender->SetWindow(window);
    }
    return 0;
}

int32_t CTavoMediaPlayer::setFrameStore(int32_t on) {
    if (on != 0) {
        std::atomic_store(&m_frameStore, std::make_shared<CMediaOneMinPlay>());
    }
    return 0;
}

int32_t CTavoMediaPlayer::setStorePlayback(int32_t on) {
    std::shared_ptr<CMediaOneMinPlay> store = frameStore();
    if (!store) {
        return 0;
    }
    if (on != 0) {
        m_storePlayback = true;
        store->moveVideoToPlayList();
        store->moveAudioToPlayList();
    } else {
        m_storePlayback = false;
    }
    return 0;
}

int32_t CTavoMediaPlayer::setRecording(int32_t on) {
    CAutoLock lock(&m_videoLock);
    CMediaRecord* recorder = m_recorder;
    if (on != 0 && !recorder) {
        recorder = new (std::nothrow) CMediaRecord();
        // Published before the codec is read: an audio description arriving
        // meanwhile is either read here or sees the recorder, waits for the
        // lock and reaches it.
        m_recorder = recorder;
        const int32_t audioCodec = m_audioCodecType;
        if (recorder && audioCodec != CODEC_NONE) {
            recorder->setAudioCodec(audioCodec);
        }
    } else if (on == 0 && recorder) {
        m_recorder = nullptr;
        recorder->stopRecord();
        delete recorder;
    }
    return 0;
}

void CTavoMediaPlayer::recordSample(int32_t track, const MediaSample& sample) {
    // The video loop holds m_videoLock while it decodes a picture or sets up
    // a renderer; the audio loop must not stall behind it for nothing.
    if (!m_recorder) {
        return;
    }
    CAutoLock lock(&m_videoLock);
    if (CMediaRecord* recorder = m_recorder) {
        recorder->input(&sample, static_cast<uint32_t>(track), 0);
    }
}

int32_t CTavoMediaPlayer::takeSnapshot(const char* path) {
    CAutoLock lock(&m_videoLock);
    if (!m_videoRender || !m_snapshotPicture.data[0] ||
        m_videoRender->GetLastPicture(&m_snapshotPicture) != 0) {
        return PLAYER_E_FAIL;
    }
    return CJpegSnapshot::write(m_snapshotPicture, m_renderWidth, m_renderHeight, path);
}

// ---- Stream descriptions --------------------------------------------------------

int32_t CTavoMediaPlayer::readFlagData(MediaSample* sample) {
    RIVO_LOG("read flag start!");
    if (!sample) {
        RIVO_LOG("read flag arg error!");
        return PLAYER_E_INVALIDARG;
    }
    if (!(sample->ulFlags & MEDIA_FLAG_DESCRIPTION)) {
        RIVO_LOG("read flag end!");
        return 0;
    }
    const StreamInfo* info = sample->pStreamInfo;
    if (info && info->kind == STREAM_AUDIO) {
        AudioFormat format{info->rateOrWidth, static_cast<uint16_t>(info->formatOrHeight & 0xFFFF),
                           static_cast<uint16_t>(info->formatOrHeight >> 16)};
        if (info->codecType != CODEC_NONE &&
            (format.sampleRate == 0 || format.channels == 0 || format.bitsPerSample == 0)) {
            // Every duration of the audio path divides by these values.
            RIVO_LOG("audio description refused: samplerate = %u ,channel = %u ,samplebit =%u",
                     format.sampleRate, format.channels, format.bitsPerSample);
            createAudioDecoder(CODEC_NONE, 0, 0);
            setRecordedAudioCodec(CODEC_NONE);
        } else {
            setParam(PARAM_AUDIO_FORMAT, &format);
            createAudioDecoder(info->codecType, info->rateOrWidth, info->formatOrHeight);
            setRecordedAudioCodec(info->codecType);
            RIVO_LOG("audio codec type = %d ,samplerate = %d ,channel = %d ,samplebit =%d",
                     info->codecType, format.sampleRate, format.channels, format.bitsPerSample);
        }
    } else if (info && info->kind == STREAM_VIDEO) {
        createVideoDecoder(info->codecType);
        int32_t size[2] = {static_cast<int32_t>(info->rateOrWidth),
                           static_cast<int32_t>(info->formatOrHeight)};
        setParam(PARAM_VIDEO_SIZE, size);
        RIVO_LOG("video codec type = %d", info->codecType);
    }
    RIVO_LOG("read flag end!");
    return 1;
}

void CTavoMediaPlayer::setRecordedAudioCodec(int32_t codecType) {
    m_audioCodecType = codecType;
    if (!m_recorder) {
        return;
    }
    CAutoLock lock(&m_videoLock);
    CMediaRecord* recorder = m_recorder;
    if (recorder && codecType != CODEC_NONE) {
        recorder->setAudioCodec(codecType);
    }
}

int32_t CTavoMediaPlayer::createAudioDecoder(int32_t codecType, uint32_t sampleRate,
                                             uint32_t channelWord) {
    CAutoLock lock(&m_audioLock);
    destroyDecoder(&m_audioDecoder);
    switch (codecType) {
        case CODEC_NONE:
            return 0;
        case AUDIO_AAC:
            createAACDecoder(&m_audioDecoder);
            return 1;
        case AUDIO_MP3:
            createMP3Decoder(&m_audioDecoder);
            return 1;
        case AUDIO_G711A:
            createG711Decoder(&m_audioDecoder, 1, sampleRate, channelWord);
            return 1;
        case AUDIO_G711U:
            createG711Decoder(&m_audioDecoder, 2, sampleRate, channelWord);
            return 1;
        default:
            return PLAYER_E_INVALIDARG;
    }
}

int32_t CTavoMediaPlayer::createVideoDecoder(int32_t codecType) {
    CAutoLock lock(&m_videoLock);
    destroyDecoder(&m_videoDecoder);
    // The kept picture lives in the old decoder's frame.
    std::memset(&m_keptPicture, 0, sizeof(m_keptPicture));
    if (codecType == CODEC_NONE) {
        return 0;
    }
    if (codecType == VIDEO_H265) {
        createH265Decoder(&m_videoDecoder);
    } else {
        createH264Decoder(&m_videoDecoder);
    }
    return 1;
}

// ---- Video pipeline -----------------------------------------------------------

void CTavoMediaPlayer::idleInReplay() {
    // A paused or fully read replay would otherwise spin a core and write
    // several log entries per turn; a millisecond keeps the loop responsive.
    sleepMs(1);
}

void CTavoMediaPlayer::functionVideoThread() {
    MediaSample sample;
    initMediaSample(&sample);
    bool storeStarted = false;
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
        std::shared_ptr<CMediaRefClock> clock = this->clock();
        if (!clock) {
            sleepMs(10);
            continue;
        }
        // The replay switch and the store are read once per pass: a sample taken
        // from the store must stay valid until the pass has shown it.
        const bool replay = m_storePlayback;
        const std::shared_ptr<CMediaOneMinPlay> store = frameStore();
        const uint32_t newestMs = hostNewestTime(TRACK_VIDEO);
        if (clock->HasRefTime() && m_playMode == PLAY_MODE_LIVE && !replay) {
            controlLatency(clock.get(), newestMs);
        }

        const bool fetched = fetchSample(TRACK_VIDEO, &sample) == 0;
        if (!fetched && !replay) {
            sleepMs(10);
            continue;
        }
        if (readFlagData(&sample) != 0 && !replay) {
            continue;
        }

        if (store) {
            if (fetched) {
                store->putSample(TRACK_VIDEO, &sample);
            }
            if (!replay) {
                if (storeStarted) {
                    clock->Reset();
                    storeStarted = false;
                }
                store->clearVideoPlayList();
            } else {
                if (!storeStarted) {
                    clock->Reset();
                    RIVO_LOG("min player start");
                    storeStarted = true;
                }
                if (m_storePaused) {
                    idleInReplay();
                    continue;
                }
                const uint32_t seekSeconds = m_seekSeconds.exchange(0);
                if (seekSeconds != 0) {
                    store->seekTo(seekSeconds);
                    clock->Reset();
                }
                if (store->getSample(TRACK_VIDEO, &sample) != 0) {
                    idleInReplay();
                    continue;
                }
                uint32_t position = 0;
                store->getPlayPosition(&position);
                char text[16];
                std::snprintf(text, sizeof(text), "%d", static_cast<int>(position));
                sendEvent(PLAYER_EVENT_REPLAY_POSITION, text);
            }
        }

        RIVO_LOG("video thread getSample ulTime =%u AVFrameSeq = %u,ulsize=%u", sample.ulTime,
                 sample.AVFrameSeq, sample.ulsize);
        if (!m_videoRunning) {
            releaseVideo();
            return;
        }
        if (clock->HasRefTime()) {
            waitForClock(clock.get(), sample);
        } else {
            waitForAudioPosition(clock.get(), sample);
        }
        if (sample.pData) {
            CAutoLock lock(&m_videoLock);
            if (video_decode_frame(&sample, &m_keptPicture) != 0) {
                RIVO_LOG("video_decode_frame faild!");
                continue;
            }
        }
        CAutoLock lock(&m_videoLock);
        if (m_keptPicture.data[0]) {
            if (!replay) {
                recordSample(TRACK_VIDEO, sample);
            }
            video_render_frame(&m_keptPicture, (sample.ulFlags & MEDIA_FLAG_NO_DISPLAY) != 0);
        }
    }
}

void CTavoMediaPlayer::controlLatency(CMediaRefClock* clock, uint32_t newestMs) {
    float speed = clock->GetSpeed();
    const uint32_t nPlaying = clock->GetTime(0);
    uint32_t uMaxDelay = 0;
    if (static_cast<double>(speed) == static_cast<double>(kCatchUpSpeed)) {
        if (hostMaxDelay(&uMaxDelay)) {
            uMaxDelay = uMaxDelay * 18u / 10u;
            const uint32_t threshold = uMaxDelay > 500u ? uMaxDelay : 500u;
            if (threshold + nPlaying + 100u > newestMs) {
                speed = kNormalSpeed;
            }
        }
    } else if (newestMs > nPlaying + 800u && hostMaxDelay(&uMaxDelay)) {
        uMaxDelay = uMaxDelay * 18u / 10u;
        if ((newestMs - nPlaying) * 8u / 10u > uMaxDelay + 500u) {
            speed = kCatchUpSpeed;
        }
    }
    RIVO_LOG("uMaxTs = %u, nPlaying =%u uMaxDelay = %u", newestMs, nPlaying, uMaxDelay);
    clock->SetSpeed(speed);
}

void CTavoMediaPlayer::waitForAudioPosition(CMediaRefClock* clock, const MediaSample& sample) {
    // The audio loop reports its first position only once the sound device
    // is open, which may take longer than the first video decode. A picture
    // shown before then starts the clock without the sound, and the sound
    // stays behind the pictures for the whole session. So while the host
    // holds audio, give the audio loop a moment to report.
    const uint32_t waitStart = timeMs();
    uint32_t t = clock->GetAudioTime();
    while (t == 0 && timeMs() - waitStart < kAudioStartWaitMs && hostNewestTime(TRACK_AUDIO) != 0 &&
           m_videoRunning) {
        sleepMs(2);
        t = clock->GetAudioTime();
    }
    while (t != 0 && isBefore(t, sample.ulTime) && m_videoRunning) {
        sleepMs(2);
        t = clock->GetAudioTime();
    }
    if (!(sample.ulFlags & MEDIA_FLAG_NO_DISPLAY)) {
        sendEvent(PLAYER_EVENT_FIRST_PICTURE, "");
    }
}

void CTavoMediaPlayer::waitForClock(CMediaRefClock* clock, const MediaSample& sample) {
    uint32_t t = clock->GetTime(0);
    while (isBefore(t, sample.ulTime) && m_videoRunning) {
        sleepMs(2);
        t = clock->GetTime(0);
    }
}

int32_t CTavoMediaPlayer::video_decode_frame(const MediaSample* sample, VideoPicture* picture) {
    CAutoLock lock(&m_videoLock);
    RIVO_LOG("video deocde start");
    if (!m_videoDecoder || !sample->pData) {
        RIVO_LOG("video deocde arg error!");
        return PLAYER_E_INVALIDARG;
    }
    int32_t result = PLAYER_E_FAIL;
    AVFrame* frame = nullptr;
    if (m_videoDecoder->decode(sample->pData, static_cast<int>(sample->ulsize)) &&
        m_videoDecoder->getFrame(&frame) && frame) {
        int32_t size[2] = {frame->width, frame->height};
        const bool firstRenderer = !m_videoRender;
        // A description may already have stored the new size, so the picture
        // is compared with the size the renderer was set up for.
        if (firstRenderer || m_renderWidth != frame->width || m_renderHeight != frame->height) {
            if (!firstRenderer) {
                setParam(PARAM_VIDEO_SIZE, size);
            }
            const int32_t r = createVideoRender(size);
            if (r != 0) {
                delete m_videoRender;
                m_videoRender = nullptr;
                RIVO_LOG("create video render error!");
                return r;
            }
            if (firstRenderer) {
                setParam(PARAM_VIDEO_SIZE, size);
            }
            m_renderWidth = frame->width;
            m_renderHeight = frame->height;
            // The snapshot planes follow the renderer, so they always fit its pictures.
            allocSnapshotPlanes(frame);
        }
        std::memset(picture, 0, sizeof(*picture));
        for (int i = 0; i < 3; ++i) {
            picture->data[i] = frame->data[i];
            picture->linesize[i] = frame->linesize[i];
        }
        picture->time = sample->ulTime;
        result = 0;
    }
    RIVO_LOG("video deocde end!");
    return result;
}

int32_t CTavoMediaPlayer::createVideoRender(const int32_t* size) {
    CAutoLock lock(&m_videoLock);
    delete m_videoRender;
    m_videoRender = nullptr;
    const int32_t kind = m_videoRenderKind;
    const bool created = kind == kRenderTypeDDraw ? createDDrawRender(&m_videoRender)
                         : kind == kRenderTypeD3D ? createD3DRender(&m_videoRender)
                                                  : createD3DTXRender(&m_videoRender);
    if (!created) {
        return PLAYER_E_FAIL;
    }
    void* window = m_hWnd;
    if (!window) {
        return PLAYER_E_INVALIDARG;
    }
    m_videoRender->SetWindow(window, m_windowParam);
    m_videoRender->SetFormat(static_cast<uint32_t>(size[0]), static_cast<uint32_t>(size[1]),
                             kPixelFormatYUV420);
    if (std::shared_ptr<CMediaRefClock> current = clock()) {
        m_videoRender->SetRefClock(current.get());
    }
    HostContext* context = m_hostContext;
    if (context && context->eventSink && context->eventContext) {
        m_videoRender->SetHostPair(context->eventSink, context->eventContext);
    }
    return 0;
}

void CTavoMediaPlayer::video_render_frame(const VideoPicture* picture, bool noDisplay) {
    CAutoLock lock(&m_videoLock);
    if (!m_videoRender || !m_displayOn || noDisplay) {
        return;
    }
    int32_t r = m_videoRender->RenderPicture(picture);
    while (r == 1 && m_videoRunning && m_displayOn) {
        r = m_videoRender->RenderPicture(picture);
        sleepMs(1);
    }
    if (std::shared_ptr<CMediaRefClock> current = clock()) {
        current->UpdateRefTime(static_cast<uint32_t>(picture->time));
    }
    RIVO_LOG("UpdateByVideoRender = %u", static_cast<uint32_t>(picture->time));
}

int32_t CTavoMediaPlayer::allocSnapshotPlanes(const AVFrame* frame) {
    CAutoLock lock(&m_videoLock);
    freeSnapshotPlanes_Locked();
    if (!frame) {
        return 1;
    }
    const int32_t height = frame->height;
    uint8_t* planes[3] = {nullptr, nullptr, nullptr};
    for (int i = 0; i < 3; ++i) {
        planes[i] = new (std::nothrow)
            uint8_t[static_cast<size_t>(frame->linesize[i]) * static_cast<size_t>(height)];
        if (!planes[i]) {
            for (uint8_t* plane : planes) {
                delete[] plane;
            }
            return 1;
        }
    }
    for (int i = 0; i < 3; ++i) {
        m_snapshotPicture.data[i] = planes[i];
    }
    return 0;
}

void CTavoMediaPlayer::freeSnapshotPlanes_Locked() {
    for (uint8_t*& plane : m_snapshotPicture.data) {
        delete[] plane;
        plane = nullptr;
    }
}

// ---- Audio pipeline -----------------------------------------------------------

void CTavoMediaPlayer::functionAudioThread() {
    MediaSample sample;
    initMediaSample(&sample);
    uint8_t* silence = nullptr;
    uint32_t lastTimestamp = kNoTimestamp;
    uint32_t lastDuration = 0;
    while (m_audioRunning) {
        if (!mediaSource()) {
            sleepMs(2);
            continue;
        }
        if (m_paused && m_playMode == PLAY_MODE_PLAYBACK) {
            sleepMs(10);
            continue;
        }
        if (m_audioSilencePending > 0 && m_displayOn) {
            const uint32_t n = static_cast<uint32_t>(m_audioSilencePending) < m_audioChunkMax
                                   ? static_cast<uint32_t>(m_audioSilencePending)
                                   : m_audioChunkMax;
            if (!silence) {
                silence = new uint8_t[m_audioChunkMax];
            }
            std::memset(silence, 0, n);
            audio_render_frame(silence, n, 0);
            m_audioSilencePending -= static_cast<int32_t>(n);
            std::shared_ptr<CMediaRefClock> current = clock();
            RIVO_LOG("need add size =%d,rndA Size: %d, PlayTime: %u, System Time: %d",
                     m_audioSilencePending, static_cast<int>(n), current ? current->GetTime(0) : 0,
                     static_cast<int>(timeMs()));
            continue;
        }

        // The replay switch and the store are read once per pass: a sample taken
        // from the store must stay valid until the pass has decoded it.
        const bool replay = m_storePlayback;
        const std::shared_ptr<CMediaOneMinPlay> store = frameStore();
        const bool fetched = fetchSample(TRACK_AUDIO, &sample) == 0;
        if (!fetched && !replay) {
            sleepMs(10);
            continue;
        }
        if (readFlagData(&sample) != 0 && !replay) {
            continue;
        }
        if (store) {
            if (fetched) {
                store->putSample(TRACK_AUDIO, &sample);
            }
            if (replay) {
                if (m_storePaused || store->getSample(TRACK_AUDIO, &sample) != 0) {
                    idleInReplay();
                    continue;
                }
            } else {
                store->clearAudioPlayList();
            }
        }
        if (fetched && !replay) {
            recordSample(TRACK_AUDIO, sample);
        }
        RIVO_LOG("audio thread getSample ulTime =%u AVFrameSeq = %u ulsize=%u", sample.ulTime,
                 sample.AVFrameSeq, sample.ulsize);

        uint8_t* pcm = nullptr;
        uint32_t size = 0;
        uint32_t pts = 0;
        if (audio_deocde_frame(&sample, &pcm, &size, &pts) != 0 || !pcm || size == 0 ||
            !m_displayOn) {
            continue;
        }

        // A block that does not advance by at least min(last duration, 10 ms),
        // and is not more than a second behind, continues where the last one ended.
        uint32_t t = pts;
        if (lastTimestamp != kNoTimestamp) {
            const uint32_t d = lastDuration < 10u ? lastDuration : 10u;
            if (t < lastTimestamp + d && t + 1000u > lastTimestamp) {
                t = lastTimestamp + lastDuration;
            }
        }

        if (m_audioChunkMax == 0 || size <= m_audioChunkMax) {
            audio_render_frame(pcm, size, t);
        } else {
            const uint8_t* rest = pcm;
            uint32_t restSize = size;
            uint32_t pieceTime = t;
            while (restSize > m_audioChunkMax && m_audioRunning && m_displayOn) {
                audio_render_frame(rest, m_audioChunkMax, pieceTime);
                rest += m_audioChunkMax;
                pieceTime += audioDurationMs(m_audioChunkMax);
                restSize -= m_audioChunkMax;
            }
            audio_render_frame(rest, restSize, pieceTime);
        }
        lastTimestamp = t;
        lastDuration = audioDurationMs(size);
    }
    delete[] silence;
    // Silence owed to this run's renderer means nothing to the next run's.
    m_audioSilencePending = 0;
    releaseAudio();
}

int32_t CTavoMediaPlayer::audio_deocde_frame(const MediaSample* sample, uint8_t** pcm,
                                             uint32_t* size, uint32_t* pts) {
    CAutoLock lock(&m_audioLock);
    RIVO_LOG("audio decode start!");
    if (!m_audioDecoder || !sample) {
        RIVO_LOG("audio decode arg error!");
        return PLAYER_E_FAIL;
    }
    int32_t result = PLAYER_E_FAIL;
    AVFrame* frame = nullptr;
    if (m_audioDecoder->decode(sample->pData, static_cast<int>(sample->ulsize)) &&
        m_audioDecoder->getFrame(&frame) && frame) {
        if (!m_audioConvert) {
            m_audioConvert = new (std::nothrow) CCTavoAudioConvert();
            if (m_audioConvert) {
                m_audioConvert->init(frame, AV_SAMPLE_FMT_S16);
            }
        }
        if (!m_audioRender) {
            const AudioFormat format{static_cast<uint32_t>(frame->sample_rate),
                                     static_cast<uint16_t>(frame->ch_layout.nb_channels), 16};
            const int32_t r = openAudioRender(&format);
            if (r != 0) {
                delete m_audioRender;
                m_audioRender = nullptr;
                RIVO_LOG("create  Audio render error!");
                return r;
            }
        }
        if (m_audioConvert) {
            uint8_t* block = nullptr;
            result = m_audioConvert->convert(frame, &block, size);
            if (m_apm && m_apm->process(block, static_cast<int32_t>(*size)) == 0) {
                *pcm = m_apm->getOutput();
            } else {
                result = PLAYER_E_FAIL;
            }
            if (result == 0) {
                *pts = sample->ulTime;
            }
        }
    }
    RIVO_LOG("Audio decode end! iRet value=%d", result);
    return result;
}

int32_t CTavoMediaPlayer::openAudioRender(const AudioFormat* format) {
    CAutoLock lock(&m_audioLock);
    delete m_audioRender;
    m_audioRender = nullptr;
    if (createAudioRender(&m_audioRender)) {
        void* window = m_hWnd;
        if (!window) {
            return PLAYER_E_INVALIDARG;
        }
        m_audioRender->SetWindow(window);
        m_audioRender->SetFormat(format);
        m_audioRender->SetVolume(100);
        m_audioOutputDelay = kAudioOutputDelayMs;
        m_audioRender->Start();
    }
    m_audioChunkMax = static_cast<uint32_t>(m_audioChannels) * m_audioSampleRate *
                      static_cast<uint32_t>(m_audioBitsPerSample) / 50u;
    return 0;
}

int32_t CTavoMediaPlayer::audio_render_frame(const uint8_t* data, uint32_t size, uint32_t pts) {
    CAutoLock lock(&m_audioLock);
    std::shared_ptr<CMediaRefClock> clock = this->clock();
    const uint32_t playing = clock ? clock->GetTime(0) : 0;
    const bool farApartNearZero = (playing < kNearZeroMs && playing + kNearZeroMs < pts) ||
                                  (pts < kNearZeroMs && pts + kNearZeroMs < playing);
    if (playing != 0 && pts != 0 && !farApartNearZero) {
        const uint32_t expected = playing + m_audioOutputDelay;
        const uint64_t bytesPerSecondX8 =
            static_cast<uint64_t>(m_audioChannels) * m_audioBitsPerSample * m_audioSampleRate;
        const uint32_t frameBytes = audioFrameBytes();
        if (pts + kAudioDriftMs < expected) {
            if (hostNewestTime(TRACK_AUDIO) > expected) {
                uint32_t drop = static_cast<uint32_t>((expected - pts) * bytesPerSecondX8 / 8000u);
                if (frameBytes > 0 && drop > frameBytes) {
                    drop -= drop % frameBytes;
                }
                if (drop >= size) {
                    return 0;
                }
                size -= drop;
            }
        } else if (pts > expected + kAudioDriftMs) {
            uint32_t pending = static_cast<uint32_t>((pts - expected) * bytesPerSecondX8 / 8000u);
            if (frameBytes > 0 && pending > frameBytes) {
                pending -= pending % frameBytes;
            }
            m_audioSilencePending = static_cast<int32_t>(pending);
        }
    }
    if (m_audioRender) {
        uint32_t r = m_audioRender->Write(data, size);
        while (r == 1 && m_audioRunning) {
            sleepMs(2);
            r = m_audioRender->Write(data, size);
        }
    }
    if (clock) {
        if (clock->GetAudioTime() == 0 && pts == 0 && m_audioSilencePending > 0) {
            m_audioSilencePending = 0;
        }
        clock->UpdateAudioTime(pts > m_audioOutputDelay ? pts - m_audioOutputDelay : 0);
    }
    return 0;
}

uint32_t CTavoMediaPlayer::audioDurationMs(uint32_t size) const {
    const uint32_t perMs = static_cast<uint32_t>(m_audioChannels) * m_audioSampleRate *
                           static_cast<uint32_t>(m_audioBitsPerSample);
    return perMs == 0 ? 0 : static_cast<uint32_t>(static_cast<uint64_t>(size) * 8000u / perMs);
}

uint32_t CTavoMediaPlayer::audioFrameBytes() const {
    return static_cast<uint32_t>(m_audioChannels) * m_audioBitsPerSample / 8u;
}
