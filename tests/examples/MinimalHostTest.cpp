// The README's minimal host: built against the shared library like any host,
// run on a camera stream, and shown in the README as it is.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "simcam/CameraSettings.h"
#include "support/CameraCapture.h"
#include "support/ChildProcess.h"
#include "support/DecodedFile.h"
#include "support/TempDir.h"

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TEST(MinimalHostTest, PlaysARawCameraStreamAndSavesASnapshot) {
    TempDir dir;
    const std::string stream = dir.file("camera.h264");
    const std::string snapshot = dir.file("snapshot.jpg");
    {
        // Three seconds of the camera, each picture behind an access unit delimiter.
        std::ofstream out(stream, std::ios::binary);
        const char delimiter[] = {0, 0, 0, 1, 9, static_cast<char>(0xF0)};
        for (const simcam::EncodedUnit& unit :
             captureVideo(smallVideoSettings(simcam::VideoCodec::H264), 75)) {
            out.write(delimiter, sizeof(delimiter));
            out.write(reinterpret_cast<const char*>(unit.data.data()),
                      static_cast<std::streamsize>(unit.data.size()));
        }
    }
    ChildProcess host({MINIMAL_HOST_PATH, stream, snapshot});
    ASSERT_EQ(0, host.wait(60000)) << host.output();
    EXPECT_NE(std::string::npos, host.output().find("snapshot " + snapshot + ": saved"));
    const DecodedFile picture(snapshot);
    ASSERT_TRUE(picture.opened());
    ASSERT_NE(nullptr, picture.find(AVMEDIA_TYPE_VIDEO));
    EXPECT_EQ(320, picture.find(AVMEDIA_TYPE_VIDEO)->width);
    EXPECT_EQ(240, picture.find(AVMEDIA_TYPE_VIDEO)->height);
}

TEST(MinimalHostTest, TheReadmeQuotesTheMinimalHostWordForWord) {
    const std::string readme = readText(TAVO_SOURCE_DIR "/README.md");
    const std::string host = readText(TAVO_SOURCE_DIR "/examples/minimal_host.cpp");
    ASSERT_FALSE(host.empty());
    int blocks = 0;
    const std::string open = "```cpp\n";
    for (size_t at = readme.find(open); at != std::string::npos; at = readme.find(open, at)) {
        at += open.size();
        const size_t end = readme.find("```", at);
        ASSERT_NE(std::string::npos, end);
        const std::string block = readme.substr(at, end - at);
        EXPECT_NE(std::string::npos, host.find(block)) << "not in examples/minimal_host.cpp:\n"
                                                       << block;
        ++blocks;
        at = end;
    }
    EXPECT_GT(blocks, 0);
}
