#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include <cstring>
#include <new>

#include "Common/CAutoLock.h"
#include "Common/Log.h"
#include "Common/TimeFunctions.h"
#include "TavoPlayerCore/Apm/ApmBase.h"
#include "TavoPlayerCore/AudioRender/IAudioRender.h"
#include "TavoPlayerCore/CMediaRefClock.h"
#include "TavoPlayerCore/Decoder/CCTavoAudioConvert.h"
#include "TavoPlayerCore/Decoder/IAudioDecoder.h"
#include "TavoPlayerCore/MediaSampleRecord.h"

using RIVO_Common_Player::CAutoLock;
using RIVO_Common_Player::sleepMs;
using RIVO_Common_Player::timeMs;

namespace {

// Assumed time between handing audio to the renderer and hearing it.
constexpr uint32_t kAudioOutputDelayMs = 500;
// Audio further than this from the clock (plus the output delay) is corrected.
constexpr uint32_t kAudioDriftMs = 200;
constexpr uint32_t kNoTimestamp = 0xFFFFFFFFu;

// Bits of sound per second in the format.
uint64_t bitsPerSecond(const AudioFormat& format) {
    return static_cast<uint64_t>(format.channels) * format.bitsPerSample * format.sampleRate;
}

// Play time of size bytes in the format; 0 without a format.
uint32_t durationMs(const AudioFormat& format, uint32_t size) {
    const uint32_t perSecond = static_cast<uint32_t>(bitsPerSecond(format));
    return perSecond == 0 ? 0
                          : static_cast<uint32_t>(static_cast<uint64_t>(size) * 8000u / perSecond);
}

// Bytes of one sample frame in the format.
uint32_t frameBytes(const AudioFormat& format) {
    return static_cast<uint32_t>(format.channels) * format.bitsPerSample / 8u;
}

}  // namespace

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

        PullPass pass{m_storePlayback, frameStore(), false, false};
        const Pulled pulled = pullSample(TRACK_AUDIO, &pass, &sample);
        if (pulled == Pulled::kNothing) {
            sleepMs(10);
            continue;
        }
        if (pulled == Pulled::kDescription) {
            continue;
        }
        if (pulled == Pulled::kStoreIdle) {
            idleInReplay();
            continue;
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

        const AudioFormat format = m_audioFormat.load().format;
        if (m_audioChunkMax == 0 || size <= m_audioChunkMax) {
            audio_render_frame(pcm, size, t);
        } else {
            const uint8_t* rest = pcm;
            uint32_t restSize = size;
            uint32_t pieceTime = t;
            while (restSize > m_audioChunkMax && m_audioRunning && m_displayOn) {
                audio_render_frame(rest, m_audioChunkMax, pieceTime);
                rest += m_audioChunkMax;
                pieceTime += durationMs(format, m_audioChunkMax);
                restSize -= m_audioChunkMax;
            }
            audio_render_frame(rest, restSize, pieceTime);
        }
        lastTimestamp = t;
        lastDuration = durationMs(format, size);
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
            const int32_t r = openAudioRender_Locked(&format);
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

int32_t CTavoMediaPlayer::openAudioRender_Locked(const AudioFormat* format) {
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
    m_audioChunkMax = static_cast<uint32_t>(bitsPerSecond(m_audioFormat.load().format)) / 50u;
    return 0;
}

int32_t CTavoMediaPlayer::audio_render_frame(const uint8_t* data, uint32_t size, uint32_t pts) {
    CAutoLock lock(&m_audioLock);
    std::shared_ptr<CMediaRefClock> clock = this->clock();
    const uint32_t playing = clock ? clock->GetTime(0) : 0;
    // Sound a jump away from the clock (the stream's times jumped, restarted
    // or wrapped) is neither cut nor padded with silence for the jump's
    // length: the pictures move the clock to the new times.
    if (playing != 0 && pts != 0 && !CMediaRefClock::IsTimeJump(playing, pts)) {
        const uint32_t expected = playing + m_audioOutputDelay;
        const AudioFormat format = m_audioFormat.load().format;
        const uint64_t bytesPerSecondX8 = bitsPerSecond(format);
        const uint32_t bytesPerFrame = frameBytes(format);
        if (pts + kAudioDriftMs < expected) {
            // Late sound is dropped only while the host holds newer sound; the
            // host is asked under m_audioLock.
            if (hostNewestTime(TRACK_AUDIO) > expected) {
                uint32_t drop = static_cast<uint32_t>((expected - pts) * bytesPerSecondX8 / 8000u);
                if (bytesPerFrame > 0 && drop > bytesPerFrame) {
                    drop -= drop % bytesPerFrame;
                }
                if (drop >= size) {
                    return 0;
                }
                size -= drop;
            }
        } else if (pts > expected + kAudioDriftMs) {
            uint32_t pending = static_cast<uint32_t>((pts - expected) * bytesPerSecondX8 / 8000u);
            if (bytesPerFrame > 0 && pending > bytesPerFrame) {
                pending -= pending % bytesPerFrame;
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
