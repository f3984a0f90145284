#include "TavoPlayerCore/Apm/ApmWrapper.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <cstring>
#include <new>

#include "Platform/Win32/DebugOutput.h"

namespace {

// The rate the suppressor runs at for sound at rate: the next one it
// supports, 48 kHz above that.
int workRateFor(int rate) {
    for (int supported : {8000, 16000, 32000}) {
        if (rate <= supported) {
            return supported;
        }
    }
    return 48000;
}

// A resampler of interleaved 16-bit sound between two rates, or null.
SwrContext* makeResampler(int fromRate, int toRate, int channels) {
    AVChannelLayout layout;
    av_channel_layout_default(&layout, channels);
    SwrContext* context = nullptr;
    const int setup = swr_alloc_set_opts2(&context, &layout, AV_SAMPLE_FMT_S16, toRate, &layout,
                                          AV_SAMPLE_FMT_S16, fromRate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    if (setup < 0 || !context || swr_init(context) < 0) {
        swr_free(&context);
    }
    return context;
}

// Appends to out what the resampler makes of the whole samples in bytes at
// in: false when it failed.
bool resample(SwrContext* context, const uint8_t* in, size_t bytes, size_t frameBytes,
              std::vector<uint8_t>& out) {
    const int frames = static_cast<int>(bytes / frameBytes);
    // Converting no input would flush the resampler's state.
    if (frames == 0) {
        return true;
    }
    const int room = swr_get_out_samples(context, frames);
    if (room < 0) {
        return false;
    }
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(room) * frameBytes);
    uint8_t* target = out.data() + start;
    const int made = swr_convert(context, &target, room, &in, frames);
    out.resize(start + static_cast<size_t>(made > 0 ? made : 0) * frameBytes);
    return made >= 0;
}

}  // namespace

ApmWrapper::ApmWrapper()
    : m_module(nullptr),
      m_sampleRate(0),
      m_channels(0),
      m_workRate(0),
      m_suppressing(false),
      m_up(nullptr),
      m_down(nullptr),
      m_frameBytes(0),
      m_chunkBytes(0) {}

ApmWrapper::~ApmWrapper() {
    OutputDebugStringA("sdas!!!!!!!!!!!!!!!!!");
    release();
    delete m_module;
}

void ApmWrapper::release() {
    swr_free(&m_up);
    swr_free(&m_down);
    m_suppressing = false;
    m_input.clear();
    m_carried.clear();
    m_output.clear();
}

int32_t ApmWrapper::init() {
    return setFormat(8000, 1);
}

int32_t ApmWrapper::setFormat(int32_t sampleRate, int32_t channels) {
    release();
    m_sampleRate = sampleRate;
    m_channels = channels;
    if (!m_module) {
        m_module = webrtc::AudioProcessing::Create();
        if (!m_module) {
            return 2;
        }
        m_module->noise_suppression()->set_level(webrtc::NoiseSuppression::kHigh);
        m_module->noise_suppression()->Enable(true);
    }
    if (sampleRate <= 0 || (channels != 1 && channels != 2)) {
        return 0;
    }
    m_workRate = workRateFor(sampleRate);
    m_frameBytes = static_cast<size_t>(channels) * 2;
    m_chunkBytes = static_cast<size_t>(m_workRate / 100) * m_frameBytes;
    m_up = makeResampler(sampleRate, m_workRate, channels);
    m_down = makeResampler(m_workRate, sampleRate, channels);
    const webrtc::AudioProcessing::ChannelLayout layout =
        channels == 2 ? webrtc::AudioProcessing::kStereo : webrtc::AudioProcessing::kMono;
    if (!m_up || !m_down ||
        m_module->Initialize(m_workRate, m_workRate, m_workRate, layout, layout, layout) != 0) {
        release();
        return 2;
    }
    m_suppressing = true;
    return 0;
}

int32_t ApmWrapper::process(const uint8_t* data, int32_t size) {
    m_output.clear();
    if (size < 0 || !m_module) {
        return 1;
    }
    const size_t start = m_input.size();
    m_input.resize(start + static_cast<size_t>(size));
    if (data) {
        std::memcpy(m_input.data() + start, data, static_cast<size_t>(size));
    }
    if (!m_suppressing) {
        m_output.swap(m_input);
        return 0;
    }
    const size_t samples = m_input.size() - m_input.size() % m_frameBytes;
    const bool taken = resample(m_up, m_input.data(), samples, m_frameBytes, m_carried);
    m_input.erase(m_input.begin(), m_input.begin() + static_cast<long>(samples));
    size_t whole = m_carried.size() - m_carried.size() % m_chunkBytes;
    bool suppressed = true;
    for (size_t offset = 0; offset < whole; offset += m_chunkBytes) {
        m_frame.UpdateFrame(0, 0, reinterpret_cast<const int16_t*>(m_carried.data() + offset),
                            m_workRate / 100, m_workRate, webrtc::AudioFrame::kNormalSpeech,
                            webrtc::AudioFrame::kVadActive, m_channels);
        // The same audio is offered as the far-end signal.
        m_module->AnalyzeReverseStream(&m_frame);
        m_module->gain_control()->set_stream_analog_level(1);
        m_module->set_stream_delay_ms(100);
        if (m_module->ProcessStream(&m_frame) != 0) {
            whole = offset;
            suppressed = false;
            break;
        }
        std::memcpy(m_carried.data() + offset, m_frame.data_, m_chunkBytes);
    }
    const bool given = resample(m_down, m_carried.data(), whole, m_frameBytes, m_output);
    m_carried.erase(m_carried.begin(), m_carried.begin() + static_cast<long>(whole));
    return taken && suppressed && given ? 0 : 1;
}

uint8_t* ApmWrapper::getOutput() {
    return m_output.data();
}

int32_t ApmWrapper::getOutputSize() {
    return static_cast<int32_t>(m_output.size());
}

int32_t ApmWrapper::getCarriedSize() {
    if (!m_suppressing) {
        return static_cast<int32_t>(m_input.size());
    }
    // In units of 1 / (stream rate * suppressor rate) seconds.
    const int64_t base = static_cast<int64_t>(m_sampleRate) * m_workRate;
    const int64_t held = swr_get_delay(m_up, base) +
                         static_cast<int64_t>(m_carried.size() / m_frameBytes) * m_sampleRate +
                         swr_get_delay(m_down, base);
    const int64_t samples = (held + m_workRate / 2) / m_workRate;
    return static_cast<int32_t>(m_input.size() + static_cast<size_t>(samples) * m_frameBytes);
}

int32_t createApmWrapper(ApmBase** slot) {
    if (!slot || *slot) {
        return 1;
    }
    *slot = new (std::nothrow) ApmWrapper();
    return 0;
}

void destroyApmWrapper(ApmBase** slot) {
    if (!slot) {
        return;
    }
    delete *slot;
    *slot = nullptr;
}
