#include "TavoPlayerCore/Apm/ApmWrapper.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "Platform/Win32/DebugOutput.h"

ApmWrapper::ApmWrapper() : m_module(nullptr), m_output(nullptr), m_outputCapacity(0) {}

ApmWrapper::~ApmWrapper() {
    OutputDebugStringA("sdas!!!!!!!!!!!!!!!!!");
    delete[] m_output;
    delete m_module;
}

int32_t ApmWrapper::init() {
    delete m_module;
    m_module = webrtc::AudioProcessing::Create();
    if (!m_module) {
        return 2;
    }
    m_module->noise_suppression()->set_level(webrtc::NoiseSuppression::kHigh);
    m_module->noise_suppression()->Enable(true);
    const int status =
        m_module->Initialize(kSampleRate, kSampleRate, kSampleRate, webrtc::AudioProcessing::kMono,
                             webrtc::AudioProcessing::kMono, webrtc::AudioProcessing::kMono);
    return status == 0 ? 0 : 2;
}

int32_t ApmWrapper::process(const uint8_t* data, int32_t size) {
    if (size < 0) {
        return 1;
    }
    if (m_output && m_outputCapacity >= size) {
        std::memset(m_output, 0, static_cast<size_t>(m_outputCapacity));
    } else {
        delete[] m_output;
        m_output = new (std::nothrow) uint8_t[static_cast<size_t>(size)]();
        m_outputCapacity = m_output ? size : 0;
        if (!m_output) {
            return 1;
        }
    }
    if (size == 0) {
        return 0;
    }
    if (!m_module) {
        return 1;
    }
    for (int32_t offset = 0; offset < size; offset += kChunkBytes) {
        const size_t bytes = static_cast<size_t>(std::min(kChunkBytes, size - offset));
        int16_t samples[kChunkSamples] = {};
        if (data) {
            std::memcpy(samples, data + offset, bytes);
        }
        m_frame.UpdateFrame(0, 0, samples, kChunkSamples, kSampleRate,
                            webrtc::AudioFrame::kNormalSpeech, webrtc::AudioFrame::kVadActive, 1);
        // The same audio is offered as the far-end signal.
        m_module->AnalyzeReverseStream(&m_frame);
        m_module->gain_control()->set_stream_analog_level(1);
        m_module->set_stream_delay_ms(100);
        if (m_module->ProcessStream(&m_frame) != 0) {
            return 1;
        }
        std::memcpy(m_output + offset, m_frame.data_, bytes);
    }
    return 0;
}

uint8_t* ApmWrapper::getOutput() {
    return m_output;
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
