#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"

#include <cstring>
#include <string>
#include <vector>

#include "Common/CAutoLock.h"
#include "Common/CScopedLock.h"
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
#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayerThread.h"
#include "TavoPlayerCore/VideoRender/IVideoRender.h"

using RIVO_Common_Player::CAutoLock;
using RIVO_Common_Player::CScopedLock;
using RIVO_Common_Player::waitMs;

namespace {

// A host cannot tell the engine that a sample has come (the loops pull), so
// a player whose host has nothing polls. The interval grows with the time
// the host has had nothing, and the first sample brings back the normal one
// at once, so steady play never waits longer:
// - kPollMs for the first kBriefGapMs: a gap in a stream costs nothing;
// - kIdlePollMs up to kLongGapMs: a camera that restarts within seconds is
//   seen at most 40 ms later than at the normal rate;
// - kLongIdlePollMs beyond: a camera gone for longer (rebooting, unplugged,
//   not connected yet) comes back over seconds, next to which 490 ms more is
//   a deliberate choice. A wake-up of an idle loop costs 50-500 us of
//   processor time on a 2-core virtual machine, nearly all of it the
//   system's (the pass itself takes about 10 us) and growing with the
//   memory the process holds: polled every 250 ms, a player whose host never
//   had samples took 0.04-0.06 % of a core, every 500 ms 0.03-0.04 %
//   (bench/IdleBench).
constexpr uint32_t kIdlePollMs = 50;
constexpr uint32_t kLongIdlePollMs = 500;
// Longest wait of a paused playback: the commands that end a pause end it at once.
constexpr uint32_t kPausedWaitMs = 1000;

}  // namespace

CTavoMediaPlayer::CTavoMediaPlayer()
    : m_audioWakeUp(false),
      m_audioParked(false),
      m_parkedAudioNewest(0),
      m_playMode(PLAY_MODE_LIVE),
      m_hostContext(nullptr),
      m_videoRenderKind(0),
      m_videoSize(VideoSize{0, 0}),
      m_audioFormat(AudioFormatValue{AudioFormat{0, 0, 0}}),
      m_windowParam(0),
      m_hWnd(nullptr),
      m_paused(false),
      m_displayOn(true),
      m_videoRunning(false),
      m_audioRunning(false),
      m_storePlayback(false),
      m_storePaused(false),
      m_pictureDecoded(false),
      m_seekSeconds(kNoSeek),
      m_speed(1.0f),
      m_audioCodecType(CODEC_NONE),
      m_videoDecoder(nullptr),
      m_videoRender(nullptr),
      m_keptPicture{},
      m_snapshotPicture{},
      m_renderWidth(0),
      m_renderHeight(0),
      m_renderStrides{0, 0, 0},
      m_picturesToWindowCheck(0),
      m_recorder(nullptr),
      m_audioDecoder(nullptr),
      m_audioRender(nullptr),
      m_audioConvert(nullptr),
      m_volume(0),
      m_volumeSet(false),
      m_apmBypassed(false),
      m_apm(nullptr),
      m_renderFormat{0, 0, 0},
      m_audioChunkMax(0),
      m_audioSilencePending(0) {
    initAudio();
    resetClock(1);
}

CTavoMediaPlayer::~CTavoMediaPlayer() {
    stop();
    releaseAudio();
    releaseVideo();
    destroyApmWrapper(&m_apm);
    std::atomic_store(&m_clock, std::shared_ptr<CMediaRefClock>());
    std::atomic_store(&m_frameStore, std::shared_ptr<CMediaOneMinPlay>());
}

// ---- Lifecycle --------------------------------------------------------------

int32_t CTavoMediaPlayer::run() {
    RIVO_LOG("player start run!");
    if (CTavoMediaPlayerThread::runsLoopOf(this)) {
        // Called from a host callback: restarting means waiting for the loop
        // that makes the callback, which cannot end before the callback
        // returns. Refused instead of always succeeding.
        RIVO_LOG("run refused inside a callback of the player!");
        return PLAYER_E_FAIL;
    }
    CAutoLock lock(&m_threadLock);
    stopLoop_Locked(m_audioRunning, m_audioThread);
    // (A video loop still running from before may set it again: the new
    // audio loop then starts without waiting for a picture.)
    m_pictureDecoded = false;
    m_audioRunning = true;
    m_audioThread.reset(new (std::nothrow)
                            CTavoMediaPlayerThread(this, CTavoMediaPlayerThread::kAudioLoop));
    stopLoop_Locked(m_videoRunning, m_videoThread);
    m_videoRunning = true;
    m_videoThread.reset(new (std::nothrow)
                            CTavoMediaPlayerThread(this, CTavoMediaPlayerThread::kVideoLoop));
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
    wakeLoops();
    return 0;
}

int32_t CTavoMediaPlayer::stop() {
    RIVO_LOG("player stop!");
    if (CTavoMediaPlayerThread::runsLoopOf(this)) {
        // Called from a host callback: the loop making it cannot wait for
        // itself, and a host thread inside run() or stop() may hold
        // m_threadLock while it waits for this very loop. So the loops are
        // only told to end: they do once the callback returns, and the next
        // run(), stop() or the destructor on a host thread waits for them.
        m_audioRunning = false;
        m_videoRunning = false;
        wakeLoops();
    } else {
        CAutoLock lock(&m_threadLock);
        stopLoop_Locked(m_audioRunning, m_audioThread);
        stopLoop_Locked(m_videoRunning, m_videoThread);
    }
    // Nothing comes in any more, so the recording is finished here (the
    // described player leaves its file open until recording is switched off,
    // and a crash after stop() would lose it).
    setRecording(0);
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
    CAutoLock lock(&m_audioLock);
    createApmWrapper(&m_apm);
    if (m_apm) {
        m_apm->init();
    }
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
    m_keptPicture = VideoPicture{};
    delete m_videoRender;
    m_videoRender = nullptr;
    m_renderWidth = 0;
    m_renderHeight = 0;
    std::memset(m_renderStrides, 0, sizeof(m_renderStrides));
    freeSnapshotPlanes_Locked();
}

int32_t CTavoMediaPlayer::resetClock(int32_t clockMode) {
    std::shared_ptr<CMediaRefClock> fresh(new CMediaRefClock());
    fresh->SetMode(static_cast<uint32_t>(clockMode));
    std::atomic_store(&m_clock, fresh);
    return 0;
}

void CTavoMediaPlayer::stopLoop_Locked(std::atomic<bool>& running,
                                       std::unique_ptr<CTavoMediaPlayerThread>& thread) {
    running = false;
    wakeLoops();
    thread.reset();
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

bool CTavoMediaPlayer::hostReportsNewest() const {
    HostContext* context = m_hostContext;
    MediaSourceFuncs* source = context ? context->mediaSource : nullptr;
    return source && source->getMaxTs;
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

// ---- Both loops: a pass's sample --------------------------------------------------

CTavoMediaPlayer::Pulled CTavoMediaPlayer::pullSample(int32_t track, PullPass* pass,
                                                      MediaSample* sample) {
    pass->fetched = fetchSample(track, sample) == 0;
    pass->seeked = false;
    if (pass->fetched && sample->ulsize > kMaxSampleBytes) {
        RIVO_LOG("sample of %u bytes refused on track %d", sample->ulsize, track);
        pass->fetched = false;
        initMediaSample(sample);
    }
    if (!pass->fetched) {
        if (!pass->replay) {
            return Pulled::kNothing;
        }
        // A replay pass with nothing new from the host goes on to the store
        // without reading the record of the last fetch again: a description
        // in it would replace the decoders on every pass, through a
        // StreamInfo that the host may have freed since.
    } else if (readFlagData(sample) != 0) {
        if (!pass->replay) {
            return Pulled::kDescription;
        }
        // Taken in replay as well, but no sample for the store to play back.
        pass->fetched = false;
    }
    // The recording holds what the host sent, whether the loops show or
    // decode it or not (the described player records only pictures it has
    // decoded for a window); what the replay reads back is not recorded.
    if (pass->fetched && !(sample->ulFlags & MEDIA_FLAG_DESCRIPTION)) {
        recordSample(track, *sample);
    }
    CMediaOneMinPlay* store = pass->store.get();
    if (!store) {
        return Pulled::kSample;
    }
    if (pass->fetched) {
        store->putSample(static_cast<uint32_t>(track), sample);
    }
    if (!pass->replay) {
        if (track == TRACK_VIDEO) {
            store->clearVideoPlayList();
        } else {
            store->clearAudioPlayList();
        }
        return Pulled::kSample;
    }
    if (m_storePaused) {
        return Pulled::kStoreIdle;
    }
    // A seek positions both tracks; the video loop carries it out.
    if (track == TRACK_VIDEO) {
        const uint32_t seekSeconds = m_seekSeconds.exchange(kNoSeek);
        if (seekSeconds != kNoSeek) {
            store->seekTo(seekSeconds);
            pass->seeked = true;
        }
    }
    if (store->getSample(static_cast<uint32_t>(track), sample) != 0) {
        return Pulled::kStoreIdle;
    }
    return Pulled::kSample;
}

void CTavoMediaPlayer::idleInReplay(const std::atomic<bool>& running) {
    // A paused or fully read replay would otherwise spin a core and write
    // several log entries per turn; it waits as long as a live poll.
    waitWhileRunning(running, kPollMs);
}

// ---- Waits of the loops --------------------------------------------------------

uint32_t CTavoMediaPlayer::idlePollMs(uint32_t idleMs) {
    return idleMs < kBriefGapMs ? kPollMs : idleMs < kLongGapMs ? kIdlePollMs : kLongIdlePollMs;
}

void CTavoMediaPlayer::waitWhileRunning(const std::atomic<bool>& running, uint32_t ms) {
    CScopedLock lock(m_wakeLock);
    if (running) {
        waitMs(m_wake, m_wakeLock, ms);
    }
}

bool CTavoMediaPlayer::waitWhilePaused(const std::atomic<bool>& running) {
    // Tested under the lock that the commands take before they notify.
    CScopedLock lock(m_wakeLock);
    const bool paused = m_paused && m_playMode == PLAY_MODE_PLAYBACK;
    if (paused && running) {
        waitMs(m_wake, m_wakeLock, kPausedWaitMs);
    }
    return paused;
}

void CTavoMediaPlayer::parkAudioLoop(uint32_t ms) {
    m_parkedAudioNewest = hostNewestTime(TRACK_AUDIO);
    m_audioParked = true;
    {
        CScopedLock lock(m_wakeLock);
        if (m_audioRunning && !m_audioWakeUp) {
            waitMs(m_wake, m_wakeLock, ms);
        }
        m_audioWakeUp = false;
    }
    m_audioParked = false;
}

void CTavoMediaPlayer::wakeAudioLoop() {
    {
        CScopedLock lock(m_wakeLock);
        m_audioWakeUp = true;
    }
    m_wake.notifyAll();
}

void CTavoMediaPlayer::wakeLoops() {
    // Taken and given back so that a loop between testing its flags and
    // starting to wait cannot miss the notification.
    { CScopedLock lock(m_wakeLock); }
    m_wake.notifyAll();
}

// ---- Both loops: stream descriptions -------------------------------------------

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
            m_audioFormat = AudioFormatValue{format};
            createAudioDecoder(info->codecType, info->rateOrWidth, info->formatOrHeight);
            setRecordedAudioCodec(info->codecType);
            RIVO_LOG("audio codec type = %d ,samplerate = %d ,channel = %d ,samplebit =%d",
                     info->codecType, format.sampleRate, format.channels, format.bitsPerSample);
        }
    } else if (info && info->kind == STREAM_VIDEO) {
        createVideoDecoder(info->codecType);
        m_videoSize = VideoSize{static_cast<int32_t>(info->rateOrWidth),
                                static_cast<int32_t>(info->formatOrHeight)};
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

void CTavoMediaPlayer::recordSample(int32_t track, const MediaSample& sample) {
    // The video loop holds m_videoLock while it decodes a picture or sets up
    // a renderer; the loops must not stall behind it for nothing.
    if (!m_recorder) {
        return;
    }
    CAutoLock lock(&m_videoLock);
    if (CMediaRecord* recorder = m_recorder) {
        recorder->input(&sample, static_cast<uint32_t>(track));
    }
}

void CTavoMediaPlayer::deliverRecordEvents() {
    if (!m_recorder) {
        return;
    }
    std::vector<std::string> events;
    {
        CAutoLock lock(&m_videoLock);
        if (CMediaRecord* recorder = m_recorder) {
            events = recorder->takeEvents();
        }
    }
    for (const std::string& text : events) {
        sendEvent(PLAYER_EVENT_RECORDING, text.c_str());
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
    m_keptPicture = VideoPicture{};
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
