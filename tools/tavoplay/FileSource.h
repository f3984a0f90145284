#pragma once

#include <atomic>
#include <deque>
#include <string>
#include <vector>

#include "IMediaSource.h"

struct AVBSFContext;
struct AVFormatContext;
struct AVPacket;
struct AVStream;

// A media file or network stream read with libavformat (MP4, MKV, MPEG-TS,
// FLV, raw .h264/.h265, .aac, .mp3, .wav, RTSP, HLS, ...), turned into the
// samples a camera would send:
// - H.264 and H.265 as Annex B access units with in-band parameter sets (the
//   mp4toannexb filters convert AVCC/HVCC), stamped with their decoding time
//   so that times only go forward, key-frame flags from the packets;
// - AAC as ADTS frames (raw frames get a header built from the stream's
//   parameters), MP3 frames as they are, G.711 A-law and µ-law cut into
//   frames of 20 ms.
// Times are milliseconds from the start of the file. Streams the player
// cannot play are left out with a note; a file with nothing playable does not
// open.
class FileSource : public IMediaSource {
public:
    // How a network stream is opened.
    struct Network {
        // rtsp:// over "tcp" or "udp"; empty: libavformat's choice.
        std::string rtspTransport;
        // Set from another thread to end a connection attempt or a read
        // that waits for the network.
        const std::atomic<bool>* interrupt = nullptr;
    };
    // Silence on the network for this long ends the stream.
    static constexpr int kNetworkTimeoutMs = 5000;

    FileSource();
    ~FileSource() override;

    // True for a URL (rtsp://, udp://, http://, ...) rather than a file.
    static bool isNetworkUrl(const std::string& path);

    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // Opens the file (once per source; read() gives nothing until then).
    // False, with the reason in error(), when it cannot be opened or holds
    // nothing the player plays.
    bool open(const std::string& path, const Network* network = nullptr);
    // What was left out of the file and why, one line each.
    const std::vector<std::string>& notes() const { return m_notes; }

    StreamInfo videoStreamInfo() const override { return m_videoInfo; }
    StreamInfo audioStreamInfo() const override { return m_audioInfo; }
    bool read(SourceUnit* unit) override;
    const std::string& error() const override { return m_error; }
    std::string describe() const override { return m_description; }

private:
    void chooseVideo();
    void chooseAudio();
    // Converts one packet of a chosen stream into units at the end of m_ready.
    bool convertVideo(AVPacket* packet);
    void convertAudio(AVPacket* packet);
    void addVideoUnit(const AVPacket* packet);
    // Milliseconds from the start of the file for a stream time (0 before it).
    uint32_t toMs(int64_t time, const AVStream* stream) const;
    void close();
    static int interruptRequested(void* source);

    AVFormatContext* m_format;
    AVBSFContext* m_filter;  // AVCC/HVCC to Annex B, when the video needs it
    AVPacket* m_packet;
    const std::atomic<bool>* m_interrupt;
    int m_videoIndex;
    int m_audioIndex;
    int64_t m_startUs;  // the file's start time
    StreamInfo m_videoInfo;
    StreamInfo m_audioInfo;
    // ADTS header fields for raw AAC frames; m_adtsRate < 0 when frames keep their bytes.
    int m_adtsProfile;
    int m_adtsRate;
    int m_adtsChannels;
    uint32_t m_videoSequence;
    uint32_t m_audioSequence;
    uint32_t m_lastVideoMs;
    std::deque<SourceUnit> m_ready;
    bool m_ended;
    std::string m_error;
    std::string m_description;
    std::vector<std::string> m_notes;
};
