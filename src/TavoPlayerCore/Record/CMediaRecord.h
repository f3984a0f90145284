#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Common/ThreadAnnotations.h"
#include "Common/rivo_CMutex.h"
#include "Common/rivo_thread.h"
#include "tavoplayer/ITavoMediaPlayer.h"

struct AVBSFContext;
struct AVCodecParameters;
struct AVFormatContext;
struct AVPacket;
struct AVStream;

// Records the compressed samples the player receives into an MP4 file, without
// decoding them. Video is H.264 or H.265 in Annex B with in-band parameter
// sets; audio, when the stream's audio is AAC (ADTS frames) or MP3, goes into
// a second track. G.711 cannot be stored in MP4: such recordings are video
// only, and the log says so.
//
// The recorder's own thread starts in the constructor. It waits until three
// video key frames have been queued, then writes everything queued so far as
// raw streams into temporary files next to the target ("<base>_tmp.h264",
// "<base>_tmp.aac"), opens them with libavformat to learn the codec parameters
// (the MP4 needs avcC/hvcC and the audio configuration), creates the MP4 with
// a stream for each, writes its header and then the samples from the first key
// frame on. The temporary files are removed as soon as they have been probed.
// Every later pass writes what has been queued since, audio and video merged
// by time. stopRecord writes what is still queued, then the trailer.
//
// A start that fails (no name yet, a directory that does not exist) closes
// and removes whatever it had opened and drops its video; the next pass that
// holds a key frame tries again. Sound is kept until a start succeeds, so the
// recording has it from its first key frame on; sound from before that frame
// is not written.
//
// Packet times are the sample times in milliseconds less the time of the first
// key frame written. They never stand still or go backwards: the first packet
// is placed at 20 ms, and a time that repeats (or falls behind) the previous
// one is moved 20 ms past it; from then on video times keep at least 20 ms
// apart until input() names another frame duration.
//
// How the player drives a recorder (m_recorder is replaced and used under
// m_videoLock; the audio loop reads it without the lock only to skip taking
// the lock while nothing is recorded; the recorder takes its own locks after
// it, never the other way round):
// 1. PARAM_RECORD, value not 0, host thread, under m_videoLock: when m_recorder
//    is null, m_recorder = new CMediaRecord(); when the audio codec of the
//    stream is already known, setAudioCodec(code) right away.
// 2. PARAM_RECORD_FILE, host thread, under m_videoLock: when m_recorder exists,
//    setFileName(name). A name that arrives after the third key frame starts
//    the recording at the next key frame. The result needs no handling.
// 3. Audio description (readFlagData, audio loop), under m_videoLock: when
//    m_recorder exists, setAudioCodec(StreamInfo::codecType).
// 4. Video loop, show step, under m_videoLock: when m_recorder exists and
//    m_storePlayback is clear, input(&sample, TRACK_VIDEO, 0) for the sample
//    whose picture is about to be rendered.
// 5. Audio loop, for each sample taken from the host, under m_videoLock taken
//    on its own (not while m_audioLock is held): when m_recorder exists and
//    m_storePlayback is clear, input(&sample, TRACK_AUDIO, 0).
// 6. PARAM_RECORD with 0, or the player's destructor, under m_videoLock:
//    m_recorder = nullptr; stopRecord(); delete the recorder. stopRecord waits
//    for the recorder's last pass and writes the trailer; the recorder's
//    thread never takes m_videoLock, so holding it meanwhile is safe.
// A recorder writes one file; recording again takes a new recorder. Every
// public operation may be called from any thread.
class CMediaRecord : public RIVO_Common_Player::rivo_thread {
public:
    // Samples each queue holds; a sample arriving at a full queue is dropped.
    static constexpr int kQueueCapacity = 512;
    // Size of the temporary path buffers, terminator included.
    static constexpr size_t kPathSize = 256;
    static constexpr const char* kVideoTempSuffix = "_tmp.h264";
    static constexpr const char* kAudioTempSuffix = "_tmp.aac";
    // Minimum spacing of video packet times after a repeated time, in ms.
    static constexpr uint32_t kRepeatSpacingMs = 20;

    // state() bits.
    static constexpr uint32_t kStateReady = 0x2;         // three key frames were queued
    static constexpr uint32_t kStateVideoStream = 0x10;  // the MP4 has its video stream
    static constexpr uint32_t kStateAudioStream = 0x20;  // the MP4 has its audio stream
    static constexpr uint32_t kStateStarted = 0x40;      // the header and first samples are out

    // Results of setFileName and makeTempPath besides 0 and the PLAYER_E_* codes.
    static constexpr int32_t kNameMissing = 1;  // null or empty name
    static constexpr int32_t kNameNotMp4 = 2;   // neither ".mp4" nor ".MP4" in the name

    // Starts the recorder's thread.
    CMediaRecord();
    // Stops the recording when stopRecord has not been called, then frees what
    // is still queued.
    ~CMediaRecord() override;

    CMediaRecord(const CMediaRecord&) = delete;
    CMediaRecord& operator=(const CMediaRecord&) = delete;

    // Names the MP4 file. The temporary paths are built from the part of the
    // name before its first ".mp4" (or, without one, its first ".MP4"); the
    // file itself keeps the whole name and is always written as MP4. Naming
    // again replaces the earlier name. Returns 0; kNameMissing for a null or
    // empty name; kNameNotMp4 without either extension (".Mp4" does not count);
    // PLAYER_E_INVALIDARG when the base name is too long for the temporary
    // paths; PLAYER_E_FAIL once the recording has started (the file is fixed).
    // Waits while a start attempt is in progress.
    int32_t setFileName(const char* name);

    // Tells the recorder the stream's audio codec (AUDIO_AAC, AUDIO_MP3,
    // AUDIO_G711A, AUDIO_G711U). Audio samples are queued only after AAC or MP3
    // has been named; G.711 keeps the recording video only. The first code
    // holds for the whole recording: naming it again returns 0, naming another
    // one returns PLAYER_E_FAIL and drops all audio from then on. An unknown
    // code returns PLAYER_E_INVALIDARG and changes nothing.
    int32_t setAudioCodec(int32_t codecType);

    // Queues a copy of the sample's payload, key flag and time as type
    // TRACK_VIDEO or TRACK_AUDIO, then makes frameDuration (ms, 0 for none)
    // the minimum spacing of video packet times. Returns 0, also when the
    // sample is not kept: no payload, audio that is not to be recorded, or a
    // full queue. Returns PLAYER_E_INVALIDARG for a null sample or another
    // type. Never blocks for longer than a copy.
    int32_t input(const MediaSample* sample, uint32_t type, uint32_t frameDuration);

    // Ends the recording: the thread writes what is still queued and returns,
    // then the trailer is written and the file closed. Without three key
    // frames nothing was written and no file exists. Returns 0; later calls
    // do nothing.
    int32_t stopRecord();

    // kState* bits; any thread.
    uint32_t state() const { return m_state.load(std::memory_order_acquire); }
    // Start attempts that failed so far (each with its log entry); any thread.
    uint32_t startFailures() const { return m_startFailures.load(std::memory_order_acquire); }

    // Writes to out the temporary path for fileName: its base (see
    // setFileName) followed by suffix. Returns 0, kNameMissing, kNameNotMp4,
    // or PLAYER_E_INVALIDARG when the path would not fit in out; out is
    // written only on success.
    static int32_t makeTempPath(const char* fileName, const char* suffix, char (&out)[kPathSize]);

protected:
    void threadMain() override;

private:
    // Result of a start attempt whose temporary file or probe failed (logged).
    static constexpr int32_t kStartProbeFailed = 4;

    // One queued sample copy.
    struct RecordItem {
        uint32_t key;  // 1 for a video key frame
        std::vector<uint8_t> data;
        uint32_t timestamp;  // ms
        uint32_t type;       // TRACK_VIDEO or TRACK_AUDIO
    };
    using ItemPtr = std::unique_ptr<RecordItem>;

    // Sets kStateReady once three key frames have been queued; true when set.
    bool checkReady();
    // One pass of the loop: take the queues, start or continue, free what was
    // taken (the sound only once the recording has started).
    void runPass();
    // Moves the video queue into the video batch and appends the audio queue
    // to the audio batch, under m_mutex.
    void takeBatches();
    // Runs a start attempt on the current batches under m_nameLock. On failure
    // everything the attempt opened is closed again and the count goes up.
    void startRecording(int firstKey);
    // Creates the MP4 context, its streams from the probed batches, the file and
    // its header. Returns 0, or the first failure (an AVERROR, kNameMissing or
    // kStartProbeFailed).
    int32_t openOutput(int32_t audioCodec) REQUIRES(m_nameLock);
    // Adds the audio stream (and for AAC the ADTS filter) when the audio batch
    // can be probed; otherwise the recording stays video only.
    void openAudioStream(int32_t audioCodec, AVCodecParameters* parameters) REQUIRES(m_nameLock);
    // Writes items[0..count) to path, opens it with the demuxer named format
    // (null: probe), copies the parameters of its first stream of mediaType
    // and removes the file. Returns 0 or kStartProbeFailed.
    int32_t probeStream(const char* path, const ItemPtr* items, int count, int mediaType,
                        const char* format, AVCodecParameters* parameters);
    // A new MP4 stream with the given parameters; null on failure.
    AVStream* addStream(const AVCodecParameters* parameters);
    // Frees the audio filter and closes the output. With discard set (a failed
    // start) its file is removed and the stream state bits are cleared.
    void closeOutput(bool discard) REQUIRES(m_nameLock);
    // Writes the batches merged by time, video from videoStart on.
    void writeBatches(int videoStart);
    void writeVideo(const RecordItem& item);
    void writeAudio(const RecordItem& item);
    // Writes the item at timeMs; previousMs is the time of the stream's
    // previous packet (timeMs for the first).
    void writePacket(const RecordItem& item, AVStream* stream, uint64_t timeMs,
                     uint64_t previousMs);

    // Shared between the threads without a lock. m_recording is cleared by
    // stopRecord; the others are written by the recorder's thread.
    std::atomic<uint32_t> m_recording;
    std::atomic<uint32_t> m_state;
    std::atomic<uint32_t> m_startFailures;

    // Guards the queues, their counts, the key-frame count, the frame duration,
    // the audio codec settings and the drop count. Held briefly.
    RIVO_Common_Player::rivo_CMutex m_mutex;
    int m_keyFrames GUARDED_BY(m_mutex);
    ItemPtr m_videoQueue[kQueueCapacity] GUARDED_BY(m_mutex);
    int m_videoCount GUARDED_BY(m_mutex);
    ItemPtr m_audioQueue[kQueueCapacity] GUARDED_BY(m_mutex);
    int m_audioCount GUARDED_BY(m_mutex);
    uint32_t m_frameDuration GUARDED_BY(m_mutex);
    int32_t m_audioCodec GUARDED_BY(m_mutex);  // CODEC_NONE until setAudioCodec
    bool m_audioCodecChanged GUARDED_BY(m_mutex);
    uint32_t m_dropped GUARDED_BY(m_mutex);

    // Guards the names and paths; a start attempt holds it throughout.
    RIVO_Common_Player::rivo_CMutex m_nameLock;
    std::string m_fileName GUARDED_BY(m_nameLock);
    char m_videoTempPath[kPathSize] GUARDED_BY(m_nameLock);
    char m_audioTempPath[kPathSize] GUARDED_BY(m_nameLock);

    // The recorder's thread only (and stopRecord after joining it).
    ItemPtr m_videoBatch[kQueueCapacity];
    int m_videoBatchCount;
    ItemPtr m_audioBatch[kQueueCapacity];
    int m_audioBatchCount;
    AVFormatContext* m_output;
    AVStream* m_videoStream;
    AVStream* m_audioStream;
    AVBSFContext* m_audioFilter;  // ADTS to raw AAC with its configuration
    AVPacket* m_packet;
    uint32_t m_baseTimestamp;  // time of the first key frame written; 0xFFFFFFFF before
    uint64_t m_lastTimestamp;  // last video packet time, ms
    uint64_t m_lastAudioTimestamp;
    uint32_t m_videoPackets;
    uint32_t m_audioPackets;
};
