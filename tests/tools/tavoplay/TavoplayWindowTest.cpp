// tavoplay in a real X11 window under a private Xvfb, driven with keys the
// way a user drives it.

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/DecodedFile.h"
#include "support/TempDir.h"
#include "support/XvfbServer.h"

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
        window = findWindow();
        ASSERT_NE(0u, window);
    }
    void TearDown() override {
        tavoplay.reset();
        if (display) {
            XCloseDisplay(display);
        }
    }

    Window findWindow() {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        Window found = 0;
        XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
        for (unsigned i = 0; i < count && !found; ++i) {
            char* name = nullptr;
            if (XFetchName(display, children[i], &name) && name) {
                found = std::string(name) == "tavoplay" ? children[i] : 0;
                XFree(name);
            }
        }
        XFree(children);
        return found;
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

    // Presses the key and waits for the line it should print.
    void pressAndExpect(KeySym key, const std::string& line) {
        const size_t mark = tavoplay->output().size();
        press(key);
        ASSERT_TRUE(tavoplay->waitForOutput(line, kStepLimitMs, mark)) << tavoplay->output();
    }

    // Waits until count status lines starting with prefix came after mark.
    void waitForStatus(const std::string& prefix, int count, size_t mark) {
        ASSERT_TRUE(tavoplay->waitFor(
            [&](const std::string& output) {
                int seen = 0;
                for (size_t at = output.find("\n" + prefix, mark); at != std::string::npos;
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

    // The rest of the output from the first occurrence of text after mark.
    std::string lineAfter(const std::string& text, size_t mark) const {
        const std::string& output = tavoplay->output();
        const size_t at = output.find(text, mark);
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

TEST_F(TavoplayWindowTest, SpaceHoldsThePictureUntilItIsPressedAgain) {
    size_t mark = tavoplay->output().size();
    waitForStatus("live ", 1, mark);
    pressAndExpect(XK_space, "\npaused\n");
    mark = tavoplay->output().size();
    waitForStatus("paused ", 1, mark);
    const std::vector<char> held = grab();
    mark = tavoplay->output().size();
    waitForStatus("paused ", 1, mark);
    ASSERT_FALSE(held.empty());
    EXPECT_EQ(held, grab()) << "nothing is drawn while paused";

    pressAndExpect(XK_space, "\nplaying\n");
    mark = tavoplay->output().size();
    waitForStatus("live ", 2, mark);
    EXPECT_NE(held, grab()) << "pictures are drawn again";

    press(XK_q);
    EXPECT_EQ(0, tavoplay->wait(kStepLimitMs)) << tavoplay->output();
}

TEST_F(TavoplayWindowTest, KeysTakeSnapshotsAndReplayTheStoredMinute) {
    ASSERT_TRUE(tavoplay->waitForOutput("stored 2 s", kStepLimitMs)) << tavoplay->output();
    size_t mark = tavoplay->output().size();
    pressAndExpect(XK_s, "snapshot: ");
    ASSERT_TRUE(tavoplay->waitForOutput(".jpg\n", kStepLimitMs, mark));
    const std::string snapshot = lineAfter("snapshot: ", mark);
    EXPECT_EQ(0u, snapshot.find(dir.path() + "/snapshot-")) << snapshot;
    const DecodedFile picture(snapshot);
    ASSERT_TRUE(picture.opened()) << snapshot;
    ASSERT_NE(nullptr, picture.find(AVMEDIA_TYPE_VIDEO));
    EXPECT_EQ(kWidth, picture.find(AVMEDIA_TYPE_VIDEO)->width);

    mark = tavoplay->output().size();
    pressAndExpect(XK_r, "replay of the stored");
    ASSERT_TRUE(tavoplay->waitForOutput("event 601: replay at ", kStepLimitMs, mark))
        << tavoplay->output();
    pressAndExpect(XK_Left, "replay: seek to 1 s");
    pressAndExpect(XK_p, "replay paused");
    pressAndExpect(XK_p, "replay playing");
    pressAndExpect(XK_r, "back to live");
    mark = tavoplay->output().size();
    waitForStatus("live ", 1, mark);

    press(XK_Escape);
    EXPECT_EQ(0, tavoplay->wait(kStepLimitMs)) << tavoplay->output();
}
