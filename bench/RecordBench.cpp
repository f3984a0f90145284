// The recorder's processor cost per second of a 4 Mbit/s 1080p H.264 stream,
// measured as the process's CPU time while a recorder takes the stream and
// writes it to an MP4 file. The stream is encoded once, before any timing.
//
// RecordBurst hands the whole stream over at once (the work per second of
// stream); RecordRealTime hands it over at its frame rate, so that the
// recorder's polling between frames is counted too.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "TavoPlayerCore/Record/CMediaRecord.h"
#include "simcam/SimulatedCamera.h"
#include "support/ProcessCpu.h"

namespace {

constexpr int kFps = 25;
constexpr int kSeconds = 10;
constexpr int kBitRate = 4000000;

const std::vector<simcam::EncodedUnit>& stream() {
    static const std::vector<simcam::EncodedUnit> units = [] {
        av_log_set_level(AV_LOG_ERROR);
        simcam::CameraSettings settings;
        settings.width = 1920;
        settings.height = 1080;
        settings.frameRate = kFps;
        settings.keyFrameInterval = 2 * kFps;
        settings.bitRate = kBitRate;
        settings.audioCodec = simcam::AudioCodec::None;
        simcam::SimulatedCamera camera(settings);
        std::vector<simcam::EncodedUnit> encoded(kFps * kSeconds);
        for (simcam::EncodedUnit& unit : encoded) {
            if (!camera.nextVideo(&unit)) {
                throw std::runtime_error("camera: " + camera.error());
            }
        }
        return encoded;
    }();
    return units;
}

// A fresh directory for the recordings, removed afterwards.
class OutputDir {
public:
    OutputDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tavo-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = pattern;
    }
    ~OutputDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    std::string file(const char* name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Records the stream into path, at its frame rate when paced is set; returns
// the process CPU time it took in milliseconds.
double recordOnce(const std::string& path, bool paced) {
    const std::vector<simcam::EncodedUnit>& samples = stream();
    const double cpuStart = processCpuMs();
    const auto wallStart = std::chrono::steady_clock::now();
    CMediaRecord recorder;
    recorder.setFileName(path.c_str());
    for (size_t i = 0; i < samples.size(); ++i) {
        if (paced) {
            std::this_thread::sleep_until(wallStart + std::chrono::milliseconds(i * 1000 / kFps));
        }
        MediaSample sample{};
        sample.ulTime = samples[i].timeMs;
        sample.ulFlags = samples[i].keyFrame ? MEDIA_FLAG_KEYFRAME : 0;
        sample.ulsize = static_cast<uint32_t>(samples[i].data.size());
        sample.pData = const_cast<uint8_t*>(samples[i].data.data());
        recorder.input(&sample, TRACK_VIDEO);
    }
    recorder.stopRecord();
    if (recorder.state() != CMediaRecord::State::kStopped) {
        throw std::runtime_error("the recording did not start");
    }
    return processCpuMs() - cpuStart;
}

void run(benchmark::State& state, bool paced) {
    size_t bytes = 0;
    for (const simcam::EncodedUnit& sample : stream()) {
        bytes += sample.data.size();
    }
    OutputDir dir;
    double cpuMs = 0;
    for (auto _ : state) {
        cpuMs += recordOnce(dir.file("bench.mp4"), paced);
    }
    state.counters["cpu_ms_per_stream_s"] =
        cpuMs / static_cast<double>(state.iterations()) / kSeconds;
    state.counters["cpu_percent_of_one_core"] =
        cpuMs / static_cast<double>(state.iterations()) / (kSeconds * 1000.0) * 100.0;
    state.counters["stream_kbit_s"] = bytes * 8.0 / kSeconds / 1000.0;
}

void RecordBurst(benchmark::State& state) {
    run(state, false);
}
void RecordRealTime(benchmark::State& state) {
    run(state, true);
}

}  // namespace

BENCHMARK(RecordBurst)->Unit(benchmark::kMillisecond)->Iterations(5)->MeasureProcessCPUTime();
BENCHMARK(RecordRealTime)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

BENCHMARK_MAIN();
