#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <tavoplayer/ITavoMediaPlayer.h>

// One compressed sample as the host hands it to the player: an Annex B access
// unit, an ADTS frame (AAC), an MP3 frame or G.711 bytes.
struct SourceUnit {
    int32_t track = TRACK_VIDEO;  // TRACK_VIDEO or TRACK_AUDIO
    std::vector<uint8_t> data;
    // Milliseconds from the start of the stream.
    uint32_t timeMs = 0;
    bool keyFrame = false;
    // Picture or frame number of the track, from 0.
    uint32_t sequence = 0;
    // A description unit carries no data: info becomes the track's stream
    // description from here on (a source that connected anew).
    bool describes = false;
    StreamInfo info{};
};

// Where the host's samples come from: the simulated camera, a file or a
// network stream. Used by one thread at a time.
class IMediaSource {
public:
    virtual ~IMediaSource() {}

    // The descriptions the player gets before the samples of each track; codec
    // CODEC_NONE for a track the source does not have.
    virtual StreamInfo videoStreamInfo() const = 0;
    virtual StreamInfo audioStreamInfo() const = 0;

    // The next unit of either track, in the order a camera would send them
    // (roughly by time). False at the end of the source or on a failure;
    // error() then says what failed (empty at a clean end).
    virtual bool read(SourceUnit* unit) = 0;
    virtual const std::string& error() const = 0;

    // One line for the user: what is playing.
    virtual std::string describe() const = 0;
};
