// tavoplay in a real X11 window under a private Xvfb, driven with keys the
// way a user drives it.

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "simcam/LumaView.h"
#include "simcam/TestPattern.h"
#include "support/ChildProcess.h"
#include "support/DecodedFile.h"
#include "support/TempDir.h"
#include "support/X11TestWindow.h"
#include "support/XvfbServer.h"
#include "windowshot/TopLevelWindow.h"

namespace {

// Limits for what is waited for; reached only when something is broken.
constexpr int kStartLimitMs = 60000;
constexpr int kStepLimitMs = 20000;
constexpr int kWidth = 320;
constexpr int kHeight = 240;

}  // namespace

// One run: space holds the picture, s takes a snapshot, r replays the stored
// minute (left seeks, p pauses) and goes back to live, Escape ends the
// program. What the window shows is read back from the server.
TEST(TavoplayWindowTest, KeysPauseSnapshotAndReplay) {
    XvfbServer xvfb(640, 480);
    ASSERT_TRUE(xvfb.started());
    TempDir dir;
    ChildProcess tavoplay(
        {TAVOPLAY_PATH, "--size", "320x240", "--out", dir.path(), "--duration", "120"});
    ASSERT_TRUE(tavoplay.waitForOutput("event 502: first picture", kStartLimitMs))
        << tavoplay.output();
    std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(nullptr), XCloseDisplay);
    ASSERT_TRUE(display);
    const Window window = findTopLevelWindow(display.get(), "tavoplay");
    ASSERT_NE(0u, window);

    // The camera's picture number in the window, -1 when none shows.
    auto shownNumber = [&] {
        const std::vector<uint8_t> rgba =
            X11TestWindow::readDrawable(display.get(), window, 0, 0, kWidth, kHeight);
        return rgba.empty() ? -1
                            : simcam::TestPattern::readNumber(simcam::LumaView::fromRgb(
                                  rgba.data(), kWidth * 4, kWidth, kHeight, 4, 0, 1, 2));
    };
    // Waits for text printed after offset from (never 0); a text starting
    // with "\n" is found in lines that begin after the one at from.
    auto expectAfter = [&](size_t from, const std::string& text) {
        EXPECT_TRUE(tavoplay.waitForOutput(text, kStepLimitMs, from - 1))
            << "\"" << text << "\" in\n"
            << tavoplay.output();
    };
    auto expectNext = [&](const std::string& text) { expectAfter(tavoplay.output().size(), text); };
    // Presses the key as the X server would deliver it and waits for the text.
    auto press = [&](KeySym key, const std::string& text) {
        const size_t from = tavoplay.output().size();
        XEvent event{};
        event.xkey.type = KeyPress;
        event.xkey.display = display.get();
        event.xkey.window = window;
        event.xkey.keycode = XKeysymToKeycode(display.get(), key);
        XSendEvent(display.get(), window, True, KeyPressMask, &event);
        XFlush(display.get());
        expectAfter(from, text);
    };

    // Looked at again with each line the program prints; the first picture
    // takes a while after event 502 when a sanitizer slows the start down.
    ASSERT_TRUE(
        tavoplay.waitFor([&](const std::string&) { return shownNumber() >= 0; }, kStepLimitMs))
        << tavoplay.output();
    press(XK_space, "\npaused\n");
    // A picture whose drawing began before the key may still land (slowly,
    // under a sanitizer); from the second status line on nothing changes.
    expectNext("\npaused ");
    expectNext("\npaused ");
    const int64_t held = shownNumber();
    ASSERT_GE(held, 0);
    expectNext("\npaused ");
    EXPECT_EQ(held, shownNumber()) << "nothing is drawn while paused";
    press(XK_space, "\nplaying\n");
    EXPECT_TRUE(
        tavoplay.waitFor([&](const std::string&) { return shownNumber() > held; }, kStepLimitMs))
        << "pictures are drawn again\n"
        << tavoplay.output();

    // The replay needs a few stored seconds.
    ASSERT_TRUE(tavoplay.waitFor(
        [](const std::string& output) {
            const size_t at = output.rfind("| stored ");
            return at != std::string::npos && std::atoi(output.c_str() + at + 9) >= 2;
        },
        kStepLimitMs))
        << tavoplay.output();
    const size_t from = tavoplay.output().size();
    press(XK_s, ".jpg\n");
    const size_t at = tavoplay.output().find("snapshot: ", from) + 10;
    const std::string snapshot =
        tavoplay.output().substr(at, tavoplay.output().find('\n', at) - at);
    EXPECT_EQ(0u, snapshot.find(dir.path() + "/snapshot-")) << snapshot;
    const DecodedFile file(snapshot);
    const DecodedFile::Stream* picture = file.find(AVMEDIA_TYPE_VIDEO);
    EXPECT_TRUE(picture && picture->width == kWidth) << snapshot;

    const size_t beforeReplay = tavoplay.output().size();
    press(XK_r, "replay of the stored");
    expectAfter(beforeReplay, "event 601: replay at ");
    press(XK_Left, "replay: seek to 1 s");
    press(XK_p, "replay paused");
    press(XK_p, "replay playing");
    press(XK_r, "back to live");
    expectNext("\nlive ");
    press(XK_Escape, "");
    EXPECT_EQ(0, tavoplay.wait(kStepLimitMs)) << tavoplay.output();
}
