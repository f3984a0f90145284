#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include <new>
#include <vector>

#include "Common/CAutoLock.h"
#include "Common/Log.h"
#include "Common/TimeFunctions.h"
#include "TavoPlayerCore/Apm/ApmBase.h"
#include "TavoPlayerCore/AudioRender/IAudioRender.h"
#include "TavoPlayerCore/CMediaRefClock.h"
#include "TavoPlayerCore/Decoder/CCTavoAudioConvert.h"
#include "TavoPlayerCore/Decoder/IAudioDecoder.h"
#include "TavoPlayerCore/MediaSampleRecord.h"
#include "TavoPlayerCore/TavoMediaPlayer/CLagWatch.h"

using RIVO_Common_Player::CAutoLock;
using RIVO_Common_Player::sleepMs;
using RIVO_Common_Player::timeMs;

namespace {

// Audio further than this from the clock (plus the output delay) is corrected.
constexpr uint32_t kAudioDriftMs = 200;
// The same while the clock runs at another speed (live catch-up, a replay
// speed): the sound cannot keep that pace and is cut in small steps to stay
// with the pictures. (Deliberately tighter than the engine's first design,
// which let it fall up to kAudioDriftMs behind before each cut.)
constexpr uint32_t kOtherSpeedDriftMs = 10;
constexpr uint32_t kNoTimestamp = 0xFFFFFFFFu;
// The longest piece handed to the renderer at once, in ms of sound.
constexpr uint32_t kPieceMs = 20;
// A refused block is written again every kRetryMs, and dropped once it has
// been refused for longer than its own duration plus kRefusalGraceMs (the
// renderer makes room a block at a time, at the sound device's pace).
constexpr uint32_t kRetryMs = 2;
constexpr uint32_t kRefusalGraceMs = 100;
// Sound is written at most this far ahead of the device. Live sound at
// speed 1 comes in real time and stays well below it; a burst (a host
// catching up after a stall, a replay read from memory) would otherwise
// fill the renderer's staging: its sound would then be heard the staging's
// length after the cut that aimed it at the clock, a clock that may change
// speed meanwhile or run apart from a device that keeps its own pace.
// (Deliberately beyond the loops' first design, which wrote as fast as the
// renderer took sound.)
constexpr uint32_t kWriteAheadMs = 50;
// Live sound at speed 1 is played slightly faster while the sound device
// falls behind the host, its clock slower than the camera's (SDL's dummy and
// disk drivers by 1.5-3 %, sound cards by tens of ppm). Without it the loop
// is paced by the device, the host's sound piles up, and the clock (which
// follows the sound) and the pictures with it fall ever further behind the
// camera, until the late-sound rule or the catch-up cuts hundreds of ms.
// The lag watched when a sample is taken is how far the host's newest sound
// lies ahead of it plus what the renderer still holds ahead of it: a loop
// that keeps pace takes the newest sample with the renderer at 35-50 ms
// (SDL's drivers); a device-paced loop finds the renderer at its bound and
// beyond, and the host's sound piling up. Once the lag has stayed above
// kLagHighMs (at the bound, in the device's 10 ms steps) for kLagStayMs, the
// sound is resampled kDriftSpeedUp shorter (more than the slowest driver
// lags; a cut would click; a pitch change of 4 % a camera's voices and noise
// hide) until the lag is down to kLagLowMs, the least a loop that keeps pace
// sees. Within that band the pictures, which follow the sound, are taken
// within a picture interval of their arrival. The sound keeps its media
// times, so the clock and the pictures move on as fast. (Deliberately
// beyond the loops' first design, which played the sound at the device's
// pace whatever the camera's.)
constexpr uint32_t kLagHighMs = kWriteAheadMs - 5;
constexpr uint32_t kLagLowMs = kWriteAheadMs - 15;
constexpr uint32_t kLagStayMs = 200;
constexpr double kDriftSpeedUp = 0.04;
// Longest wait of the first sound for the first picture.
constexpr uint32_t kPictureWaitMs = 1000;
// Longest wait of the parked audio loop. The video loop wakes it as soon as
// the host is back (pictures again after a gap, or newer sound in getMaxTs);
// this bounds the wait for a host whose getMaxTs does not follow its sound.
constexpr uint32_t kParkedMs = 2000;

// Bits of sound per second in the format.
uint64_t bitsPerSecond(const AudioFormat& format) {
    return static_cast<uint64_t>(format.channels) * format.bitsPerSample * format.sampleRate;
}

// Play time of size bytes in the format; 0 without a format.
uint32_t durationMs(const AudioFormat& format, uint32_t size) {
    const uint64_t perSecond = bitsPerSecond(format);
    return perSecond == 0 ? 0
                          : static_cast<uint32_t>(static_cast<uint64_t>(size) * 8000u / perSecond);
}

// Bytes of one sample frame in the format.
uint32_t frameBytes(const AudioFormat& format) {
    return static_cast<uint32_t>(format.channels) * format.bitsPerSample / 8u;
}

// Bytes of ms of sound in the format, in whole sample frames.
uint32_t bytesFor(const AudioFormat& format, uint32_t ms) {
    return static_cast<uint32_t>(static_cast<uint64_t>(format.sampleRate) * ms / 1000u) *
           frameBytes(format);
}

}  // namespace

void CTavoMediaPlayer::functionAudioThread() {
    MediaSample sample;
    initMediaSample(&sample);
    std::vector<uint8_t> silence;
    uint32_t lastTimestamp = kNoTimestamp;
    uint32_t lastDuration = 0;
    bool pictureWaited = false;
    bool trimStart = false;
    CLagWatch drift(kLagHighMs, kLagLowMs, kLagStayMs);
    // When the host last gave something.
    uint32_t lastSampleAt = timeMs();
    while (m_audioRunning) {
        if (!mediaSource()) {
            waitForSound(lastSampleAt);
            continue;
        }
        if (waitWhilePaused(m_audioRunning)) {
            continue;
        }
        if (m_audioSilencePending > 0 && m_displayOn && m_audioChunkMax > 0) {
            const uint32_t n = static_cast<uint32_t>(m_audioSilencePending) < m_audioChunkMax
                                   ? static_cast<uint32_t>(m_audioSilencePending)
                                   : m_audioChunkMax;
            silence.assign(n, 0);
            audio_render_frame(silence.data(), n, 0);
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
            waitForSound(lastSampleAt);
            continue;
        }
        lastSampleAt = timeMs();
        if (pulled == Pulled::kDescription) {
            continue;
        }
        if (pulled == Pulled::kStoreIdle) {
            idleInReplay(m_audioRunning);
            continue;
        }
        RIVO_LOG("audio thread getSample ulTime =%u AVFrameSeq = %u ulsize=%u", sample.ulTime,
                 sample.AVFrameSeq, sample.ulsize);

        // Watched once the start has been trimmed to the newest sound.
        double speedUp = 0;
        std::shared_ptr<CMediaRefClock> current = clock();
        bool device = false;
        const uint32_t queued = pictureWaited && !trimStart && m_playMode == PLAY_MODE_LIVE &&
                                        !pass.replay && current && current->GetSpeed() == 1.0f
                                    ? outputDelay(&device)
                                    : 0;
        const uint32_t newest = device ? hostNewestTime(TRACK_AUDIO) : 0;
        if (newest != 0 && !CMediaRefClock::IsTimeJump(newest, sample.ulTime)) {
            const int32_t backlog = static_cast<int32_t>(newest - sample.ulTime);
            if (drift.update(queued + static_cast<uint32_t>(backlog > 0 ? backlog : 0), timeMs())) {
                speedUp = kDriftSpeedUp;
            }
        } else {
            drift.reset();
        }

        uint8_t* pcm = nullptr;
        uint32_t size = 0;
        uint32_t pts = 0;
        if (audio_deocde_frame(&sample, speedUp, &pcm, &size, &pts) != 0 || !pcm || size == 0 ||
            !m_displayOn) {
            continue;
        }

        if (!pictureWaited) {
            pictureWaited = true;
            waitForFirstPicture();
            trimStart = m_playMode == PLAY_MODE_LIVE && !pass.replay;
        }
        // A live start begins with the host's newest sound. What the host
        // released while the player got going (its first picture, its sound
        // device: hundreds of milliseconds when many players start at once)
        // would otherwise stay queued for the whole session, and the clock,
        // which follows the sound, with it: every picture then waits that
        // long before the next sample is taken. (Deliberately beyond the
        // loops' first design, which played a live stream from its first
        // sample.)
        if (trimStart) {
            const uint32_t newest = hostNewestTime(TRACK_AUDIO);
            if (static_cast<int32_t>(newest - sample.ulTime) > 0 &&
                !CMediaRefClock::IsTimeJump(newest, sample.ulTime)) {
                continue;
            }
            trimStart = false;
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

        // Pieces of at most one renderer block each, with their own times,
        // so that a late or refused piece costs no more than itself.
        const AudioFormat format = m_renderFormat;
        const uint8_t* rest = pcm;
        uint32_t restSize = size;
        uint32_t pieceTime = t;
        while (restSize > 0 && m_audioRunning && m_displayOn) {
            const uint32_t piece =
                m_audioChunkMax == 0 || restSize <= m_audioChunkMax ? restSize : m_audioChunkMax;
            audio_render_frame(rest, piece, pieceTime);
            rest += piece;
            pieceTime += durationMs(format, piece);
            restSize -= piece;
        }
        lastTimestamp = t;
        lastDuration = durationMs(format, size);
    }
    // Silence owed to this run's renderer means nothing to the next run's,
    // and the next run's renderer is opened afresh.
    m_audioSilencePending = 0;
    m_renderFormat = AudioFormat{0, 0, 0};
    releaseAudio();
}

// Sound and picture start together. The first picture waits for the sound
// to reach its time; but where the video side takes longer to get going (a
// renderer's set-up in a fresh process takes 200 ms here, more than opening
// the sound device), the sound would already be past the picture by then and
// stay ahead of the pictures until the clock catches it. So the first sound
// waits, briefly, for the first picture to be decoded with its renderer made.
// (Deliberately beyond the loops' first design, which let the sound start
// on its own.)
void CTavoMediaPlayer::waitForFirstPicture() {
    const uint32_t start = timeMs();
    while (!m_pictureDecoded && timeMs() - start < kPictureWaitMs && m_audioRunning &&
           m_hWnd.load() != nullptr && hostNewestTime(TRACK_VIDEO) != 0) {
        sleepMs(2);
    }
}

void CTavoMediaPlayer::waitForSound(uint32_t lastSampleAt) {
    // After a long gap the audio loop closes its renderer and parks, so that
    // an idle player wakes little more than its video loop; but the video
    // loop sees newer sound only through getMaxTs, so without it the audio
    // loop polls like the video loop. A shorter gap in the sound is polled
    // as the video loop polls: the video loop may be waiting for the sound,
    // and parked it would hold the pictures for a park's length.
    const uint32_t idleMs = timeMs() - lastSampleAt;
    if (idleMs < kLongGapMs) {
        waitWhileRunning(m_audioRunning, idlePollMs(idleMs));
        return;
    }
    closeSilentRenderer();
    if (hostReportsNewest()) {
        parkAudioLoop(kParkedMs);
    } else {
        waitWhileRunning(m_audioRunning, idlePollMs(idleMs));
    }
}

void CTavoMediaPlayer::closeSilentRenderer() {
    CAutoLock lock(&m_audioLock);
    if (!m_audioRender) {
        return;
    }
    RIVO_LOG("no sound for %u ms: sound device closed", kLongGapMs);
    delete m_audioRender;
    m_audioRender = nullptr;
    // Silence owed to the closed renderer means nothing to the next one.
    m_audioSilencePending = 0;
}

int32_t CTavoMediaPlayer::audio_deocde_frame(const MediaSample* sample, double speedUp,
                                             uint8_t** pcm, uint32_t* size, uint32_t* pts) {
    CAutoLock lock(&m_audioLock);
    RIVO_LOG("audio decode start!");
    if (!m_audioDecoder || !sample) {
        RIVO_LOG("audio decode arg error!");
        return PLAYER_E_FAIL;
    }
    AVFrame* frame = nullptr;
    if (!m_audioDecoder->decode(sample->pData, static_cast<int>(sample->ulsize)) ||
        !m_audioDecoder->getFrame(&frame) || !frame) {
        RIVO_LOG("Audio decode end! iRet value=%d", PLAYER_E_FAIL);
        return PLAYER_E_FAIL;
    }
    if (!m_audioConvert) {
        m_audioConvert = new (std::nothrow) CCTavoAudioConvert();
        if (!m_audioConvert) {
            return PLAYER_E_FAIL;
        }
        m_audioConvert->init(frame, AV_SAMPLE_FMT_S16);
    }
    uint8_t* block = nullptr;
    m_audioConvert->setSpeedUp(speedUp);
    int32_t result = m_audioConvert->convert(frame, &block, size);
    if (result != 0) {
        RIVO_LOG("audio frame refused: format %d, %d Hz, %d channels", frame->format,
                 frame->sample_rate, frame->ch_layout.nb_channels);
        return result;
    }
    // The renderer plays what the decoder gives, which may differ from the
    // stream's description; a stream whose format changes in mid-stream
    // gets a renderer in the new format. (The engine once opened the
    // renderer once per run, and a changed stream stayed silent until the
    // next run.)
    const AudioFormat format{static_cast<uint32_t>(frame->sample_rate),
                             static_cast<uint16_t>(CCTavoAudioConvert::outputChannels(frame)), 16};
    if (!m_audioRender || format.sampleRate != m_renderFormat.sampleRate ||
        format.channels != m_renderFormat.channels) {
        const int32_t r = openAudioRender_Locked(&format);
        if (r != 0) {
            delete m_audioRender;
            m_audioRender = nullptr;
            RIVO_LOG("create  Audio render error!");
            return r;
        }
    }
    // A muted player's sound is silence whatever the noise suppressor makes
    // of it: the suppressor is skipped (a tenth of a wall's processor time),
    // and starts afresh when the sound is heard again. (Deliberately beyond
    // the engine's first design, which processed every block.)
    if (m_volumeSet && (static_cast<uint32_t>(m_volume) & 0xFF) == 0) {
        m_apmBypassed = true;
        *pcm = block;
        *pts = sample->ulTime;
        return result;
    }
    if (m_apmBypassed && m_apm) {
        m_apmBypassed = false;
        m_apm->setFormat(static_cast<int32_t>(m_renderFormat.sampleRate), m_renderFormat.channels);
    }
    const uint32_t carried = m_apm ? static_cast<uint32_t>(m_apm->getCarriedSize()) : 0;
    if (!m_apm || m_apm->process(block, static_cast<int32_t>(*size)) != 0) {
        RIVO_LOG("Audio decode end! iRet value=%d", PLAYER_E_FAIL);
        return PLAYER_E_FAIL;
    }
    *pcm = m_apm->getOutput();
    *size = static_cast<uint32_t>(m_apm->getOutputSize());
    // What comes out starts with the sound carried over from the block before.
    const uint32_t carriedMs = durationMs(m_renderFormat, carried);
    *pts = sample->ulTime > carriedMs ? sample->ulTime - carriedMs : 0;
    RIVO_LOG("Audio decode end! iRet value=%d", result);
    return result;
}

int32_t CTavoMediaPlayer::openAudioRender_Locked(const AudioFormat* format) {
    delete m_audioRender;
    m_audioRender = nullptr;
    // Remembered even when the device refuses it, so that the stream stays
    // silent without the device being asked again for every block.
    m_renderFormat = *format;
    if (m_apm) {
        m_apm->setFormat(static_cast<int32_t>(format->sampleRate), format->channels);
    }
    if (createAudioRender(&m_audioRender)) {
        void* window = m_hWnd;
        if (!window) {
            return PLAYER_E_INVALIDARG;
        }
        m_audioRender->SetWindow(window);
        if (m_audioRender->SetFormat(format) != 0) {
            RIVO_LOG("audio of %u Hz, %u channels cannot be played; it stays silent",
                     format->sampleRate, static_cast<uint32_t>(format->channels));
        }
        // The host's volume, 0 included, holds for every renderer. (The
        // engine once started each renderer at full volume, so a host that
        // muted a player before its sound began heard it anyway.)
        m_audioRender->SetVolume(m_volumeSet ? static_cast<uint32_t>(m_volume) : 100u);
        m_audioRender->Start();
    }
    m_audioChunkMax = bytesFor(*format, kPieceMs);
    return 0;
}

uint32_t CTavoMediaPlayer::outputDelay(bool* device) {
    CAutoLock lock(&m_audioLock);
    const uint32_t queued = m_audioRender ? m_audioRender->GetQueuedMs() : AUDIO_RENDER_NO_DEVICE;
    *device = queued != AUDIO_RENDER_NO_DEVICE;
    return *device ? queued : 0;
}

bool CTavoMediaPlayer::writeToRenderer(const uint8_t* data, uint32_t size) {
    uint32_t refusedSince = 0;
    bool refused = false;
    while (m_audioRunning) {
        uint32_t r = 0;
        {
            CAutoLock lock(&m_audioLock);
            r = m_audioRender ? m_audioRender->Write(data, size) : 0;
        }
        if (r != 1) {
            return true;
        }
        const uint32_t now = timeMs();
        if (!refused) {
            refused = true;
            refusedSince = now;
        } else if (now - refusedSince > durationMs(m_renderFormat, size) + kRefusalGraceMs) {
            RIVO_LOG("audio block of %u bytes refused for %u ms: dropped", size,
                     now - refusedSince);
            return false;
        }
        // The lock is free while the loop waits: the host's volume and window
        // commands never wait for a renderer that makes no room.
        sleepMs(kRetryMs);
    }
    return false;
}

int32_t CTavoMediaPlayer::audio_render_frame(const uint8_t* data, uint32_t size, uint32_t pts) {
    // The real output delay: what the renderer and the sound device hold
    // ahead of this block. (The engine once assumed 500 ms whatever the
    // device, which put sound and picture apart by the difference and made
    // the late-block rule below cut sound that was on time.)
    bool device = false;
    uint32_t delay = outputDelay(&device);
    if (device && delay > kWriteAheadMs) {
        // Once: a device that takes nothing must not hold the loop here.
        waitWhileRunning(m_audioRunning, delay - kWriteAheadMs);
        delay = outputDelay(&device);
    }
    std::shared_ptr<CMediaRefClock> clock = this->clock();
    const uint32_t playing = clock ? clock->GetTime(0) : 0;
    uint32_t heardFrom = pts;
    // Sound a jump away from the clock (the stream's times jumped, restarted
    // or wrapped) is neither cut nor padded with silence for the jump's
    // length: the pictures move the clock to the new times.
    if (playing != 0 && pts != 0 && !CMediaRefClock::IsTimeJump(playing, pts)) {
        // The clock will have moved on at its speed by the time this block is heard.
        const float speed = clock->GetSpeed();
        const uint32_t expected =
            playing + static_cast<uint32_t>(static_cast<float>(delay) * (speed > 0 ? speed : 1.0f));
        const uint32_t tolerance = speed == 1.0f ? kAudioDriftMs : kOtherSpeedDriftMs;
        const AudioFormat format = m_renderFormat;
        const uint64_t bytesPerSecondX8 = bitsPerSecond(format);
        const uint32_t bytesPerFrame = frameBytes(format);
        // Late sound is dropped only while the host holds newer sound; the
        // host is asked with no lock held.
        if (pts + tolerance < expected && hostNewestTime(TRACK_AUDIO) > expected) {
            // At another speed the cut reaches half the tolerance past the
            // clock, so that the sound then falls behind through the band
            // instead of only ever lagging.
            const uint32_t past = speed == 1.0f ? 0 : tolerance / 2;
            uint32_t drop =
                static_cast<uint32_t>((expected + past - pts) * bytesPerSecondX8 / 8000u);
            if (bytesPerFrame > 0 && drop > bytesPerFrame) {
                drop -= drop % bytesPerFrame;
            }
            if (drop >= size) {
                return 0;
            }
            data += drop;
            size -= drop;
            heardFrom = pts + durationMs(format, drop);
        } else if (pts > expected + tolerance) {
            uint32_t pending = static_cast<uint32_t>((pts - expected) * bytesPerSecondX8 / 8000u);
            if (bytesPerFrame > 0 && pending > bytesPerFrame) {
                pending -= pending % bytesPerFrame;
            }
            m_audioSilencePending = static_cast<int32_t>(pending);
        }
    }
    if (!writeToRenderer(data, size)) {
        return 0;
    }
    // A write that had to wait for room found less ahead of it than before:
    // the block is heard once what is queued now, less the block, has played.
    if (device) {
        const uint32_t queued = outputDelay(&device);
        const uint32_t length = durationMs(m_renderFormat, size);
        delay = queued > length ? queued - length : 0;
    }
    if (clock) {
        if (clock->GetAudioTime() == 0 && pts == 0 && m_audioSilencePending > 0) {
            m_audioSilencePending = 0;
        }
        const uint32_t position = heardFrom > delay ? heardFrom - delay : 0;
        // Only a device's position is worth following: without one, blocks
        // go at the loop's own pace; silence (at time 0) has no position.
        device&& pts != 0 ? clock->UpdateHeardTime(position) : clock->UpdateAudioTime(position);
    }
    return 0;
}
