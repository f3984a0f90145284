// Live playback through the player, on the real clock. A scripted host
// feeds the simulated camera (1280x720 25 fps H.264, a key frame every
// second, AAC 8000 Hz mono) through the real callbacks, releasing each
// sample at its media time; sound goes to SDL's dummy driver.
//
// BM_FirstPicture: time from run() to the first picture on screen, for a
// stream whose first sample (after its description) is a key frame, without
// audio and with audio, each repetition shown. The offscreen window (320x180,
// so that reading it back is cheap) is read every 0.2 ms; the time taken is
// when the read that first shows picture 0 began (error: one gap between
// reads, the widest printed as read_gap_ms). Host, window and player are
// made afresh for each repetition, outside the timing, after one untimed
// session. BM_FirstPictureColdProcess is the process's first player (with
// audio), which also loads and sets up the renderer's and the sound's
// libraries: run it first.
//
// BM_LivePlaybackCpu: processor time of the whole process per second of
// steady live playback into a 1280x720 window with the renderer named by the
// first argument (0x204 shader, the engine's default; 0x203 Direct3D
// surface; 0x202 DirectDraw): an offscreen window, or with x11 an X11 window
// on a private Xvfb (started once for the process, whose X connection the
// library keeps), where the Direct3D renderers draw through EGL's window
// surface as they do on a desktop. Taken from 1 s after run() to 1 s before the
// end of the 8 s stream while this thread sleeps; against the processor
// time that a bare libavcodec loop (one send and one receive per sample, one
// thread like the engine's decoders) takes for the same samples, decoded in
// the same run after the player has stopped. player_to_bare is what playing
// costs against decoding alone: it adds colour conversion and drawing (on
// Mesa's software rasteriser for the two Direct3D renderers), the audio path
// (conversion, noise suppression, output) and the polling loops.

#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"
#include "simcam/LumaView.h"
#include "simcam/SimulatedCamera.h"
#include "simcam/TestPattern.h"
#include "support/OffscreenTestWindow.h"
#include "support/ProcessCpu.h"
#include "support/ScriptedHost.h"
#include "support/StdoutCapture.h"
#include "support/X11TestWindow.h"
#include "support/XvfbServer.h"

namespace {

constexpr uint32_t kFirstPictureMediaMs = 1000;
constexpr uint32_t kCpuMediaMs = 8000;
constexpr auto kSettle = std::chrono::seconds(1);

simcam::CameraSettings camera(bool withAudio) {
    simcam::CameraSettings settings;
    settings.videoCodec = simcam::VideoCodec::H264;
    settings.width = 1280;
    settings.height = 720;
    settings.frameRate = 25;
    settings.keyFrameInterval = 25;
    settings.audioCodec = withAudio ? simcam::AudioCodec::AAC : simcam::AudioCodec::None;
    settings.audioSampleRate = 8000;
    settings.audioChannels = 1;
    return settings;
}

// Plays a fresh camera stream until its first picture is on screen. Returns
// the time from run() to the start of the read that first showed a picture:
// zero when none came within 10 s, negative when it was not picture 0.
// Widens *readGapMs to the gap between that read and the one before.
std::chrono::nanoseconds timeToFirstPicture(bool withAudio, double* readGapMs) {
    ScriptedHost host;
    host.addCamera(camera(withAudio), kFirstPictureMediaMs);
    OffscreenTestWindow screen(320, 180);
    CTavoMediaPlayer player;
    player.setHostContext(host.context());
    player.setParam(PARAM_WINDOW, screen.handle());
    host.start();
    const auto start = std::chrono::steady_clock::now();
    player.run();
    auto previous = start;
    std::chrono::nanoseconds shown{0};
    int64_t number = -1;
    while (shown.count() == 0 && previous - start < std::chrono::seconds(10)) {
        const auto at = std::chrono::steady_clock::now();
        if ((number = screen.pattern().number) >= 0) {
            shown = at - start;
            *readGapMs = std::max(*readGapMs,
                                  std::chrono::duration<double, std::milli>(at - previous).count());
        }
        previous = at;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    player.stop();
    return number == 0 ? shown : -shown;
}

void timeFirstPictures(benchmark::State& state, bool withAudio, bool warmUp) {
    av_log_set_level(AV_LOG_ERROR);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    StdoutCapture engineOutput;  // the sound feeder prints a line per block
    double readGapMs = 0;
    if (warmUp) {
        double ignored = 0;
        timeToFirstPicture(withAudio, &ignored);
    }
    for (auto _ : state) {
        const std::chrono::nanoseconds shown = timeToFirstPicture(withAudio, &readGapMs);
        if (shown.count() <= 0) {
            state.SkipWithError(shown.count() == 0 ? "no picture within 10 s"
                                                   : "picture 0 was not first");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(shown).count());
    }
    state.counters["read_gap_ms"] = readGapMs;
}

// The process's first player (run first): it also loads the libraries of
// the renderer and the sound output and sets them up for the first time.
void BM_FirstPictureColdProcess(benchmark::State& state) {
    timeFirstPictures(state, true, false);
}

// Later players, after one untimed warm-up session.
void BM_FirstPicture(benchmark::State& state) {
    timeFirstPictures(state, state.range(0) != 0, true);
}

// The camera's samples as the scripted host hands them over.
struct CameraStream {
    std::vector<simcam::EncodedUnit> video;
    std::vector<simcam::EncodedUnit> audio;
};

const CameraStream& cpuStream() {
    static const CameraStream stream = [] {
        CameraStream s;
        simcam::SimulatedCamera source(camera(true));
        simcam::EncodedUnit unit;
        while (source.nextVideo(&unit) && unit.timeMs < kCpuMediaMs) {
            s.video.push_back(unit);
        }
        while (source.nextAudio(&unit) && unit.timeMs < kCpuMediaMs) {
            s.audio.push_back(unit);
        }
        return s;
    }();
    return stream;
}

// Decodes every unit with one send and one receive, one thread; returns the
// frames received.
int bareDecode(AVCodecID id, const std::vector<simcam::EncodedUnit>& units) {
    AVCodecContext* context = avcodec_alloc_context3(avcodec_find_decoder(id));
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    int frames = 0;
    context->thread_count = 1;
    if (avcodec_open2(context, context->codec, nullptr) == 0) {
        for (const simcam::EncodedUnit& unit : units) {
            packet->data = const_cast<uint8_t*>(unit.data.data());
            packet->size = static_cast<int>(unit.data.size());
            avcodec_send_packet(context, packet);
            frames += avcodec_receive_frame(context, frame) == 0 ? 1 : 0;
        }
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return frames;
}

// A 1280x720 window for live playback, offscreen or on the process's Xvfb;
// number() is the picture number its pattern shows (-1 for none).
class PlaybackWindow {
public:
    explicit PlaybackWindow(bool x11) {
        if (!x11) {
            m_offscreen.reset(new OffscreenTestWindow(1280, 720));
            return;
        }
        static XvfbServer server(1920, 1080);
        if (server.started()) {
            m_x11.reset(new X11TestWindow(1280, 720));
        }
    }
    bool valid() const { return m_offscreen || (m_x11 && m_x11->valid()); }
    HWND handle() const { return m_offscreen ? m_offscreen->handle() : m_x11->handle(); }
    int64_t number() const {
        if (m_offscreen) {
            return m_offscreen->pattern().number;
        }
        int width = 0;
        int height = 0;
        const std::vector<uint8_t> rgba = m_x11->read(&width, &height);
        if (rgba.empty()) {
            return -1;
        }
        return simcam::TestPattern::readNumber(
            simcam::LumaView::fromRgb(rgba.data(), width * 4, width, height, 4, 0, 1, 2));
    }

private:
    std::unique_ptr<OffscreenTestWindow> m_offscreen;
    std::unique_ptr<X11TestWindow> m_x11;
};

void BM_LivePlaybackCpu(benchmark::State& state) {
    av_log_set_level(AV_LOG_ERROR);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    const CameraStream& stream = cpuStream();
    StdoutCapture engineOutput;
    double playerMs = 0;
    double bareMs = 0;
    double seconds = 0;
    for (auto _ : state) {
        ScriptedHost host;
        host.addCamera(camera(true), kCpuMediaMs);
        const PlaybackWindow screen(state.range(1) != 0);
        if (!screen.valid()) {
            state.SkipWithError("no X11 window on Xvfb");
            return;
        }
        CTavoMediaPlayer player;
        int32_t kind = static_cast<int32_t>(state.range(0));
        player.setHostContext(host.context());
        player.setParam(PARAM_RENDER_KIND, &kind);
        player.setParam(PARAM_WINDOW, screen.handle());
        host.start();
        const auto start = std::chrono::steady_clock::now();
        player.run();
        std::this_thread::sleep_until(start + kSettle);
        const double cpuStart = processCpuMs();
        const auto wallStart = std::chrono::steady_clock::now();
        std::this_thread::sleep_until(start + std::chrono::milliseconds(kCpuMediaMs) - kSettle);
        playerMs += processCpuMs() - cpuStart;
        seconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        const int64_t number = screen.number();
        player.stop();
        // The picture on screen must be within 2 s of the newest one released.
        const int64_t fps = camera(true).frameRate;
        const int64_t newest = (kCpuMediaMs / 1000 - kSettle.count()) * fps;
        if (number < newest - 2 * fps) {
            state.SkipWithError("the player fell behind the live stream");
            return;
        }

        const double bareStart = processCpuMs();
        const int pictures = bareDecode(AV_CODEC_ID_H264, stream.video);
        const int blocks = bareDecode(AV_CODEC_ID_AAC, stream.audio);
        bareMs += processCpuMs() - bareStart;
        if (pictures != static_cast<int>(stream.video.size()) || blocks == 0) {
            state.SkipWithError("the bare decoder did not decode the stream");
            return;
        }
    }
    const double iterations = static_cast<double>(state.iterations());
    const double bareSeconds = iterations * kCpuMediaMs / 1000.0;
    state.counters["player_cpu_ms_per_s"] = playerMs / seconds;
    state.counters["bare_cpu_ms_per_s"] = bareMs / bareSeconds;
    state.counters["player_to_bare"] = (playerMs / seconds) / (bareMs / bareSeconds);
}

double minimum(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

double maximum(const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end());
}

}  // namespace

BENCHMARK(BM_FirstPictureColdProcess)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_FirstPicture)
    ->ArgName("audio")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ComputeStatistics("min", minimum)
    ->ComputeStatistics("max", maximum);
BENCHMARK(BM_LivePlaybackCpu)
    ->ArgNames({"render_kind", "x11"})
    ->ArgsProduct({{RENDER_KIND_D3D_SHADER, RENDER_KIND_D3D, RENDER_KIND_DDRAW}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

BENCHMARK_MAIN();
