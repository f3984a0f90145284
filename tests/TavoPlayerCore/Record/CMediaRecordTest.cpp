#include "TavoPlayerCore/Record/CMediaRecord.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "simcam/SimulatedCamera.h"
#include "support/CameraCapture.h"
#include "support/DecodedFile.h"
#include "support/Eventually.h"
#include "support/ManualTimeSource.h"
#include "support/QuietLibavLog.h"
#include "support/TempDir.h"

using simcam::AudioCodec;
using simcam::EncodedUnit;
using simcam::VideoCodec;

namespace {

constexpr int64_t kFrameMs = 40;  // 25 fps

using Events = std::vector<std::string>;

// 320x240 pictures at 25 fps with a key frame every keyInterval, from startMs on.
std::vector<EncodedUnit> encodeVideo(VideoCodec codec, int frames, int keyInterval = 10,
                                     uint32_t startMs = 0) {
    simcam::CameraSettings settings = smallVideoSettings(codec);
    settings.keyFrameInterval = keyInterval;
    std::vector<EncodedUnit> units = captureVideo(settings, frames);
    for (EncodedUnit& unit : units) {
        unit.timeMs += startMs;
    }
    return units;
}

// The audio frames of a 16 kHz mono camera (8 kHz for G.711) that start
// within the first durationMs, stamped from startMs on.
std::vector<EncodedUnit> encodeAudio(AudioCodec codec, uint32_t durationMs, uint32_t startMs) {
    simcam::SimulatedCamera camera(audioSettings(codec, 16000, 1));
    std::vector<EncodedUnit> units;
    EncodedUnit unit;
    while (camera.nextAudio(&unit) && unit.timeMs < durationMs) {
        unit.timeMs += startMs;
        units.push_back(unit);
    }
    return units;
}

// Runs body in a forked process with a pipe to the test; returns what the
// process wrote once it has ended (after kill, when set, as soon as it has
// written a line).
std::string inChild(const std::function<void(int fd)>& body, bool kill = false) {
    int fds[2];
    if (pipe(fds) != 0) {
        return "no pipe";
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        body(fds[1]);
        _exit(0);
    }
    close(fds[1]);
    std::string text;
    char buffer[256];
    ssize_t n = 0;
    while ((kill ? text.find('\n') == std::string::npos : true) &&
           (n = read(fds[0], buffer, sizeof(buffer))) > 0) {
        text.append(buffer, static_cast<size_t>(n));
    }
    if (kill) {
        ::kill(pid, SIGKILL);
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return text;
}

void writeLine(int fd, const std::string& text) {
    const std::string line = text + "\n";
    EXPECT_EQ(static_cast<ssize_t>(line.size()), write(fd, line.data(), line.size()));
}

class CMediaRecordTest : public ::testing::Test {
protected:
    // No idle flush unless a test moves the time.
    ManualTimeSource m_time{1000};
    QuietLibavLog m_quiet;
    TempDir m_dir;
};

struct RecordCase {
    const char* name;
    VideoCodec video;
    AudioCodec audio;
    int32_t audioType;
    bool hostFlags;
    int keyInterval;
    int frames;
    int skip;  // pictures left out at the start
};

class CMediaRecordCodecTest : public CMediaRecordTest,
                              public ::testing::WithParamInterface<RecordCase> {};

// The recording starts at the first key frame fed, flagged or found in the
// bit stream, with the sound from its time on, and holds every picture fed
// from there: also a group of pictures longer than 255.
TEST_P(CMediaRecordCodecTest, RecordsFromTheFirstKeyFrameWithItsTimesKeysAndSound) {
    const RecordCase& c = GetParam();
    std::vector<EncodedUnit> video = encodeVideo(c.video, c.frames, c.keyInterval, 5000);
    video.erase(video.begin(), video.begin() + c.skip);
    const size_t firstKey = c.skip == 0 ? 0 : c.keyInterval - c.skip;
    const std::vector<EncodedUnit> audio =
        c.audio == AudioCodec::None ? std::vector<EncodedUnit>() : encodeAudio(c.audio, 1500, 4900);
    const std::string target = m_dir.file("cam01.mp4.bak");
    Events events;
    {
        CMediaRecord recorder;
        if (c.audio != AudioCodec::None) {
            ASSERT_EQ(0, recorder.setAudioCodec(c.audioType));
        }
        ASSERT_EQ(0, recorder.setFileName(m_dir.file("first.mp4").c_str()));
        ASSERT_EQ(0, recorder.setFileName(target.c_str()));
        feedRecorder(recorder, video, audio, c.hostFlags);
        EXPECT_EQ(0, recorder.stopRecord());
        events = recorder.takeEvents();
    }
    EXPECT_EQ((Events{"started " + target, "stopped " + target}), events);
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("first.mp4")));

    const DecodedFile file(target);
    ASSERT_TRUE(file.opened());
    const DecodedFile::Stream& picture = *file.find(AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(c.video == VideoCodec::H264 ? AV_CODEC_ID_H264 : AV_CODEC_ID_HEVC, picture.codec);
    EXPECT_EQ(320, picture.width);
    EXPECT_EQ(240, picture.height);
    ASSERT_EQ(video.size() - firstKey, picture.timesMs.size());
    for (size_t i = 0; i < picture.timesMs.size(); ++i) {
        EXPECT_EQ(int64_t(i) * kFrameMs, picture.timesMs[i]) << "packet " << i;
        EXPECT_EQ(i % c.keyInterval == 0, picture.keys[i]) << "packet " << i;
    }
    EXPECT_EQ(static_cast<int>(picture.timesMs.size()), picture.frames);
    EXPECT_EQ(0, picture.decodeErrors);
    const DecodedFile::Stream* sound = file.find(AVMEDIA_TYPE_AUDIO);
    if (c.audio == AudioCodec::None || c.audio == AudioCodec::G711ALaw) {
        EXPECT_EQ(nullptr, sound);
        return;
    }
    ASSERT_NE(nullptr, sound);
    EXPECT_EQ(c.audio == AudioCodec::AAC ? AV_CODEC_ID_AAC : AV_CODEC_ID_MP3, sound->codec);
    EXPECT_EQ(16000, sound->sampleRate);
    std::vector<int64_t> fromKeyFrame;
    for (const EncodedUnit& unit : audio) {
        if (unit.timeMs >= video[firstKey].timeMs) {
            fromKeyFrame.push_back(unit.timeMs - video[firstKey].timeMs);
        }
    }
    EXPECT_EQ(fromKeyFrame, sound->timesMs);
    EXPECT_EQ(static_cast<int>(sound->timesMs.size()), sound->frames);
    EXPECT_EQ(0, sound->decodeErrors);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, CMediaRecordCodecTest,
    ::testing::Values(RecordCase{"H264Aac", VideoCodec::H264, AudioCodec::AAC, AUDIO_AAC, true, 10,
                                 36, 3},
                      RecordCase{"H265Mp3Unflagged", VideoCodec::H265, AudioCodec::MP3, AUDIO_MP3,
                                 false, 10, 36, 3},
                      RecordCase{"H264G711", VideoCodec::H264, AudioCodec::G711ALaw, AUDIO_G711A,
                                 true, 10, 36, 3},
                      RecordCase{"LongGroupUnflagged", VideoCodec::H264, AudioCodec::None, 0, false,
                                 300, 310, 0}),
    [](const ::testing::TestParamInfo<RecordCase>& info) { return info.param.name; });

// A camera's time stamps may stand still, go back (a restart), wrap or leap:
// each step that is not a plausible forward one counts as the previous step.
TEST_F(CMediaRecordTest, FileTimesAlwaysIncrease) {
    const struct {
        std::vector<uint32_t> stamps;
        std::vector<int64_t> times;
    } cases[] = {
        {{5000, 5040, 5080, 5080, 5060, 5100, 5140}, {0, 40, 80, 120, 160, 200, 240}},
        {{0xFFFFFFB0u, 0xFFFFFFD8u, 0, 40, 100040, 100080}, {0, 40, 80, 120, 160, 200}},
        {{9000, 9020, 9040, 0, 20, 60}, {0, 20, 40, 60, 80, 120}},
    };
    simcam::CameraSettings settings = smallVideoSettings(VideoCodec::H264);
    settings.keyFrameInterval = 1;
    std::vector<EncodedUnit> video = captureVideo(settings, 7);
    for (const auto& c : cases) {
        video.resize(c.stamps.size());
        for (size_t i = 0; i < video.size(); ++i) {
            video[i].timeMs = c.stamps[i];
        }
        const std::string target = m_dir.file("t.mp4");
        {
            CMediaRecord recorder;
            ASSERT_EQ(0, recorder.setFileName(target.c_str()));
            feedRecorder(recorder, video);
        }
        const DecodedFile file(target);
        ASSERT_TRUE(file.opened());
        EXPECT_EQ(c.times, file.find(AVMEDIA_TYPE_VIDEO)->timesMs);
        EXPECT_EQ(static_cast<int>(c.times.size()), file.find(AVMEDIA_TYPE_VIDEO)->frames);
    }
}

// A file that cannot be made is refused at once; naming works until the
// recording has its file; a recording without a key frame leaves nothing.
TEST_F(CMediaRecordTest, NamesThatCannotBeAFileAreRefused) {
    std::ofstream(m_dir.file("plain")) << "x";
    const struct {
        std::string name;
        int32_t result;
    } cases[] = {
        {m_dir.file("missing/a.mp4"), PLAYER_E_FAIL},
        {m_dir.path(), PLAYER_E_FAIL},
        {m_dir.file("plain/a.mp4"), PLAYER_E_FAIL},
        {"", PLAYER_E_INVALIDARG},
    };
    for (const auto& c : cases) {
        CMediaRecord recorder;
        EXPECT_EQ(c.result, recorder.setFileName(c.name.c_str())) << c.name;
        recorder.stopRecord();
        EXPECT_EQ(Events{}, recorder.takeEvents()) << c.name;
    }
    CMediaRecord recorder;
    const std::string target = m_dir.file("never.mp4");
    ASSERT_EQ(0, recorder.setFileName(target.c_str()));
    std::vector<EncodedUnit> video = encodeVideo(VideoCodec::H264, 25);
    video.erase(video.begin());
    feedRecorder(recorder, std::vector<EncodedUnit>(video.begin(), video.begin() + 8));
    recorder.stopRecord();
    EXPECT_EQ(Events{"failed no-video " + target}, recorder.takeEvents());
    EXPECT_FALSE(std::filesystem::exists(target));

    CMediaRecord started;
    started.setAudioCodec(AUDIO_G711A);  // no sound to wait for
    ASSERT_EQ(0, started.setFileName(target.c_str()));
    feedRecorder(started, video);
    ASSERT_TRUE(eventually([&] { return started.state() == CMediaRecord::State::kRecording; }));
    EXPECT_EQ(PLAYER_E_FAIL, started.setFileName(m_dir.file("other.mp4").c_str()));
    EXPECT_FALSE(std::filesystem::exists(m_dir.file("other.mp4")));
}

// A host that names the file after the stream came in records from the
// newest key frame before the name.
TEST_F(CMediaRecordTest, ALateNameStartsAtTheNewestKeyFrame) {
    const std::vector<EncodedUnit> video = encodeVideo(VideoCodec::H264, 30);
    const std::string target = m_dir.file("late.mp4");
    {
        CMediaRecord recorder;
        recorder.setAudioCodec(AUDIO_G711A);
        feedRecorder(recorder, std::vector<EncodedUnit>(video.begin(), video.begin() + 25));
        ASSERT_TRUE(eventually([&] { return recorder.queuedBytes() == 0; }));
        ASSERT_EQ(0, recorder.setFileName(target.c_str()));
        feedRecorder(recorder, std::vector<EncodedUnit>(video.begin() + 25, video.end()));
    }
    const DecodedFile file(target);
    ASSERT_TRUE(file.opened());
    EXPECT_EQ(10u, file.find(AVMEDIA_TYPE_VIDEO)->timesMs.size());
}

TEST_F(CMediaRecordTest, AudioStopsWhenTheCodecChanges) {
    const std::vector<EncodedUnit> video = encodeVideo(VideoCodec::H264, 30);
    const std::vector<EncodedUnit> aac = encodeAudio(AudioCodec::AAC, 800, 0);
    const std::vector<EncodedUnit> mp3 = encodeAudio(AudioCodec::MP3, 400, 800);
    const std::string target = m_dir.file("change.mp4");
    {
        CMediaRecord recorder;
        recorder.setAudioCodec(AUDIO_AAC);
        recorder.setFileName(target.c_str());
        feedRecorder(recorder, std::vector<EncodedUnit>(video.begin(), video.begin() + 20), aac);
        ASSERT_TRUE(
            eventually([&] { return recorder.state() == CMediaRecord::State::kRecording; }));
        EXPECT_EQ(PLAYER_E_FAIL, recorder.setAudioCodec(AUDIO_MP3));
        feedRecorder(recorder, std::vector<EncodedUnit>(video.begin() + 20, video.end()), mp3);
    }
    const DecodedFile file(target);
    ASSERT_TRUE(file.opened());
    ASSERT_EQ(2u, file.streams().size());
    EXPECT_EQ(AV_CODEC_ID_AAC, file.find(AVMEDIA_TYPE_AUDIO)->codec);
    EXPECT_EQ(aac.size(), file.find(AVMEDIA_TYPE_AUDIO)->timesMs.size());
    EXPECT_EQ(0, file.find(AVMEDIA_TYPE_AUDIO)->decodeErrors);
    EXPECT_EQ(30u, file.find(AVMEDIA_TYPE_VIDEO)->timesMs.size());
}

// ---- Crashes and full disks ----------------------------------------------------

struct KillCase {
    const char* name;
    int keyInterval;
    bool idle;  // a second passes without samples before the kill
};

class CMediaRecordKillTest : public CMediaRecordTest,
                             public ::testing::WithParamInterface<KillCase> {};

// A process killed while it records leaves a file that opens and holds all
// but the fragment being gathered: a fragment per key frame, or per second
// when key frames are rarer, and everything once the stream has stalled.
TEST_P(CMediaRecordKillTest, AKilledRecordingHoldsAllButItsLastSecond) {
    constexpr int kFrames = 250;  // 10 s
    const std::vector<EncodedUnit> video =
        encodeVideo(VideoCodec::H264, kFrames, GetParam().keyInterval);
    const std::string target = m_dir.file("killed.mp4");
    const std::string flushed = inChild(
        [&](int fd) {
            CMediaRecord recorder;
            recorder.setFileName(target.c_str());
            feedRecorder(recorder, video);
            eventually([&] { return recorder.queuedBytes() == 0; });
            if (GetParam().idle) {
                m_time.advance(CMediaRecord::kIdleFlushMs);
                eventually([&] { return recorder.flushedMs() == kFrames * kFrameMs; });
            }
            writeLine(fd, std::to_string(recorder.flushedMs()));
            pause();
        },
        true);
    const DecodedFile file(target);
    ASSERT_TRUE(file.opened());
    const DecodedFile::Stream& picture = *file.find(AVMEDIA_TYPE_VIDEO);
    ASSERT_FALSE(picture.timesMs.empty());
    const int64_t heldMs = picture.timesMs.back() + kFrameMs;
    EXPECT_EQ(std::stoll(flushed), heldMs);
    EXPECT_GE(heldMs, (GetParam().idle ? kFrames : kFrames - 25) * kFrameMs);
    EXPECT_EQ(static_cast<int>(picture.timesMs.size()), picture.frames);
    EXPECT_EQ(0, picture.decodeErrors);
}

INSTANTIATE_TEST_SUITE_P(Fragments, CMediaRecordKillTest,
                         ::testing::Values(KillCase{"KeyFrames", 10, false},
                                           KillCase{"Seconds", 100, false},
                                           KillCase{"Stalled", 100, true}),
                         [](const ::testing::TestParamInfo<KillCase>& info) {
                             return info.param.name;
                         });

// A full disk (a file size limit, with SIGXFSZ ignored so that the write
// fails instead of killing the process) ends the recording with an event;
// the file plays up to its last complete fragment.
TEST_F(CMediaRecordTest, AFullDiskEndsTheRecordingWithAPlayableFile) {
    const std::vector<EncodedUnit> video = encodeVideo(VideoCodec::H264, 250);
    size_t bytes = 0;
    for (const EncodedUnit& unit : video) {
        bytes += unit.data.size();
    }
    const std::string target = m_dir.file("full.mp4");
    const std::string events = inChild([&](int fd) {
        const rlimit limit{bytes / 2, bytes / 2};
        signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limit);
        CMediaRecord recorder;
        recorder.setFileName(target.c_str());
        feedRecorder(recorder, video);
        eventually([&] { return recorder.state() == CMediaRecord::State::kFailed; });
        recorder.stopRecord();
        for (const std::string& event : recorder.takeEvents()) {
            writeLine(fd, event);
        }
    });
    EXPECT_EQ("started " + target + "\nfailed disk-full " + target + "\n", events);
    EXPECT_LE(std::filesystem::file_size(target), bytes / 2);
    const DecodedFile file(target);
    ASSERT_TRUE(file.opened());
    const DecodedFile::Stream& picture = *file.find(AVMEDIA_TYPE_VIDEO);
    EXPECT_GE(picture.timesMs.size(), 50u);
    EXPECT_LT(picture.timesMs.size(), 250u);
    EXPECT_EQ(static_cast<int>(picture.timesMs.size()), picture.frames);
    EXPECT_EQ(0, picture.decodeErrors);
}

}  // namespace
