#include "tavoplay/FileSource.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "TavoPlayerCore/Decoder/CAACDecoder.h"
#include "TavoPlayerCore/Decoder/CH264Decoder.h"
#include "TavoPlayerCore/Decoder/CH265Decoder.h"
#include "TavoPlayerCore/Record/CMediaRecord.h"
#include "simcam/LumaView.h"
#include "simcam/SimulatedCamera.h"
#include "simcam/TestPattern.h"
#include "support/CameraCapture.h"
#include "support/DecodedFile.h"
#include "support/QuietLibavLog.h"
#include "support/TempDir.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

using simcam::AudioCodec;
using simcam::CameraSettings;
using simcam::EncodedUnit;
using simcam::VideoCodec;

namespace {

std::vector<SourceUnit> readAll(FileSource& source) {
    std::vector<SourceUnit> units;
    SourceUnit unit;
    while (source.read(&unit)) {
        units.push_back(unit);
    }
    return units;
}

std::vector<SourceUnit> ofTrack(const std::vector<SourceUnit>& units, int32_t track) {
    std::vector<SourceUnit> selected;
    for (const SourceUnit& unit : units) {
        if (unit.track == track) {
            selected.push_back(unit);
        }
    }
    return selected;
}

bool startsWithStartCode(const std::vector<uint8_t>& data) {
    return data.size() > 4 && data[0] == 0 && data[1] == 0 &&
           (data[2] == 1 || (data[2] == 0 && data[3] == 1));
}

bool isAdts(const std::vector<uint8_t>& data) {
    return data.size() > 7 && data[0] == 0xFF && (data[1] & 0xF6) == 0xF0;
}

bool hasH264Nal(const std::vector<uint8_t>& data, int type) {
    for (size_t i = 0; i + 3 < data.size(); ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && (data[i + 3] & 0x1F) == type) {
            return true;
        }
    }
    return false;
}

void writeFile(const std::string& path, const std::vector<EncodedUnit>& units) {
    std::ofstream out(path, std::ios::binary);
    for (const EncodedUnit& unit : units) {
        out.write(reinterpret_cast<const char*>(unit.data.data()),
                  static_cast<std::streamsize>(unit.data.size()));
    }
}

MediaSample sampleOf(const EncodedUnit& unit) {
    MediaSample sample{};
    sample.ulTime = unit.timeMs;
    sample.ulFlags = unit.keyFrame ? MEDIA_FLAG_KEYFRAME : 0;
    sample.ulsize = static_cast<uint32_t>(unit.data.size());
    sample.pData = const_cast<uint8_t*>(unit.data.data());
    return sample;
}

// Two seconds of the camera (320x240 H.264, key frame every 10 pictures, AAC
// 8000 Hz mono) written by the engine's recorder: an MP4 whose video is AVCC
// (avcC and length-prefixed NAL units) and whose audio is raw AAC.
void recordMp4(const std::string& path) {
    CameraSettings settings = smallVideoSettings(VideoCodec::H264);
    settings.audioCodec = AudioCodec::AAC;
    settings.audioSampleRate = 8000;
    simcam::SimulatedCamera camera(settings);
    CMediaRecord recorder;
    recorder.setAudioCodec(AUDIO_AAC);
    recorder.setFileName(path.c_str());
    EncodedUnit video;
    EncodedUnit audio;
    camera.nextAudio(&audio);
    for (int picture = 0; picture < 50 && camera.nextVideo(&video); ++picture) {
        while (audio.timeMs <= video.timeMs) {
            const MediaSample sample = sampleOf(audio);
            recorder.input(&sample, TRACK_AUDIO, 0);
            camera.nextAudio(&audio);
        }
        const MediaSample sample = sampleOf(video);
        recorder.input(&sample, TRACK_VIDEO, 0);
    }
    recorder.stopRecord();
}

// A WAV file of G.711 A-law written with libavformat, its bytes in packets of
// packetBytes.
bool writeAlawWav(const std::string& path, const std::vector<uint8_t>& bytes, int packetBytes) {
    AVFormatContext* output = nullptr;
    if (avformat_alloc_output_context2(&output, nullptr, "wav", path.c_str()) < 0) {
        return false;
    }
    AVStream* stream = avformat_new_stream(output, nullptr);
    stream->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    stream->codecpar->codec_id = AV_CODEC_ID_PCM_ALAW;
    stream->codecpar->sample_rate = 8000;
    av_channel_layout_default(&stream->codecpar->ch_layout, 1);
    stream->codecpar->bits_per_coded_sample = 8;
    stream->codecpar->block_align = 1;
    stream->time_base = AVRational{1, 8000};
    bool written = avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0 &&
                   avformat_write_header(output, nullptr) >= 0;
    AVPacket* packet = av_packet_alloc();
    for (size_t offset = 0; written && offset < bytes.size(); offset += packetBytes) {
        const int size = static_cast<int>(std::min<size_t>(packetBytes, bytes.size() - offset));
        av_new_packet(packet, size);
        std::copy(bytes.begin() + offset, bytes.begin() + offset + size, packet->data);
        packet->pts = packet->dts = static_cast<int64_t>(offset);
        packet->stream_index = 0;
        written = av_write_frame(output, packet) >= 0;
        av_packet_unref(packet);
    }
    written = written && av_write_trailer(output) >= 0;
    av_packet_free(&packet);
    avio_closep(&output->pb);
    avformat_free_context(output);
    return written;
}

}  // namespace

TEST(FileSourceTest, AnMp4WithAvccVideoAndRawAacBecomesAnnexBAndAdts) {
    TempDir dir;
    const std::string path = dir.file("recording.mp4");
    recordMp4(path);
    const DecodedFile recorded(path);
    ASSERT_TRUE(recorded.opened());
    const DecodedFile::Stream* recordedVideo = recorded.find(AVMEDIA_TYPE_VIDEO);
    const DecodedFile::Stream* recordedAudio = recorded.find(AVMEDIA_TYPE_AUDIO);
    ASSERT_NE(nullptr, recordedVideo);
    ASSERT_NE(nullptr, recordedAudio);
    // The conversions have something to do: length-prefixed video, bare AAC.
    ASSERT_FALSE(recordedVideo->extradata.empty());
    EXPECT_EQ(1, recordedVideo->extradata[0]) << "avcC";
    EXPECT_FALSE(startsWithStartCode(recordedVideo->firstPacket));
    EXPECT_FALSE(isAdts(recordedAudio->firstPacket));

    FileSource source;
    ASSERT_TRUE(source.open(path)) << source.error();
    EXPECT_TRUE(source.notes().empty());
    EXPECT_EQ(VIDEO_H264, source.videoStreamInfo().codecType);
    EXPECT_EQ(320u, source.videoStreamInfo().rateOrWidth);
    EXPECT_EQ(240u, source.videoStreamInfo().formatOrHeight);
    EXPECT_EQ(AUDIO_AAC, source.audioStreamInfo().codecType);
    EXPECT_EQ(8000u, source.audioStreamInfo().rateOrWidth);
    EXPECT_EQ(0x00100001u, source.audioStreamInfo().formatOrHeight);

    const std::vector<SourceUnit> units = readAll(source);
    EXPECT_TRUE(source.error().empty()) << source.error();
    const std::vector<SourceUnit> video = ofTrack(units, TRACK_VIDEO);
    ASSERT_EQ(static_cast<size_t>(recordedVideo->packets), video.size());
    CH264Decoder videoDecoder;
    for (size_t i = 0; i < video.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(startsWithStartCode(video[i].data));
        EXPECT_EQ(i % 10 == 0, video[i].keyFrame);
        EXPECT_EQ(video[i].keyFrame, hasH264Nal(video[i].data, 7)) << "SPS with key frames";
        if (i > 0) {
            EXPECT_GT(video[i].timeMs, video[i - 1].timeMs);
        }
        ASSERT_TRUE(
            videoDecoder.decode(video[i].data.data(), static_cast<int>(video[i].data.size())));
        AVFrame* frame = nullptr;
        ASSERT_TRUE(videoDecoder.getFrame(&frame));
        EXPECT_EQ(320, frame->width);
        EXPECT_EQ(static_cast<int64_t>(i),
                  simcam::TestPattern::readNumber(simcam::LumaView::fromLuma(
                      frame->data[0], frame->linesize[0], frame->width, frame->height)));
    }

    const std::vector<SourceUnit> audio = ofTrack(units, TRACK_AUDIO);
    ASSERT_EQ(static_cast<size_t>(recordedAudio->packets), audio.size());
    CAACDecoder audioDecoder;
    for (size_t i = 0; i < audio.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(isAdts(audio[i].data));
        EXPECT_EQ(audio[i].data.size(),
                  static_cast<size_t>(((audio[i].data[3] & 3) << 11) | (audio[i].data[4] << 3) |
                                      (audio[i].data[5] >> 5)))
            << "ADTS frame length";
        EXPECT_TRUE(
            audioDecoder.decode(audio[i].data.data(), static_cast<int>(audio[i].data.size())));
    }
}

// The raw demuxer cuts the stream into access units itself (a start code's
// leading zero may end up with the unit before); the bytes stay the same.
TEST(FileSourceTest, RawH265StreamsPassAsTheyAre) {
    TempDir dir;
    const std::string path = dir.file("camera.h265");
    const std::vector<EncodedUnit> written = captureVideo(smallVideoSettings(VideoCodec::H265), 25);
    writeFile(path, written);

    FileSource source;
    ASSERT_TRUE(source.open(path)) << source.error();
    EXPECT_EQ(VIDEO_H265, source.videoStreamInfo().codecType);
    EXPECT_EQ(CODEC_NONE, source.audioStreamInfo().codecType);
    const std::vector<SourceUnit> units = readAll(source);
    ASSERT_EQ(written.size(), units.size());
    std::vector<uint8_t> writtenBytes;
    std::vector<uint8_t> readBytes;
    CH265Decoder decoder;
    for (size_t i = 0; i < units.size(); ++i) {
        SCOPED_TRACE(i);
        writtenBytes.insert(writtenBytes.end(), written[i].data.begin(), written[i].data.end());
        readBytes.insert(readBytes.end(), units[i].data.begin(), units[i].data.end());
        EXPECT_TRUE(startsWithStartCode(units[i].data));
        EXPECT_EQ(written[i].keyFrame, units[i].keyFrame);
        if (i > 0) {
            EXPECT_GT(units[i].timeMs, units[i - 1].timeMs);
        }
        EXPECT_TRUE(decoder.decode(units[i].data.data(), static_cast<int>(units[i].data.size())));
    }
    EXPECT_EQ(writtenBytes, readBytes);
}

TEST(FileSourceTest, G711InWavComesIn20MillisecondFrames) {
    std::vector<uint8_t> bytes;
    for (const EncodedUnit& unit : captureAudio(audioSettings(AudioCodec::G711ALaw, 8000, 1), 50)) {
        bytes.insert(bytes.end(), unit.data.begin(), unit.data.end());
    }
    ASSERT_EQ(8000u, bytes.size());
    TempDir dir;
    const std::string path = dir.file("sound.wav");
    ASSERT_TRUE(writeAlawWav(path, bytes, 4000));

    FileSource source;
    ASSERT_TRUE(source.open(path)) << source.error();
    EXPECT_EQ(CODEC_NONE, source.videoStreamInfo().codecType);
    EXPECT_EQ(AUDIO_G711A, source.audioStreamInfo().codecType);
    EXPECT_EQ(8000u, source.audioStreamInfo().rateOrWidth);
    EXPECT_EQ(0x00100001u, source.audioStreamInfo().formatOrHeight);
    std::vector<uint8_t> read;
    for (const SourceUnit& unit : readAll(source)) {
        EXPECT_EQ(TRACK_AUDIO, unit.track);
        EXPECT_LE(unit.data.size(), 160u);
        EXPECT_EQ(read.size() / 8, unit.timeMs) << "8 bytes a millisecond";
        read.insert(read.end(), unit.data.begin(), unit.data.end());
    }
    EXPECT_EQ(bytes, read);
}

TEST(FileSourceTest, AdtsFilesPassAsTheyAreAndAudioTheOutputCannotTakeIsLeftOut) {
    TempDir dir;
    const std::vector<EncodedUnit> mono =
        captureAudio(audioSettings(AudioCodec::AAC, 16000, 1), 20);
    writeFile(dir.file("mono.aac"), mono);
    FileSource source;
    ASSERT_TRUE(source.open(dir.file("mono.aac"))) << source.error();
    EXPECT_EQ(16000u, source.audioStreamInfo().rateOrWidth);
    const std::vector<SourceUnit> units = readAll(source);
    ASSERT_EQ(mono.size(), units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        EXPECT_EQ(mono[i].data, units[i].data);
    }

    writeFile(dir.file("stereo.aac"), captureAudio(audioSettings(AudioCodec::AAC, 44100, 2), 20));
    FileSource stereo;
    EXPECT_FALSE(stereo.open(dir.file("stereo.aac")));
    EXPECT_NE(std::string::npos, stereo.error().find("nothing the player plays"));
    EXPECT_NE(std::string::npos, stereo.error().find("44100 Hz 2 ch left out"));
}

TEST(FileSourceTest, MissingAndDamagedFilesDoNotOpenAndSayWhy) {
    QuietLibavLog quiet;
    TempDir dir;
    FileSource missing;
    EXPECT_FALSE(missing.open(dir.file("missing.mp4")));
    EXPECT_NE(std::string::npos, missing.error().find("cannot open " + dir.file("missing.mp4")));
    EXPECT_NE(std::string::npos, missing.error().find("No such file"));

    std::vector<uint8_t> noise(65536);
    uint32_t state = 12345;
    for (uint8_t& byte : noise) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    {
        std::ofstream out(dir.file("noise.mp4"), std::ios::binary);
        out.write(reinterpret_cast<const char*>(noise.data()), noise.size());
    }
    FileSource damaged;
    EXPECT_FALSE(damaged.open(dir.file("noise.mp4")));
    EXPECT_NE(std::string::npos, damaged.error().find(dir.file("noise.mp4")));
    SourceUnit unit;
    EXPECT_FALSE(damaged.read(&unit));
}
