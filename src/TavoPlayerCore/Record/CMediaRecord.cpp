#include "TavoPlayerCore/Record/CMediaRecord.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
}

#include "Common/CAutoLock.h"
#include "Common/Log.h"
#include "Common/TimeFunctions.h"

using RIVO_Common_Player::CAutoLock;
using RIVO_Common_Player::sleepMs;

namespace {

constexpr uint32_t kNoTimestamp = 0xFFFFFFFF;
// Key frames that make the recorder ready: enough for the probe to find the
// stream's parameters and for the file to start at a key frame.
constexpr int kReadyKeyFrames = 3;
constexpr uint32_t kWaitReadyMs = 5;
constexpr uint32_t kPassIntervalMs = 1;

bool recordableAudio(int32_t codecType) {
    return codecType == AUDIO_AAC || codecType == AUDIO_MP3;
}

}  // namespace

CMediaRecord::CMediaRecord()
    : m_recording(1),
      m_state(0),
      m_startFailures(0),
      m_keyFrames(0),
      m_videoCount(0),
      m_audioCount(0),
      m_frameDuration(0),
      m_audioCodec(CODEC_NONE),
      m_audioCodecChanged(false),
      m_dropped(0),
      m_videoTempPath(),
      m_audioTempPath(),
      m_videoBatchCount(0),
      m_audioBatchCount(0),
      m_output(nullptr),
      m_videoStream(nullptr),
      m_audioStream(nullptr),
      m_audioFilter(nullptr),
      m_packet(av_packet_alloc()),
      m_baseTimestamp(kNoTimestamp),
      m_lastTimestamp(0),
      m_lastAudioTimestamp(0),
      m_videoPackets(0),
      m_audioPackets(0) {
    if (!m_packet || !start(0x20000, nullptr)) {
        RIVO_LOG("record thread could not start");
    }
}

CMediaRecord::~CMediaRecord() {
    if (m_recording.load()) {
        stopRecord();
    }
    av_packet_free(&m_packet);
}

int32_t CMediaRecord::makeTempPath(const char* fileName, const char* suffix,
                                   char (&out)[kPathSize]) {
    if (!fileName || !fileName[0]) {
        return kNameMissing;
    }
    const char* extension = std::strstr(fileName, ".mp4");
    if (!extension) {
        extension = std::strstr(fileName, ".MP4");
    }
    if (!extension) {
        return kNameNotMp4;
    }
    const size_t baseLength = static_cast<size_t>(extension - fileName);
    if (baseLength + std::strlen(suffix) >= kPathSize) {
        return PLAYER_E_INVALIDARG;
    }
    std::snprintf(out, kPathSize, "%.*s%s", static_cast<int>(baseLength), fileName, suffix);
    return 0;
}

int32_t CMediaRecord::setFileName(const char* name) {
    char videoPath[kPathSize];
    char audioPath[kPathSize];
    int32_t result = makeTempPath(name, kVideoTempSuffix, videoPath);
    if (result == 0) {
        result = makeTempPath(name, kAudioTempSuffix, audioPath);
    }
    if (result != 0) {
        RIVO_LOG("record file name refused: %d", result);
        return result;
    }
    CAutoLock lock(&m_nameLock);
    if (state() & kStateStarted) {
        RIVO_LOG("record file name refused: already recording to %s", m_fileName.c_str());
        return PLAYER_E_FAIL;
    }
    m_fileName = name;
    std::memcpy(m_videoTempPath, videoPath, kPathSize);
    std::memcpy(m_audioTempPath, audioPath, kPathSize);
    RIVO_LOG("record file %s", name);
    return 0;
}

int32_t CMediaRecord::setAudioCodec(int32_t codecType) {
    if (codecType < AUDIO_AAC || codecType > AUDIO_G711U) {
        return PLAYER_E_INVALIDARG;
    }
    int32_t previous = CODEC_NONE;
    bool firstChange = false;
    {
        CAutoLock lock(&m_mutex);
        previous = m_audioCodec;
        if (previous == CODEC_NONE) {
            m_audioCodec = codecType;
        } else if (codecType != previous) {
            firstChange = !m_audioCodecChanged;
            m_audioCodecChanged = true;
        }
    }
    if (previous == CODEC_NONE) {
        if (!recordableAudio(codecType)) {
            RIVO_LOG("record audio is G.711, which MP4 cannot hold: recording video only");
        }
        return 0;
    }
    if (codecType == previous) {
        return 0;
    }
    if (firstChange) {
        RIVO_LOG("record audio codec changed from %d to %d: recording on without sound",
                 static_cast<int>(previous), static_cast<int>(codecType));
    }
    return PLAYER_E_FAIL;
}

int32_t CMediaRecord::input(const MediaSample* sample, uint32_t type, uint32_t frameDuration) {
    if (!sample || (type != TRACK_VIDEO && type != TRACK_AUDIO)) {
        return PLAYER_E_INVALIDARG;
    }
    bool firstDrop = false;
    {
        CAutoLock lock(&m_mutex);
        const bool keep =
            sample->pData && sample->ulsize > 0 &&
            (type == TRACK_VIDEO || (recordableAudio(m_audioCodec) && !m_audioCodecChanged));
        if (keep) {
            ItemPtr* queue = type == TRACK_VIDEO ? m_videoQueue : m_audioQueue;
            int& count = type == TRACK_VIDEO ? m_videoCount : m_audioCount;
            if (count < kQueueCapacity) {
                const uint32_t key =
                    type == TRACK_VIDEO && (sample->ulFlags & MEDIA_FLAG_KEYFRAME) ? 1 : 0;
                queue[count++].reset(new RecordItem{
                    key, std::vector<uint8_t>(sample->pData, sample->pData + sample->ulsize),
                    sample->ulTime, type});
                m_keyFrames += key;
            } else {
                firstDrop = m_dropped++ == 0;
            }
        }
        m_frameDuration = frameDuration;
    }
    if (firstDrop) {
        RIVO_LOG("record queue full: samples are dropped");
    }
    return 0;
}

int32_t CMediaRecord::stopRecord() {
    if (!m_recording.exchange(0)) {
        return 0;
    }
    stop();
    if (m_output) {
        CAutoLock nameLock(&m_nameLock);
        av_write_trailer(m_output);
        closeOutput(false);
    }
    uint32_t dropped = 0;
    {
        CAutoLock lock(&m_mutex);
        dropped = m_dropped;
    }
    RIVO_LOG("record stopped: %u video and %u audio packets written, %u samples dropped",
             m_videoPackets, m_audioPackets, dropped);
    return 0;
}

void CMediaRecord::threadMain() {
    for (;;) {
        // Read before the pass: whatever was queued before stopRecord cleared
        // the flag is then taken by this last pass.
        const bool last = m_recording.load() == 0;
        const bool ready = checkReady();
        if (ready) {
            runPass();
        }
        if (last) {
            return;
        }
        sleepMs(ready ? kPassIntervalMs : kWaitReadyMs);
    }
}

bool CMediaRecord::checkReady() {
    if (state() & kStateReady) {
        return true;
    }
    CAutoLock lock(&m_mutex);
    if (m_keyFrames < kReadyKeyFrames) {
        return false;
    }
    m_state.fetch_or(kStateReady, std::memory_order_acq_rel);
    return true;
}

void CMediaRecord::runPass() {
    takeBatches();
    if (state() & kStateStarted) {
        writeBatches(0);
    } else {
        // A recording starts at a key frame; batches before one are dropped.
        int firstKey = 0;
        while (firstKey < m_videoBatchCount && !m_videoBatch[firstKey]->key) {
            ++firstKey;
        }
        if (firstKey < m_videoBatchCount) {
            startRecording(firstKey);
        }
    }
    for (int i = 0; i < m_videoBatchCount; ++i) {
        m_videoBatch[i].reset();
    }
    m_videoBatchCount = 0;
    // Until the recording starts, sound stays for the batch whose key frame
    // starts it: the probe needs it, and it may reach back to that frame.
    if (state() & kStateStarted) {
        for (int i = 0; i < m_audioBatchCount; ++i) {
            m_audioBatch[i].reset();
        }
        m_audioBatchCount = 0;
    }
}

void CMediaRecord::takeBatches() {
    CAutoLock lock(&m_mutex);
    for (int i = 0; i < m_videoCount; ++i) {
        m_videoBatch[i] = std::move(m_videoQueue[i]);
    }
    m_videoBatchCount = m_videoCount;
    m_videoCount = 0;
    // Sound kept from passes before the start makes room for the newest.
    const int overflow = m_audioBatchCount + m_audioCount - kQueueCapacity;
    if (overflow > 0) {
        std::move(m_audioBatch + overflow, m_audioBatch + m_audioBatchCount, m_audioBatch);
        m_audioBatchCount -= overflow;
    }
    for (int i = 0; i < m_audioCount; ++i) {
        m_audioBatch[m_audioBatchCount++] = std::move(m_audioQueue[i]);
    }
    m_audioCount = 0;
}

void CMediaRecord::startRecording(int firstKey) {
    int32_t audioCodec = CODEC_NONE;
    {
        CAutoLock lock(&m_mutex);
        audioCodec = m_audioCodec;
    }
    CAutoLock nameLock(&m_nameLock);
    const int32_t result = openOutput(audioCodec);
    if (result != 0) {
        closeOutput(true);
        m_startFailures.fetch_add(1, std::memory_order_acq_rel);
        RIVO_LOG("record start failed: %d", static_cast<int>(result));
        return;
    }
    m_baseTimestamp = m_videoBatch[firstKey]->timestamp;
    m_state.fetch_or(kStateStarted, std::memory_order_acq_rel);
    RIVO_LOG("record started: %s, video %s, audio %s", m_fileName.c_str(),
             avcodec_get_name(m_videoStream->codecpar->codec_id),
             m_audioStream ? avcodec_get_name(m_audioStream->codecpar->codec_id) : "none");
    writeBatches(firstKey);
}

int32_t CMediaRecord::openOutput(int32_t audioCodec) {
    if (m_fileName.empty()) {
        return kNameMissing;
    }
    // The muxer is MP4 whatever the name ends with ("clip.mp4.bak").
    int result = avformat_alloc_output_context2(&m_output, nullptr, "mp4", m_fileName.c_str());
    if (result < 0) {
        return result;
    }
    AVCodecParameters* parameters = avcodec_parameters_alloc();
    if (!parameters) {
        return AVERROR(ENOMEM);
    }
    // The samples before the first key frame are written to the temporary file
    // too: they help the probe, though the MP4 starts at the key frame.
    result = probeStream(m_videoTempPath, m_videoBatch, m_videoBatchCount, AVMEDIA_TYPE_VIDEO,
                         nullptr, parameters);
    if (result == 0) {
        m_videoStream = addStream(parameters);
        result = m_videoStream ? 0 : kStartProbeFailed;
    }
    if (result == 0) {
        m_state.fetch_or(kStateVideoStream, std::memory_order_acq_rel);
        if (m_audioBatchCount > 0 && recordableAudio(audioCodec)) {
            openAudioStream(audioCodec, parameters);
        }
    }
    avcodec_parameters_free(&parameters);
    if (result != 0) {
        return result;
    }
    result = avio_open(&m_output->pb, m_fileName.c_str(), AVIO_FLAG_WRITE);
    if (result < 0) {
        return result;
    }
    result = avformat_write_header(m_output, nullptr);
    return result < 0 ? result : 0;
}

void CMediaRecord::openAudioStream(int32_t audioCodec, AVCodecParameters* parameters) {
    // Sound is welcome but not essential: without it the video is recorded.
    const bool aac = audioCodec == AUDIO_AAC;
    bool ok = probeStream(m_audioTempPath, m_audioBatch, m_audioBatchCount, AVMEDIA_TYPE_AUDIO,
                          aac ? "aac" : "mp3", parameters) == 0;
    // MP4 keeps AAC without ADTS headers, its configuration in the stream's
    // extradata: the filter strips the headers and hands the configuration to
    // the muxer with its first packet.
    if (ok && aac) {
        const AVBitStreamFilter* filter = av_bsf_get_by_name("aac_adtstoasc");
        ok = filter && av_bsf_alloc(filter, &m_audioFilter) >= 0 &&
             avcodec_parameters_copy(m_audioFilter->par_in, parameters) >= 0 &&
             av_bsf_init(m_audioFilter) >= 0;
    }
    if (ok) {
        m_audioStream = addStream(parameters);
        ok = m_audioStream != nullptr;
    }
    if (!ok) {
        av_bsf_free(&m_audioFilter);
        RIVO_LOG("record audio could not be probed: recording video only");
        return;
    }
    m_state.fetch_or(kStateAudioStream, std::memory_order_acq_rel);
}

int32_t CMediaRecord::probeStream(const char* path, const ItemPtr* items, int count, int mediaType,
                                  const char* format, AVCodecParameters* parameters) {
    FILE* file = std::fopen(path, "wb");
    if (!file) {
        return kStartProbeFailed;
    }
    bool written = true;
    for (int i = 0; i < count && written; ++i) {
        written = std::fwrite(items[i]->data.data(), 1, items[i]->data.size(), file) ==
                  items[i]->data.size();
    }
    written = std::fclose(file) == 0 && written;
    int32_t result = kStartProbeFailed;
    AVFormatContext* input = nullptr;
    if (written &&
        avformat_open_input(&input, path, format ? av_find_input_format(format) : nullptr,
                            nullptr) == 0) {
        if (avformat_find_stream_info(input, nullptr) >= 0) {
            for (unsigned i = 0; i < input->nb_streams; ++i) {
                if (input->streams[i]->codecpar->codec_type == mediaType) {
                    if (avcodec_parameters_copy(parameters, input->streams[i]->codecpar) >= 0) {
                        result = 0;
                    }
                    break;
                }
            }
        }
        avformat_close_input(&input);
    }
    std::remove(path);
    return result;
}

AVStream* CMediaRecord::addStream(const AVCodecParameters* parameters) {
    AVStream* stream = avformat_new_stream(m_output, nullptr);
    if (!stream || avcodec_parameters_copy(stream->codecpar, parameters) < 0) {
        return nullptr;
    }
    // Let the muxer pick the MP4 tag; the probed one belongs to the raw format.
    stream->codecpar->codec_tag = 0;
    return stream;
}

void CMediaRecord::closeOutput(bool discard) {
    av_bsf_free(&m_audioFilter);
    if (m_output) {
        if (m_output->pb) {
            avio_closep(&m_output->pb);
            if (discard) {
                std::remove(m_fileName.c_str());
            }
        }
        avformat_free_context(m_output);
        m_output = nullptr;
    }
    m_videoStream = nullptr;
    m_audioStream = nullptr;
    if (discard) {
        m_state.fetch_and(~(kStateVideoStream | kStateAudioStream), std::memory_order_acq_rel);
    }
}

void CMediaRecord::writeBatches(int videoStart) {
    int video = videoStart;
    int audio = 0;
    // By time, audio first only when strictly earlier.
    while (video < m_videoBatchCount || audio < m_audioBatchCount) {
        const bool takeAudio = audio < m_audioBatchCount &&
                               (video >= m_videoBatchCount ||
                                m_audioBatch[audio]->timestamp < m_videoBatch[video]->timestamp);
        if (takeAudio) {
            writeAudio(*m_audioBatch[audio++]);
        } else {
            writeVideo(*m_videoBatch[video++]);
        }
    }
}

void CMediaRecord::writeVideo(const RecordItem& item) {
    uint64_t t = static_cast<uint32_t>(item.timestamp - m_baseTimestamp);
    {
        CAutoLock lock(&m_mutex);
        // An earlier time counts as a repeat as well: the muxer refuses a
        // packet whose time does not move forward.
        if (m_frameDuration == 0 && t <= m_lastTimestamp) {
            m_frameDuration = kRepeatSpacingMs;
        }
        if (static_cast<int64_t>(t - m_lastTimestamp) < static_cast<int64_t>(m_frameDuration)) {
            t = m_lastTimestamp + m_frameDuration;
        }
    }
    writePacket(item, m_videoStream, t, m_lastTimestamp);
    m_lastTimestamp = t;
    ++m_videoPackets;
}

void CMediaRecord::writeAudio(const RecordItem& item) {
    const int32_t offset = static_cast<int32_t>(item.timestamp - m_baseTimestamp);
    // Sound from before the first key frame has no picture to go with.
    if (!m_audioStream || offset < 0) {
        return;
    }
    uint64_t t = static_cast<uint64_t>(offset);
    if (m_audioPackets > 0 && t <= m_lastAudioTimestamp) {
        t = m_lastAudioTimestamp + 1;
    }
    writePacket(item, m_audioStream, t, m_audioPackets > 0 ? m_lastAudioTimestamp : t);
    m_lastAudioTimestamp = t;
    ++m_audioPackets;
}

void CMediaRecord::writePacket(const RecordItem& item, AVStream* stream, uint64_t timeMs,
                               uint64_t previousMs) {
    const auto toStreamTime = [stream](uint64_t ms) {
        return av_rescale_q_rnd(static_cast<int64_t>(ms), AVRational{1, 1000}, stream->time_base,
                                static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    };
    // The packet borrows the item's payload; the muxer copies what it keeps.
    m_packet->data = const_cast<uint8_t*>(item.data.data());
    m_packet->size = static_cast<int>(item.data.size());
    m_packet->pts = toStreamTime(timeMs);
    m_packet->dts = m_packet->pts;
    // The muxer times each sample by the gap to the next one; only the last
    // sample's time comes from its duration, and without one players drop
    // it. The gap before the packet is the best guess at hand.
    m_packet->duration = m_packet->pts - toStreamTime(previousMs);
    m_packet->flags = item.key ? AV_PKT_FLAG_KEY : 0;
    m_packet->pos = -1;
    m_packet->stream_index = stream->index;
    // A refused packet is lost; the recording goes on with the next one.
    if (stream == m_audioStream && m_audioFilter) {
        if (av_bsf_send_packet(m_audioFilter, m_packet) == 0) {
            while (av_bsf_receive_packet(m_audioFilter, m_packet) == 0) {
                av_interleaved_write_frame(m_output, m_packet);
            }
        }
    } else {
        av_interleaved_write_frame(m_output, m_packet);
    }
    av_packet_unref(m_packet);
}
