#pragma once

#include <cstdint>

struct AVFrame;

// A video decoder: one compressed access unit in, at most one picture out.
//
// The decoder owns the frame it decodes into. A picture obtained with getFrame
// stays valid until the next decode that yields a picture, close or reset on
// the same decoder: a sample that yields nothing leaves it in place. All
// operations run on the thread that holds the player's video lock.
class IVideoDecoder {
public:
    // Closes the decoder.
    virtual ~IVideoDecoder() {}
    // Finds and opens the codec; true when the decoder is ready. Does nothing
    // (and answers true) when it is open already.
    virtual bool open() = 0;
    // Releases the frame and the codec context; always true.
    virtual bool close() = 0;
    // close, then open; the result of open.
    virtual bool reset() = 0;
    // Decodes one access unit; true when a picture came out of it.
    virtual bool decode(const uint8_t* data, int size) = 0;
    // Stores the decoder's frame in *out (also before the first picture);
    // false only for a null out.
    virtual bool getFrame(AVFrame** out) = 0;
    // Leaves the deblocking filter out of the pictures decoded from now on
    // (for codecs that have one), or puts it back; it holds across reset.
    virtual void setSkipLoopFilter(bool skip) = 0;
};
