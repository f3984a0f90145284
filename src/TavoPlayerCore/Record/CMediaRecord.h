#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "Common/CConditionVariable.h"
#include "Common/CLock.h"
#include "Common/ThreadAnnotations.h"
#include "Common/rivo_thread.h"
#include "tavoplayer/ITavoMediaPlayer.h"

struct AVFormatContext;
struct AVIOContext;
struct AVPacket;
struct AVStream;

// Records the compressed samples the player receives into an MP4 file, without
// decoding them. Video is H.264 or H.265 in Annex B (the only framing the
// engine's decoders take); which of the two is read from the stream's
// parameter sets. Audio, when the stream's audio is AAC (ADTS frames) or MP3,
// goes into a second track (the described recorder keeps video only). G.711
// cannot be stored in MP4: such recordings are video only, and the log says so.
//
// The file is a fragmented MP4 (this goes beyond the described recorder,
// which writes the index at the end and loses the whole file in a crash): the
// header with an empty index is written when the recording starts, then a
// fragment (its own small index and its samples) before every key frame and
// at least once per second of media time, and whenever a second of wall time
// (tickMs) passes without a new sample. Each fragment goes to the file at
// once, so a process that dies loses at most the fragment being gathered:
// about a second. stopRecord writes the last fragment and a fragment index at
// the end; players read the file as an ordinary MP4 either way.
//
// The recording starts at the first key frame that carries its parameter sets
// (VPS for H.265, SPS and PPS). A key frame is a sample the host flags, or one
// holding an H.264 IDR slice (NAL type 5) or an H.265 IRAP picture (types 16 to
// 23): hosts that never set the flag are recorded too (the described recorder
// waits for three flagged key frames and probes them). When the audio codec is
// recordable but no sound has come yet, the start waits up to a second of
// video for it, so the sound track is not lost to a video loop that runs
// ahead; sound from before the first key frame is not written. Until the
// file is named, the start moves to each newer key frame.
//
// Time stamps in the file always increase per track (the described recorder
// only spaces repeated video times): each sample advances its track by its
// step from the previous sample of that track; a step that stands still, goes
// back or leaps more than kMaxStepMs (a camera that restarts, a clock that
// wraps) is replaced by the track's previous step.
//
// The queue between the player's loops and the writer is bounded by bytes
// (kQueueBytes), not by sample count (the described queue of 512 samples
// must hold three key frames before anything is written), so groups of
// pictures of any length record. A sample arriving at a full queue is dropped; after a dropped
// picture the video resumes at the next key frame.
//
// A write that fails (disk full, I/O error) ends the recording: the file is
// cut back to the end of its last complete fragment, so it plays up to there,
// and a "failed" event says why (the described recorder ignores write errors
// and tells the host nothing). Events are collected here and handed to the
// host by the player (takeEvents); this thread never calls the host.
//
// How the player drives a recorder (m_recorder is replaced and used under
// m_videoLock; the loops read it without the lock only to skip taking the lock
// while nothing is recorded; the recorder takes its own lock after it, never
// the other way round):
// 1. PARAM_RECORD, value not 0, host thread: when m_recorder is null,
//    m_recorder = new CMediaRecord(); when the stream's audio codec is known,
//    setAudioCodec(code) right away.
// 2. PARAM_RECORD_FILE, host thread: setFileName(name); its result goes back
//    to the host.
// 3. Audio description (readFlagData, audio loop): setAudioCodec(codecType).
// 4. Both loops, for each sample taken from the host (described or not, shown
//    or not, decoded or not; never a sample the replay reads back):
//    input(&sample, track).
// 5. Video loop, every pass, and the host thread that ends a recording:
//    takeEvents(), then the events go to the host with no lock held.
// 6. PARAM_RECORD with 0, stop() or the player's destructor: m_recorder =
//    nullptr; stopRecord(); takeEvents(); delete the recorder.
// A recorder writes one file; recording again takes a new recorder. Every
// public operation may be called from any thread.
class CMediaRecord : public RIVO_Common_Player::rivo_thread {
public:
    // Bytes of samples held between input() and the file.
    static constexpr size_t kQueueBytes = 32u << 20;
    // Longest fragment in media time, and the wall time without a new sample
    // after which the fragment gathered so far is written.
    static constexpr uint32_t kFragmentMs = 1000;
    static constexpr uint32_t kIdleFlushMs = 1000;
    // Video a start waits for the first sound, in media time (or samples).
    // The two loops hand their samples in on their own threads, and the
    // audio loop's first pass (opening the sound device) can leave it over a
    // second behind the video loop on a busy machine; two seconds keeps a
    // killed recording within its last two seconds all the same.
    static constexpr uint32_t kAudioWaitMs = 2000;
    static constexpr size_t kAudioWaitSamples = 200;
    // Samples kept from a key frame on while the file has no name yet.
    static constexpr size_t kGatherLimit = 500;
    // Largest step between two samples of a track that is taken as it is.
    static constexpr uint32_t kMaxStepMs = 10000;

    enum class State {
        kWaiting,    // no file written yet (no name, no key frame, or waiting for sound)
        kRecording,  // the header is out; samples go to the file
        kFailed,     // a write failed; the file ends at its last complete fragment
        kStopped,    // stopRecord ran
    };

    // Starts the recorder's thread.
    CMediaRecord();
    // Stops the recording when stopRecord has not been called.
    ~CMediaRecord() override;

    CMediaRecord(const CMediaRecord&) = delete;
    CMediaRecord& operator=(const CMediaRecord&) = delete;

    // Creates (or empties) the MP4 file. Returns 0; PLAYER_E_INVALIDARG for a
    // null or empty name; PLAYER_E_FAIL when the file cannot be created
    // (missing directory, no permission) or the recording has already started
    // (its file is fixed). Naming again before the start removes the earlier
    // file.
    int32_t setFileName(const char* name);

    // Tells the recorder the stream's audio codec (AUDIO_AAC, AUDIO_MP3,
    // AUDIO_G711A, AUDIO_G711U). Audio samples are queued only after AAC or MP3
    // has been named; G.711 keeps the recording video only. The first code
    // holds for the whole recording: naming it again returns 0, naming another
    // one returns PLAYER_E_FAIL and drops all audio from then on. An unknown
    // code returns PLAYER_E_INVALIDARG and changes nothing.
    int32_t setAudioCodec(int32_t codecType);

    // Queues a copy of the sample's payload, key flag and time as TRACK_VIDEO
    // or TRACK_AUDIO. Returns 0, also when the sample is not kept: no payload,
    // audio that is not recorded, a full queue, a recording that ended.
    // Returns PLAYER_E_INVALIDARG for a null sample or another track. Never
    // blocks for longer than a copy.
    int32_t input(const MediaSample* sample, uint32_t track);

    // Ends the recording: the thread writes what is still queued and returns,
    // then the last fragment and the index go out and the file is closed. A
    // recording that never started removes its empty file. Returns 0; later
    // calls do nothing.
    int32_t stopRecord();

    // The events that happened since the last call, oldest first, as the text
    // of PLAYER_EVENT_RECORDING ("started <file>", "stopped <file>",
    // "failed <reason> <file>").
    std::vector<std::string> takeEvents();

    State state() const { return m_state.load(std::memory_order_acquire); }
    // Bytes taken by input() that are not in the file's muxer yet.
    size_t queuedBytes() const;
    // Media time (ms from the first key frame) up to which the file holds the
    // recording: the end of its last complete fragment.
    uint32_t flushedMs() const { return m_flushedMs.load(std::memory_order_acquire); }

protected:
    void threadMain() override;

private:
    // One queued sample copy.
    struct RecordItem {
        uint32_t track;             // TRACK_VIDEO or TRACK_AUDIO
        uint32_t time;              // the sample's ms
        bool hostKey;               // MEDIA_FLAG_KEYFRAME was set
        bool afterGap;              // samples were dropped just before this one
        std::vector<uint8_t> data;  // the payload, then zeroed padding for the parsers
        size_t size;                // payload bytes
    };
    using ItemPtr = std::unique_ptr<RecordItem>;

    // What the Annex B scan of a picture found.
    struct PictureInfo {
        bool key = false;
        bool parameterSets = false;      // all that the codec needs for the header
        std::vector<uint8_t> extradata;  // the parameter sets, each with a start code
    };

    // Per track: the last sample time as received and as written (file ms),
    // the last step, and the packet held back until the next one tells its
    // duration.
    struct TrackTimes {
        bool any = false;
        uint32_t lastIn = 0;
        uint64_t lastOut = 0;
        uint32_t step = 0;
        ItemPtr held;
        uint64_t heldOut = 0;
        uint64_t lastWrittenEnd = 0;  // file ms where the last written packet ends
    };

    // One pass of the loop on the samples taken from the queue.
    void handleItem(ItemPtr item);
    // Before the start: keeps the samples from a key frame on until the sound
    // has come (or waited long enough), then starts.
    void gatherForStart(ItemPtr item);
    bool readyToStart() const;
    bool named() const;
    // Creates the muxer, its streams and the header on the named file, then
    // writes the gathered samples.
    void startRecording();
    // The key frame's picture size; false when the parser finds none.
    bool pictureSize(const RecordItem& keyFrame, int* width, int* height) const;
    int videoCodecId() const;  // the AVCodecID of m_videoCodec
    AVStream* addVideoStream(const PictureInfo& info, int width, int height);
    AVStream* addAudioStream(const RecordItem& frame, bool aac);
    // Writes one sample (after the start): holds it back until the next of its
    // track, cuts fragments, watches for write errors.
    void writeItem(ItemPtr item);
    void writeHeld(TrackTimes* times, uint64_t durationMs);
    // Writes the fragment gathered so far to the file. False after a failure.
    bool flushFragment();
    // Ends the recording after a failed write: cuts the file back to its last
    // complete fragment, frees the muxer, reports why.
    void fail(int error);
    // Frees the muxer and closes the file.
    void closeOutput();
    void addEvent(const std::string& text);
    // The recorder's thread: ms until a stalled stream's unwritten samples
    // are due for the file (0: now), kNoFlush when nothing waits for it.
    static constexpr uint32_t kNoFlush = ~uint32_t(0);
    uint32_t idleFlushInMs() const;
    // Scans an Annex B access unit of the recording's video codec.
    PictureInfo scanPicture(const RecordItem& item);
    // The file time of a sample of the track.
    uint64_t fileTime(TrackTimes* times, uint32_t sampleTime, uint32_t defaultStep);

    // Cleared by stopRecord; read by the thread and by input().
    std::atomic<bool> m_recording;
    std::atomic<State> m_state;
    std::atomic<uint32_t> m_flushedMs;

    // Guards the queue, the name, the file opened for it, the audio codec
    // settings, the drop count and the events. Held briefly.
    mutable RIVO_Common_Player::CLock m_mutex;
    // Notified when a sample is queued and when the recording stops: the
    // thread waits on it while the queue is empty.
    RIVO_Common_Player::CConditionVariable m_queued;
    std::deque<ItemPtr> m_queue GUARDED_BY(m_mutex);
    size_t m_queuedBytes GUARDED_BY(m_mutex);
    bool m_gap GUARDED_BY(m_mutex);
    uint32_t m_dropped GUARDED_BY(m_mutex);
    std::string m_fileName GUARDED_BY(m_mutex);
    AVIOContext* m_file GUARDED_BY(m_mutex);  // until the start takes it
    bool m_started GUARDED_BY(m_mutex);
    int32_t m_audioCodec GUARDED_BY(m_mutex);  // CODEC_NONE until setAudioCodec
    bool m_audioCodecChanged GUARDED_BY(m_mutex);
    std::vector<std::string> m_events GUARDED_BY(m_mutex);

    // The recorder's thread only (and stopRecord after joining it).
    int m_videoCodec;                 // VIDEO_H264, VIDEO_H265, or CODEC_NONE until known
    std::vector<ItemPtr> m_gathered;  // from the start's key frame on
    bool m_audioSeen;                 // a recordable sound sample came before the start
    // Sound that came before the start's key frame (the audio loop may run
    // ahead); what is not older than the key frame is recorded.
    std::deque<ItemPtr> m_earlyAudio;
    std::string m_outputName;
    AVFormatContext* m_output;
    AVStream* m_videoStream;
    AVStream* m_audioStream;
    AVPacket* m_packet;
    uint32_t m_baseTime;  // sample time of the first key frame written
    TrackTimes m_videoTimes;
    TrackTimes m_audioTimes;
    bool m_skipToKey;          // pictures were dropped: wait for a key frame
    uint64_t m_fragmentStart;  // file ms of the fragment's first video sample
    bool m_fragmentEmpty;
    int64_t m_fileSize;        // bytes of complete fragments in the file
    uint32_t m_lastInputTick;  // tickMs() when the last sample was written
    uint32_t m_videoPackets;
    uint32_t m_audioPackets;
};
