#pragma once

#include <atomic>
#include <cstdint>

#include "Common/rivo_CMutex.h"
#include "TavoPlayerCore/VideoRender/VideoPicture.h"
#include "tavoplayer/ITavoMediaPlayer.h"

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
// Threads: the host's thread calls the interface; the video and audio loops
// run on their own CTavoMediaPlayerThread. The flags the host writes and the
// loops read on every pass are atomics. m_videoLock guards the video decoder,
// the video renderer and the snapshot planes; m_audioLock the audio decoder,
// the audio renderer and the converter. Both are recursive and never held
// together by the host's commands.
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

private:
    void initAudio();
    void initVideo();
    void releaseAudio();
    void releaseVideo();
    int32_t resetClock(int32_t clockMode);
    // Ends the loop that runs while *running is set and destroys its thread object.
    static void stopLoop(std::atomic<bool>& running, CTavoMediaPlayerThread*& thread);
    // The host's media source, or null while there is none.
    MediaSourceFuncs* mediaSource() const;
    // Asks the host's getSample for the next sample of the track.
    int32_t fetchSample(int32_t track, MediaSample* sample) const;

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
    CCTavoAudioConvert* m_audioConvert;  // guarded by m_audioLock
    CMediaRefClock* m_clock;
    uint32_t m_audioChunkMax;       // audio loop only
    int32_t m_audioSilencePending;  // audio loop only
    uint32_t m_audioOutputDelay;    // audio loop only
    RIVO_Common_Player::rivo_CMutex m_videoLock;
    RIVO_Common_Player::rivo_CMutex m_audioLock;
    VideoPicture m_snapshotPicture;  // guarded by m_videoLock
    int32_t m_volume;                // guarded by m_audioLock
    CMediaRecord* m_recorder;        // guarded by m_videoLock
    CMediaOneMinPlay* m_frameStore;
    std::atomic<bool> m_storePlayback;
    std::atomic<bool> m_storePaused;
    std::atomic<uint32_t> m_seekSeconds;
    std::atomic<float> m_speed;
    ApmBase* m_apm;
};
