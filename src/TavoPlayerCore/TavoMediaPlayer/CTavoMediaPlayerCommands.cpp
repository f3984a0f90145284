#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"

#include <new>
#include <string>

#include "Common/CAutoLock.h"
#include "Common/Log.h"
#include "TavoPlayerCore/AudioRender/IAudioRender.h"
#include "TavoPlayerCore/CMediaOneMinPlay.h"
#include "TavoPlayerCore/CMediaRefClock.h"
#include "TavoPlayerCore/Record/CMediaRecord.h"
#include "TavoPlayerCore/TavoMediaPlayer/CJpegSnapshot.h"
#include "TavoPlayerCore/VideoRender/IVideoRender.h"

using RIVO_Common_Player::CAutoLock;

// The host's commands run on host command threads and take the loops' locks
// one at a time.

int32_t CTavoMediaPlayer::setParam(int32_t id, void* arg) {
    if (id < PARAM_WINDOW || id > PARAM_RENDER_FLOAT) {
        return PLAYER_E_UNSUPPORTED;
    }
    switch (id) {
        case PARAM_WINDOW:
            return setWindow(arg);
        case PARAM_AUDIO_FORMAT:
            m_audioFormat = AudioFormatValue{*static_cast<const AudioFormat*>(arg)};
            return 0;
        case PARAM_VIDEO_SIZE: {
            const int32_t* size = static_cast<const int32_t*>(arg);
            m_videoSize = VideoSize{size[0], size[1]};
            return 0;
        }
        case PARAM_PLAY_MODE:
            m_playMode = *static_cast<const int32_t*>(arg);
            // A loop held by a playback pause goes on in live mode.
            wakeLoops();
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
            m_volumeSet = true;
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
            // The host learns whether the file could be made (the described
            // player answers 0 whatever happens and only logs a failure).
            CAutoLock lock(&m_videoLock);
            CMediaRecord* recorder = m_recorder;
            return recorder ? recorder->setFileName(static_cast<const char*>(arg)) : PLAYER_E_FAIL;
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
    CMediaRecord* finished = nullptr;
    {
        CAutoLock lock(&m_videoLock);
        CMediaRecord* recorder = m_recorder;
        if (on != 0 && !recorder) {
            recorder = new (std::nothrow) CMediaRecord();
            if (!recorder) {
                return PLAYER_E_FAIL;
            }
            // Published before the codec is read: an audio description arriving
            // meanwhile is either read here or sees the recorder, waits for the
            // lock and reaches it.
            m_recorder = recorder;
            const int32_t audioCodec = m_audioCodecType;
            if (audioCodec != CODEC_NONE) {
                recorder->setAudioCodec(audioCodec);
            }
        } else if (on == 0 && recorder) {
            m_recorder = nullptr;
            finished = recorder;
        }
    }
    if (finished) {
        // No loop reaches the recorder any more: the file is finished without
        // holding up the video loop, and its last events go to the host here.
        finished->stopRecord();
        for (const std::string& text : finished->takeEvents()) {
            sendEvent(PLAYER_EVENT_RECORDING, text.c_str());
        }
        delete finished;
    }
    return 0;
}

int32_t CTavoMediaPlayer::takeSnapshot(const char* path) {
    CAutoLock lock(&m_videoLock);
    if (!m_videoRender || !m_snapshotPicture.data[0] ||
        m_videoRender->GetLastPicture(&m_snapshotPicture) != 0) {
        return PLAYER_E_FAIL;
    }
    return CJpegSnapshot::write(m_snapshotPicture, m_renderWidth, m_renderHeight, path);
}
