// Cost of noise suppression per second of audio: 8 kHz mono 16-bit (16000
// bytes) processed in the block sizes the player hands over: 160 bytes
// (a G.711 frame) and 4096 bytes (a stereo 1024-sample AAC frame, with its
// short last chunk).

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "TavoPlayerCore/Apm/ApmWrapper.h"

namespace {

constexpr int kBytesPerSecond = 16000;

void BM_NoiseSuppressionPerSecond(benchmark::State& state) {
    const int blockBytes = static_cast<int>(state.range(0));
    std::vector<int16_t> second(kBytesPerSecond / 2);
    uint32_t seed = 1;
    for (size_t i = 0; i < second.size(); ++i) {
        seed = seed * 1103515245u + 12345u;
        const double noise = static_cast<int>((seed >> 16) & 0x7FF) - 1024;
        second[i] = static_cast<int16_t>(3000 * std::sin(i * 0.157) + noise);
    }
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(second.data());
    ApmWrapper apm;
    if (apm.init() != 0) {
        state.SkipWithError("audio processing could not be set up");
        return;
    }
    for (auto _ : state) {
        for (int offset = 0; offset < kBytesPerSecond; offset += blockBytes) {
            const int size = std::min(blockBytes, kBytesPerSecond - offset);
            benchmark::DoNotOptimize(apm.process(bytes + offset, size));
        }
    }
    // Seconds of audio per second of processing.
    state.counters["realtime_factor"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_NoiseSuppressionPerSecond)->Arg(160)->Arg(4096)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
