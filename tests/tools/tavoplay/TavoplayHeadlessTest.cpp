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
    // Long enough for the three key frames a recording starts with. The
    // recording starts once the player is going: a recorder waits 2 s of
    // video for the first sound, and a player starting under
    // ThreadSanitizer on a busy machine may not pull sound for that long.
    expectRun({{"--size", "320x240", "--duration", "8", "--snapshot-at", "4",
                dir.file("camera.jpg"), "--record", recording, "2", "7.5"},
               0,
               {"playing simulated camera: H.264 320x240 at 25 pictures/s, AAC 8000 Hz",
                "event 502: first picture", "recording finished: " + recording},
               dir.file("camera.jpg")});
    const DecodedFile recorded(recording);
    const DecodedFile::Stream* video = recorded.find(AVMEDIA_TYPE_VIDEO);
    const DecodedFile::Stream* audio = recorded.find(AVMEDIA_TYPE_AUDIO);
    ASSERT_TRUE(video && audio);
    EXPECT_TRUE(video->codec == AV_CODEC_ID_H264 && video->decodeErrors == 0);
    EXPECT_GE(video->frames, 25) << "from the first key frame on, seconds of pictures";
    EXPECT_TRUE(audio->codec == AV_CODEC_ID_AAC && audio->frames > 0);

    // The recording (AVCC video, raw AAC) plays through the engine in turn.
    expectRun(
        {{recording, "--snapshot-at", "4", dir.file("replayed.jpg")},
         0,
         {"playing " + recording + " (mov,mp4", "event 502: first picture", "end of the source"},
         dir.file("replayed.jpg")});
}

TEST(TavoplayHeadlessTest, OtherCodecsReplayAndBadInput) {
    TempDir dir;
    // A file that is no media at all. (The program's own binary once served,
    // until a build happened to look like VC-1 to libavformat's probe.)
    const std::string text = dir.file("notes.txt");
    std::ofstream(text) << "This file holds no media at all.\n";
    // The snapshot is due before any picture can be shown: it waits for the first.
    for (const TavoplayRun& run : std::vector<TavoplayRun>{
             {{"--size", "320x240", "--codec", "h265", "--audio", "g711u", "--duration", "6",
               "--snapshot-at", "0", dir.file("h265.jpg"), "--replay-at", "4", "--seek", "1"},
              0,
              {"event 502: first picture", "replay of the stored", "replay: seek to 1 s",
               "event 601: replay at ", "\nreplay at "},
              dir.file("h265.jpg")},
             {{text}, 1, {"tavoplay: cannot open " + text}, ""},
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
// own stream's size. The cameras' sound is MP3, the first tile's heard.
TEST(TavoplayHeadlessTest, AGridWritesASnapshotForEachTile) {
    TempDir dir;
    simcam::CameraSettings small = smallVideoSettings(simcam::VideoCodec::H264);
    small.width = 160;
    small.height = 120;
    recordCamera(small, 50, dir.file("small.mp4"));
    expectRun({{"--grid", "2x2", "--size", "320x240", "--audio", "mp3", "--duration", "4", "sim",
                dir.file("small.mp4"), "sim", "sim", "--snapshot-at", "3", dir.file("tile%d.jpg")},
               0,
               {"tile 2: playing " + dir.file("small.mp4"), "tile 3: playing simulated camera",
                "tile 4: snapshot: " + dir.file("tile4.jpg")},
               ""});
    for (int tile = 1; tile <= 4; ++tile) {
        const DecodedFile snapshot(dir.file("tile" + std::to_string(tile) + ".jpg"));
        const DecodedFile::Stream* picture = snapshot.find(AVMEDIA_TYPE_VIDEO);
        EXPECT_TRUE(picture && picture->width == (tile == 2 ? 160 : 320) &&
                    picture->height == (tile == 2 ? 120 : 240))
            << tile;
    }
}
