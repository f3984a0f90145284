// tavoplay as users run it without a display: the whole program in a process
// of its own, on the simulated camera and on files, checked by its exit
// status, its output and the files it writes.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/DecodedFile.h"
#include "support/TempDir.h"

namespace {

// Safety limit for a run; the runs themselves last a few seconds.
constexpr int kRunLimitMs = 90000;

class TavoplayHeadlessTest : public ::testing::Test {
protected:
    // Runs tavoplay to its end; returns its exit status and keeps its output.
    int run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), TAVOPLAY_PATH);
        ChildProcess tavoplay(arguments);
        const int status = tavoplay.wait(kRunLimitMs);
        output = tavoplay.output();
        return status;
    }
    bool printed(const std::string& text) const { return output.find(text) != std::string::npos; }

    TempDir dir;
    std::string output;
};

void expectPicture(const std::string& path, int width, int height) {
    const DecodedFile snapshot(path);
    ASSERT_TRUE(snapshot.opened()) << path;
    const DecodedFile::Stream* picture = snapshot.find(AVMEDIA_TYPE_VIDEO);
    ASSERT_NE(nullptr, picture);
    EXPECT_EQ(AV_CODEC_ID_MJPEG, picture->codec);
    EXPECT_EQ(1, picture->frames);
    EXPECT_EQ(width, picture->width);
    EXPECT_EQ(height, picture->height);
}

}  // namespace

TEST_F(TavoplayHeadlessTest, TheCameraRunWritesASnapshotAndARecordingThatPlaysBack) {
    const std::string snapshot = dir.file("camera.jpg");
    const std::string recording = dir.file("camera.mp4");
    // Long enough for the three key frames a recording starts with, also when
    // a sanitizer slows the start down.
    ASSERT_EQ(0, run({"--headless", "--size", "320x240", "--duration", "8", "--snapshot-at", "2",
                      snapshot, "--record", recording, "0.5", "7.5"}))
        << output;
    EXPECT_TRUE(printed("playing simulated camera: H.264 320x240 at 25 pictures/s, AAC 8000 Hz"));
    EXPECT_TRUE(printed("event 502: first picture")) << output;
    EXPECT_TRUE(printed("snapshot: " + snapshot)) << output;
    EXPECT_TRUE(printed("recording finished: " + recording)) << output;
    expectPicture(snapshot, 320, 240);
    const DecodedFile recorded(recording);
    ASSERT_TRUE(recorded.opened());
    const DecodedFile::Stream* video = recorded.find(AVMEDIA_TYPE_VIDEO);
    const DecodedFile::Stream* audio = recorded.find(AVMEDIA_TYPE_AUDIO);
    ASSERT_NE(nullptr, video);
    ASSERT_NE(nullptr, audio);
    EXPECT_EQ(AV_CODEC_ID_H264, video->codec);
    EXPECT_GE(video->frames, 25) << "from the first key frame on, seconds of pictures";
    EXPECT_EQ(0, video->decodeErrors);
    EXPECT_EQ(AV_CODEC_ID_AAC, audio->codec);
    EXPECT_GT(audio->frames, 0);

    // The recording (AVCC video, raw AAC) plays through the engine in turn.
    const std::string replayed = dir.file("replayed.jpg");
    ASSERT_EQ(0, run({"--headless", recording, "--snapshot-at", "1", replayed})) << output;
    EXPECT_TRUE(printed("playing " + recording + " (mov,mp4")) << output;
    EXPECT_TRUE(printed("event 502: first picture")) << output;
    EXPECT_TRUE(printed("end of the source")) << output;
    expectPicture(replayed, 320, 240);
}

TEST_F(TavoplayHeadlessTest, TheReplayStartsSeeksAndReportsItsPosition) {
    ASSERT_EQ(0, run({"--headless", "--size", "320x240", "--audio", "none", "--duration", "6",
                      "--replay-at", "4", "--seek", "1"}))
        << output;
    EXPECT_TRUE(printed("replay of the stored")) << output;
    EXPECT_TRUE(printed("replay: seek to 1 s")) << output;
    EXPECT_TRUE(printed("event 601: replay at ")) << output;
    EXPECT_TRUE(printed("\nreplay at ")) << "status line in replay\n" << output;
}

namespace {

struct CameraCodecs {
    const char* video;
    const char* audio;
};

void PrintTo(const CameraCodecs& codecs, std::ostream* out) {
    *out << codecs.video << " with " << codecs.audio;
}

}  // namespace

class TavoplayCodecTest : public TavoplayHeadlessTest,
                          public ::testing::WithParamInterface<CameraCodecs> {};

TEST_P(TavoplayCodecTest, OtherCameraCodecsPlay) {
    const std::string snapshot = dir.file("camera.jpg");
    ASSERT_EQ(0, run({"--headless", "--size", "320x240", "--codec", GetParam().video, "--audio",
                      GetParam().audio, "--duration", "3", "--snapshot-at", "2", snapshot}))
        << output;
    EXPECT_TRUE(printed("event 502: first picture")) << output;
    expectPicture(snapshot, 320, 240);
}

INSTANTIATE_TEST_SUITE_P(Codecs, TavoplayCodecTest,
                         ::testing::Values(CameraCodecs{"h265", "g711u"},
                                           CameraCodecs{"h264", "mp3"}),
                         [](const ::testing::TestParamInfo<CameraCodecs>& info) {
                             return std::string(info.param.video) + "_" + info.param.audio;
                         });

TEST_F(TavoplayHeadlessTest, BadInputEndsWithAClearMessageAndStatus) {
    EXPECT_EQ(1, run({"--headless", dir.file("missing.mp4")}));
    EXPECT_TRUE(
        printed("tavoplay: cannot open " + dir.file("missing.mp4") + ": No such file or directory"))
        << output;

    {
        std::ofstream noise(dir.file("noise.mp4"), std::ios::binary);
        for (int i = 0; i < 65536; ++i) {
            noise.put(static_cast<char>((i * 7919) >> 3));
        }
    }
    EXPECT_EQ(1, run({"--headless", dir.file("noise.mp4")}));
    EXPECT_TRUE(printed("tavoplay: ")) << output;
    EXPECT_TRUE(printed(dir.file("noise.mp4"))) << output;

    EXPECT_EQ(2, run({"--headless", "--frobnicate"}));
    EXPECT_TRUE(printed("tavoplay: unknown option --frobnicate")) << output;
    EXPECT_TRUE(printed("usage: tavoplay")) << output;

    EXPECT_EQ(1, run({"--headless", "--size", "320x240", "--audio", "none", "--duration", "1",
                      "--snapshot-at", "30", dir.file("late.jpg")}));
    EXPECT_TRUE(printed("not done, the run ended first: snapshot " + dir.file("late.jpg")))
        << output;
}
