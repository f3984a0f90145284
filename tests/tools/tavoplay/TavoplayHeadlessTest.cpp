// tavoplay as users run it without a display: the whole program in a process
// of its own, on the simulated camera and on files, checked by its exit
// status, its output and the files it writes.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/CameraCapture.h"
#include "support/ChildProcess.h"
#include "support/DecodedFile.h"
#include "support/TempDir.h"

namespace {

// Safety limit for a run; the runs themselves last a few seconds.
constexpr int kRunLimitMs = 90000;

struct TavoplayRun {
    std::vector<std::string> arguments;
    int status;
    std::vector<std::string> printed;
    std::string snapshot;  // a JPEG of 320x240 the run writes, if any
};

// Runs tavoplay to its end and checks what it did.
void expectRun(const TavoplayRun& run) {
    std::vector<std::string> arguments = {TAVOPLAY_PATH, "--headless"};
    arguments.insert(arguments.end(), run.arguments.begin(), run.arguments.end());
    ChildProcess tavoplay(arguments);
    EXPECT_EQ(run.status, tavoplay.wait(kRunLimitMs)) << tavoplay.output();
    for (const std::string& text : run.printed) {
        EXPECT_NE(std::string::npos, tavoplay.output().find(text)) << "\"" << text << "\" in\n"
                                                                   << tavoplay.output();
    }
    if (!run.snapshot.empty()) {
        const DecodedFile snapshot(run.snapshot);
        const DecodedFile::Stream* picture = snapshot.find(AVMEDIA_TYPE_VIDEO);
        EXPECT_TRUE(picture && picture->codec == AV_CODEC_ID_MJPEG && picture->frames == 1 &&
                    picture->width == 320 && picture->height == 240)
            << run.snapshot;
    }
}

}  // namespace

TEST(TavoplayHeadlessTest, TheCameraRunWritesASnapshotAndARecordingThatPlaysBack) {
    TempDir dir;
    const std::string recording = dir.file("camera.mp4");
    // Long enough for the three key frames a recording starts with, also when
    // a sanitizer slows the start down.
    expectRun({{"--size", "320x240", "--duration", "8", "--snapshot-at", "2",
                dir.file("camera.jpg"), "--record", recording, "0.5", "7.5"},
               0,
               {"playing simulated camera: H.264 320x240 at 25 pictures/s, AAC 8000 Hz",
                "event 502: first picture", "recording finished: " + recording},
               dir.file("camera.jpg")});
    const DecodedFile recorded(recording);
    const DecodedFile::Stream* video = recorded.find(AVMEDIA_TYPE_VIDEO);
    const DecodedFile::Stream* audio = recorded.find(AVMEDIA_TYPE_AUDIO);
    ASSERT_TRUE(video && audio);
    EXPECT_EQ(AV_CODEC_ID_H264, video->codec);
    EXPECT_GE(video->frames, 25) << "from the first key frame on, seconds of pictures";
    EXPECT_EQ(0, video->decodeErrors);
    EXPECT_EQ(AV_CODEC_ID_AAC, audio->codec);
    EXPECT_GT(audio->frames, 0);

    // The recording (AVCC video, raw AAC) plays through the engine in turn.
    expectRun(
        {{recording, "--snapshot-at", "1", dir.file("replayed.jpg")},
         0,
         {"playing " + recording + " (mov,mp4", "event 502: first picture", "end of the source"},
         dir.file("replayed.jpg")});
}

TEST(TavoplayHeadlessTest, OtherCodecsReplayAndBadInput) {
    TempDir dir;
    {
        std::ofstream noise(dir.file("noise.mp4"), std::ios::binary);
        for (int i = 0; i < 65536; ++i) {
            noise.put(static_cast<char>((i * 7919) >> 3));
        }
    }
    const std::string missing = dir.file("missing.mp4");
    for (const TavoplayRun& run : std::vector<TavoplayRun>{
             {{"--size", "320x240", "--codec", "h265", "--audio", "g711u", "--duration", "6",
               "--snapshot-at", "2", dir.file("h265.jpg"), "--replay-at", "4", "--seek", "1"},
              0,
              {"event 502: first picture", "replay of the stored", "replay: seek to 1 s",
               "event 601: replay at ", "\nreplay at "},
              dir.file("h265.jpg")},
             {{"--size", "320x240", "--audio", "mp3", "--duration", "3", "--snapshot-at", "2",
               dir.file("mp3.jpg")},
              0,
              {"event 502: first picture"},
              dir.file("mp3.jpg")},
             {{missing},
              1,
              {"tavoplay: cannot open " + missing + ": No such file or directory"},
              ""},
             {{dir.file("noise.mp4")}, 1, {"tavoplay: ", dir.file("noise.mp4")}, ""},
             {{"--frobnicate"},
              2,
              {"tavoplay: unknown option --frobnicate", "usage: tavoplay"},
              ""},
             {{"--size", "320x240", "--audio", "none", "--duration", "1", "--snapshot-at", "30",
               dir.file("late.jpg")},
              1,
              {"not done, the run ended first: snapshot " + dir.file("late.jpg")},
              ""},
         }) {
        SCOPED_TRACE(testing::PrintToString(run.arguments));
        expectRun(run);
    }
}

// Four tiles, one of them a smaller file: one snapshot per tile, each of its
// own stream's size.
TEST(TavoplayHeadlessTest, AGridWritesASnapshotForEachTile) {
    TempDir dir;
    simcam::CameraSettings small = smallVideoSettings(simcam::VideoCodec::H264);
    small.width = 160;
    small.height = 120;
    recordCamera(small, 50, dir.file("small.mp4"));
    expectRun({{"--grid", "2x2", "--size", "320x240", "--audio", "none", "--duration", "4", "sim",
                dir.file("small.mp4"), "sim", "sim", "--snapshot-at", "3", dir.file("tile%d.jpg")},
               0,
               {"tile 2: playing " + dir.file("small.mp4"), "tile 3: playing simulated camera",
                "tile 4: snapshot: " + dir.file("tile4.jpg")},
               ""});
    for (int tile = 1; tile <= 4; ++tile) {
        const DecodedFile snapshot(dir.file("tile" + std::to_string(tile) + ".jpg"));
        const DecodedFile::Stream* picture = snapshot.find(AVMEDIA_TYPE_VIDEO);
        ASSERT_NE(nullptr, picture) << tile;
        EXPECT_EQ(tile == 2 ? 160 : 320, picture->width) << tile;
        EXPECT_EQ(tile == 2 ? 120 : 240, picture->height) << tile;
    }
}
