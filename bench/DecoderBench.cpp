// Decode time per picture of the engine's video decoders against bare
// libavcodec (one send, one receive, the same single thread) on the same
// 1080p camera streams. Each iteration decodes the stream once through each,
// in alternating order, so that both see the same machine; time is the
// decoding thread's CPU time, which other load on the machine disturbs
// least. The counters give the time per picture of each and their ratio.

#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdio>
#include <vector>

#include "TavoPlayerCore/Decoder/CH264Decoder.h"
#include "TavoPlayerCore/Decoder/CH265Decoder.h"
#include "simcam/SimulatedCamera.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

constexpr int kPictures = 50;

std::vector<simcam::EncodedUnit> cameraStream(simcam::VideoCodec codec) {
    simcam::CameraSettings settings;
    settings.videoCodec = codec;
    settings.width = 1920;
    settings.height = 1080;
    settings.audioCodec = simcam::AudioCodec::None;
    simcam::SimulatedCamera camera(settings);
    std::vector<simcam::EncodedUnit> units(kPictures);
    for (simcam::EncodedUnit& unit : units) {
        if (!camera.nextVideo(&unit)) {
            std::fprintf(stderr, "camera: %s\n", camera.error().c_str());
            return {};
        }
    }
    return units;
}

const std::vector<simcam::EncodedUnit>& h264Stream() {
    static const std::vector<simcam::EncodedUnit> units = cameraStream(simcam::VideoCodec::H264);
    return units;
}

const std::vector<simcam::EncodedUnit>& h265Stream() {
    static const std::vector<simcam::EncodedUnit> units = cameraStream(simcam::VideoCodec::H265);
    return units;
}

// The minimal libavcodec loop the decoder classes are measured against.
class BareDecoder {
public:
    explicit BareDecoder(AVCodecID id)
        : m_context(avcodec_alloc_context3(avcodec_find_decoder(id))),
          m_frame(av_frame_alloc()),
          m_packet(av_packet_alloc()) {
        m_context->thread_count = 1;
        avcodec_open2(m_context, m_context->codec, nullptr);
    }
    ~BareDecoder() {
        av_packet_free(&m_packet);
        av_frame_free(&m_frame);
        avcodec_free_context(&m_context);
    }
    bool decode(const uint8_t* data, int size) {
        m_packet->data = const_cast<uint8_t*>(data);
        m_packet->size = size;
        avcodec_send_packet(m_context, m_packet);
        return avcodec_receive_frame(m_context, m_frame) == 0;
    }

private:
    AVCodecContext* m_context;
    AVFrame* m_frame;
    AVPacket* m_packet;
};

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

template <class Decoder>
double decodeStream(Decoder& decoder, const std::vector<simcam::EncodedUnit>& units,
                    int* pictures) {
    const double start = threadSeconds();
    for (const simcam::EncodedUnit& unit : units) {
        *pictures += decoder.decode(unit.data.data(), static_cast<int>(unit.data.size()));
    }
    return threadSeconds() - start;
}

void compare(benchmark::State& state, IVideoDecoder& engine, AVCodecID id,
             const std::vector<simcam::EncodedUnit>& units) {
    if (units.empty()) {
        state.SkipWithError("no camera stream");
        return;
    }
    BareDecoder bare(id);
    double engineSeconds = 0;
    double bareSeconds = 0;
    int enginePictures = 0;
    int barePictures = 0;
    bool engineFirst = true;
    for (auto _ : state) {
        if (engineFirst) {
            engineSeconds += decodeStream(engine, units, &enginePictures);
        }
        bareSeconds += decodeStream(bare, units, &barePictures);
        if (!engineFirst) {
            engineSeconds += decodeStream(engine, units, &enginePictures);
        }
        engineFirst = !engineFirst;
    }
    if (enginePictures != barePictures) {
        state.SkipWithError("the decoders gave different picture counts");
        return;
    }
    state.counters["engine_us_per_picture"] = engineSeconds * 1e6 / enginePictures;
    state.counters["bare_us_per_picture"] = bareSeconds * 1e6 / barePictures;
    state.counters["engine_to_bare"] = engineSeconds / bareSeconds;
}

void BM_H264Decoder1080p(benchmark::State& state) {
    CH264Decoder decoder;
    compare(state, decoder, AV_CODEC_ID_H264, h264Stream());
}

void BM_H265Decoder1080p(benchmark::State& state) {
    CH265Decoder decoder;
    compare(state, decoder, AV_CODEC_ID_HEVC, h265Stream());
}

}  // namespace

BENCHMARK(BM_H264Decoder1080p)->Unit(benchmark::kMillisecond)->MinTime(5.0);
BENCHMARK(BM_H265Decoder1080p)->Unit(benchmark::kMillisecond)->MinTime(5.0);

BENCHMARK_MAIN();
