#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <cstdio>
#include <cstring>
#include <new>

#include "Common/CAutoLock.h"
#include "Common/Log.h"
#include "Common/TimeFunctions.h"
#include "Platform/X11/Win32Window.h"
#include "TavoPlayerCore/CMediaOneMinPlay.h"
#include "TavoPlayerCore/CMediaRefClock.h"
#include "TavoPlayerCore/Decoder/IVideoDecoder.h"
#include "TavoPlayerCore/MediaSampleRecord.h"
#include "TavoPlayerCore/TavoMediaPlayer/CLagWatch.h"
#include "TavoPlayerCore/VideoRender/IVideoRender.h"

using RIVO_Common_Player::CAutoLock;
using RIVO_Common_Player::sleepMs;
using RIVO_Common_Player::timeMs;

namespace {

// The live catch-up speed and the normal one.
constexpr float kCatchUpSpeed = 1.2f;
constexpr float kNormalSpeed = 1.0f;
// A live clock that no sound leads keeps whatever lag it took on: pictures
// more than the clock's tolerance late (a loaded machine, a stall shorter
// than the catch-up's threshold) move it back to their times, and at speed
// 1 it never gains the lag back, so every picture then waits that long in
// the host, on a wall's muted tiles 200-260 ms for good. Once the host's
// newest picture has stayed more than kPictureLagMs (two pictures waiting at
// 25 fps) plus the stream's delay that the host reports (getMaxDelay: a lag
// within its jitter keeps a jittery stream smooth) ahead of the one taken
// for kPictureLagStayMs, the clock moves on to the newest, as at a live
// start: the waiting pictures follow at decoding speed, each shown once. A
// burst from the network is played out long before. The clock is not run
// faster instead: each change of speed restarts it at the last picture
// shown, and a wall lost more than it gained. A clock that follows a sound
// device is left to the audio loop, which speeds the sound up instead.
// (Deliberately beyond the loops' first design, which knew only the
// catch-up at kCatchUpSpeed.)
constexpr uint32_t kPictureLagMs = 45;
constexpr uint32_t kPictureLagStayMs = 1000;
// Longest single wait of a picture for its time.
constexpr uint32_t kClockWaitMs = 20;
// Longest wait of the first picture for the audio loop's first position.
constexpr uint32_t kAudioStartWaitMs = 1000;
// Pictures between two looks at the window's size (a server round trip for
// an X11 window): a resized window changes the decoding within a second.
constexpr uint32_t kWindowCheckPictures = 25;

// True when time a lies before time b on the 32-bit millisecond circle, so a
// wait never runs for ~49 days when one of the two has wrapped and the other not.
bool isBefore(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) < 0;
}

}  // namespace

void CTavoMediaPlayer::functionVideoThread() {
    MediaSample sample;
    initMediaSample(&sample);
    bool storeStarted = false;
    // The first picture since the clock started has waited for the audio
    // loop's first report.
    bool audioStartWaited = false;
    CLagWatch pictureLag(kPictureLagMs, kPictureLagMs, kPictureLagStayMs);
    // When the host last gave something (the polls grow rarer after it).
    uint32_t lastSampleAt = timeMs();
    for (;;) {
        if (!m_videoRunning) {
            releaseVideo();
            return;
        }
        deliverRecordEvents();
        if (!mediaSource()) {
            waitWhileRunning(m_videoRunning, idlePollMs(timeMs() - lastSampleAt));
            continue;
        }
        if (waitWhilePaused(m_videoRunning)) {
            continue;
        }
        watchParkedAudio();
        std::shared_ptr<CMediaRefClock> clock = this->clock();
        PullPass pass{m_storePlayback, frameStore(), false, false};
        const uint32_t newestMs = hostNewestTime(TRACK_VIDEO);
        // A host that has had nothing for a while has no lead to control,
        // and the idle pass stays short.
        if (clock->HasRefTime() && m_playMode == PLAY_MODE_LIVE && !pass.replay &&
            timeMs() - lastSampleAt < kBriefGapMs) {
            controlLatency(clock.get(), newestMs);
        }

        const Pulled pulled = pullSample(TRACK_VIDEO, &pass, &sample);
        if (pulled == Pulled::kNothing) {
            waitWhileRunning(m_videoRunning, idlePollMs(timeMs() - lastSampleAt));
            continue;
        }
        if (timeMs() - lastSampleAt >= kBriefGapMs) {
            // The host is back after a gap: its sound may be too.
            wakeAudioLoop();
        }
        lastSampleAt = timeMs();
        if (pulled == Pulled::kDescription) {
            continue;
        }
        if (pass.store) {
            // The clock starts afresh when the replay starts or ends, and after a seek.
            if (pass.replay != storeStarted) {
                clock->Reset();
                if (pass.replay) {
                    RIVO_LOG("min player start");
                }
                storeStarted = pass.replay;
            }
            if (pass.seeked) {
                clock->Reset();
            }
            if (pulled == Pulled::kStoreIdle) {
                idleInReplay(m_videoRunning);
                continue;
            }
            if (pass.replay) {
                uint32_t position = 0;
                pass.store->getPlayPosition(&position);
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
        // Decoded before the wait for its time, so that the picture reaches
        // the screen when its time comes rather than a decode later.
        {
            CAutoLock lock(&m_videoLock);
            if (sample.pData && video_decode_frame_Locked(&sample, &m_keptPicture) != 0) {
                RIVO_LOG("video_decode_frame faild!");
                continue;
            }
        }
        m_pictureDecoded = true;
        const bool clockStarted = clock->HasRefTime();
        if (clockStarted) {
            audioStartWaited = false;
            if (m_playMode == PLAY_MODE_LIVE && !pass.replay) {
                keepUpWithHost(clock.get(), &pictureLag, newestMs, sample.ulTime);
            }
            waitForClock(clock.get(), sample);
        } else {
            waitForAudioPosition(clock.get(), sample, &audioStartWaited);
        }
        bool shown = false;
        {
            CAutoLock lock(&m_videoLock);
            if (m_keptPicture.data[0]) {
                shown = video_render_frame_Locked(&m_keptPicture,
                                                  (sample.ulFlags & MEDIA_FLAG_NO_DISPLAY) != 0);
            }
        }
        // Event 502 tells the host that the first picture since the clock
        // started is on screen. It is sent once that picture has been shown,
        // not before every sample while none is (no window yet, live sound
        // paused, pictures that do not decode), and outside the video lock.
        if (!clockStarted && shown) {
            if (m_playMode == PLAY_MODE_LIVE && !pass.replay) {
                startClockAtNewestPicture(clock.get(), sample.ulTime);
            }
            sendEvent(PLAYER_EVENT_FIRST_PICTURE, "");
        }
    }
}

void CTavoMediaPlayer::startClockAtNewestPicture(CMediaRefClock* clock, uint32_t shownMs) {
    // A live start runs the clock from the host's newest picture. The
    // pictures the host released while the first one was on its way (its
    // decoder and renderer set up, many players starting at once) are then
    // late and follow at decoding speed, each shown once, and the player
    // takes the next ones as they arrive. Run from the first picture, the
    // clock would keep that start-up delay for the whole session wherever
    // no sound device leads it (a muted tile, a camera without sound); with
    // sound, the live start begins with the newest sound likewise.
    // (Deliberately beyond the loops' first design, which started the
    // clock at the first picture shown.)
    const uint32_t newest = hostNewestTime(TRACK_VIDEO);
    if (isBefore(shownMs, newest) && !CMediaRefClock::IsTimeJump(newest, shownMs)) {
        clock->SetRefTime(newest);
    }
}

void CTavoMediaPlayer::watchParkedAudio() {
    if (m_audioParked && hostNewestTime(TRACK_AUDIO) != m_parkedAudioNewest) {
        wakeAudioLoop();
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

void CTavoMediaPlayer::keepUpWithHost(CMediaRefClock* clock, CLagWatch* lag, uint32_t newestMs,
                                      uint32_t pictureMs) {
    // Not while catching up or at the host's own speed.
    if (clock->GetSpeed() != kNormalSpeed || clock->HearsSound() || newestMs == 0 ||
        CMediaRefClock::IsTimeJump(newestMs, pictureMs)) {
        lag->reset();
        return;
    }
    uint32_t jitterMs = 0;
    if (!hostMaxDelay(&jitterMs)) {
        jitterMs = 0;
    }
    const uint32_t waiting = isBefore(pictureMs, newestMs) ? newestMs - pictureMs : 0;
    if (lag->update(waiting > jitterMs ? waiting - jitterMs : 0, timeMs())) {
        clock->SetRefTime(newestMs);
        lag->reset();
    }
}

void CTavoMediaPlayer::waitForAudioPosition(CMediaRefClock* clock, const MediaSample& sample,
                                            bool* audioStartWaited) {
    // The audio loop reports its first position only once the sound device
    // is open, which may take longer than the first video decode. A picture
    // shown before then starts the clock without the sound, and the sound
    // stays behind the pictures for the whole session. So while the host
    // holds audio, give the audio loop a moment to report - once until the
    // first picture is shown, and only while sound can play at all: with the
    // display off (live pause) or no window there is no report to wait for,
    // and waiting on every sample would hold video to one picture a second.
    // The picture waits for the audio loop, which must not stay parked.
    if (m_audioParked) {
        wakeAudioLoop();
    }
    uint32_t t = clock->GetAudioTime();
    if (!*audioStartWaited && m_displayOn && m_hWnd.load() != nullptr) {
        *audioStartWaited = true;
        const uint32_t waitStart = timeMs();
        while (t == 0 && timeMs() - waitStart < kAudioStartWaitMs &&
               hostNewestTime(TRACK_AUDIO) != 0 && m_videoRunning && m_displayOn) {
            sleepMs(2);
            t = clock->GetAudioTime();
        }
    }
    // A picture whose time lies a jump away from the sound's is not held
    // back for it: the clock starts on the picture.
    while (t != 0 && isBefore(t, sample.ulTime) && !CMediaRefClock::IsTimeJump(t, sample.ulTime) &&
           m_videoRunning && m_displayOn) {
        sleepMs(2);
        t = clock->GetAudioTime();
    }
}

void CTavoMediaPlayer::waitForClock(CMediaRefClock* clock, const MediaSample& sample) {
    uint32_t t = clock->GetTime(0);
    if (CMediaRefClock::IsTimeJump(t, sample.ulTime)) {
        // The stream's times jumped (or wrapped at 2^32): waiting for the
        // clock to get there would freeze the picture for the jump's length,
        // so the clock starts afresh on this picture.
        RIVO_LOG("time stamp jump from %u to %u", t, sample.ulTime);
        clock->SetRefTime(sample.ulTime);
        return;
    }
    // Asleep until the picture is due, at most kClockWaitMs at a time: the
    // clock may change speed, pause or follow the sound meanwhile. (The loop
    // once looked at the clock every 2 ms, 500 wake-ups a second for each
    // player of a wall.)
    while (isBefore(t, sample.ulTime) && m_videoRunning) {
        const float speed = clock->GetSpeed();
        const uint32_t dueMs = static_cast<uint32_t>(static_cast<float>(sample.ulTime - t) /
                                                     (speed > 0 ? speed : 1.0f));
        waitWhileRunning(m_videoRunning, dueMs < 1              ? 1
                                         : dueMs < kClockWaitMs ? dueMs
                                                                : kClockWaitMs);
        t = clock->GetTime(0);
    }
}

int32_t CTavoMediaPlayer::video_decode_frame_Locked(const MediaSample* sample,
                                                    VideoPicture* picture) {
    RIVO_LOG("video deocde start");
    if (!m_videoDecoder || !sample->pData) {
        RIVO_LOG("video deocde arg error!");
        return PLAYER_E_INVALIDARG;
    }
    if (m_picturesToWindowCheck == 0) {
        m_picturesToWindowCheck = kWindowCheckPictures;
        m_videoDecoder->setSkipLoopFilter(windowFarSmallerThanPicture_Locked());
    }
    --m_picturesToWindowCheck;
    AVFrame* frame = nullptr;
    if (!m_videoDecoder->decode(sample->pData, static_cast<int>(sample->ulsize)) ||
        !m_videoDecoder->getFrame(&frame) || !frame) {
        // The decoder keeps its last picture, so the kept one stays valid.
        return PLAYER_E_FAIL;
    }
    VideoPicture converted{};
    if (!m_videoConverter.convert(frame, &converted)) {
        // The decoder's new frame replaced the one the kept picture may point into.
        *picture = VideoPicture{};
        return PLAYER_E_FAIL;
    }
    // A description may already have stored the new size, so the picture is
    // compared with the size (and strides: the renderer's copy and the
    // snapshot planes are sized by them) the renderer was set up for.
    if (!m_videoRender || m_renderWidth != frame->width || m_renderHeight != frame->height ||
        std::memcmp(m_renderStrides, converted.linesize, sizeof(m_renderStrides)) != 0) {
        const VideoSize size{frame->width, frame->height};
        m_videoSize = size;
        const int32_t r = createVideoRender_Locked(size);
        if (r != 0) {
            delete m_videoRender;
            m_videoRender = nullptr;
            RIVO_LOG("create video render error!");
            return r;
        }
        m_renderWidth = frame->width;
        m_renderHeight = frame->height;
        std::memcpy(m_renderStrides, converted.linesize, sizeof(m_renderStrides));
        // The snapshot planes follow the renderer, so they always fit its pictures.
        allocSnapshotPlanes_Locked(converted, frame->height);
    }
    *picture = converted;
    picture->time = sample->ulTime;
    RIVO_LOG("video deocde end!");
    return 0;
}

bool CTavoMediaPlayer::windowFarSmallerThanPicture_Locked() {
    // Beyond the engine's Windows-era behaviour, which decodes every picture
    // in full: a window at most half the picture's width and height (a tile
    // of a camera wall) shows pictures decoded without the deblocking filter,
    // which took a seventh of the decoding time of the simulated camera's
    // 720p H.264. The filter smooths block edges a few pixels wide, which the
    // scaling averages away: at the window's size the pictures stay above
    // 35 dB PSNR against fully decoded ones (DecoderTest checks it).
    RECT client{};
    void* window = m_hWnd;
    if (m_renderWidth <= 0 || !window || !GetClientRect(static_cast<HWND>(window), &client)) {
        return false;
    }
    const LONG width = client.right - client.left;
    const LONG height = client.bottom - client.top;
    return width > 0 && height > 0 && 2 * width <= m_renderWidth && 2 * height <= m_renderHeight;
}

int32_t CTavoMediaPlayer::createVideoRender_Locked(const VideoSize& size) {
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
    m_videoRender->SetFormat(static_cast<uint32_t>(size.width), static_cast<uint32_t>(size.height),
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

bool CTavoMediaPlayer::video_render_frame_Locked(const VideoPicture* picture, bool noDisplay) {
    if (!m_videoRender || !m_displayOn || noDisplay) {
        return false;
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
    return true;
}

int32_t CTavoMediaPlayer::allocSnapshotPlanes_Locked(const VideoPicture& picture, int32_t height) {
    freeSnapshotPlanes_Locked();
    uint8_t* planes[3] = {nullptr, nullptr, nullptr};
    for (int i = 0; i < 3; ++i) {
        planes[i] = new (std::nothrow)
            uint8_t[static_cast<size_t>(picture.linesize[i]) * static_cast<size_t>(height)];
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
