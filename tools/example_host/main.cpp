// A small host that drives the player engine through its public interface:
// create a player with a HostContext, give it a window, run, pause, resume,
// stop and destroy it, printing each step.

#include <tavoplayer/ITavoMediaPlayer.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

struct SourceState {
    std::atomic<unsigned> audioPolls{0};
    std::atomic<unsigned> videoPolls{0};
};

int32_t getSample(void* ctx, int32_t track, MediaSample*) {
    SourceState* state = static_cast<SourceState*>(ctx);
    (track == TRACK_AUDIO ? state->audioPolls : state->videoPolls)++;
    return 1;  // nothing to deliver yet
}

int32_t getMaxDelay(void*, uint32_t* outMs) {
    *outMs = 0;
    return 0;
}

int32_t getMaxTs(void*, int32_t, uint32_t* outMs) {
    *outMs = 0;
    return 0;
}

void step(const char* what, int32_t result) {
    std::printf("%-34s -> %d\n", what, result);
}

}  // namespace

int main() {
    SourceState state;
    MediaSourceFuncs source{getSample, nullptr, getMaxDelay, getMaxTs};
    HostContext host{nullptr, nullptr, &source, &state};

    ITavoMediaPlayer* player = nullptr;
    if (!createMediaPlayerInstance(&host, &player)) {
        std::fprintf(stderr, "createMediaPlayerInstance failed\n");
        return 1;
    }
    std::printf("created player %p\n", static_cast<void*>(player));

    static int window = 0;
    step("setParam(PARAM_WINDOW)", player->setParam(PARAM_WINDOW, &window));
    int32_t mode = PLAY_MODE_LIVE;
    step("setParam(PARAM_PLAY_MODE, live)", player->setParam(PARAM_PLAY_MODE, &mode));
    step("run()", player->run());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    step("pause()", player->pause());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    step("resume()", player->resume());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    step("stop()", player->stop());
    std::printf("the loops asked the source for samples: audio %u times, video %u times\n",
                state.audioPolls.load(), state.videoPolls.load());
    destroyMediaPlayerInstance(&player);
    std::printf("destroyed player\n");
    return 0;
}
