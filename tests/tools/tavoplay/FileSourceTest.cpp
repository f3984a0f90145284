#include "tavoplay/FileSource.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "TavoPlayerCore/Decoder/CAACDecoder.h"
#include "TavoPlayerCore/Decoder/CH264Decoder.h"
#include "simcam/LumaView.h"
#include "simcam/SimulatedCamera.h"
#include "simcam/TestPattern.h"
#include "support/CameraCapture.h"
#include "support/DecodedFile.h"
#include "support/TempDir.h"

using simcam::AudioCodec;
using simcam::EncodedUnit;
using simcam::VideoCodec;

namespace {

std::map<int32_t, std::vector<SourceUnit>> readByTrack(FileSource& source) {
    std::map<int32_t, std::vector<SourceUnit>> units;
    SourceUnit unit;
    while (source.read(&unit)) {
        units[unit.track].push_back(unit);
    }
    return units;
}

bool startsWithStartCode(const std::vector<uint8_t>& data) {
    return data.size() > 4 && data[0] == 0 && data[1] == 0 &&
           (data[2] == 1 || (data[2] == 0 && data[3] == 1));
}

// The frame length an ADTS header gives; 0 without a header.
size_t adtsLength(const std::vector<uint8_t>& d) {
    if (d.size() < 7 || d[0] != 0xFF || (d[1] & 0xF6) != 0xF0) {
        return 0;
    }
    return static_cast<size_t>(((d[3] & 3) << 11) | (d[4] << 3) | (d[5] >> 5));
}

// The units' bytes one after another.
std::string joined(const std::vector<EncodedUnit>& units) {
    std::string bytes;
    for (const EncodedUnit& unit : units) {
        bytes.append(unit.data.begin(), unit.data.end());
    }
    return bytes;
}

// Two seconds of the camera: H.264 with a key frame every 10 pictures, AAC
// 8000 Hz mono.
void recordMp4(const std::string& path) {
    simcam::CameraSettings settings = smallVideoSettings(VideoCodec::H264);
    settings.audioCodec = AudioCodec::AAC;
    settings.audioSampleRate = 8000;
    recordCamera(settings, 50, path);
}

}  // namespace

TEST(FileSourceTest, AnMp4WithAvccVideoAndRawAacBecomesAnnexBAndAdts) {
    TempDir dir;
    const std::string path = dir.file("recording.mp4");
    recordMp4(path);
    const DecodedFile recorded(path);
    const DecodedFile::Stream* recordedVideo = recorded.find(AVMEDIA_TYPE_VIDEO);
    const DecodedFile::Stream* recordedAudio = recorded.find(AVMEDIA_TYPE_AUDIO);
    ASSERT_TRUE(recordedVideo && recordedAudio);
    // The conversions have something to do.
    ASSERT_FALSE(startsWithStartCode(recordedVideo->firstPacket));
    ASSERT_EQ(0u, adtsLength(recordedAudio->firstPacket));

    FileSource source;
    ASSERT_TRUE(source.open(path)) << source.error();
    EXPECT_EQ(VIDEO_H264, source.videoStreamInfo().codecType);
    EXPECT_EQ(AUDIO_AAC, source.audioStreamInfo().codecType);
    std::map<int32_t, std::vector<SourceUnit>> units = readByTrack(source);
    EXPECT_TRUE(source.error().empty()) << source.error();

    const std::vector<SourceUnit>& video = units[TRACK_VIDEO];
    ASSERT_EQ(recordedVideo->timesMs.size(), video.size());
    CH264Decoder videoDecoder;
    for (size_t i = 0; i < video.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(startsWithStartCode(video[i].data));
        EXPECT_EQ(i % 10 == 0, video[i].keyFrame);
        EXPECT_EQ(video[i].keyFrame, hasNalUnit(video[i].data, false, 7))
            << "parameter sets in band";
        EXPECT_TRUE(i == 0 || video[i].timeMs > video[i - 1].timeMs);
        AVFrame* frame = nullptr;
        ASSERT_TRUE(
            videoDecoder.decode(video[i].data.data(), static_cast<int>(video[i].data.size())));
        ASSERT_TRUE(videoDecoder.getFrame(&frame));
        EXPECT_EQ(static_cast<int64_t>(i),
                  simcam::TestPattern::readNumber(simcam::LumaView::fromLuma(
                      frame->data[0], frame->linesize[0], frame->width, frame->height)));
    }

    const std::vector<SourceUnit>& audio = units[TRACK_AUDIO];
    ASSERT_EQ(recordedAudio->timesMs.size(), audio.size());
    CAACDecoder audioDecoder;
    for (const SourceUnit& unit : audio) {
        EXPECT_EQ(unit.data.size(), adtsLength(unit.data));
        EXPECT_TRUE(audioDecoder.decode(unit.data.data(), static_cast<int>(unit.data.size())));
    }
}

// Raw H.265 and ADTS files keep their bytes; the raw demuxer cuts the video
// into access units itself (a start code's leading zero may go to the unit
// before).
TEST(FileSourceTest, ElementaryStreamFilesPassAsTheyAre) {
    struct Case {
        const char* name;
        int32_t track;
        std::vector<EncodedUnit> units;
    };
    for (const Case& c :
         {Case{"camera.h265", TRACK_VIDEO, captureVideo(smallVideoSettings(VideoCodec::H265), 25)},
          Case{"mono.aac", TRACK_AUDIO, captureAudio(audioSettings(AudioCodec::AAC, 16000, 1), 20)},
          Case{"stereo.aac", TRACK_AUDIO,
               captureAudio(audioSettings(AudioCodec::AAC, 44100, 2), 20)}}) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::ofstream(dir.file(c.name), std::ios::binary) << joined(c.units);
        FileSource source;
        ASSERT_TRUE(source.open(dir.file(c.name))) << source.error();
        const std::vector<SourceUnit> units = readByTrack(source)[c.track];
        ASSERT_EQ(c.units.size(), units.size());
        std::string read;
        for (size_t i = 0; i < units.size(); ++i) {
            read.append(units[i].data.begin(), units[i].data.end());
            EXPECT_EQ(c.units[i].keyFrame, units[i].keyFrame) << i;
            EXPECT_TRUE(i == 0 || units[i].timeMs > units[i - 1].timeMs) << i;
        }
        EXPECT_EQ(joined(c.units), read);
    }
}

TEST(FileSourceTest, G711InWavComesIn20MillisecondFrames) {
    const std::string bytes =
        joined(captureAudio(audioSettings(AudioCodec::G711ALaw, 8000, 1), 50));
    ASSERT_EQ(8000u, bytes.size());
    // A WAV file of 8-bit A-law (format 6), 8000 Hz mono, 8000 bytes of data.
    const std::string header(
        "RIFF\x64\x1F\0\0WAVEfmt \x10\0\0\0\x06\0\x01\0\x40\x1F\0\0"
        "\x40\x1F\0\0\x01\0\x08\0data\x40\x1F\0\0",
        44);
    TempDir dir;
    std::ofstream(dir.file("sound.wav"), std::ios::binary) << header << bytes;

    FileSource source;
    ASSERT_TRUE(source.open(dir.file("sound.wav"))) << source.error();
    EXPECT_EQ(AUDIO_G711A, source.audioStreamInfo().codecType);
    EXPECT_EQ(8000u, source.audioStreamInfo().rateOrWidth);
    std::string read;
    const std::vector<SourceUnit> units = readByTrack(source)[TRACK_AUDIO];
    for (const SourceUnit& unit : units) {
        EXPECT_LE(unit.data.size(), 160u);
        EXPECT_EQ(read.size() / 8, unit.timeMs) << "8 bytes a millisecond";
        read.append(unit.data.begin(), unit.data.end());
    }
    EXPECT_EQ(bytes, read);
}
