// tavoplay in a real X11 window under a private Xvfb, driven with keys the
// way a user drives it.

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/DecodedFile.h"
#include "support/TempDir.h"
#include "support/XvfbServer.h"
#include "windowshot/TopLevelWindow.h"

namespace {

// Limits for what is waited for; reached only when something is broken.
constexpr int kStartLimitMs = 60000;
constexpr int kStepLimitMs = 20000;
constexpr int kWidth = 320;
constexpr int kHeight = 240;

class TavoplayWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(xvfb.started());
        display = XOpenDisplay(xvfb.display().c_str());
        ASSERT_NE(nullptr, display);
        tavoplay.reset(new ChildProcess(
            {TAVOPLAY_PATH, "--size", "320x240", "--out", dir.path(), "--duration", "120"}));
        ASSERT_TRUE(tavoplay->waitForOutput("event 502: first picture", kStartLimitMs))
            << tavoplay->output();
        window = findTopLevelWindow(display, "tavoplay");
        ASSERT_NE(0u, window);
    }
    void TearDown() override {
        tavoplay.reset();
        if (display) {
            XCloseDisplay(display);
        }
    }

    // Sends the key to the window as the X server would deliver a key press.
    void press(KeySym key) {
        XEvent event{};
        event.xkey.type = KeyPress;
        event.xkey.display = display;
        event.xkey.window = window;
        event.xkey.root = DefaultRootWindow(display);
        event.xkey.time = CurrentTime;
        event.xkey.same_screen = True;
        event.xkey.keycode = XKeysymToKeycode(display, key);
        XSendEvent(display, window, True, KeyPressMask, &event);
        XFlush(display);
    }

    // Where the output stands: the end of its last line, so that text
    // starting with "\n" finds lines that come after it.
    size_t mark() const {
        const size_t size = tavoplay->output().size();
        return size > 0 ? size - 1 : 0;
    }

    // Presses the key and waits for the text it should print.
    void pressAndExpect(KeySym key, const std::string& text) {
        const size_t from = mark();
        press(key);
        ASSERT_TRUE(tavoplay->waitForOutput(text, kStepLimitMs, from)) << tavoplay->output();
    }

    // Waits until count status lines starting with prefix came after from.
    void waitForStatus(const std::string& prefix, int count, size_t from) {
        ASSERT_TRUE(tavoplay->waitFor(
            [&](const std::string& output) {
                int seen = 0;
                for (size_t at = output.find("\n" + prefix, from); at != std::string::npos;
                     at = output.find("\n" + prefix, at + 1)) {
                    ++seen;
                }
                return seen >= count;
            },
            kStepLimitMs))
            << tavoplay->output();
    }

    std::vector<char> grab() {
        XImage* image = XGetImage(display, window, 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
        std::vector<char> pixels;
        if (image) {
            pixels.assign(image->data, image->data + image->bytes_per_line * image->height);
            XDestroyImage(image);
        }
        return pixels;
    }

    // The stored seconds the last status line shows, -1 before one.
    static int storedSeconds(const std::string& output) {
        const size_t at = output.rfind("| stored ");
        return at == std::string::npos ? -1 : std::atoi(output.c_str() + at + 9);
    }

    static bool isBlack(const std::vector<char>& pixels) {
        return std::all_of(pixels.begin(), pixels.end(), [](char byte) { return byte == 0; });
    }

    // The rest of the line after the first occurrence of text after from.
    std::string lineAfter(const std::string& text, size_t from) const {
        const std::string& output = tavoplay->output();
        const size_t at = output.find(text, from);
        if (at == std::string::npos) {
            return "";
        }
        const size_t start = at + text.size();
        return output.substr(start, output.find('\n', start) - start);
    }

    XvfbServer xvfb{640, 480};
    Display* display = nullptr;
    TempDir dir;
    std::unique_ptr<ChildProcess> tavoplay;
    Window window = 0;
};

}  // namespace

// One run, driven as a user drives it: space holds the picture, s takes a
// snapshot, r replays the stored minute (left seeks, p pauses) and goes back
// to live, Escape ends the program.
TEST_F(TavoplayWindowTest, KeysPauseSnapshotAndReplay) {
    // The first picture takes a while to appear after event 502 when a
    // sanitizer slows the renderer's start down.
    ASSERT_TRUE(
        tavoplay->waitFor([&](const std::string&) { return !isBlack(grab()); }, kStepLimitMs))
        << "a picture is drawn\n"
        << tavoplay->output();
    pressAndExpect(XK_space, "\npaused\n");
    waitForStatus("paused ", 1, mark());
    const std::vector<char> held = grab();
    waitForStatus("paused ", 1, mark());
    ASSERT_FALSE(held.empty());
    EXPECT_EQ(held, grab()) << "nothing is drawn while paused";
    pressAndExpect(XK_space, "\nplaying\n");
    // Looked at again with each line the program prints.
    EXPECT_TRUE(tavoplay->waitFor([&](const std::string&) { return grab() != held; }, kStepLimitMs))
        << "pictures are drawn again\n"
        << tavoplay->output();

    ASSERT_TRUE(tavoplay->waitFor(
        [](const std::string& output) { return storedSeconds(output) >= 2; }, kStepLimitMs))
        << tavoplay->output();
    size_t from = mark();
    pressAndExpect(XK_s, "snapshot: ");
    ASSERT_TRUE(tavoplay->waitForOutput(".jpg\n", kStepLimitMs, from));
    const std::string snapshot = lineAfter("snapshot: ", from);
    EXPECT_EQ(0u, snapshot.find(dir.path() + "/snapshot-")) << snapshot;
    const DecodedFile picture(snapshot);
    ASSERT_NE(nullptr, picture.find(AVMEDIA_TYPE_VIDEO)) << snapshot;
    EXPECT_EQ(kWidth, picture.find(AVMEDIA_TYPE_VIDEO)->width);

    from = mark();
    pressAndExpect(XK_r, "replay of the stored");
    ASSERT_TRUE(tavoplay->waitForOutput("event 601: replay at ", kStepLimitMs, from))
        << tavoplay->output();
    pressAndExpect(XK_Left, "replay: seek to 1 s");
    pressAndExpect(XK_p, "replay paused");
    pressAndExpect(XK_p, "replay playing");
    pressAndExpect(XK_r, "back to live");
    waitForStatus("live ", 1, mark());

    press(XK_Escape);
    EXPECT_EQ(0, tavoplay->wait(kStepLimitMs)) << tavoplay->output();
}
