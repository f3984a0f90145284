#pragma once

// The player engine's interface for hosts: create a player with a HostContext,
// give it a window and drive it with run/pause/resume/stop and parameter
// commands. The player pulls compressed samples through MediaSourceFuncs and
// reports events through IPlayerEventSink.

#include <stdint.h>

// ---- Result codes ---------------------------------------------------------

#define PLAYER_S_OK 0
#define PLAYER_E_FAIL ((int32_t)0x80000001)
#define PLAYER_E_INVALIDARG ((int32_t)0x80000004)
#define PLAYER_E_UNSUPPORTED ((int32_t)0x80000006)
#define PLAYER_E_NOMORE ((int32_t)0x80000008)

// ---- Tracks, play modes, events ------------------------------------------

#define TRACK_AUDIO 1
#define TRACK_VIDEO 2

#define PLAY_MODE_LIVE 1
#define PLAY_MODE_PLAYBACK 2

// Sent while the clock has not started and the first picture is about to be decoded.
#define PLAYER_EVENT_FIRST_PICTURE 502
// Replay position of the frame store in whole seconds, as decimal text.
#define PLAYER_EVENT_REPLAY_POSITION 601
// What became of a recording, as text "<what> <file>" or "failed <reason> <file>":
//   "started <file>"  the file has its header and first key frame; from now on
//                     it plays up to its last fragment even after a crash;
//   "stopped <file>"  PARAM_RECORD 0, stop() or destroying the player ended the
//                     recording and the file is complete;
//   "failed disk-full <file>"    no space left, or the file size limit reached;
//   "failed write-error <file>"  any other write failure;
//   "failed no-video <file>"     the recording ended before a key frame with its
//                                parameter sets came; no file is left.
// After disk-full or write-error the file plays up to its last complete
// fragment. Sent on the video loop's thread, or on the host's thread whose
// command ended the recording.
#define PLAYER_EVENT_RECORDING 701

// ---- Parameter ids (setParam / getParam) ---------------------------------

#define PARAM_WINDOW 0x3010001          // the window handle itself
#define PARAM_AUDIO_FORMAT 0x3010002    // AudioFormat*
#define PARAM_VIDEO_SIZE 0x3010003      // int32_t[2]*: width, height
#define PARAM_PLAY_MODE 0x3010004       // int32_t*: 1 live, 2 playback
#define PARAM_CLOCK_MODE 0x3010005      // int32_t*
#define PARAM_RENDER_KIND 0x301000a     // int32_t*: 0x202, 0x203, 0x204
#define PARAM_WINDOW_PARAM 0x301000b    // the value itself
#define PARAM_VOLUME 0x301000c          // int32_t*: 0 to 100
#define PARAM_SNAPSHOT 0x301000f        // getParam: const char* JPEG path
#define PARAM_FRAME_STORE 0x3010010     // int32_t*: non-zero creates a new store
#define PARAM_STORE_PLAYBACK 0x3010011  // int32_t*: replay on / off
#define PARAM_STORE_SEEK 0x3010012      // uint32_t*: seconds into the stored minute
#define PARAM_STORE_DURATION 0x3010013  // getParam: uint32_t* seconds out
#define PARAM_SPEED 0x3010014           // float*
#define PARAM_STORE_PAUSE 0x3010015     // int32_t*
#define PARAM_REPAINT 0x3010016         // not read
#define PARAM_RECORD 0x3010030          // int32_t*: on / off
#define PARAM_RECORD_FILE \
    0x3010032                         // const char*: MP4 file, created at once;
                                      // PLAYER_E_FAIL when it cannot be created,
                                      // recording is off or has its file already
#define PARAM_RENDER_FLOAT 0x3010033  // float*

// Video renderer kinds for PARAM_RENDER_KIND.
#define RENDER_KIND_DDRAW 0x202
#define RENDER_KIND_D3D 0x203
#define RENDER_KIND_D3D_SHADER 0x204

// ---- Samples and stream descriptions --------------------------------------

#define MEDIA_FLAG_KEYFRAME 0x01
#define MEDIA_FLAG_DESCRIPTION 0x08
#define MEDIA_FLAG_NO_DISPLAY 0x40

#define STREAM_AUDIO 1
#define STREAM_VIDEO 2

#define AUDIO_AAC 1
#define AUDIO_MP3 2
#define AUDIO_G711A 3
#define AUDIO_G711U 4

#define VIDEO_H264 0
#define VIDEO_H265 1

#define CODEC_NONE 0x7FFFFFFF

// Describes the stream whose samples follow. Audio: word 2 is the sample rate,
// word 3 holds the channels in its low and the bits per sample in its high 16
// bits. Video: words 2 and 3 are width and height.
struct StreamInfo {
    uint32_t kind;      // STREAM_AUDIO or STREAM_VIDEO
    int32_t codecType;  // AUDIO_* or VIDEO_* or CODEC_NONE
    uint32_t rateOrWidth;
    uint32_t formatOrHeight;
};

// One compressed sample. The host fills a record that the player owns; the
// payload stays in the host's memory and the engine never frees it.
struct MediaSample {
    uint32_t ulTime;  // presentation time in milliseconds
    uint32_t ulReserved1;
    uint32_t ulReserved2;
    uint32_t ulReserved3;
    uint32_t ulFlags;         // MEDIA_FLAG_*
    StreamInfo* pStreamInfo;  // valid with MEDIA_FLAG_DESCRIPTION
    uint32_t ulsize;          // bytes at pData
    uint8_t* pData;           // one access unit (Annex B) or one audio frame (ADTS for AAC)
    uint32_t ulReserved4;
    uint32_t AVFrameSeq;  // the host's frame number; only logged
    uint8_t* pExtData;
    uint32_t ulTick;  // tick count when the record was initialised
};

// Audio format: the PARAM_AUDIO_FORMAT argument and the audio renderer's format.
struct AudioFormat {
    uint32_t sampleRate;
    uint16_t channels;
    uint16_t bitsPerSample;
};

// ---- Host side ------------------------------------------------------------

// Receives player events on the player's video thread (PLAYER_EVENT_RECORDING
// also on the host thread whose command ended the recording).
class IPlayerEventSink {
public:
    virtual ~IPlayerEventSink() {}
    virtual void onEvent(void* eventContext, int32_t code, const char* text) = 0;
};

// Sample functions the player calls from its loops. ctx is HostContext::sourceContext.
struct MediaSourceFuncs {
    // Fills the next sample of the track (TRACK_AUDIO or TRACK_VIDEO); 0 when
    // one was delivered, any other value when none is available now.
    int32_t (*getSample)(void* ctx, int32_t track, MediaSample* out);
    // Not used by the engine.
    void* reserved;
    // Current maximum delay of the incoming stream in ms; 0 when valid.
    int32_t (*getMaxDelay)(void* ctx, uint32_t* outMs);
    // Time stamp in ms of the newest sample the host holds for the track.
    int32_t (*getMaxTs)(void* ctx, int32_t track, uint32_t* outMs);
};

// Owned by the host; must outlive the player. Events are sent only when both
// eventSink and eventContext are non-null.
struct HostContext {
    IPlayerEventSink* eventSink;
    void* eventContext;
    MediaSourceFuncs* mediaSource;
    void* sourceContext;
};

// ---- The player -------------------------------------------------------------

class ITavoMediaPlayer {
public:
    virtual ~ITavoMediaPlayer() {}
    // Starts (or restarts) the audio and video loops.
    virtual int32_t run() = 0;
    // Live mode: keep pulling and decoding, show and play nothing. Playback mode: hold.
    virtual int32_t pause() = 0;
    // Ends both loops and waits for them.
    virtual int32_t stop() = 0;
    virtual int32_t resume() = 0;
    virtual int32_t noOp1(uint32_t value) = 0;
    virtual int32_t noOp2(uint32_t value) = 0;
    virtual int32_t setParam(int32_t id, void* arg) = 0;
    virtual int32_t getParam(int32_t id, void* arg) = 0;
};

#if defined(__GNUC__)
#define TAVOPLAYER_API __attribute__((visibility("default")))
#else
#define TAVOPLAYER_API
#endif

extern "C" {
// Creates a player that pulls from hostContext (may be null). Returns false
// when memory cannot be had or player is null; *player is then untouched.
TAVOPLAYER_API bool createMediaPlayerInstance(HostContext* hostContext, ITavoMediaPlayer** player);
// Destroys *player when it is not null; the caller's pointer is not cleared.
TAVOPLAYER_API void destroyMediaPlayerInstance(ITavoMediaPlayer** player);
}
