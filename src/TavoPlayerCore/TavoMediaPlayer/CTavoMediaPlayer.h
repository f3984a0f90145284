#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "Common/CConditionVariable.h"
#include "Common/CLock.h"
#include "Common/ThreadAnnotations.h"
#include "Common/rivo_CMutex.h"
#include "TavoPlayerCore/Decoder/CVideoFrameConverter.h"
#include "TavoPlayerCore/VideoRender/VideoPicture.h"
#include "tavoplayer/ITavoMediaPlayer.h"

class ApmBase;
class CCTavoAudioConvert;
class CLagWatch;
class CMediaOneMinPlay;
class CMediaRecord;
class CMediaRefClock;
class CTavoMediaPlayerThread;
class IAudioDecoder;
class IAudioRender;
class IVideoDecoder;
class IVideoRender;

// The player: owns the video and audio loops, the reference clock, the
// decoders, the renderers, the optional frame store and recorder, and the
// audio processing wrapper. Its code is cut by thread: lifecycle and host
// access (CTavoMediaPlayer.cpp), the host's commands
// (CTavoMediaPlayerCommands.cpp), the video loop (CTavoMediaPlayerVideoLoop.cpp)
// and the audio loop (CTavoMediaPlayerAudioLoop.cpp). docs/Threads.md lists
// every thread of the engine and the lock order.
//
// Threads: the host's threads call the interface; the video and audio loops
// run on their own CTavoMediaPlayerThread. Flags the host writes and the
// loops read on every pass are atomics; values read as a group (the audio
// format, the video size) are one atomic each. m_videoLock guards the video
// decoder, the video renderer, the kept picture, the snapshot planes and the
// recorder; m_audioLock the audio decoder, the audio renderer, the converter,
// the audio processing and the volume. A helper that runs under one of them
// says so (REQUIRES, name ending in _Locked) instead of taking it again.
//
// Lock order: m_videoLock or m_audioLock (never both), then the locks of the
// parts they guard (renderer, recorder, clock); m_threadLock is held alone.
// Host callbacks (getSample, getMaxDelay, getMaxTs, onEvent) run with no
// player lock held. A host may call the player from inside a callback: stop()
// then only tells the loops to end, run() and destruction are refused (see
// docs/Threads.md).
//
// The clock and the frame store are shared pointers: a loop holds its own
// reference for the whole of an operation, so replacing them
// (PARAM_CLOCK_MODE, PARAM_FRAME_STORE) never destroys one that a loop is
// using.
class CTavoMediaPlayer : public ITavoMediaPlayer {
public:
    CTavoMediaPlayer();
    ~CTavoMediaPlayer() override;

    int32_t run() override;
    int32_t pause() override;
    int32_t stop() override;
    int32_t resume() override;
    int32_t noOp1(uint32_t value) override;
    int32_t noOp2(uint32_t value) override;
    int32_t setParam(int32_t id, void* arg) override;
    int32_t getParam(int32_t id, void* arg) override;
    // Stores the host's context (not owned); the loops read it on every pass.
    virtual int32_t setHostContext(HostContext* hostContext);

    // Loop bodies, run by CTavoMediaPlayerThread (kind 2 video, kind 3 audio).
    void functionVideoThread();
    void functionAudioThread();

    // The reference clock as it stands (PARAM_CLOCK_MODE replaces it); the
    // reference keeps it alive while the caller uses it.
    std::shared_ptr<CMediaRefClock> clock() const;

    // Largest sample the loops take from the host: four times the largest
    // access unit of a 4K camera at 50 Mbit/s. A larger one (or a ulsize the
    // host got wrong) is refused with a log line, as if there were no sample,
    // because the store and the recorder copy every sample they are given.
    static constexpr uint32_t kMaxSampleBytes = 16u << 20;

    // A loop asks a host that has had nothing again after kPollMs, for the
    // first kBriefGapMs of a gap; then less often, and less again after
    // kLongGapMs (idlePollMs), when the audio loop also closes the sound device.
    static constexpr uint32_t kPollMs = 10;
    static constexpr uint32_t kBriefGapMs = 1000;
    static constexpr uint32_t kLongGapMs = 10000;

private:
    // The picture size of PARAM_VIDEO_SIZE, stored as one value. Both groups
    // are aligned to their size, so that their atomics are lock-free words
    // (clang calls libatomic for an under-aligned one).
    struct alignas(8) VideoSize {
        int32_t width;
        int32_t height;
    };
    // The audio format, stored as one value.
    struct alignas(8) AudioFormatValue {
        AudioFormat format;
    };
    static_assert(std::atomic<VideoSize>::is_always_lock_free, "a torn size is possible");
    static_assert(std::atomic<AudioFormatValue>::is_always_lock_free, "a torn format is possible");

    // What a loop's pass holds: the replay switch and the store, read once
    // per pass (a sample taken from the store must stay valid until the pass
    // is done with it), and whether the host gave a sample.
    struct PullPass {
        bool replay;
        std::shared_ptr<CMediaOneMinPlay> store;
        bool fetched;
        bool seeked;  // a replay seek moved the store's read positions
    };

    // How pullSample ended.
    enum class Pulled {
        kSample,       // the pass has its sample
        kNothing,      // the host gave nothing and there is no replay
        kDescription,  // a live description was taken; the next pass fetches again
        kStoreIdle,    // the replay is paused or read to its end
    };

    // ---- Lifecycle (host command threads; CTavoMediaPlayer.cpp) ----
    void initAudio() EXCLUDES(m_audioLock);
    void releaseAudio() EXCLUDES(m_audioLock);
    void releaseVideo() EXCLUDES(m_videoLock);
    int32_t resetClock(int32_t clockMode);
    // Clears the loop's running flag, then joins and destroys its thread.
    void stopLoop_Locked(std::atomic<bool>& running,
                         std::unique_ptr<CTavoMediaPlayerThread>& thread) REQUIRES(m_threadLock);

    // ---- Host access (any thread) ----
    // Each answers "nothing" when the host did not provide it.
    MediaSourceFuncs* mediaSource() const;
    int32_t fetchSample(int32_t track, MediaSample* sample) const;
    uint32_t hostNewestTime(int32_t track) const;
    // Whether the host has getMaxTs at all.
    bool hostReportsNewest() const;
    bool hostMaxDelay(uint32_t* delayMs) const;
    void sendEvent(int32_t code, const char* text) const;
    std::shared_ptr<CMediaOneMinPlay> frameStore() const;

    // ---- Commands (host command threads; CTavoMediaPlayerCommands.cpp) ----
    int32_t setWindow(void* window) EXCLUDES(m_videoLock, m_audioLock);
    int32_t setFrameStore(int32_t on);
    int32_t setStorePlayback(int32_t on);
    int32_t setRecording(int32_t on) EXCLUDES(m_videoLock);
    int32_t takeSnapshot(const char* path) EXCLUDES(m_videoLock);

    // ---- Both loops (CTavoMediaPlayer.cpp) ----
    // The prologue of a pass: fetches the track's sample from the host, takes
    // a description in it, keeps it in the store, and in replay reads the
    // store back instead (the video track also carries out a pending seek).
    Pulled pullSample(int32_t track, PullPass* pass, MediaSample* sample);
    // Takes a MEDIA_FLAG_DESCRIPTION sample: new decoder, format or size. 1
    // when it was one, 0 when not.
    int32_t readFlagData(MediaSample* sample) EXCLUDES(m_videoLock, m_audioLock);
    int32_t createAudioDecoder(int32_t codecType, uint32_t sampleRate, uint32_t channelWord)
        EXCLUDES(m_audioLock);
    int32_t createVideoDecoder(int32_t codecType) EXCLUDES(m_videoLock);
    // Remembers the stream's audio codec and tells the recorder.
    void setRecordedAudioCodec(int32_t codecType) EXCLUDES(m_videoLock);
    // Hands a sample received from the host to the recorder, if one records.
    void recordSample(int32_t track, const MediaSample& sample) EXCLUDES(m_videoLock);
    // Sends the recorder's events to the host (PLAYER_EVENT_RECORDING).
    void deliverRecordEvents() EXCLUDES(m_videoLock);
    // A replay pass that found the store paused or exhausted waits a poll's time.
    void idleInReplay(const std::atomic<bool>& running) EXCLUDES(m_wakeLock);

    // ---- Waits of the loops (CTavoMediaPlayer.cpp) ----
    // How long a loop waits before it asks a host again that has had nothing
    // for idleMs (see kPollMs in CTavoMediaPlayer.cpp).
    static uint32_t idlePollMs(uint32_t idleMs);
    // Waits ms on the time source; ends early once running is cleared (stop)
    // or the host's commands change what the loops do (resume, play mode).
    void waitWhileRunning(const std::atomic<bool>& running, uint32_t ms) EXCLUDES(m_wakeLock);
    // In a paused playback: waits until resume(), the play mode or stop()
    // ends the wait, and returns true; false at once otherwise.
    bool waitWhilePaused(const std::atomic<bool>& running) EXCLUDES(m_wakeLock);
    // The audio loop's wait while the host has had no sound for a while:
    // ends on stop or on wakeAudioLoop, at the latest after ms.
    void parkAudioLoop(uint32_t ms) EXCLUDES(m_wakeLock);
    // Ends the audio loop's parked wait (the video loop saw the host come back).
    void wakeAudioLoop() EXCLUDES(m_wakeLock);
    // Ends every wait of both loops, so that they look at their flags again.
    void wakeLoops() EXCLUDES(m_wakeLock);

    // ---- Video loop (CTavoMediaPlayerVideoLoop.cpp) ----
    // While the audio loop is parked: wakes it once the host holds sound it
    // did not hold when the audio loop parked.
    void watchParkedAudio();
    // After the first live picture, shown at shownMs: the clock runs from
    // the host's newest picture when that is newer.
    void startClockAtNewestPicture(CMediaRefClock* clock, uint32_t shownMs);
    void controlLatency(CMediaRefClock* clock, uint32_t newestMs);
    // A live picture at pictureMs taken while the host's newest was
    // newestMs: a clock that no sound leads moves on to the newest once the
    // host's pictures have kept waiting for it.
    void keepUpWithHost(CMediaRefClock* clock, CLagWatch* lag, uint32_t newestMs,
                        uint32_t pictureMs);
    // Before the first picture after a clock reset: waits for the audio
    // position to reach the sample's time (the first time for up to a second
    // for the audio loop's first report, which sets *audioStartWaited).
    void waitForAudioPosition(CMediaRefClock* clock, const MediaSample& sample,
                              bool* audioStartWaited);
    // Afterwards: waits for the clock to reach the sample's time, or starts
    // the clock on it when the stream's times jumped.
    void waitForClock(CMediaRefClock* clock, const MediaSample& sample);
    int32_t video_decode_frame_Locked(const MediaSample* sample, VideoPicture* picture)
        REQUIRES(m_videoLock);
    int32_t createVideoRender_Locked(const VideoSize& size) REQUIRES(m_videoLock);
    // Whether the window is at most half the picture's width and height.
    bool windowFarSmallerThanPicture_Locked() REQUIRES(m_videoLock);
    // True when the picture went to the renderer and the clock was told its time.
    bool video_render_frame_Locked(const VideoPicture* picture, bool noDisplay)
        REQUIRES(m_videoLock);
    int32_t allocSnapshotPlanes_Locked(const VideoPicture& picture, int32_t height)
        REQUIRES(m_videoLock);
    void freeSnapshotPlanes_Locked() REQUIRES(m_videoLock);

    // ---- Audio loop (CTavoMediaPlayerAudioLoop.cpp) ----
    // The wait of a pass that found nothing, lastSampleAt being when the
    // host last gave something.
    void waitForSound(uint32_t lastSampleAt) EXCLUDES(m_wakeLock, m_audioLock);
    // Closes the sound device of a host that has long had no sound: its
    // device and feeder would otherwise wake a hundred times a second for
    // silence. The next sound opens a renderer again.
    void closeSilentRenderer() EXCLUDES(m_audioLock);
    // Decodes the sample into *pcm (*size bytes heard from *pts), played
    // faster by the fraction speedUp.
    int32_t audio_deocde_frame(const MediaSample* sample, double speedUp, uint8_t** pcm,
                               uint32_t* size, uint32_t* pts) EXCLUDES(m_audioLock);
    int32_t openAudioRender_Locked(const AudioFormat* format) REQUIRES(m_audioLock);
    int32_t audio_render_frame(const uint8_t* data, uint32_t size, uint32_t pts)
        EXCLUDES(m_audioLock);
    // Before the run's first sound: waits up to a second for the video loop
    // to decode its first picture, while the host holds video.
    void waitForFirstPicture();
    // Hands a block to the renderer, waiting while it refuses for at most the
    // block's duration plus a grace; false when the block was dropped.
    bool writeToRenderer(const uint8_t* data, uint32_t size) EXCLUDES(m_audioLock);
    // The renderer's output delay in ms; 0 without a renderer or device.
    // *device tells whether a sound device plays what is written.
    uint32_t outputDelay(bool* device) EXCLUDES(m_audioLock);

    // ---- Host command threads ----
    // run creates both loop threads, stop (and run, before it creates new
    // ones, and the destructor) joins and destroys them; only host command
    // threads call these, one at a time under m_threadLock. A loop never
    // touches its own thread object.
    RIVO_Common_Player::rivo_CMutex m_threadLock;
    std::unique_ptr<CTavoMediaPlayerThread> m_videoThread GUARDED_BY(m_threadLock);
    std::unique_ptr<CTavoMediaPlayerThread> m_audioThread GUARDED_BY(m_threadLock);

    // ---- The loops' waits ----
    // Ends the loops' waits early (stop, resume, play mode, the host's return
    // for the parked audio loop).
    RIVO_Common_Player::CLock m_wakeLock;
    RIVO_Common_Player::CConditionVariable m_wake;
    bool m_audioWakeUp GUARDED_BY(m_wakeLock);
    // Set by the audio loop while it is parked, with the newest sound time
    // the host reported then; read by the video loop.
    std::atomic<bool> m_audioParked;
    std::atomic<uint32_t> m_parkedAudioNewest;

    // ---- Written by host commands (and descriptions), read by the loops ----
    std::atomic<int32_t> m_playMode;
    std::atomic<HostContext*> m_hostContext;
    std::atomic<int32_t> m_videoRenderKind;
    // Written by PARAM_VIDEO_SIZE and by the video loop's descriptions and
    // decoded pictures; no part of the engine reads it back yet.
    std::atomic<VideoSize> m_videoSize;
    // Written by PARAM_AUDIO_FORMAT and the audio loop's descriptions; read by
    // the audio loop, always as a whole.
    std::atomic<AudioFormatValue> m_audioFormat;
    std::atomic<uint32_t> m_windowParam;
    std::atomic<void*> m_hWnd;
    std::atomic<bool> m_paused;
    std::atomic<bool> m_displayOn;
    std::atomic<bool> m_videoRunning;
    std::atomic<bool> m_audioRunning;
    std::atomic<bool> m_storePlayback;
    std::atomic<bool> m_storePaused;
    // Set by the video loop once it has decoded a picture in this run.
    std::atomic<bool> m_pictureDecoded;
    // The pending replay seek in seconds, kNoSeek when there is none. (0
    // cannot stand for "none": a seek to the start of the minute is one.)
    static constexpr uint32_t kNoSeek = 0xFFFFFFFFu;
    std::atomic<uint32_t> m_seekSeconds;
    std::atomic<float> m_speed;
    std::atomic<int32_t> m_audioCodecType;  // the audio stream's codec, for recordings
    // Read and replaced through clock()/resetClock() and frameStore()/setFrameStore().
    std::shared_ptr<CMediaRefClock> m_clock;
    std::shared_ptr<CMediaOneMinPlay> m_frameStore;

    // ---- Video loop, shared with host commands under m_videoLock ----
    RIVO_Common_Player::rivo_CMutex m_videoLock;
    IVideoDecoder* m_videoDecoder GUARDED_BY(m_videoLock);
    // Brings the decoder's pictures into the renderers' format.
    CVideoFrameConverter m_videoConverter GUARDED_BY(m_videoLock);
    IVideoRender* m_videoRender GUARDED_BY(m_videoLock);
    // Last decoded picture (the decoder's planes).
    VideoPicture m_keptPicture GUARDED_BY(m_videoLock);
    VideoPicture m_snapshotPicture GUARDED_BY(m_videoLock);
    // The picture size the renderer was set up for; the snapshot planes fit it.
    int32_t m_renderWidth GUARDED_BY(m_videoLock);
    int32_t m_renderHeight GUARDED_BY(m_videoLock);
    int32_t m_renderStrides[3] GUARDED_BY(m_videoLock);
    // Decodes until the window's size is looked at again.
    uint32_t m_picturesToWindowCheck GUARDED_BY(m_videoLock);
    // Replaced and used under m_videoLock; read without it only to skip the
    // lock while nothing is recorded, so it is an atomic and not GUARDED_BY.
    std::atomic<CMediaRecord*> m_recorder;

    // ---- Audio loop, shared with host commands under m_audioLock ----
    RIVO_Common_Player::rivo_CMutex m_audioLock;
    IAudioDecoder* m_audioDecoder GUARDED_BY(m_audioLock);
    IAudioRender* m_audioRender GUARDED_BY(m_audioLock);
    CCTavoAudioConvert* m_audioConvert GUARDED_BY(m_audioLock);
    int32_t m_volume GUARDED_BY(m_audioLock);
    // Whether the host set a volume; until then a new renderer plays at full volume.
    bool m_volumeSet GUARDED_BY(m_audioLock);
    // Blocks went past the noise suppressor while muted: it starts afresh.
    bool m_apmBypassed GUARDED_BY(m_audioLock);
    // Made by the constructor, destroyed by the destructor, used under the lock.
    ApmBase* m_apm PT_GUARDED_BY(m_audioLock);
    // Audio loop only: set up with the renderer, read by the loop's passes.
    // The format the renderer was opened in (the decoded sound's, which may
    // differ from the stream description's); zero before the first.
    AudioFormat m_renderFormat;
    uint32_t m_audioChunkMax;
    int32_t m_audioSilencePending;
};
