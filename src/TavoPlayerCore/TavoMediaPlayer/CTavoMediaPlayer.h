#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "Common/rivo_CMutex.h"
#include "TavoPlayerCore/VideoRender/VideoPicture.h"
#include "tavoplayer/ITavoMediaPlayer.h"

struct AVFrame;
class ApmBase;
class CCTavoAudioConvert;
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
// audio processing wrapper.
//
// Threads: the host's threads call the interface; the video and audio loops
// run on their own CTavoMediaPlayerThread. Flags the host writes and the
// loops read on every pass are atomics. m_videoLock guards the video decoder,
// the video renderer, the kept picture, the snapshot planes and the recorder;
// m_audioLock the audio decoder, the audio renderer, the converter and the
// volume. Both are recursive; the host's commands never hold both at once and
// no lock is held while the host is called back. The clock and the frame
// store are shared pointers: a loop holds its own reference for the whole of
// an operation, so replacing them (PARAM_CLOCK_MODE, PARAM_FRAME_STORE) never
// destroys one that a loop is using.
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

private:
    // Lifecycle helpers.
    void initAudio();
    void initVideo();
    void releaseAudio();
    void releaseVideo();
    int32_t resetClock(int32_t clockMode);
    static void stopLoop(std::atomic<bool>& running, CTavoMediaPlayerThread*& thread);

    // Stream descriptions.
    int32_t readFlagData(MediaSample* sample);
    int32_t createAudioDecoder(int32_t codecType, uint32_t sampleRate, uint32_t channelWord);
    int32_t createVideoDecoder(int32_t codecType);

    // A replay pass that found the store paused or exhausted waits briefly.
    static void idleInReplay();

    // Video pipeline (video loop thread).
    void controlLatency(CMediaRefClock* clock, uint32_t newestMs);
    // Before the first picture after a clock reset: waits for the audio
    // position to reach the sample's time, then raises event 502.
    void waitForAudioPosition(CMediaRefClock* clock, const MediaSample& sample);
    // Afterwards: waits for the clock to reach the sample's time.
    void waitForClock(CMediaRefClock* clock, const MediaSample& sample);
    int32_t video_decode_frame(const MediaSample* sample, VideoPicture* picture);
    int32_t createVideoRender(const int32_t* size);
    void video_render_frame(const VideoPicture* picture, bool noDisplay);
    int32_t allocSnapshotPlanes(const AVFrame* frame);
    void freeSnapshotPlanes_Locked();

    // Audio pipeline (audio loop thread).
    int32_t audio_deocde_frame(const MediaSample* sample, uint8_t** pcm, uint32_t* size,
                               uint32_t* pts);
    int32_t openAudioRender(const AudioFormat* format);
    int32_t audio_render_frame(const uint8_t* data, uint32_t size, uint32_t pts);
    // Play time of size bytes in the player's audio format; 0 without a format.
    uint32_t audioDurationMs(uint32_t size) const;
    // Bytes of one sample frame in the player's audio format.
    uint32_t audioFrameBytes() const;

    // Commands.
    int32_t setWindow(void* window);
    int32_t setFrameStore(int32_t on);
    int32_t setStorePlayback(int32_t on);
    int32_t setRecording(int32_t on);
    // Hands a live sample received from the host to the recorder, if one records.
    void recordSample(int32_t track, const MediaSample& sample);
    // Remembers the stream's audio codec and tells the recorder.
    void setRecordedAudioCodec(int32_t codecType);
    int32_t takeSnapshot(const char* path);

    // Host access; each answers "nothing" when the host did not provide it.
    MediaSourceFuncs* mediaSource() const;
    int32_t fetchSample(int32_t track, MediaSample* sample) const;
    uint32_t hostNewestTime(int32_t track) const;
    bool hostMaxDelay(uint32_t* delayMs) const;
    void sendEvent(int32_t code, const char* text) const;

    std::shared_ptr<CMediaOneMinPlay> frameStore() const;

    std::atomic<int32_t> m_playMode;
    CTavoMediaPlayerThread* m_videoThread;
    CTavoMediaPlayerThread* m_audioThread;
    IAudioDecoder* m_audioDecoder;  // guarded by m_audioLock
    IVideoDecoder* m_videoDecoder;  // guarded by m_videoLock
    IAudioRender* m_audioRender;    // guarded by m_audioLock
    IVideoRender* m_videoRender;    // guarded by m_videoLock
    std::atomic<HostContext*> m_hostContext;
    std::atomic<int32_t> m_videoRenderKind;
    std::atomic<int32_t> m_videoWidth;
    std::atomic<int32_t> m_videoHeight;
    std::atomic<uint32_t> m_audioSampleRate;
    std::atomic<uint16_t> m_audioChannels;
    std::atomic<uint16_t> m_audioBitsPerSample;
    std::atomic<uint32_t> m_windowParam;
    std::atomic<void*> m_hWnd;
    std::atomic<bool> m_paused;
    std::atomic<bool> m_displayOn;
    std::atomic<bool> m_videoRunning;
    std::atomic<bool> m_audioRunning;
    CCTavoAudioConvert* m_audioConvert;       // guarded by m_audioLock
    std::shared_ptr<CMediaRefClock> m_clock;  // read and replaced through clock()/resetClock()
    uint32_t m_audioChunkMax;                 // audio loop only
    int32_t m_audioSilencePending;            // audio loop only
    uint32_t m_audioOutputDelay;              // audio loop only
    RIVO_Common_Player::rivo_CMutex m_videoLock;
    RIVO_Common_Player::rivo_CMutex m_audioLock;
    VideoPicture m_snapshotPicture;  // guarded by m_videoLock
    int32_t m_renderWidth;       // guarded by m_videoLock: the picture size the renderer was set up
    int32_t m_renderHeight;      // for; the snapshot planes fit it
    VideoPicture m_keptPicture;  // guarded by m_videoLock: last decoded picture (decoder's planes)
    int32_t m_volume;            // guarded by m_audioLock
    // Replaced and used under m_videoLock; read without it only to skip the
    // lock while nothing is recorded.
    std::atomic<CMediaRecord*> m_recorder;
    std::atomic<int32_t> m_audioCodecType;           // the audio stream's codec, for recordings
    std::shared_ptr<CMediaOneMinPlay> m_frameStore;  // read and replaced through frameStore()
    std::atomic<bool> m_storePlayback;
    std::atomic<bool> m_storePaused;
    std::atomic<uint32_t> m_seekSeconds;
    std::atomic<float> m_speed;
    ApmBase* m_apm;
};
