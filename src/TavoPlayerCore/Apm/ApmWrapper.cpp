#include "TavoPlayerCore/Apm/ApmWrapper.h"

#include <cstring>
#include <new>

#include "Platform/Win32/DebugOutput.h"

ApmWrapper::ApmWrapper()
    : m_module(nullptr), m_sampleRate(0), m_channels(0), m_suppressing(false), m_chunkBytes(0) {}

ApmWrapper::~ApmWrapper() {
    OutputDebugStringA("sdas!!!!!!!!!!!!!!!!!");
    delete m_module;
}

int32_t ApmWrapper::init() {
    return setFormat(8000, 1);
}

int32_t ApmWrapper::setFormat(int32_t sampleRate, int32_t channels) {
    m_carried.clear();
    m_output.clear();
    m_sampleRate = sampleRate;
    m_channels = channels;
    m_suppressing =
        (sampleRate == 8000 || sampleRate == 16000 || sampleRate == 32000 || sampleRate == 48000) &&
        (channels == 1 || channels == 2);
    m_chunkBytes = m_suppressing ? static_cast<size_t>(sampleRate / 100 * channels * 2) : 0;
    if (!m_module) {
        m_module = webrtc::AudioProcessing::Create();
        if (!m_module) {
            return 2;
        }
        m_module->noise_suppression()->set_level(webrtc::NoiseSuppression::kHigh);
        m_module->noise_suppression()->Enable(true);
    }
    if (!m_suppressing) {
        return 0;
    }
    const webrtc::AudioProcessing::ChannelLayout layout =
        channels == 2 ? webrtc::AudioProcessing::kStereo : webrtc::AudioProcessing::kMono;
    const int status =
        m_module->Initialize(sampleRate, sampleRate, sampleRate, layout, layout, layout);
    return status == 0 ? 0 : 2;
}

int32_t ApmWrapper::process(const uint8_t* data, int32_t size) {
    m_output.clear();
    if (size < 0 || !m_module) {
        return 1;
    }
    const size_t start = m_carried.size();
    m_carried.resize(start + static_cast<size_t>(size));
    if (data) {
        std::memcpy(m_carried.data() + start, data, static_cast<size_t>(size));
    }
    if (!m_suppressing) {
        m_output.swap(m_carried);
        return 0;
    }
    const size_t whole = m_carried.size() - m_carried.size() % m_chunkBytes;
    const int samplesPerChannel = m_sampleRate / 100;
    int16_t samples[480 * 2];
    for (size_t offset = 0; offset < whole; offset += m_chunkBytes) {
        std::memcpy(samples, m_carried.data() + offset, m_chunkBytes);
        m_frame.UpdateFrame(0, 0, samples, samplesPerChannel, m_sampleRate,
                            webrtc::AudioFrame::kNormalSpeech, webrtc::AudioFrame::kVadActive,
                            m_channels);
        // The same audio is offered as the far-end signal.
        m_module->AnalyzeReverseStream(&m_frame);
        m_module->gain_control()->set_stream_analog_level(1);
        m_module->set_stream_delay_ms(100);
        if (m_module->ProcessStream(&m_frame) != 0) {
            m_carried.erase(m_carried.begin(), m_carried.begin() + static_cast<long>(offset));
            return 1;
        }
        m_output.insert(m_output.end(), reinterpret_cast<const uint8_t*>(m_frame.data_),
                        reinterpret_cast<const uint8_t*>(m_frame.data_) + m_chunkBytes);
    }
    m_carried.erase(m_carried.begin(), m_carried.begin() + static_cast<long>(whole));
    return 0;
}

uint8_t* ApmWrapper::getOutput() {
    return m_output.data();
}

int32_t ApmWrapper::getOutputSize() {
    return static_cast<int32_t>(m_output.size());
}

int32_t ApmWrapper::getCarriedSize() {
    return static_cast<int32_t>(m_carried.size());
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
