#include "TavoPlayerCore/Record/CMediaRecord.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "simcam/SimulatedCamera.h"
#include "support/CameraCapture.h"
#include "support/DecodedFile.h"
#include "support/Eventually.h"
#include "support/QuietLibavLog.h"
#include "support/TempDir.h"

using simcam::AudioCodec;
using simcam::EncodedUnit;
using simcam::VideoCodec;

namespace {

constexpr int64_t kFrameMs = 40;  // 25 fps

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

std::vector<std::string> filesIn(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

class CMediaRecordTest : public ::testing::Test {
protected:
    QuietLibavLog m_quiet;
    TempDir m_dir;
};

// The temporary files sit beside the recording, named after the text before
// its first ".mp4" (or ".MP4"); other names and names too long for the path
// buffer are refused, never cut.
TEST(CMediaRecordNames, TemporaryPathsAndRefusedNames) {
    const size_t longestBase =
        CMediaRecord::kPathSize - 1 - std::strlen(CMediaRecord::kVideoTempSuffix);
    const std::string fits = std::string(longestBase, 'b') + ".mp4";
    const std::string tooLong = std::string(longestBase + 1, 'b') + ".mp4";
    const struct {
        const char* name;
        const char* suffix;
        int32_t result;
        const char* path;
    } cases[] = {
        {"C:/v/a.mp4", CMediaRecord::kVideoTempSuffix, 0, "C:/v/a_tmp.h264"},
        {"C:/v/a.MP4", CMediaRecord::kAudioTempSuffix, 0, "C:/v/a_tmp.aac"},
        {"clip.mp4.bak", CMediaRecord::kVideoTempSuffix, 0, "clip_tmp.h264"},
        {"C:/v/a.Mp4", CMediaRecord::kVideoTempSuffix, CMediaRecord::kNameNotMp4, "unchanged"},
        {"a.h264", CMediaRecord::kVideoTempSuffix, CMediaRecord::kNameNotMp4, "unchanged"},
        {"", CMediaRecord::kVideoTempSuffix, CMediaRecord::kNameMissing, "unchanged"},
        {nullptr, CMediaRecord::kVideoTempSuffix, CMediaRecord::kNameMissing, "unchanged"},
        {tooLong.c_str(), CMediaRecord::kVideoTempSuffix, PLAYER_E_INVALIDARG, "unchanged"},
    };
    for (const auto& c : cases) {
        char path[CMediaRecord::kPathSize] = "unchanged";
        EXPECT_EQ(c.result, CMediaRecord::makeTempPath(c.name, c.suffix, path)) << c.path;
        EXPECT_STREQ(c.path, path);
        CMediaRecord recorder;
        EXPECT_EQ(c.result, recorder.setFileName(c.name)) << c.path;
    }
    char path[CMediaRecord::kPathSize];
    ASSERT_EQ(0, CMediaRecord::makeTempPath(fits.c_str(), CMediaRecord::kVideoTempSuffix, path));
    EXPECT_EQ(CMediaRecord::kPathSize - 1, std::strlen(path));
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

// ---- Recordings ------------------------------------------------------------

struct RecordCase {
    VideoCodec video;
    AudioCodec audio;
    int32_t audioType;
};

// AAC and MP3 sound is recorded with the pictures; G.711 recordings are
// video only.
class CMediaRecordCodecTest : public CMediaRecordTest,
                              public ::testing::WithParamInterface<RecordCase> {};

// The recording joins the stream at frame 3 (key frames at 10, 20 and 30)
// with sound from half a second before the first key frame; text after the
// extension stays in the name, and naming again replaces the name.
TEST_P(CMediaRecordCodecTest, RecordsFromTheFirstKeyFrameWithItsTimesKeysAndSound) {
    const RecordCase& c = GetParam();
    std::vector<EncodedUnit> video = encodeVideo(c.video, 36, 5000);
    video.erase(video.begin(), video.begin() + 3);
    const std::vector<EncodedUnit> audio = encodeAudio(c.audio, 1500, 4900);
    std::filesystem::create_directory(m_dir.file("first"));
    std::filesystem::create_directory(m_dir.file("av"));
    const std::string target = m_dir.file("av/cam01.mp4.bak");
    {
        CMediaRecord recorder;
        ASSERT_EQ(0, recorder.setAudioCodec(c.audioType));
        ASSERT_EQ(0, recorder.setFileName(m_dir.file("first/a.mp4").c_str()));
        ASSERT_EQ(0, recorder.setFileName(target.c_str()));
        // Fed from a thread of its own (as by the player's loops) while this
        // one watches the recorder.
        std::thread feeder([&] { feed(recorder, video, audio); });
        EXPECT_TRUE(
            eventually([&] { return (recorder.state() & CMediaRecord::kStateStarted) != 0; }));
        feeder.join();
        EXPECT_EQ(0, recorder.stopRecord());
        EXPECT_EQ(0u, recorder.startFailures());
    }
    EXPECT_TRUE(filesIn(m_dir.file("first")).empty());
    EXPECT_EQ(std::vector<std::string>{"cam01.mp4.bak"}, filesIn(m_dir.file("av")));

    const DecodedFile file(target);
    ASSERT_TRUE(file.opened());
    const DecodedFile::Stream& picture = *file.find(AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(c.video == VideoCodec::H264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_HEVC, picture.codec);
    EXPECT_EQ(320, picture.width);
    EXPECT_EQ(240, picture.height);
    ASSERT_EQ(26u, picture.timesMs.size());
    for (size_t i = 0; i < picture.timesMs.size(); ++i) {
        // Frame 10 + i was stamped 5000 + (10 + i) * 40; the first packet is put at 20 ms.
        EXPECT_EQ(i == 0 ? 20 : int64_t(i) * kFrameMs, picture.timesMs[i]) << "packet " << i;
        EXPECT_EQ(i % 10 == 0, picture.keys[i]) << "packet " << i;
    }
    // The frames fed from the first key frame on cover this much time.
    EXPECT_NEAR(video.back().timeMs - video[7].timeMs + kFrameMs, picture.endMs, kFrameMs);
    EXPECT_EQ(26, picture.frames);
    EXPECT_EQ(0, picture.decodeErrors);
    const DecodedFile::Stream* sound = file.find(AVMEDIA_TYPE_AUDIO);
    if (c.audio == AudioCodec::G711ALaw) {
        EXPECT_EQ(nullptr, sound);
        return;
    }
    ASSERT_NE(nullptr, sound);
    EXPECT_EQ(c.audio == AudioCodec::AAC ? AV_CODEC_ID_AAC : AV_CODEC_ID_MP3, sound->codec);
    EXPECT_EQ(16000, sound->sampleRate);
    EXPECT_NEAR(picture.timesMs.front(), sound->timesMs.front(), kFrameMs);
    // Every audio frame from the first key frame's time on is there.
    EXPECT_EQ(slice(audio, video[7].timeMs, 0xFFFFFFFFu).size(), sound->timesMs.size());
    EXPECT_EQ(static_cast<int>(sound->timesMs.size()), sound->frames);
    EXPECT_EQ(0, sound->decodeErrors);
}

INSTANTIATE_TEST_SUITE_P(Codecs, CMediaRecordCodecTest,
                         ::testing::Values(RecordCase{VideoCodec::H264, AudioCodec::AAC, AUDIO_AAC},
                                           RecordCase{VideoCodec::H265, AudioCodec::MP3, AUDIO_MP3},
                                           RecordCase{VideoCodec::H264, AudioCodec::G711ALaw,
                                                      AUDIO_G711A}),
                         [](const ::testing::TestParamInfo<RecordCase>& info) {
                             return info.param.audio == AudioCodec::AAC   ? "H264Aac"
                                    : info.param.audio == AudioCodec::MP3 ? "H265Mp3"
                                                                          : "H264G711";
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
    const DecodedFile file(target);
    ASSERT_TRUE(file.opened());
    EXPECT_EQ((std::vector<int64_t>{20, 40, 80, 120, 140, 160, 200}),
              file.find(AVMEDIA_TYPE_VIDEO)->timesMs);
    EXPECT_EQ(7, file.find(AVMEDIA_TYPE_VIDEO)->frames);
}

// Nothing is written before three key frames are queued, nor when the queue
// overflowed before them.
TEST_F(CMediaRecordTest, NoFilesWithoutThreeQueuedKeyFrames) {
    {
        CMediaRecord recorder;
        recorder.setFileName(m_dir.file("a.mp4").c_str());
        feed(recorder, encodeVideo(VideoCodec::H264, 20));
        EXPECT_EQ(0, recorder.stopRecord());
        EXPECT_FALSE(recorder.state() & CMediaRecord::kStateReady);
    }
    const std::vector<uint8_t> payload = {0, 0, 0, 1, 0x41, 0x9A};
    CMediaRecord recorder;
    recorder.setFileName(m_dir.file("b.mp4").c_str());
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
        ASSERT_TRUE(eventually([&] { return recorder.startFailures() == 1; }));
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
    const DecodedFile file(target);
    ASSERT_TRUE(file.opened());
    // The passes without a key frame after the failure drop their video: the
    // file starts at frame 30 (1200 ms), with the sound from then on.
    const DecodedFile::Stream& picture = *file.find(AVMEDIA_TYPE_VIDEO);
    ASSERT_EQ(15u, picture.timesMs.size());
    EXPECT_EQ(20, picture.timesMs[0]);
    EXPECT_EQ(14 * kFrameMs, picture.timesMs.back());
    EXPECT_TRUE(picture.keys[0]);
    EXPECT_EQ(15, picture.frames);
    EXPECT_EQ(0, picture.decodeErrors);
    ASSERT_NE(nullptr, file.find(AVMEDIA_TYPE_AUDIO));
    EXPECT_EQ(slice(audio, 1200, 5000).size(), file.find(AVMEDIA_TYPE_AUDIO)->timesMs.size());
    EXPECT_NEAR(picture.timesMs.front(), file.find(AVMEDIA_TYPE_AUDIO)->timesMs.front(), kFrameMs);
    EXPECT_EQ(0, file.find(AVMEDIA_TYPE_AUDIO)->decodeErrors);
}

INSTANTIATE_TEST_SUITE_P(Causes, CMediaRecordRetryTest,
                         ::testing::Values(StartFailure::MissingDirectory,
                                           StartFailure::MissingName),
                         [](const ::testing::TestParamInfo<StartFailure>& info) {
                             return info.param == StartFailure::MissingName ? "MissingName"
                                                                            : "MissingDirectory";
                         });

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
    const DecodedFile file(target);
    ASSERT_TRUE(file.opened());
    ASSERT_EQ(2u, file.streams().size());
    EXPECT_EQ(AV_CODEC_ID_AAC, file.find(AVMEDIA_TYPE_AUDIO)->codec);
    EXPECT_EQ(aac.size(), file.find(AVMEDIA_TYPE_AUDIO)->timesMs.size());
    EXPECT_EQ(0, file.find(AVMEDIA_TYPE_AUDIO)->decodeErrors);
    EXPECT_EQ(30u, file.find(AVMEDIA_TYPE_VIDEO)->timesMs.size());
}

}  // namespace
