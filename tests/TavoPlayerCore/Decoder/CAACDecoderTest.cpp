#include "TavoPlayerCore/Decoder/CAACDecoder.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/CameraCapture.h"
#include "support/ReferenceDecoder.h"

extern "C" {
#include <libavutil/frame.h>
}

using simcam::AudioCodec;
using simcam::EncodedUnit;

// A sample that holds two ADTS frames gives the first frame's samples only;
// the second is consumed with it, so the next sample's output is its own and
// does not lag behind.
TEST(CAACDecoder, SampleWithTwoFramesGivesTheFirstAndNothingLags) {
    const std::vector<EncodedUnit> units =
        captureAudio(audioSettings(AudioCodec::AAC, 16000, 2), 3);
    ASSERT_EQ(3u, units.size());
    ReferenceDecoder reference(AV_CODEC_ID_AAC);
    for (const EncodedUnit& unit : units) {
        reference.decode(unit.data.data(), static_cast<int>(unit.data.size()));
    }
    ASSERT_EQ(3u, reference.frames().size());

    CAACDecoder decoder;
    std::vector<uint8_t> twoFrames = units[0].data;
    twoFrames.insert(twoFrames.end(), units[1].data.begin(), units[1].data.end());
    ASSERT_TRUE(decoder.decode(twoFrames.data(), static_cast<int>(twoFrames.size())));
    AVFrame* frame = nullptr;
    ASSERT_TRUE(decoder.getFrame(&frame));
    EXPECT_EQ(1024, frame->nb_samples);
    EXPECT_EQ(reference.frames()[0], planeChecksums(frame));

    ASSERT_TRUE(decoder.decode(units[2].data.data(), static_cast<int>(units[2].data.size())));
    ASSERT_TRUE(decoder.getFrame(&frame));
    EXPECT_EQ(reference.frames()[2], planeChecksums(frame));
}
