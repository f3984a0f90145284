// libFuzzer target on the sample path: the input (SampleScript) is what a
// host hands a real player, through the host callbacks, on a manual clock,
// into an offscreen window. Sound goes nowhere (no audio device), so nothing
// waits for real time.

#include <cstdlib>
#include <thread>

#include "SampleScript.h"
#include "TavoPlayerCore/TavoMediaPlayer/CTavoMediaPlayer.h"
#include "support/ManualTimeSource.h"
#include "support/OffscreenTestWindow.h"

namespace {

// Media time one input may take at most: the loops wait for each sample's
// time, and a script may stamp its samples hours apart.
constexpr uint32_t kMediaLimitMs = 4000;
const int32_t kRenderKinds[4] = {RENDER_KIND_DDRAW, RENDER_KIND_D3D, RENDER_KIND_D3D_SHADER,
                                 RENDER_KIND_DDRAW};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const SampleScript script = SampleScript::parse(data, size);
    ManualTimeSource time(1000, true);
    OffscreenTestWindow window(64, 48);
    ScriptedHost host;
    for (const SampleScript::Entry& entry : script.entries) {
        host.addItem(entry.track, entry.item);
    }
    CTavoMediaPlayer player;
    player.setHostContext(host.context());
    int32_t value = kRenderKinds[script.options & 3];
    player.setParam(PARAM_RENDER_KIND, &value);
    value = 1;
    if (script.options & 4) {
        player.setParam(PARAM_FRAME_STORE, &value);
    }
    player.setParam(PARAM_WINDOW, window.handle());
    host.start();
    player.run();
    // Media time runs ahead of the loops' own sleeps, so that waits for
    // far-off time stamps end soon.
    while (!(host.drained(TRACK_VIDEO) && host.drained(TRACK_AUDIO)) &&
           time.timeMs() - 1000 < kMediaLimitMs) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        time.advance(20);
    }
    player.stop();
    return 0;
}
