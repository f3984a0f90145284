#include "TavoPlayerCore/Record/CMediaRecord.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include "Common/CScopedLock.h"
#include "Common/Log.h"
#include "Common/TimeFunctions.h"

using RIVO_Common_Player::CScopedLock;
using RIVO_Common_Player::tickMs;
using RIVO_Common_Player::waitMs;

namespace {

// Steps assumed for a track's first samples until it shows its own.
constexpr uint32_t kDefaultVideoStepMs = 40;
constexpr uint32_t kDefaultAudioStepMs = 20;
constexpr uint64_t kNoFragment = ~uint64_t(0);
constexpr size_t kAdtsHeaderBytes = 7;
constexpr int kAdtsRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                              22050, 16000, 12000, 11025, 8000,  7350};
constexpr int kMpegAudioRates[] = {44100, 48000, 32000};

bool recordableAudio(int32_t codecType) {
    return codecType == AUDIO_AAC || codecType == AUDIO_MP3;
}

// "disk-full" for the errors a full disk or a file size limit give, else "write-error".
const char* failureReason(int error) {
    return error == AVERROR(ENOSPC) || error == AVERROR(EFBIG) || error == AVERROR(EDQUOT)
               ? "disk-full"
               : "write-error";
}

// The NAL units of an Annex B access unit, as [begin, end) offsets without
// their start codes and without the zero bytes before the next start code.
std::vector<std::pair<size_t, size_t>> nalUnits(const uint8_t* data, size_t size) {
    std::vector<std::pair<size_t, size_t>> units;
    for (size_t i = 0; i + 3 <= size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            if (!units.empty()) {
                size_t end = i;
                while (end > units.back().first && data[end - 1] == 0) {
                    --end;
                }
                units.back().second = end;
            }
            units.emplace_back(i + 3, size);
            i += 2;
        }
    }
    return units;
}

}  // namespace

CMediaRecord::CMediaRecord()
    : m_recording(true),
      m_state(State::kWaiting),
      m_flushedMs(0),
      m_queuedBytes(0),
      m_gap(false),
      m_dropped(0),
      m_file(nullptr),
      m_started(false),
      m_audioCodec(CODEC_NONE),
      m_audioCodecChanged(false),
      m_videoCodec(CODEC_NONE),
      m_audioSeen(false),
      m_output(nullptr),
      m_videoStream(nullptr),
      m_audioStream(nullptr),
      m_packet(av_packet_alloc()),
      m_baseTime(0),
      m_skipToKey(false),
      m_fragmentStart(kNoFragment),
      m_fragmentEmpty(true),
      m_fileSize(0),
      m_lastInputTick(tickMs()),
      m_videoPackets(0),
      m_audioPackets(0) {
    if (!m_packet || !start(0x20000, nullptr)) {
        RIVO_LOG("record thread could not start");
    }
}

CMediaRecord::~CMediaRecord() {
    stopRecord();
    av_packet_free(&m_packet);
}

int32_t CMediaRecord::setFileName(const char* name) {
    if (!name || !name[0]) {
        return PLAYER_E_INVALIDARG;
    }
    std::string oldName;
    AVIOContext* oldFile = nullptr;
    {
        // Held while the file is made, so that the start cannot take the
        // earlier file meanwhile and a recording's file is never emptied.
        CScopedLock lock(m_mutex);
        if (m_started || !m_recording) {
            RIVO_LOG("record file name refused: the recording has its file");
            return PLAYER_E_FAIL;
        }
        // Created here, on the host's thread, so that a name that cannot be a
        // file is refused at once (the described recorder only logs it later).
        AVIOContext* file = nullptr;
        const int opened = avio_open(&file, name, AVIO_FLAG_WRITE);
        if (opened < 0) {
            RIVO_LOG("record file %s cannot be created: %d", name, opened);
            return PLAYER_E_FAIL;
        }
        oldName = m_fileName;
        oldFile = m_file;
        m_fileName = name;
        m_file = file;
    }
    if (oldFile) {
        avio_closep(&oldFile);
        if (oldName != name) {
            std::remove(oldName.c_str());
        }
    }
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
        CScopedLock lock(m_mutex);
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

int32_t CMediaRecord::input(const MediaSample* sample, uint32_t track) {
    if (!sample || (track != TRACK_VIDEO && track != TRACK_AUDIO)) {
        return PLAYER_E_INVALIDARG;
    }
    if (!sample->pData || sample->ulsize == 0 || !m_recording || state() == State::kFailed) {
        return 0;
    }
    if (track == TRACK_AUDIO) {
        CScopedLock lock(m_mutex);
        if (!recordableAudio(m_audioCodec) || m_audioCodecChanged) {
            return 0;
        }
    }
    // Copied outside the lock; the parsers read past the end, hence the padding.
    ItemPtr item(new RecordItem{track, sample->ulTime, (sample->ulFlags & MEDIA_FLAG_KEYFRAME) != 0,
                                false, std::vector<uint8_t>(), sample->ulsize});
    item->data.reserve(sample->ulsize + AV_INPUT_BUFFER_PADDING_SIZE);
    item->data.assign(sample->pData, sample->pData + sample->ulsize);
    item->data.resize(sample->ulsize + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    bool firstDrop = false;
    {
        CScopedLock lock(m_mutex);
        if (m_queuedBytes + item->size > kQueueBytes) {
            m_gap = m_gap || track == TRACK_VIDEO;
            firstDrop = m_dropped++ == 0;
        } else {
            if (track == TRACK_VIDEO) {
                item->afterGap = m_gap;
                m_gap = false;
            }
            m_queuedBytes += item->size;
            m_queue.push_back(std::move(item));
        }
    }
    m_queued.notifyAll();
    if (firstDrop) {
        RIVO_LOG("record queue full: samples are dropped");
    }
    return 0;
}

int32_t CMediaRecord::stopRecord() {
    if (!m_recording.exchange(false)) {
        return 0;
    }
    // Taken and given back so that the thread, between testing the flag and
    // starting to wait, cannot miss the notification.
    { CScopedLock lock(m_mutex); }
    m_queued.notifyAll();
    stop();
    if (state() == State::kRecording) {
        for (TrackTimes* times : {&m_videoTimes, &m_audioTimes}) {
            if (times->held) {
                writeHeld(times, times->step);
            }
        }
        if (state() == State::kRecording && flushFragment()) {
            const int result = av_write_trailer(m_output);
            avio_flush(m_output->pb);
            if (result < 0 || m_output->pb->error < 0) {
                fail(m_output->pb->error < 0 ? m_output->pb->error : result);
            } else {
                closeOutput();
                m_state = State::kStopped;
                addEvent("stopped " + m_outputName);
            }
        }
    }
    std::string name;
    AVIOContext* file = nullptr;
    {
        CScopedLock lock(m_mutex);
        std::swap(file, m_file);
        name = m_fileName;
    }
    if (file) {
        // Named, but no key frame with its parameter sets ever came.
        avio_closep(&file);
        std::remove(name.c_str());
        m_state = State::kFailed;
        addEvent("failed no-video " + name);
    } else if (state() == State::kWaiting) {
        m_state = State::kStopped;
    }
    uint32_t dropped = 0;
    {
        CScopedLock lock(m_mutex);
        dropped = m_dropped;
        m_queue.clear();
        m_queuedBytes = 0;
    }
    RIVO_LOG("record stopped: %u video and %u audio packets written, %u samples dropped",
             m_videoPackets, m_audioPackets, dropped);
    return 0;
}

std::vector<std::string> CMediaRecord::takeEvents() {
    CScopedLock lock(m_mutex);
    std::vector<std::string> events;
    events.swap(m_events);
    return events;
}

size_t CMediaRecord::queuedBytes() const {
    CScopedLock lock(m_mutex);
    return m_queuedBytes;
}

void CMediaRecord::addEvent(const std::string& text) {
    RIVO_LOG("record event: %s", text.c_str());
    CScopedLock lock(m_mutex);
    m_events.push_back(text);
}

void CMediaRecord::threadMain() {
    for (;;) {
        bool last = false;
        std::deque<ItemPtr> batch;
        {
            CScopedLock lock(m_mutex);
            if (m_queue.empty() && m_recording) {
                // Nothing to write: wait for a sample or the stop, and while
                // a stalled stream has something unwritten, for its flush.
                const uint32_t flushInMs = idleFlushInMs();
                if (flushInMs == kNoFlush) {
                    m_queued.wait(m_mutex);
                } else if (flushInMs > 0) {
                    waitMs(m_queued, m_mutex, flushInMs);
                }
            }
            // Read with the batch: whatever was queued before stopRecord
            // cleared the flag is then taken by this last pass.
            last = !m_recording;
            batch.swap(m_queue);
        }
        size_t bytes = 0;
        for (ItemPtr& item : batch) {
            bytes += item->size;
            handleItem(std::move(item));
        }
        if (!batch.empty()) {
            CScopedLock lock(m_mutex);
            m_queuedBytes -= bytes;
        }
        const uint32_t now = tickMs();
        if (!batch.empty()) {
            m_lastInputTick = now;
        } else if (idleFlushInMs() == 0) {
            // The stream stalled: what came so far goes to the file, each
            // sample lasting its track's last step.
            for (TrackTimes* times : {&m_videoTimes, &m_audioTimes}) {
                if (times->held) {
                    writeHeld(times, times->step);
                }
            }
            flushFragment();
        }
        if (last) {
            if (state() == State::kWaiting && !m_gathered.empty() && named()) {
                startRecording();
            }
            return;
        }
    }
}

uint32_t CMediaRecord::idleFlushInMs() const {
    if (state() != State::kRecording ||
        !(m_videoTimes.held || m_audioTimes.held || !m_fragmentEmpty)) {
        return kNoFlush;
    }
    const uint32_t idleMs = tickMs() - m_lastInputTick;
    return idleMs >= kIdleFlushMs ? 0 : kIdleFlushMs - idleMs;
}

void CMediaRecord::handleItem(ItemPtr item) {
    switch (state()) {
        case State::kWaiting:
            gatherForStart(std::move(item));
            return;
        case State::kRecording:
            writeItem(std::move(item));
            return;
        default:
            return;
    }
}

void CMediaRecord::gatherForStart(ItemPtr item) {
    if (item->track == TRACK_AUDIO) {
        m_audioSeen = true;
        if (m_gathered.empty()) {
            m_earlyAudio.push_back(std::move(item));
            if (m_earlyAudio.size() > kAudioWaitSamples) {
                m_earlyAudio.pop_front();
            }
        } else {
            m_gathered.push_back(std::move(item));
        }
    } else {
        const PictureInfo info = scanPicture(*item);
        const bool startable = info.key && info.parameterSets;
        // Without a file yet, the recording is to start at the newest key
        // frame; kept samples are bounded, a start needs a key frame again.
        if ((startable && !named()) || m_gathered.size() >= kGatherLimit) {
            m_gathered.clear();
        }
        if (m_gathered.empty() && !startable) {
            return;
        }
        m_gathered.push_back(std::move(item));
    }
    if (named() && readyToStart()) {
        startRecording();
    }
}

bool CMediaRecord::named() const {
    CScopedLock lock(m_mutex);
    return m_file != nullptr;
}

bool CMediaRecord::readyToStart() const {
    if (m_gathered.empty()) {
        return false;
    }
    int32_t audioCodec = CODEC_NONE;
    {
        CScopedLock lock(m_mutex);
        audioCodec = m_audioCodecChanged ? AUDIO_G711A : m_audioCodec;
    }
    // An unknown codec may still turn out to be AAC or MP3.
    const bool soundMayCome = audioCodec == CODEC_NONE || recordableAudio(audioCodec);
    if (!soundMayCome || m_audioSeen) {
        return true;
    }
    uint32_t videoSpan = 0;
    for (const ItemPtr& item : m_gathered) {
        if (item->track == TRACK_VIDEO) {
            videoSpan = item->time - m_gathered.front()->time;
        }
    }
    return videoSpan >= kAudioWaitMs || m_gathered.size() >= kAudioWaitSamples;
}

void CMediaRecord::startRecording() {
    const RecordItem& keyFrame = *m_gathered.front();
    const PictureInfo info = scanPicture(keyFrame);
    int width = 0;
    int height = 0;
    if (!pictureSize(keyFrame, &width, &height)) {
        RIVO_LOG("record key frame without a picture size: starting at a later one");
        m_gathered.clear();
        return;
    }
    AVIOContext* file = nullptr;
    int32_t audioCodec = CODEC_NONE;
    {
        CScopedLock lock(m_mutex);
        std::swap(file, m_file);
        m_outputName = m_fileName;
        m_started = true;
        audioCodec = m_audioCodecChanged ? CODEC_NONE : m_audioCodec;
    }
    int result = avformat_alloc_output_context2(&m_output, nullptr, "mp4", nullptr);
    if (result < 0) {
        avio_closep(&file);
        fail(result);
        return;
    }
    m_output->pb = file;
    m_videoStream = addVideoStream(info, width, height);
    if (!m_videoStream) {
        fail(AVERROR(ENOMEM));
        return;
    }
    const RecordItem* firstSound = m_earlyAudio.empty() ? nullptr : m_earlyAudio.front().get();
    for (const ItemPtr& item : m_gathered) {
        if (!firstSound && item->track == TRACK_AUDIO) {
            firstSound = item.get();
        }
    }
    const bool audio = recordableAudio(audioCodec);
    if (audio && firstSound) {
        m_audioStream = addAudioStream(*firstSound, audioCodec == AUDIO_AAC);
    }
    if (audio && !m_audioStream) {
        RIVO_LOG("record audio has no readable header yet: recording video only");
    }
    // An empty index first, then a fragment at each cut (see the class note);
    // each fragment's times count from its own header.
    AVDictionary* options = nullptr;
    // frag_discont lets a track that starts later than the other (sound a
    // little after the key frame) say so in its first fragment's time
    // instead of being moved to 0; times are never shifted, none is negative.
    av_dict_set(&options, "movflags", "empty_moov+default_base_moof+frag_custom+frag_discont", 0);
    m_output->avoid_negative_ts = AVFMT_AVOID_NEG_TS_MAKE_NON_NEGATIVE;
    result = avformat_write_header(m_output, &options);
    av_dict_free(&options);
    if (result >= 0) {
        avio_flush(m_output->pb);
        result = m_output->pb->error;
    }
    if (result < 0) {
        fail(result);
        return;
    }
    m_fileSize = avio_tell(m_output->pb);
    m_baseTime = keyFrame.time;
    m_state = State::kRecording;
    RIVO_LOG("record started: %s, video %s, audio %s", m_outputName.c_str(),
             avcodec_get_name(m_videoStream->codecpar->codec_id),
             m_audioStream ? avcodec_get_name(m_audioStream->codecpar->codec_id) : "none");
    addEvent("started " + m_outputName);
    // The key frame, the early sound from its time on, then the rest in order.
    std::vector<ItemPtr> gathered;
    gathered.push_back(std::move(m_gathered.front()));
    for (ItemPtr& item : m_earlyAudio) {
        gathered.push_back(std::move(item));
    }
    m_earlyAudio.clear();
    for (size_t i = 1; i < m_gathered.size(); ++i) {
        gathered.push_back(std::move(m_gathered[i]));
    }
    m_gathered.clear();
    for (ItemPtr& item : gathered) {
        if (state() == State::kRecording) {
            writeItem(std::move(item));
        }
    }
}

bool CMediaRecord::pictureSize(const RecordItem& keyFrame, int* width, int* height) const {
    // The parser reads the picture size from the parameter sets and slice.
    AVCodecParserContext* parser = av_parser_init(videoCodecId());
    AVCodecContext* context = avcodec_alloc_context3(nullptr);
    if (parser && context) {
        parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
        uint8_t* out = nullptr;
        int outSize = 0;
        av_parser_parse2(parser, context, &out, &outSize, keyFrame.data.data(),
                         static_cast<int>(keyFrame.size), AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        *width = parser->width;
        *height = parser->height;
    }
    av_parser_close(parser);
    avcodec_free_context(&context);
    return *width > 0 && *height > 0;
}

int CMediaRecord::videoCodecId() const {
    return m_videoCodec == VIDEO_H265 ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
}

AVStream* CMediaRecord::addVideoStream(const PictureInfo& info, int width, int height) {
    AVStream* stream = avformat_new_stream(m_output, nullptr);
    if (!stream) {
        return nullptr;
    }
    AVCodecParameters* parameters = stream->codecpar;
    parameters->codec_type = AVMEDIA_TYPE_VIDEO;
    parameters->codec_id = static_cast<AVCodecID>(videoCodecId());
    parameters->width = width;
    parameters->height = height;
    // Annex B parameter sets: the muxer turns them into avcC / hvcC and the
    // samples into length-prefixed NAL units.
    parameters->extradata =
        static_cast<uint8_t*>(av_mallocz(info.extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!parameters->extradata) {
        return nullptr;
    }
    std::memcpy(parameters->extradata, info.extradata.data(), info.extradata.size());
    parameters->extradata_size = static_cast<int>(info.extradata.size());
    stream->time_base = AVRational{1, 1000};
    return stream;
}

AVStream* CMediaRecord::addAudioStream(const RecordItem& frame, bool aac) {
    const uint8_t* h = frame.data.data();
    int rate = 0;
    int channels = 0;
    int frameSize = 0;
    uint8_t config[2] = {0, 0};
    if (aac && frame.size >= kAdtsHeaderBytes && h[0] == 0xFF && (h[1] & 0xF6) == 0xF0) {
        // ADTS: profile, rate index and channel configuration make the
        // AudioSpecificConfig the MP4 keeps in its sample description.
        const int profile = h[2] >> 6;
        const int rateIndex = (h[2] >> 2) & 0xF;
        const int channelConfig = ((h[2] & 1) << 2) | (h[3] >> 6);
        if (rateIndex < static_cast<int>(sizeof(kAdtsRates) / sizeof(kAdtsRates[0]))) {
            rate = kAdtsRates[rateIndex];
            channels = channelConfig == 7 ? 8 : channelConfig;
            frameSize = 1024;
            config[0] = static_cast<uint8_t>(((profile + 1) << 3) | (rateIndex >> 1));
            config[1] = static_cast<uint8_t>(((rateIndex & 1) << 7) | (channelConfig << 3));
        }
    } else if (!aac && frame.size >= 4 && h[0] == 0xFF && (h[1] & 0xE0) == 0xE0) {
        // MPEG audio: version, rate index, channel mode.
        const int version = (h[1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
        const int rateIndex = (h[2] >> 2) & 3;
        if (version != 1 && rateIndex < 3) {
            rate = kMpegAudioRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
            channels = (h[3] >> 6) == 3 ? 1 : 2;
            frameSize = version == 3 ? 1152 : 576;
        }
    }
    AVStream* stream = rate > 0 && channels > 0 ? avformat_new_stream(m_output, nullptr) : nullptr;
    if (!stream) {
        return nullptr;
    }
    AVCodecParameters* parameters = stream->codecpar;
    parameters->codec_type = AVMEDIA_TYPE_AUDIO;
    parameters->codec_id = aac ? AV_CODEC_ID_AAC : AV_CODEC_ID_MP3;
    parameters->sample_rate = rate;
    parameters->frame_size = frameSize;
    av_channel_layout_default(&parameters->ch_layout, channels);
    if (aac) {
        parameters->extradata =
            static_cast<uint8_t*>(av_mallocz(sizeof(config) + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!parameters->extradata) {
            return nullptr;
        }
        std::memcpy(parameters->extradata, config, sizeof(config));
        parameters->extradata_size = sizeof(config);
    }
    stream->time_base = AVRational{1, rate};
    return stream;
}

void CMediaRecord::writeItem(ItemPtr item) {
    const bool video = item->track == TRACK_VIDEO;
    TrackTimes& times = video ? m_videoTimes : m_audioTimes;
    bool key = false;
    if (video) {
        key = item->hostKey || scanPicture(*item).key;
        // Pictures after a dropped one refer to it: the video resumes at a key frame.
        m_skipToKey = (m_skipToKey || item->afterGap) && !key;
        if (m_skipToKey) {
            return;
        }
    } else if (!m_audioStream ||
               (!times.any && static_cast<int32_t>(item->time - m_baseTime) < 0)) {
        // Sound from before the first key frame has no picture to go with.
        return;
    }
    const uint64_t t =
        fileTime(&times, item->time, video ? kDefaultVideoStepMs : kDefaultAudioStepMs);
    if (times.held) {
        writeHeld(&times, t - times.heldOut);
        if (state() != State::kRecording) {
            return;
        }
    }
    // A fragment ends before each key frame and after kFragmentMs.
    const bool cut =
        (video && key) || (m_fragmentStart != kNoFragment && t >= m_fragmentStart + kFragmentMs);
    if (cut && !m_fragmentEmpty && !flushFragment()) {
        return;
    }
    if (m_fragmentStart == kNoFragment) {
        m_fragmentStart = t;
    }
    item->hostKey = key;
    times.held = std::move(item);
    times.heldOut = t;
}

uint64_t CMediaRecord::fileTime(TrackTimes* times, uint32_t sampleTime, uint32_t defaultStep) {
    uint64_t out = 0;
    if (!times->any) {
        // Sound far from the pictures' clock starts with them.
        const int32_t offset = static_cast<int32_t>(sampleTime - m_baseTime);
        out = offset >= 0 && static_cast<uint32_t>(offset) <= kMaxStepMs ? uint64_t(offset) : 0;
        times->step = defaultStep;
    } else {
        const int32_t step = static_cast<int32_t>(sampleTime - times->lastIn);
        if (step > 0 && static_cast<uint32_t>(step) <= kMaxStepMs) {
            times->step = static_cast<uint32_t>(step);
        }
        out = times->lastOut + times->step;
    }
    times->any = true;
    times->lastIn = sampleTime;
    times->lastOut = out;
    return out;
}

void CMediaRecord::writeHeld(TrackTimes* times, uint64_t durationMs) {
    ItemPtr item = std::move(times->held);
    AVStream* stream = item->track == TRACK_VIDEO ? m_videoStream : m_audioStream;
    const uint8_t* data = item->data.data();
    size_t size = item->size;
    if (stream->codecpar->codec_id == AV_CODEC_ID_AAC) {
        // MP4 keeps AAC without its ADTS header (7 bytes, 9 with a CRC).
        const size_t header = (data[1] & 1) ? kAdtsHeaderBytes : kAdtsHeaderBytes + 2;
        const size_t frameLength =
            (size_t(data[3] & 3) << 11) | (size_t(data[4]) << 3) | (size_t(data[5]) >> 5);
        if (size < kAdtsHeaderBytes || data[0] != 0xFF || (data[1] & 0xF6) != 0xF0 ||
            frameLength <= header || frameLength > size) {
            return;
        }
        data += header;
        size = frameLength - header;
    }
    const AVRational ms{1, 1000};
    const int64_t pts = av_rescale_q(static_cast<int64_t>(times->heldOut), ms, stream->time_base);
    const int64_t end =
        av_rescale_q(static_cast<int64_t>(times->heldOut + durationMs), ms, stream->time_base);
    // The packet borrows the item's payload; the muxer copies what it keeps.
    m_packet->data = const_cast<uint8_t*>(data);
    m_packet->size = static_cast<int>(size);
    m_packet->pts = pts;
    m_packet->dts = pts;
    m_packet->duration = end > pts ? end - pts : 1;
    m_packet->flags = item->hostKey ? AV_PKT_FLAG_KEY : 0;
    m_packet->pos = -1;
    m_packet->stream_index = stream->index;
    const int result = av_write_frame(m_output, m_packet);
    av_packet_unref(m_packet);
    if (result < 0) {
        fail(result);
        return;
    }
    m_fragmentEmpty = false;
    if (item->track == TRACK_VIDEO) {
        ++m_videoPackets;
        m_videoTimes.lastWrittenEnd = times->heldOut + durationMs;
    } else {
        ++m_audioPackets;
    }
}

bool CMediaRecord::flushFragment() {
    int result = av_write_frame(m_output, nullptr);
    avio_flush(m_output->pb);
    if (m_output->pb->error < 0) {
        result = m_output->pb->error;
    }
    if (result < 0) {
        fail(result);
        return false;
    }
    m_fileSize = avio_tell(m_output->pb);
    m_flushedMs = static_cast<uint32_t>(m_videoTimes.lastWrittenEnd);
    m_fragmentEmpty = true;
    m_fragmentStart = kNoFragment;
    return true;
}

void CMediaRecord::fail(int error) {
    m_state = State::kFailed;
    closeOutput();
    // The fragment that failed may be in the file in part: without it the
    // file plays to the end of the last complete one.
    if (truncate(m_outputName.c_str(), m_fileSize) != 0) {
        RIVO_LOG("record file %s could not be cut back", m_outputName.c_str());
    }
    m_videoTimes.held.reset();
    m_audioTimes.held.reset();
    m_gathered.clear();
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(error, text, sizeof(text));
    RIVO_LOG("record failed: %s", text);
    addEvent(std::string("failed ") + failureReason(error) + " " + m_outputName);
}

void CMediaRecord::closeOutput() {
    if (m_output) {
        avio_closep(&m_output->pb);
        avformat_free_context(m_output);
        m_output = nullptr;
    }
    m_videoStream = nullptr;
    m_audioStream = nullptr;
}

CMediaRecord::PictureInfo CMediaRecord::scanPicture(const RecordItem& item) {
    const uint8_t* data = item.data.data();
    const std::vector<std::pair<size_t, size_t>> units = nalUnits(data, item.size);
    if (m_videoCodec == CODEC_NONE) {
        // An H.265 VPS (type 32, layer 0, temporal id 1) names H.265; an H.264
        // SPS (type 7) without one names H.264.
        for (const auto& unit : units) {
            if (unit.second - unit.first >= 2 && data[unit.first] == 0x40 &&
                data[unit.first + 1] == 0x01) {
                m_videoCodec = VIDEO_H265;
            }
        }
        for (const auto& unit : units) {
            if (m_videoCodec == CODEC_NONE && unit.second > unit.first &&
                (data[unit.first] & 0x9F) == 7) {
                m_videoCodec = VIDEO_H264;
            }
        }
    }
    PictureInfo info;
    if (m_videoCodec == CODEC_NONE) {
        return info;
    }
    const bool h265 = m_videoCodec == VIDEO_H265;
    unsigned seen = 0;
    for (const auto& unit : units) {
        if (unit.second <= unit.first) {
            continue;
        }
        const int type = h265 ? (data[unit.first] >> 1) & 0x3F : data[unit.first] & 0x1F;
        info.key = info.key || (h265 ? type >= 16 && type <= 23 : type == 5);
        const int parameterSet = h265 ? type - 32 : type - 7;  // VPS SPS PPS, or SPS PPS
        if (parameterSet >= 0 && parameterSet < (h265 ? 3 : 2)) {
            seen |= 1u << parameterSet;
            static const uint8_t kStartCode[] = {0, 0, 0, 1};
            info.extradata.insert(info.extradata.end(), kStartCode, kStartCode + 4);
            info.extradata.insert(info.extradata.end(), data + unit.first, data + unit.second);
        }
    }
    info.parameterSets = seen == (h265 ? 7u : 3u);
    return info;
}
