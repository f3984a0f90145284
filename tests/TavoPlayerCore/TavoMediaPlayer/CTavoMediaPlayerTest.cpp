#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"

#include <gtest/gtest.h>

// The audio processing wrapper lives exactly as long as the player: made in
// the constructor, released (with its debug line) only by the destructor,
// whatever runs in between.
TEST(CTavoMediaPlayer, AudioProcessingLivesAsLongAsThePlayer) {
    ::testing::internal::CaptureStderr();
    CTavoMediaPlayer* player = new CTavoMediaPlayer();
    player->run();
    player->stop();
    player->run();
    player->stop();
    EXPECT_EQ("", ::testing::internal::GetCapturedStderr());
    ::testing::internal::CaptureStderr();
    delete player;
    EXPECT_EQ("sdas!!!!!!!!!!!!!!!!!\n", ::testing::internal::GetCapturedStderr());
}
