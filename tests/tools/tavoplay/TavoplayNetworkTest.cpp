// tavoplay on a real RTSP server (GStreamer's, run by rtsp_server.py on the
// loopback) that serves a recording of the simulated camera with 48 kHz
// stereo sound, over TCP and over UDP, through a restart of the server, and
// a viewer started while the server is away.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/CameraCapture.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace {

// Limits for what is waited for; reached only when something is broken.
constexpr int kStepLimitMs = 60000;
// The backoff tries again 1, 2, 4, 8 and 16 s after the server went, so a
// server that is back within a few seconds is found again well within this.
constexpr int kReconnectLimitMs = 35000;

// The server on the port ("0": a free one); the URL it serves in *url.
std::unique_ptr<ChildProcess> startServer(const std::string& file, const std::string& port,
                                          std::string* url) {
    std::unique_ptr<ChildProcess> server(new ChildProcess(
        {"/usr/bin/python3", TAVO_SOURCE_DIR "/tests/tools/tavoplay/rtsp_server.py", file, port}));
    EXPECT_TRUE(server->waitForOutput("/camera\n", kStepLimitMs)) << server->output();
    const size_t at = server->output().find("rtsp://");
    *url = server->output().substr(at, server->output().find('\n', at) - at);
    return server;
}

// True once a status line after from shows pictures coming in.
bool showsPictures(const std::string& output, size_t from) {
    for (size_t at = output.find(" pictures/s", from); at != std::string::npos;
         at = output.find(" pictures/s", at + 1)) {
        if (std::atoi(output.c_str() + output.rfind("| ", at) + 2) > 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(TavoplayNetworkTest, RtspOverTcpAndUdpComesBackAfterTheServerRestarts) {
    TempDir dir;
    simcam::CameraSettings camera = smallVideoSettings(simcam::VideoCodec::H264);
    camera.audioCodec = simcam::AudioCodec::AAC;
    camera.audioSampleRate = 48000;
    camera.audioChannels = 2;
    recordCamera(camera, 25 * 40, dir.file("camera.mp4"));
    std::string url;
    std::unique_ptr<ChildProcess> server = startServer(dir.file("camera.mp4"), "0", &url);

    std::vector<std::unique_ptr<ChildProcess>> players;
    for (const char* transport : {"tcp", "udp"}) {
        players.emplace_back(
            new ChildProcess({TAVOPLAY_PATH, "--headless", "--rtsp-transport", transport, url}));
    }
    for (const std::unique_ptr<ChildProcess>& player : players) {
        ASSERT_TRUE(player->waitForOutput("event 502: first picture", kStepLimitMs))
            << player->output();
        EXPECT_NE(
            std::string::npos,
            player->output().find("playing " + url + " (rtsp): H.264 320x240, aac 48000 Hz 2 ch"))
            << player->output();
        EXPECT_EQ(std::string::npos, player->output().find("left out")) << player->output();
    }

    // While the server is away the status line says so and counts the
    // attempts; once it is back the pictures come in again.
    server.reset();
    for (const std::unique_ptr<ChildProcess>& player : players) {
        EXPECT_TRUE(player->waitForOutput("last picture kept; reconnecting in", kStepLimitMs))
            << player->output();
    }
    players.emplace_back(new ChildProcess({TAVOPLAY_PATH, "--headless", url}));
    EXPECT_TRUE(players.back()->waitForOutput("cannot connect to " + url, kStepLimitMs))
        << players.back()->output();
    server = startServer(dir.file("camera.mp4"), std::to_string(std::atoi(url.c_str() + 17)), &url);
    for (const std::unique_ptr<ChildProcess>& player : players) {
        const size_t from = player->output().size();
        EXPECT_TRUE(player->waitFor(
            [from](const std::string& output) {
                const size_t back = output.find("connected (connection ", from);
                return back != std::string::npos && showsPictures(output, back);
            },
            kReconnectLimitMs))
            << player->output();
    }
}
