// A minimal host: plays a raw H.264 stream (Annex B, 25 pictures a second)
// into an offscreen window and saves the picture shown after two seconds.
// Usage: minimal_host IN.h264 OUT.jpg
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
    std::vector<size_t> starts{0};  // where each picture starts, then the end
    size_t next = 0;
    bool described = false;
    StreamInfo info{STREAM_VIDEO, VIDEO_H264, 0, 0};
};

// Called by the player's loops: the description first, then one picture a call.
int32_t getSample(void* context, int32_t track, MediaSample* sample) {
    Stream* s = static_cast<Stream*>(context);
    if (track != TRACK_VIDEO || s->next + 1 >= s->starts.size())
        return 1;  // none now
    sample->ulFlags = s->described ? 0 : MEDIA_FLAG_DESCRIPTION;
    sample->pStreamInfo = &s->info;
    sample->ulTime = static_cast<uint32_t>(s->next * 40);
    sample->pData = &s->bytes[s->starts[s->next]];
    sample->ulsize = static_cast<uint32_t>(s->starts[s->next + 1] - s->starts[s->next]);
    s->next += s->described ? 1 : 0;
    s->described = true;
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    Stream s;
    std::ifstream in(argv[1], std::ios::binary);
    s.bytes.assign(std::istreambuf_iterator<char>(in), {});
    // A picture begins at a parameter set, SEI or first slice after the last one's slices.
    for (size_t i = 0, slices = 0; i + 4 < s.bytes.size(); ++i) {
        if (s.bytes[i] != 0 || s.bytes[i + 1] != 0 || s.bytes[i + 2] != 1)
            continue;
        const int type = s.bytes[i + 3] & 0x1F, slice = type == 1 || type == 5;
        if (slices && ((type >= 6 && type <= 9) || (slice && s.bytes[i + 4] & 0x80))) {
            s.starts.push_back(i);
            slices = 0;
        }
        slices += slice;
    }
    s.starts.push_back(s.bytes.size());

    // The newest time and the delay only matter to live streams.
    MediaSourceFuncs source{getSample, nullptr,
                            [](void*, uint32_t* ms) -> int32_t { return *ms = 0; },
                            [](void*, int32_t, uint32_t* ms) -> int32_t { return *ms = 0; }};
    HostContext host{nullptr, nullptr, &source, &s};
    void* window = tavoCreateOffscreenWindow(320, 240);
    ITavoMediaPlayer* player = nullptr;
    if (!window || !createMediaPlayerInstance(&host, &player))
        return 1;
    int32_t playback = PLAY_MODE_PLAYBACK;  // paced by the player's clock
    player->setParam(PARAM_WINDOW, window);
    player->setParam(PARAM_PLAY_MODE, &playback);
    player->run();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const int32_t result = player->getParam(PARAM_SNAPSHOT, argv[2]);
    destroyMediaPlayerInstance(&player);
    tavoDestroyOffscreenWindow(window);
    std::printf("snapshot %s: %s\n", argv[2], result == PLAYER_S_OK ? "saved" : "failed");
    return result == PLAYER_S_OK ? 0 : 1;
}
