// A minimal host: plays a raw H.264 stream (Annex B with access unit
// delimiters, 25 pictures a second) into an offscreen window and saves the
// picture shown after three seconds. Usage: minimal_host IN.h264 OUT.jpg
#include <tavoplayer/ITavoMediaPlayer.h>
#include <tavoplayer/TavoOffscreenWindow.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

struct Stream {
    std::vector<uint8_t> bytes;
    std::vector<size_t> starts;  // where each picture starts, then the end
    size_t next = 0;
    StreamInfo info{STREAM_VIDEO, VIDEO_H264, 0, 0};
};

// The player's loops call this: a description first, then a picture a call.
int32_t getSample(void* context, int32_t track, MediaSample* sample) {
    Stream* s = static_cast<Stream*>(context);
    if (track != TRACK_VIDEO || s->next >= s->starts.size()) {
        return 1;  // nothing now
    }
    const size_t n = s->next++;
    sample->ulFlags = n == 0 ? MEDIA_FLAG_DESCRIPTION : 0;
    sample->pStreamInfo = &s->info;
    sample->ulTime = static_cast<uint32_t>(n * 40);
    sample->pData = n == 0 ? nullptr : &s->bytes[s->starts[n - 1]];
    sample->ulsize = n == 0 ? 0 : static_cast<uint32_t>(s->starts[n] - s->starts[n - 1]);
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    Stream s;
    s.bytes.assign(std::istreambuf_iterator<char>(in), {});
    for (size_t i = 4; i < s.bytes.size(); ++i) {  // an access unit delimiter: 0 0 1 9
        if (s.bytes[i - 4] == 0 && s.bytes[i - 3] == 0 && s.bytes[i - 2] == 1 &&
            s.bytes[i - 1] == 9) {
            s.starts.push_back(i - 4);
        }
    }
    s.starts.push_back(s.bytes.size());

    // The newest time stamp and the delay only steer live streams.
    MediaSourceFuncs source{getSample, nullptr,
                            [](void*, uint32_t* ms) -> int32_t { return *ms = 0; },
                            [](void*, int32_t, uint32_t* ms) -> int32_t { return *ms = 0; }};
    HostContext host{nullptr, nullptr, &source, &s};
    void* window = tavoCreateOffscreenWindow(320, 240);
    ITavoMediaPlayer* player = nullptr;
    if (!window || !createMediaPlayerInstance(&host, &player)) {
        return 1;
    }
    int32_t playback = PLAY_MODE_PLAYBACK;  // paced by the player's clock
    player->setParam(PARAM_WINDOW, window);
    player->setParam(PARAM_PLAY_MODE, &playback);
    player->run();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const int32_t result = player->getParam(PARAM_SNAPSHOT, argv[2]);
    destroyMediaPlayerInstance(&player);
    tavoDestroyOffscreenWindow(window);
    std::printf("snapshot %s: %s\n", argv[2], result == PLAYER_S_OK ? "saved" : "failed");
    return result == PLAYER_S_OK ? 0 : 1;
}
