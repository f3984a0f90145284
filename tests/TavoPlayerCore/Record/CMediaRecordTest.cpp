#include "TavoPlayerCore/Record/CMediaRecord.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "Common/Log.h"
#include "simcam/SimulatedCamera.h"
#include "support/CameraCapture.h"
#include "support/TempDir.h"

using simcam::AudioCodec;
using simcam::EncodedUnit;
using simcam::VideoCodec;

namespace {

constexpr int64_t kFrameMs = 40;  // 25 fps

// What libavformat and libavcodec find in one stream of a recorded file.
struct RecordedStream {
    AVCodecID codec = AV_CODEC_ID_NONE;
    int width = 0;
    int height = 0;
    int sampleRate = 0;
    std::vector<int64_t> timesMs;  // packet pts
    std::vector<bool> keys;
    int64_t endMs = 0;  // start plus duration of the stream
    int framesDecoded = 0;
    int decodeErrors = 0;
};

struct RecordedFile {
    bool opened = false;
    std::string format;
    std::vector<RecordedStream> streams;
    std::vector<AVMediaType> types;  // of each stream

    const RecordedStream* find(AVMediaType type) const {
        for (size_t i = 0; i < streams.size(); ++i) {
            if (types[i] == type) {
                return &streams[i];
            }
        }
        return nullptr;
    }
    const RecordedStream* video() const { return find(AVMEDIA_TYPE_VIDEO); }
    const RecordedStream* audio() const { return find(AVMEDIA_TYPE_AUDIO); }
};

int64_t toMs(int64_t value, AVRational timeBase) {
    return av_rescale_q(value, timeBase, AVRational{1, 1000});
}

void drain(AVCodecContext* decoder, AVFrame* frame, RecordedStream& stream) {
    int result;
    while ((result = avcodec_receive_frame(decoder, frame)) == 0) {
        ++stream.framesDecoded;
    }
    if (result != AVERROR(EAGAIN) && result != AVERROR_EOF) {
        ++stream.decodeErrors;
    }
}

// Opens a recording with libavformat and decodes every packet of it.
RecordedFile readRecording(const std::string& path) {
    RecordedFile file;
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) != 0) {
        return file;
    }
    file.opened = avformat_find_stream_info(input, nullptr) >= 0;
    file.format = input->iformat->name;
    std::vector<AVCodecContext*> decoders;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* st = input->streams[i];
        RecordedStream stream;
        stream.codec = st->codecpar->codec_id;
        stream.width = st->codecpar->width;
        stream.height = st->codecpar->height;
        stream.sampleRate = st->codecpar->sample_rate;
        stream.endMs = toMs(st->start_time + st->duration, st->time_base);
        file.streams.push_back(stream);
        file.types.push_back(st->codecpar->codec_type);
        AVCodecContext* decoder = avcodec_alloc_context3(avcodec_find_decoder(stream.codec));
        avcodec_parameters_to_context(decoder, st->codecpar);
        decoder->thread_count = 1;
        if (avcodec_open2(decoder, nullptr, nullptr) < 0) {
            file.streams.back().decodeErrors++;
        }
        decoders.push_back(decoder);
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    while (av_read_frame(input, packet) >= 0) {
        RecordedStream& stream = file.streams[packet->stream_index];
        stream.timesMs.push_back(
            toMs(packet->pts, input->streams[packet->stream_index]->time_base));
        stream.keys.push_back((packet->flags & AV_PKT_FLAG_KEY) != 0);
        if (avcodec_send_packet(decoders[packet->stream_index], packet) < 0) {
            ++stream.decodeErrors;
        }
        drain(decoders[packet->stream_index], frame, stream);
        av_packet_unref(packet);
    }
    for (size_t i = 0; i < decoders.size(); ++i) {
        avcodec_send_packet(decoders[i], nullptr);
        drain(decoders[i], frame, file.streams[i]);
        avcodec_free_context(&decoders[i]);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&input);
    return file;
}

MediaSample sampleOf(const EncodedUnit& encoded) {
    MediaSample sample{};
    sample.ulTime = encoded.timeMs;
    sample.ulFlags = encoded.keyFrame ? MEDIA_FLAG_KEYFRAME : 0;
    sample.ulsize = static_cast<uint32_t>(encoded.data.size());
    sample.pData = const_cast<uint8_t*>(encoded.data.data());
    return sample;
}

// Hands the samples over in time order, as the player's loops would.
void feed(CMediaRecord& recorder, const std::vector<EncodedUnit>& video,
          const std::vector<EncodedUnit>& audio = {}) {
    size_t v = 0;
    size_t a = 0;
    while (v < video.size() || a < audio.size()) {
        const bool takeAudio =
            a < audio.size() && (v >= video.size() || audio[a].timeMs < video[v].timeMs);
        const MediaSample sample = sampleOf(takeAudio ? audio[a++] : video[v++]);
        ASSERT_EQ(0, recorder.input(&sample, takeAudio ? TRACK_AUDIO : TRACK_VIDEO, 0));
    }
}

// The first frames pictures of a 320x240 camera at 25 fps with a key frame
// every 10, stamped from startMs on.
std::vector<EncodedUnit> encodeVideo(VideoCodec codec, int frames, uint32_t startMs = 0) {
    std::vector<EncodedUnit> units = captureVideo(smallVideoSettings(codec), frames);
    for (EncodedUnit& unit : units) {
        unit.timeMs += startMs;
    }
    return units;
}

// The audio frames of a 16 kHz mono camera (8 kHz for G.711) that start
// within the first durationMs, stamped from startMs on.
std::vector<EncodedUnit> encodeAudio(AudioCodec codec, uint32_t durationMs, uint32_t startMs = 0) {
    simcam::SimulatedCamera camera(audioSettings(codec, 16000, 1));
    std::vector<EncodedUnit> units;
    EncodedUnit unit;
    while (camera.nextAudio(&unit) && unit.timeMs < durationMs) {
        unit.timeMs += startMs;
        units.push_back(unit);
    }
    return units;
}

// The samples stamped from fromMs up to, not including, toMs.
std::vector<EncodedUnit> slice(const std::vector<EncodedUnit>& samples, uint32_t fromMs,
                               uint32_t toMs) {
    std::vector<EncodedUnit> out;
    for (const EncodedUnit& sample : samples) {
        if (sample.timeMs >= fromMs && sample.timeMs < toMs) {
            out.push_back(sample);
        }
    }
    return out;
}

// Polls a condition that another thread makes true, with a generous bound.
bool waitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::vector<std::string> filesIn(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

class CMediaRecordTest : public ::testing::Test {
protected:
    void SetUp() override { av_log_set_level(AV_LOG_QUIET); }
    TempDir m_dir;
};

// ---- Names ---------------------------------------------------------------

TEST(CMediaRecordNames, TempPathIsTheBaseBeforeTheFirstMp4Extension) {
    char path[CMediaRecord::kPathSize];
    ASSERT_EQ(0, CMediaRecord::makeTempPath("C:/v/a.mp4", CMediaRecord::kVideoTempSuffix, path));
    EXPECT_STREQ("C:/v/a_tmp.h264", path);
    ASSERT_EQ(0, CMediaRecord::makeTempPath("C:/v/a.MP4", CMediaRecord::kVideoTempSuffix, path));
    EXPECT_STREQ("C:/v/a_tmp.h264", path);
    ASSERT_EQ(0, CMediaRecord::makeTempPath("C:/v/a.MP4", CMediaRecord::kAudioTempSuffix, path));
    EXPECT_STREQ("C:/v/a_tmp.aac", path);
    ASSERT_EQ(0, CMediaRecord::makeTempPath("clip.mp4.bak", CMediaRecord::kVideoTempSuffix, path));
    EXPECT_STREQ("clip_tmp.h264", path);
}

TEST(CMediaRecordNames, RefusedNamesLeaveThePathUntouched) {
    char path[CMediaRecord::kPathSize] = "unchanged";
    EXPECT_EQ(CMediaRecord::kNameNotMp4,
              CMediaRecord::makeTempPath("C:/v/a.Mp4", CMediaRecord::kVideoTempSuffix, path));
    EXPECT_EQ(CMediaRecord::kNameNotMp4,
              CMediaRecord::makeTempPath("a.h264", CMediaRecord::kVideoTempSuffix, path));
    EXPECT_EQ(CMediaRecord::kNameMissing,
              CMediaRecord::makeTempPath("", CMediaRecord::kVideoTempSuffix, path));
    EXPECT_EQ(CMediaRecord::kNameMissing,
              CMediaRecord::makeTempPath(nullptr, CMediaRecord::kVideoTempSuffix, path));
    EXPECT_STREQ("unchanged", path);
}

TEST(CMediaRecordNames, BaseThatDoesNotFitThePathBufferIsRefusedNotCut) {
    const size_t longestBase =
        CMediaRecord::kPathSize - 1 - std::strlen(CMediaRecord::kVideoTempSuffix);
    const std::string fits = std::string(longestBase, 'b') + ".mp4";
    const std::string tooLong = std::string(longestBase + 1, 'b') + ".mp4";
    char path[CMediaRecord::kPathSize];
    ASSERT_EQ(0, CMediaRecord::makeTempPath(fits.c_str(), CMediaRecord::kVideoTempSuffix, path));
    EXPECT_EQ(CMediaRecord::kPathSize - 1, std::strlen(path));
    EXPECT_EQ(PLAYER_E_INVALIDARG,
              CMediaRecord::makeTempPath(tooLong.c_str(), CMediaRecord::kVideoTempSuffix, path));

    CMediaRecord recorder;
    EXPECT_EQ(0, recorder.setFileName(fits.c_str()));
    EXPECT_EQ(PLAYER_E_INVALIDARG, recorder.setFileName(tooLong.c_str()));
    EXPECT_EQ(CMediaRecord::kNameNotMp4, recorder.setFileName("a.Mp4"));
    EXPECT_EQ(CMediaRecord::kNameMissing, recorder.setFileName(""));
    EXPECT_EQ(CMediaRecord::kNameMissing, recorder.setFileName(nullptr));
}

TEST(CMediaRecordNames, BadCallsAreRefused) {
    CMediaRecord recorder;
    const std::vector<uint8_t> payload = {0, 0, 0, 1, 0x65};
    MediaSample sample{};
    sample.ulsize = static_cast<uint32_t>(payload.size());
    sample.pData = const_cast<uint8_t*>(payload.data());
    EXPECT_EQ(PLAYER_E_INVALIDARG, recorder.input(nullptr, TRACK_VIDEO, 0));
    EXPECT_EQ(PLAYER_E_INVALIDARG, recorder.input(&sample, 3, 0));
    EXPECT_EQ(PLAYER_E_INVALIDARG, recorder.setAudioCodec(CODEC_NONE));
    EXPECT_EQ(PLAYER_E_INVALIDARG, recorder.setAudioCodec(AUDIO_G711U + 1));
    EXPECT_EQ(0, recorder.setAudioCodec(AUDIO_AAC));
    EXPECT_EQ(0, recorder.setAudioCodec(AUDIO_AAC));
    EXPECT_EQ(PLAYER_E_FAIL, recorder.setAudioCodec(AUDIO_MP3));
    EXPECT_EQ(0, recorder.stopRecord());
    EXPECT_EQ(0, recorder.stopRecord());
}

// ---- Video recordings ------------------------------------------------------

class CMediaRecordVideoTest : public CMediaRecordTest,
                              public ::testing::WithParamInterface<VideoCodec> {};

TEST_P(CMediaRecordVideoTest, RecordsFromTheFirstKeyFrameWithItsTimesAndKeyFlags) {
    // Key frames at 10, 20 and 30; the recording joins the stream at frame 3.
    std::vector<EncodedUnit> video = encodeVideo(GetParam(), 36, 5000);
    video.erase(video.begin(), video.begin() + 3);
    const std::string target = m_dir.file("cam01.mp4");
    {
        CMediaRecord recorder;
        ASSERT_EQ(0, recorder.setFileName(target.c_str()));
        feed(recorder, video);
        EXPECT_EQ(0, recorder.stopRecord());
        EXPECT_TRUE(recorder.state() & CMediaRecord::kStateStarted);
        EXPECT_EQ(0u, recorder.startFailures());
    }
    EXPECT_EQ(std::vector<std::string>{"cam01.mp4"}, filesIn(m_dir.path()));

    const RecordedFile file = readRecording(target);
    ASSERT_TRUE(file.opened);
    EXPECT_NE(std::string::npos, file.format.find("mp4"));
    ASSERT_EQ(1u, file.streams.size());
    const RecordedStream& stream = *file.video();
    EXPECT_EQ(GetParam() == VideoCodec::H264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_HEVC, stream.codec);
    EXPECT_EQ(320, stream.width);
    EXPECT_EQ(240, stream.height);
    ASSERT_EQ(26u, stream.timesMs.size());
    for (size_t i = 0; i < stream.timesMs.size(); ++i) {
        // Frame 10 + i was stamped 5000 + (10 + i) * 40; the first packet is put at 20 ms.
        EXPECT_EQ(i == 0 ? 20 : int64_t(i) * kFrameMs, stream.timesMs[i]) << "packet " << i;
        EXPECT_EQ(i % 10 == 0, stream.keys[i]) << "packet " << i;
    }
    // The frames fed from the first key frame on cover this much time.
    const int64_t fedMs = video.back().timeMs - video[7].timeMs + kFrameMs;
    EXPECT_NEAR(fedMs, stream.endMs, kFrameMs);
    EXPECT_EQ(26, stream.framesDecoded);
    EXPECT_EQ(0, stream.decodeErrors);
}

INSTANTIATE_TEST_SUITE_P(Codecs, CMediaRecordVideoTest,
                         ::testing::Values(VideoCodec::H264, VideoCodec::H265),
                         [](const ::testing::TestParamInfo<VideoCodec>& info) {
                             return info.param == VideoCodec::H264 ? "H264" : "H265";
                         });

TEST_F(CMediaRecordTest, PacketTimesNeverStandStillOrGoBack) {
    // Every frame a key frame, so the recorder is ready after three.
    simcam::CameraSettings settings = smallVideoSettings(VideoCodec::H264);
    settings.keyFrameInterval = 1;
    std::vector<EncodedUnit> video = captureVideo(settings, 7);
    const uint32_t stamps[] = {5000, 5040, 5080, 5120, 5120, 5100, 5200};
    for (size_t i = 0; i < video.size(); ++i) {
        video[i].timeMs = stamps[i];
    }
    const std::string target = m_dir.file("t.mp4");
    {
        CMediaRecord recorder;
        recorder.setFileName(target.c_str());
        feed(recorder, video);
    }
    const RecordedFile file = readRecording(target);
    ASSERT_TRUE(file.opened);
    EXPECT_EQ((std::vector<int64_t>{20, 40, 80, 120, 140, 160, 200}), file.video()->timesMs);
    EXPECT_EQ(7, file.video()->framesDecoded);
}

TEST_F(CMediaRecordTest, StopBeforeTheThirdKeyFrameLeavesNoFiles) {
    const std::vector<EncodedUnit> video = encodeVideo(VideoCodec::H264, 20);
    CMediaRecord recorder;
    recorder.setFileName(m_dir.file("a.mp4").c_str());
    feed(recorder, video);
    EXPECT_EQ(0, recorder.stopRecord());
    EXPECT_FALSE(recorder.state() & CMediaRecord::kStateReady);
    EXPECT_TRUE(filesIn(m_dir.path()).empty());
}

TEST_F(CMediaRecordTest, FullQueueDropsSamplesAndTheRecorderNeverBecomesReady) {
    const std::vector<uint8_t> payload = {0, 0, 0, 1, 0x41, 0x9A};
    CMediaRecord recorder;
    recorder.setFileName(m_dir.file("a.mp4").c_str());
    MediaSample sample{};
    sample.ulsize = static_cast<uint32_t>(payload.size());
    sample.pData = const_cast<uint8_t*>(payload.data());
    for (int i = 0; i < CMediaRecord::kQueueCapacity + 3; ++i) {
        sample.ulTime = static_cast<uint32_t>(i * 40);
        sample.ulFlags = i >= CMediaRecord::kQueueCapacity ? MEDIA_FLAG_KEYFRAME : 0;
        EXPECT_EQ(0, recorder.input(&sample, TRACK_VIDEO, 0));
    }
    recorder.stopRecord();
    EXPECT_FALSE(recorder.state() & CMediaRecord::kStateReady);
    EXPECT_TRUE(filesIn(m_dir.path()).empty());
}

// ---- Names in use -----------------------------------------------------------

TEST_F(CMediaRecordTest, NameWithTextAfterTheExtensionKeepsItsFullName) {
    const std::string target = m_dir.file("clip.mp4.bak");
    {
        CMediaRecord recorder;
        ASSERT_EQ(0, recorder.setFileName(target.c_str()));
        feed(recorder, encodeVideo(VideoCodec::H264, 21));
    }
    EXPECT_EQ(std::vector<std::string>{"clip.mp4.bak"}, filesIn(m_dir.path()));
    const RecordedFile file = readRecording(target);
    ASSERT_TRUE(file.opened);
    EXPECT_NE(std::string::npos, file.format.find("mp4"));
    EXPECT_EQ(21u, file.video()->timesMs.size());
}

TEST_F(CMediaRecordTest, NamingAgainReplacesTheNameAndItsTemporaryPaths) {
    std::filesystem::create_directory(m_dir.file("first"));
    std::filesystem::create_directory(m_dir.file("second"));
    {
        CMediaRecord recorder;
        ASSERT_EQ(0, recorder.setFileName(m_dir.file("first/a.mp4").c_str()));
        ASSERT_EQ(0, recorder.setFileName(m_dir.file("second/b.MP4").c_str()));
        feed(recorder, encodeVideo(VideoCodec::H264, 21));
    }
    EXPECT_TRUE(filesIn(m_dir.file("first")).empty());
    EXPECT_EQ(std::vector<std::string>{"b.MP4"}, filesIn(m_dir.file("second")));
}

TEST_F(CMediaRecordTest, DirectoryThatDoesNotExistRecordsNothing) {
    CMediaRecord recorder;
    ASSERT_EQ(0, recorder.setFileName(m_dir.file("missing/a.mp4").c_str()));
    feed(recorder, encodeVideo(VideoCodec::H264, 21));
    recorder.stopRecord();
    EXPECT_GE(recorder.startFailures(), 1u);
    EXPECT_FALSE(recorder.state() & CMediaRecord::kStateStarted);
    EXPECT_TRUE(filesIn(m_dir.path()).empty());
}

enum class StartFailure { MissingDirectory, MissingName };

class CMediaRecordRetryTest : public CMediaRecordTest,
                              public ::testing::WithParamInterface<StartFailure> {};

TEST_P(CMediaRecordRetryTest, FailedStartIsRetriedAtTheNextKeyFrameWithTheSoundSinceThen) {
    const bool lateName = GetParam() == StartFailure::MissingName;
    const std::vector<EncodedUnit> video = encodeVideo(VideoCodec::H264, 45);
    const std::vector<EncodedUnit> audio = encodeAudio(AudioCodec::AAC, 1800);
    const std::string directory = lateName ? m_dir.path() : m_dir.file("later");
    const std::string target = directory + "/a.mp4";
    {
        CMediaRecord recorder;
        ASSERT_EQ(0, recorder.setAudioCodec(AUDIO_AAC));
        if (!lateName) {
            ASSERT_EQ(0, recorder.setFileName(target.c_str()));
        }
        // Up to the third key frame (frame 20 at 800 ms): the first pass fails.
        feed(recorder, slice(video, 0, 801), slice(audio, 0, 801));
        ASSERT_TRUE(waitFor([&] { return recorder.startFailures() == 1; }));
        if (lateName) {
            ASSERT_EQ(0, recorder.setFileName(target.c_str()));
        } else {
            std::filesystem::create_directory(directory);
        }
        feed(recorder, slice(video, 801, 5000), slice(audio, 801, 5000));
        recorder.stopRecord();
        EXPECT_EQ(1u, recorder.startFailures());
        EXPECT_TRUE(recorder.state() & CMediaRecord::kStateStarted);
        EXPECT_EQ(PLAYER_E_FAIL, recorder.setFileName(m_dir.file("other.mp4").c_str()));
    }
    EXPECT_EQ(std::vector<std::string>{"a.mp4"}, filesIn(directory));
    const RecordedFile file = readRecording(target);
    ASSERT_TRUE(file.opened);
    // The passes without a key frame after the failure drop their video: the
    // file starts at frame 30 (1200 ms), with the sound from then on.
    const RecordedStream& picture = *file.video();
    ASSERT_EQ(15u, picture.timesMs.size());
    EXPECT_EQ(20, picture.timesMs[0]);
    EXPECT_EQ(14 * kFrameMs, picture.timesMs.back());
    EXPECT_TRUE(picture.keys[0]);
    EXPECT_EQ(15, picture.framesDecoded);
    EXPECT_EQ(0, picture.decodeErrors);
    ASSERT_NE(nullptr, file.audio());
    EXPECT_EQ(slice(audio, 1200, 5000).size(), file.audio()->timesMs.size());
    EXPECT_NEAR(picture.timesMs.front(), file.audio()->timesMs.front(), kFrameMs);
    EXPECT_EQ(0, file.audio()->decodeErrors);
}

INSTANTIATE_TEST_SUITE_P(Causes, CMediaRecordRetryTest,
                         ::testing::Values(StartFailure::MissingDirectory,
                                           StartFailure::MissingName),
                         [](const ::testing::TestParamInfo<StartFailure>& info) {
                             return info.param == StartFailure::MissingName ? "MissingName"
                                                                            : "MissingDirectory";
                         });

// ---- Sound ---------------------------------------------------------------

class CMediaRecordAudioTest : public CMediaRecordTest,
                              public ::testing::WithParamInterface<AudioCodec> {};

TEST_P(CMediaRecordAudioTest, RecordsBothStreamsStartingTogether) {
    const bool aac = GetParam() == AudioCodec::AAC;
    // Sound starts half a second before the first key frame of the recording.
    std::vector<EncodedUnit> video = encodeVideo(VideoCodec::H264, 36, 5000);
    video.erase(video.begin(), video.begin() + 3);
    const std::vector<EncodedUnit> audio = encodeAudio(GetParam(), 1500, 4900);
    const std::string target = m_dir.file("av.mp4");
    {
        CMediaRecord recorder;
        ASSERT_EQ(0, recorder.setAudioCodec(aac ? AUDIO_AAC : AUDIO_MP3));
        ASSERT_EQ(0, recorder.setFileName(target.c_str()));
        feed(recorder, video, audio);
        recorder.stopRecord();
        EXPECT_TRUE(recorder.state() & CMediaRecord::kStateAudioStream);
    }
    EXPECT_EQ(std::vector<std::string>{"av.mp4"}, filesIn(m_dir.path()));

    const RecordedFile file = readRecording(target);
    ASSERT_TRUE(file.opened);
    ASSERT_EQ(2u, file.streams.size());
    const RecordedStream& picture = *file.video();
    const RecordedStream& sound = *file.audio();
    EXPECT_EQ(aac ? AV_CODEC_ID_AAC : AV_CODEC_ID_MP3, sound.codec);
    EXPECT_EQ(16000, sound.sampleRate);
    EXPECT_EQ(26u, picture.timesMs.size());
    EXPECT_NEAR(picture.timesMs.front(), sound.timesMs.front(), kFrameMs);
    // Every audio frame from the first key frame's time on is there.
    const uint32_t base = video[7].timeMs;
    size_t expected = 0;
    for (const EncodedUnit& frame : audio) {
        expected += frame.timeMs >= base ? 1 : 0;
    }
    EXPECT_EQ(expected, sound.timesMs.size());
    EXPECT_EQ(int(sound.timesMs.size()), sound.framesDecoded);
    EXPECT_EQ(0, sound.decodeErrors);
    EXPECT_EQ(26, picture.framesDecoded);
    EXPECT_EQ(0, picture.decodeErrors);
}

INSTANTIATE_TEST_SUITE_P(Codecs, CMediaRecordAudioTest,
                         ::testing::Values(AudioCodec::AAC, AudioCodec::MP3),
                         [](const ::testing::TestParamInfo<AudioCodec>& info) {
                             return info.param == AudioCodec::AAC ? "Aac" : "Mp3";
                         });

TEST_F(CMediaRecordTest, G711RecordingsAreVideoOnlyAndTheLogSaysSo) {
    TempDir workDir(true);
    std::filesystem::create_directory("D:");
    RIVO_Common_Player::resetLogForTesting();
    const std::vector<EncodedUnit> video = encodeVideo(VideoCodec::H264, 21);
    const std::string target = m_dir.file("g711.mp4");
    {
        CMediaRecord recorder;
        EXPECT_EQ(0, recorder.setAudioCodec(AUDIO_G711A));
        recorder.setFileName(target.c_str());
        feed(recorder, video, encodeAudio(AudioCodec::G711ALaw, 800));
    }
    const RecordedFile file = readRecording(target);
    ASSERT_TRUE(file.opened);
    ASSERT_EQ(1u, file.streams.size());
    EXPECT_EQ(21u, file.video()->timesMs.size());
    RIVO_Common_Player::resetLogForTesting();
    std::ifstream log(RIVO_Common_Player::kLogFilePath);
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_NE(std::string::npos, text.str().find("G.711")) << text.str();
    EXPECT_NE(std::string::npos, text.str().find("video only")) << text.str();
}

TEST_F(CMediaRecordTest, AudioStopsWhenTheCodecChanges) {
    const std::vector<EncodedUnit> video = encodeVideo(VideoCodec::H264, 30);
    const std::vector<EncodedUnit> aac = slice(encodeAudio(AudioCodec::AAC, 1200), 0, 800);
    const std::vector<EncodedUnit> mp3 = slice(encodeAudio(AudioCodec::MP3, 1200), 800, 1200);
    const std::string target = m_dir.file("change.mp4");
    {
        CMediaRecord recorder;
        recorder.setAudioCodec(AUDIO_AAC);
        recorder.setFileName(target.c_str());
        feed(recorder, slice(video, 0, 800), aac);
        EXPECT_EQ(PLAYER_E_FAIL, recorder.setAudioCodec(AUDIO_MP3));
        feed(recorder, slice(video, 800, 1200), mp3);
    }
    const RecordedFile file = readRecording(target);
    ASSERT_TRUE(file.opened);
    ASSERT_EQ(2u, file.streams.size());
    EXPECT_EQ(AV_CODEC_ID_AAC, file.audio()->codec);
    EXPECT_EQ(aac.size(), file.audio()->timesMs.size());
    EXPECT_EQ(0, file.audio()->decodeErrors);
    EXPECT_EQ(30u, file.video()->timesMs.size());
}

// ---- Threads -------------------------------------------------------------

TEST_F(CMediaRecordTest, RecordsWhileAnotherThreadFeeds) {
    const std::vector<EncodedUnit> video = encodeVideo(VideoCodec::H264, 60);
    const std::vector<EncodedUnit> audio = encodeAudio(AudioCodec::AAC, 2400);
    const std::string target = m_dir.file("threads.mp4");
    {
        CMediaRecord recorder;
        recorder.setAudioCodec(AUDIO_AAC);
        recorder.setFileName(target.c_str());
        std::thread feeder([&] { feed(recorder, video, audio); });
        EXPECT_TRUE(waitFor([&] { return (recorder.state() & CMediaRecord::kStateStarted) != 0; }));
        feeder.join();
        recorder.stopRecord();
    }
    const RecordedFile file = readRecording(target);
    ASSERT_TRUE(file.opened);
    ASSERT_EQ(2u, file.streams.size());
    EXPECT_EQ(60u, file.video()->timesMs.size());
    EXPECT_EQ(60, file.video()->framesDecoded);
    EXPECT_EQ(audio.size(), file.audio()->timesMs.size());
    EXPECT_EQ(0, file.audio()->decodeErrors);
}

}  // namespace
