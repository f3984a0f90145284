#include "TavoPlayerCore/CMediaOneMinPlay.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "support/ManualTimeSource.h"

namespace {

// A sample whose four payload bytes repeat the low byte of its time.
struct HostSample {
    HostSample(uint32_t time, uint32_t flags) : sample{} {
        std::memset(payload, static_cast<int>(time & 0xFF), sizeof(payload));
        sample.ulTime = time;
        sample.ulFlags = flags;
        sample.ulsize = sizeof(payload);
        sample.pData = payload;
    }
    uint8_t payload[4];
    MediaSample sample;
};

void put(CMediaOneMinPlay& store, uint32_t track, uint32_t time, uint32_t flags = 0) {
    HostSample host(time, flags);
    EXPECT_EQ(0, store.putSample(track, &host.sample));
}

MediaSample filledWith(uint8_t byte) {
    MediaSample record;
    std::memset(&record, byte, sizeof(record));
    return record;
}

bool sameBytes(const MediaSample& a, const MediaSample& b) {
    return std::memcmp(&a, &b, sizeof(MediaSample)) == 0;
}

// Reads the next sample of a track: "E" expects the end of the play list
// (PLAYER_E_NOMORE), "F" an empty one (PLAYER_E_FAIL), both leaving the
// record untouched; a number expects that sample, with its own payload.
void expectNext(CMediaOneMinPlay& store, uint32_t track, const std::string& what) {
    const MediaSample untouched = filledWith(0x5A);
    MediaSample out = untouched;
    const int32_t result = store.getSample(track, &out);
    if (what == "E" || what == "F") {
        EXPECT_EQ(what == "E" ? PLAYER_E_NOMORE : PLAYER_E_FAIL, result);
        EXPECT_TRUE(sameBytes(untouched, out));
        return;
    }
    ASSERT_EQ(0, result);
    EXPECT_EQ(std::stoul(what), out.ulTime);
    ASSERT_EQ(4u, out.ulsize);
    EXPECT_EQ(std::vector<uint8_t>(4, out.ulTime & 0xFF),
              std::vector<uint8_t>(out.pData, out.pData + 4));
}

// Runs a store scenario written as steps, each a letter and an argument:
//   V t, K t, A t   put a video sample, a video key frame, an audio sample;
//   V a:b:s:k       video from a to b every s ms, a key frame every k ms (A a:b:s);
//   v t, a t        the next video / audio sample read is t (or E, F above);
//   X Y             move the video / audio input to its play list;
//   c d             clear the video / audio play list;  C R  clear(), reset();
//   S n             seekTo(n);  D n, P n   the duration / position reads n.
void run(CMediaOneMinPlay& store, const std::string& text) {
    std::istringstream script(text);
    for (std::string step; script >> step;) {
        SCOPED_TRACE(step);
        const char op = step[0];
        const std::string arg = step.substr(1);
        uint32_t seconds = 99;
        if (op == 'V' || op == 'K' || op == 'A') {
            uint32_t from = 0, to = 0, every = 1, key = 0;
            const int fields = std::sscanf(arg.c_str(), "%u:%u:%u:%u", &from, &to, &every, &key);
            to = fields >= 2 ? to : from;
            for (uint32_t t = from; t <= to; t += every) {
                const bool isKey = op == 'K' || (key != 0 && (t - from) % key == 0);
                put(store, op == 'A' ? TRACK_AUDIO : TRACK_VIDEO, t,
                    isKey ? MEDIA_FLAG_KEYFRAME : 0);
            }
        } else if (op == 'v' || op == 'a') {
            expectNext(store, op == 'v' ? TRACK_VIDEO : TRACK_AUDIO, arg);
        } else if (op == 'D' || op == 'P') {
            EXPECT_EQ(0, op == 'D' ? store.getDuration(&seconds) : store.getPlayPosition(&seconds));
            EXPECT_EQ(std::stoul(arg), seconds);
        } else if (op == 'S') {
            EXPECT_EQ(0, store.seekTo(static_cast<uint32_t>(std::stoul(arg))));
        } else {
            ASSERT_NE(std::string::npos, std::string("XYcdCR").find(op));
            op == 'X'   ? store.moveVideoToPlayList()
            : op == 'Y' ? store.moveAudioToPlayList()
            : op == 'c' ? store.clearVideoPlayList()
            : op == 'd' ? store.clearAudioPlayList()
            : op == 'C' ? store.clear()
                        : store.reset();
        }
    }
}

struct StoreCase {
    const char* name;
    const char* script;
};

// Video at 25 frames per second from 10000 ms with key frames every 2 s, and
// audio every 20 ms from 9990 ms, frozen into the play lists.
#define TEN_SECONDS "V10000:20000:40:2000 A9990:20010:20 X Y "

const StoreCase kCases[] = {
    // Once the input is empty (moved or cleared), video waits for a key frame again.
    {"VideoWaitsForAKeyFrameAudioTakesAnything",
     "V1000 V1040 K1080 V1120 A1000 A1020 X Y v1080 v1120 vE a1000 a1020 aE "
     "V1160 K1200 C V1240 K1280 c X v1280 vE"},
    {"EmptyPlayListsFailAndReadZero", "vF aF D0 P0"},
    {"ASpanOf60000MsKeepsTheFrontOneMoreTrimsIt",
     "K5000 V65000 V65040 A5000 A65001 A65020 X Y v5000 v65000 v65040 a65001 a65020 aE"},
    {"TrimmingRemovesOneSampleAtATimeEvenAKeyFrame", "K0 V30000 V60001 V60100 X v30000"},
    {"AFullMinuteAt25FramesPerSecondSpans60040Ms",
     "V100000:170000:40:1000 X D60 v109960 S999 v170000 vE"},
    {"TimeJumpingBackwardsTrimsToTheNewestOnTheNextAppend",
     "K90000 V90040 V500 V540 A90000 A90020 A500 A520 X Y v500 v540 vE a500 a520 aE"},
    {"ReadingPastTheEndAnswersNoMoreAndChangesNothing",
     "K1000 V3500 A1000 X Y v1000 v3500 a1000 vE vE aE aE P2"},
    {"DurationAndPositionAreWholeSeconds",
     "K20000 V20999 V79999 X D59 P0 v20000 v20999 P0 v79999 P59"},
    {"SeekLandsOnTheLastKeyFrameAtOrBeforeAndAudioFollows",
     TEN_SECONDS "S3 v12000 v12040 a12010 P2 S4 v14000 a14010 S0 v10000 a10010"},
    {"SeekPutsAudioOnASampleAtTheKeyFramesOwnTime",
     TEN_SECONDS "d A11960:12040:40 Y S2 v12000 a12000"},
    {"SeekBeyondTheEndPutsVideoOnItsLastSampleAndLeavesAudio",
     TEN_SECONDS "a9990 a10010 S11 v20000 a10030 vE"},
    {"SeekBeforeTheFirstKeyFrameLandsOnIt",
     "K0 V30000 V60001 K60100 A30000 A60050 X Y a30000 S30 v60100 aE S31 v60100 S0 v60100 c vF"},
    {"SeekingAnEmptyStoreLeavesNoPositionUntilCleared", "S5 vE c vF"},
    // reset() empties the live input only; leaving replay clears the play lists.
    {"LiveInputKeepsRollingWhileTheFrozenMinuteIsReplayed",
     "K1000 A1000 X Y K2000 A2000 v1000 R S0 v1000 a1000 c d K3000 A3000 X Y v3000 vE a3000 aE"},
};

class StoreScenario : public ::testing::TestWithParam<StoreCase> {};

TEST_P(StoreScenario, ReadsAsExpected) {
    CMediaOneMinPlay store;
    run(store, GetParam().script);
}

INSTANTIATE_TEST_SUITE_P(CMediaOneMinPlay, StoreScenario, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<StoreCase>& info) {
                             return std::string(info.param.name);
                         });

// The store keeps a deep copy of what the host lends it (the host reuses its
// buffers) and hands out its own payload with the host's pointers cleared; a
// sample without its payload is kept as zeros.
TEST(CMediaOneMinPlay, ReadSamplesAreCopiesOfTheStoresOwnDeepCopy) {
    ManualTimeSource time(77000);
    CMediaOneMinPlay store;
    StreamInfo info{STREAM_VIDEO, VIDEO_H264, 640, 480};
    uint8_t extra[2] = {1, 2};
    HostSample host(1000, MEDIA_FLAG_KEYFRAME | MEDIA_FLAG_DESCRIPTION | 0x100);
    host.sample.pStreamInfo = &info;
    host.sample.pExtData = extra;
    host.sample.ulTick = 5;
    store.putSample(TRACK_VIDEO, &host.sample);
    store.putSample(TRACK_AUDIO, &host.sample);
    host.payload[0] = 0xEE;
    MediaSample noPayload{};
    noPayload.ulTime = 1040;
    noPayload.ulsize = 64;
    store.putSample(TRACK_VIDEO, &noPayload);
    time.advance(500);
    run(store, "X Y");

    for (uint32_t track : {TRACK_VIDEO, TRACK_AUDIO}) {
        MediaSample out = filledWith(0x77);
        ASSERT_EQ(0, store.getSample(track, &out));
        EXPECT_EQ(MEDIA_FLAG_KEYFRAME | MEDIA_FLAG_DESCRIPTION | 0x100u, out.ulFlags);
        ASSERT_EQ(4u, out.ulsize);
        EXPECT_EQ(std::vector<uint8_t>(4, 0xE8), std::vector<uint8_t>(out.pData, out.pData + 4));
        EXPECT_EQ(nullptr, out.pStreamInfo);
        EXPECT_EQ(nullptr, out.pExtData);
        EXPECT_EQ(77000u, out.ulTick);  // stamped when the copy was made
    }
    MediaSample out{};
    ASSERT_EQ(0, store.getSample(TRACK_VIDEO, &out));
    ASSERT_EQ(64u, out.ulsize);
    EXPECT_EQ(std::vector<uint8_t>(64, 0), std::vector<uint8_t>(out.pData, out.pData + 64));
}

// Samples whose time stamps stall are never trimmed by time: the input keeps
// the newest samples up to its byte limit, and a full play list takes no
// more when the input is frozen into it again.
TEST(CMediaOneMinPlay, ListsKeepTheNewestSamplesUpToTheirByteLimit) {
    CMediaOneMinPlay store;
    std::vector<uint8_t> payload(16u << 20);
    const uint32_t fitting = CMediaOneMinPlay::kMaxListBytes / payload.size();
    MediaSample sample{};
    sample.ulFlags = MEDIA_FLAG_KEYFRAME;
    sample.ulsize = static_cast<uint32_t>(payload.size());
    sample.pData = payload.data();
    for (uint32_t round = 0; round < 2; ++round) {
        for (uint32_t i = 0; i < fitting + 2; ++i) {
            sample.ulTime = round * 100 + i;
            store.putSample(TRACK_VIDEO, &sample);
        }
        store.moveVideoToPlayList();
    }
    MediaSample out{};
    for (uint32_t i = 0; i < fitting; ++i) {
        ASSERT_EQ(0, store.getSample(TRACK_VIDEO, &out));
        EXPECT_EQ(2 + i, out.ulTime);
    }
    EXPECT_EQ(PLAYER_E_NOMORE, store.getSample(TRACK_VIDEO, &out));
}

}  // namespace
