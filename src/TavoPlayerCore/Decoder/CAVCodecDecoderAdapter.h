#pragma once

#include "TavoPlayerCore/Decoder/CAVCodecDecoder.h"

// Implements a decoder interface (IVideoDecoder or IAudioDecoder) over
// CAVCodecDecoder; the decoder classes only choose the codec and open it in
// their constructor.
template <class Interface>
class CAVCodecDecoderAdapter : public Interface {
public:
    ~CAVCodecDecoderAdapter() override { close(); }

    bool open() override { return m_decoder.open(m_setup); }

    bool close() override {
        m_decoder.close();
        return true;
    }

    bool reset() override {
        this->close();
        return this->open();
    }

    bool decode(const uint8_t* data, int size) override { return m_decoder.decode(data, size); }

    bool getFrame(AVFrame** out) override {
        if (!out) {
            return false;
        }
        *out = m_decoder.frame();
        return true;
    }

protected:
    explicit CAVCodecDecoderAdapter(const CAVCodecDecoder::Setup& setup) : m_setup(setup) {}

    CAVCodecDecoder& decoder() { return m_decoder; }

private:
    const CAVCodecDecoder::Setup m_setup;
    CAVCodecDecoder m_decoder;
};
