// GoogleTest comes before Xlib, whose macros (None, Bool) clash with its names.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "TavoPlayerCore/VideoRender/DDrawRender.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Win32/CRefCounted.h"

#include "support/ColourBarPicture.h"
#include "support/OffscreenTestWindow.h"
#include "support/X11TestWindow.h"
#include "support/XvfbServer.h"
#include "tavoplayer/TavoOffscreenWindow.h"

namespace {

::testing::AssertionResult showsBars(const OffscreenTestWindow& window) {
    int width = 0;
    int height = 0;
    const std::vector<uint8_t> rgba = window.read(&width, &height);
    return ColourBarPicture::fills(rgba, width, height);
}

std::unique_ptr<IVideoRender> openRenderer(HWND window, int width, int height,
                                           int32_t* openResult = nullptr) {
    IVideoRender* renderer = nullptr;
    EXPECT_TRUE(createDDrawRender(&renderer));
    renderer->SetWindow(window, 0);
    const int32_t result = renderer->SetFormat(width, height, kPixelFormatYUV420);
    if (openResult) {
        *openResult = result;
    }
    return std::unique_ptr<IVideoRender>(renderer);
}

}  // namespace

TEST(DDrawRender, FactoryFillsOnlyAnEmptySlot) {
    IVideoRender* renderer = nullptr;
    ASSERT_TRUE(createDDrawRender(&renderer));
    ASSERT_NE(nullptr, renderer);
    IVideoRender* const first = renderer;
    EXPECT_FALSE(createDDrawRender(&renderer));
    EXPECT_EQ(first, renderer);
    delete renderer;
}

TEST(DDrawRender, ColourBarsLandOnTheOffscreenWindow) {
    OffscreenTestWindow window(128, 96);
    int32_t opened = -1;
    std::unique_ptr<IVideoRender> renderer = openRenderer(window.handle(), 128, 96, &opened);
    ASSERT_EQ(0, opened);
    ColourBarPicture bars(128, 96, 16, 8);
    EXPECT_EQ(0, renderer->RenderPicture(&bars.picture()));
    EXPECT_TRUE(showsBars(window));
    int width = 0;
    int height = 0;
    EXPECT_EQ(0xFF, window.read(&width, &height)[3]);  // opaque
}

TEST(DDrawRender, ThePictureFillsLargerAndSmallerWindows) {
    ColourBarPicture bars(128, 96);
    for (const int width : {320, 80}) {
        OffscreenTestWindow window(width, width * 5 / 8);
        std::unique_ptr<IVideoRender> renderer = openRenderer(window.handle(), 128, 96);
        renderer->RenderPicture(&bars.picture());
        EXPECT_TRUE(showsBars(window)) << width;
    }
}

TEST(DDrawRender, OddPictureAndWindowSizes) {
    ColourBarPicture bars(161, 91, 3, 1);
    for (const int windowWidth : {161, 101, 243}) {
        const int windowHeight = windowWidth * 91 / 161;
        OffscreenTestWindow window(windowWidth, windowHeight);
        std::unique_ptr<IVideoRender> renderer = openRenderer(window.handle(), 161, 91);
        renderer->RenderPicture(&bars.picture());
        EXPECT_TRUE(showsBars(window)) << windowWidth;
    }
}

TEST(DDrawRender, AnEmptyWindowDrawsNothingButKeepsThePicture) {
    OffscreenTestWindow window(0, 0);
    int32_t opened = -1;
    std::unique_ptr<IVideoRender> renderer = openRenderer(window.handle(), 64, 48, &opened);
    EXPECT_EQ(0, opened);
    ColourBarPicture bars(64, 48, 0, 0);
    EXPECT_EQ(0, renderer->RenderPicture(&bars.picture()));

    std::vector<uint8_t> planes[3] = {std::vector<uint8_t>(64 * 48), std::vector<uint8_t>(32 * 48),
                                      std::vector<uint8_t>(32 * 48)};
    VideoPicture copy{{planes[0].data(), planes[1].data(), planes[2].data()}, {0, 0, 0}, 0};
    ASSERT_EQ(0, renderer->GetLastPicture(&copy));
    EXPECT_EQ(64, copy.linesize[0]);
    EXPECT_EQ(32, copy.linesize[2]);
    EXPECT_EQ(0, std::memcmp(planes[0].data(), bars.picture().data[0], 64 * 48));
    EXPECT_EQ(0, std::memcmp(planes[2].data(), bars.picture().data[2], 32 * 24));

    // Once the window has a size, a repaint shows the kept picture.
    ASSERT_EQ(0, tavoResizeOffscreenWindow(window.handle(), 96, 72));
    EXPECT_EQ(0, renderer->RepaintLastPicture());
    EXPECT_TRUE(showsBars(window));
}

TEST(DDrawRender, RepaintShowsTheLastPictureAgain) {
    OffscreenTestWindow window(128, 96);
    std::unique_ptr<IVideoRender> renderer = openRenderer(window.handle(), 128, 96);
    EXPECT_EQ(0, renderer->RepaintLastPicture());  // nothing to show yet
    EXPECT_TRUE(window.isBlack());

    {
        // The renderer keeps its own copy: the decoder's planes may be gone.
        ColourBarPicture bars(128, 96);
        renderer->RenderPicture(&bars.picture());
    }
    ASSERT_EQ(0, tavoResizeOffscreenWindow(window.handle(), 200, 120));  // resizing clears
    EXPECT_TRUE(window.isBlack());
    EXPECT_EQ(0, renderer->RepaintLastPicture());
    EXPECT_TRUE(showsBars(window));
}

TEST(DDrawRender, LostAndBusySurfacesStillShowThePicture) {
    OffscreenTestWindow window(128, 96);
    std::unique_ptr<IVideoRender> renderer = openRenderer(window.handle(), 128, 96);
    ColourBarPicture bars(128, 96);

    DirectDrawSimulateModeChange();
    renderer->RenderPicture(&bars.picture());
    EXPECT_TRUE(showsBars(window));

    tavoResizeOffscreenWindow(window.handle(), 128, 96);  // black again
    DirectDrawSimulateBusyLocks(3);
    renderer->RenderPicture(&bars.picture());
    EXPECT_TRUE(showsBars(window));
}

TEST(DDrawRender, LastPictureCopiesHaveFourRowsToSpare) {
    // The copy's buffers are sized from the first picture's strides for
    // (height / 4) x 4 + 4 rows; a later picture whose planes would not fit
    // is refused, which shows how many rows there are.
    struct Case {
        uint32_t height;
        int32_t fitting;  // the largest luma stride that still fits
    };
    for (const Case& test : {Case{1080, 1003}, Case{1082, 1001}}) {
        IVideoRender* renderer = nullptr;
        ASSERT_TRUE(createDDrawRender(&renderer));
        std::unique_ptr<IVideoRender> owner(renderer);
        renderer->SetFormat(64, test.height, kPixelFormatYUV420);  // no window: draws nothing

        std::vector<uint8_t> source(static_cast<size_t>(test.fitting + 1) * test.height, 7);
        VideoPicture picture{{source.data(), source.data(), source.data()}, {1000, 500, 500}, 0};
        std::vector<uint8_t> target(source.size());
        VideoPicture copy{{target.data(), target.data(), target.data()}, {0, 0, 0}, 0};
        EXPECT_EQ(1, renderer->GetLastPicture(&copy));
        EXPECT_EQ(0, copy.linesize[0]);  // untouched

        renderer->RenderPicture(&picture);
        picture.linesize[0] = test.fitting;
        renderer->RenderPicture(&picture);
        ASSERT_EQ(0, renderer->GetLastPicture(&copy));
        EXPECT_EQ(test.fitting, copy.linesize[0]) << test.height;

        picture.linesize[0] = test.fitting + 1;
        renderer->RenderPicture(&picture);
        ASSERT_EQ(0, renderer->GetLastPicture(&copy));
        EXPECT_EQ(test.fitting, copy.linesize[0]) << test.height;
    }
}

TEST(DDrawRender, SnapshotsMayBeTakenWhileTheVideoLoopDraws) {
    OffscreenTestWindow window(64, 48);
    std::unique_ptr<IVideoRender> renderer = openRenderer(window.handle(), 64, 48);
    ColourBarPicture bars(64, 48, 0, 0);
    std::atomic<bool> drawing{true};
    std::thread videoLoop([&] {
        for (int frame = 0; frame < 50; ++frame) {
            renderer->RenderPicture(&bars.picture());
        }
        drawing = false;
    });
    std::vector<uint8_t> planes[3] = {std::vector<uint8_t>(64 * 48), std::vector<uint8_t>(32 * 48),
                                      std::vector<uint8_t>(32 * 48)};
    VideoPicture copy{{planes[0].data(), planes[1].data(), planes[2].data()}, {0, 0, 0}, 0};
    // Once drawing is over, one more snapshot must find the picture.
    bool last = false;
    bool matched = true;
    int32_t result = 1;
    while (!last) {
        last = !drawing;
        result = renderer->GetLastPicture(&copy);
        if (result == 0) {
            matched =
                matched && std::memcmp(planes[1].data(), bars.picture().data[1], 32 * 24) == 0;
        }
    }
    videoLoop.join();
    EXPECT_EQ(0, result);
    EXPECT_TRUE(matched);
}

// The same pictures in real X11 windows of a private X server.
namespace {

class X11Screen {
public:
    explicit X11Screen(const std::vector<std::string>& serverArguments = {})
        : m_server(640, 480, serverArguments),
          m_display(m_server.started() ? XOpenDisplay(m_server.display().c_str()) : nullptr) {}
    ~X11Screen() {
        if (m_display) {
            XCloseDisplay(m_display);
        }
    }
    bool ready() const { return m_display != nullptr; }

    Window createWindow(int x, int y, int width, int height, unsigned long background = 0) {
        Window window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), x, y, width,
                                            height, 0, 0, background);
        XMapWindow(m_display, window);
        XSync(m_display, False);
        return window;
    }
    static HWND handle(Window window) {
        return reinterpret_cast<HWND>(static_cast<uintptr_t>(window));
    }
    Display* display() const { return m_display; }

    // What the server shows in a rectangle of drawable, as RGBA.
    std::vector<uint8_t> read(Drawable drawable, int x, int y, int width, int height) {
        std::vector<uint8_t> rgba =
            X11TestWindow::readDrawable(m_display, drawable, x, y, width, height);
        rgba.resize(static_cast<size_t>(width) * height * 4);  // black when there was no image
        return rgba;
    }

private:
    XvfbServer m_server;
    Display* m_display;
};

void expectBarsFollowAMovingWindow(X11Screen& screen) {
    Window window = screen.createWindow(30, 40, 160, 120);
    int32_t opened = -1;
    std::unique_ptr<IVideoRender> renderer =
        openRenderer(X11Screen::handle(window), 128, 96, &opened);
    ASSERT_EQ(0, opened);
    ColourBarPicture bars(128, 96);
    renderer->RenderPicture(&bars.picture());
    EXPECT_TRUE(ColourBarPicture::fills(screen.read(window, 0, 0, 160, 120), 160, 120));

    // Drawn at the old screen position, the next picture would miss the window.
    XMoveWindow(screen.display(), window, 300, 200);
    XClearWindow(screen.display(), window);
    XSync(screen.display(), False);
    renderer->RenderPicture(&bars.picture());
    EXPECT_TRUE(ColourBarPicture::fills(screen.read(window, 0, 0, 160, 120), 160, 120));
}

}  // namespace

TEST(DDrawRenderX11, ColourBarsFollowAMovingWindow) {
    X11Screen screen;
    ASSERT_TRUE(screen.ready());
    expectBarsFollowAMovingWindow(screen);
}

TEST(DDrawRenderX11, ColourBarsWithoutSharedMemoryImages) {
    X11Screen screen({"-extension", "MIT-SHM"});
    ASSERT_TRUE(screen.ready());
    expectBarsFollowAMovingWindow(screen);
}

TEST(DDrawRenderX11, AWindowOnTopKeepsItsPixels) {
    X11Screen screen;
    ASSERT_TRUE(screen.ready());
    Window window = screen.createWindow(30, 40, 160, 120);
    std::unique_ptr<IVideoRender> renderer = openRenderer(X11Screen::handle(window), 128, 96);
    // Covers the right half of the video window: columns 80 to 159 of it.
    Window cover = screen.createWindow(110, 20, 200, 200, 0x00FF00);
    ColourBarPicture bars(128, 96);
    renderer->RenderPicture(&bars.picture());

    const std::vector<uint8_t> shown =
        screen.read(DefaultRootWindow(screen.display()), 30, 40, 160, 120);
    for (int y : {0, 60, 119}) {
        for (int bar = 0; bar < ColourBarPicture::kBars; ++bar) {
            const int x = (2 * bar + 1) * 160 / 16;
            const uint8_t* pixel = &shown[(static_cast<size_t>(y) * 160 + x) * 4];
            uint8_t expected[3] = {0, 0xFF, 0};
            if (x < 80) {
                ColourBarPicture::expectedRgb(bar, expected);
            }
            for (int channel = 0; channel < 3; ++channel) {
                EXPECT_NEAR(expected[channel], pixel[channel], 3) << x << "," << y;
            }
        }
    }
    XDestroyWindow(screen.display(), cover);
}

// Call order and arguments, seen through a DirectDraw double that writes
// down every call and answers as a test scripts it.
namespace {

struct Script {
    HWND window = nullptr;
    std::vector<std::string> calls;
    std::map<std::string, std::deque<HRESULT>> answers;  // DD_OK once a queue is empty
    DDSURFACEDESC2 primaryDesc{};
    DDSURFACEDESC2 offscreenDesc{};
    IDirectDrawSurface7* offscreen = nullptr;
    std::vector<uint8_t> memory;  // the offscreen surface's pixels
    LONG pitch = 0;
    bool lockGivesNoPointer = false;
    int liveObjects = 0;

    // Writes the call down and gives the next scripted answer for its name.
    HRESULT answer(const std::string& name, const std::string& arguments = "") {
        calls.push_back(arguments.empty() ? name : name + " " + arguments);
        std::deque<HRESULT>& queue = answers[name];
        if (queue.empty()) {
            return DD_OK;
        }
        const HRESULT result = queue.front();
        queue.pop_front();
        return result;
    }
    std::string windowText(HWND handle) const {
        std::ostringstream text;
        if (handle == window) {
            text << "window";
        } else {
            text << handle;
        }
        return text.str();
    }
    // The calls from the index-th on.
    std::vector<std::string> callsFrom(size_t index) const {
        return std::vector<std::string>(calls.begin() + std::min(index, calls.size()), calls.end());
    }
};

Script* g_script = nullptr;

std::string hex(DWORD value) {
    std::ostringstream text;
    text << "0x" << std::hex << value;
    return text.str();
}

std::string rectText(const RECT* rect) {
    if (!rect) {
        return "null";
    }
    std::ostringstream text;
    text << "(" << rect->left << "," << rect->top << "," << rect->right << "," << rect->bottom
         << ")";
    return text.str();
}

template <class Interface>
class Counted : public CRefCounted<Interface> {
public:
    explicit Counted(const std::string& name) : m_name(name) { ++g_script->liveObjects; }
    ~Counted() override { --g_script->liveObjects; }
    ULONG Release() override {
        g_script->calls.push_back(m_name + ".Release");
        return CRefCounted<Interface>::Release();
    }

protected:
    const std::string m_name;
};

class FakeClipper : public Counted<IDirectDrawClipper> {
public:
    FakeClipper() : Counted("clipper") {}
    HRESULT SetHWnd(DWORD flags, HWND window) override {
        return g_script->answer("clipper.SetHWnd", hex(flags) + " " + g_script->windowText(window));
    }
    HRESULT GetHWnd(HWND*) override { return g_script->answer("clipper.GetHWnd"); }
};

class FakeSurface : public Counted<IDirectDrawSurface7> {
public:
    explicit FakeSurface(const std::string& name) : Counted(name), m_clipper(nullptr) {}
    ~FakeSurface() override {
        if (m_clipper) {
            m_clipper->Release();
        }
    }
    HRESULT SetClipper(IDirectDrawClipper* clipper) override {
        const HRESULT result =
            g_script->answer(m_name + ".SetClipper", clipper ? "clipper" : "null");
        if (result == DD_OK && clipper) {
            clipper->AddRef();
            m_clipper = clipper;
        }
        return result;
    }
    HRESULT IsLost() override { return g_script->answer(m_name + ".IsLost"); }
    HRESULT Restore() override { return g_script->answer(m_name + ".Restore"); }
    HRESULT Lock(RECT* rect, DDSURFACEDESC2* description, DWORD flags, HANDLE event) override {
        const HRESULT result = g_script->answer(
            m_name + ".Lock", rectText(rect) + " " + hex(flags) + (event ? " event" : " null"));
        if (result == DD_OK) {
            *description = g_script->offscreenDesc;
            description->dwFlags |= DDSD_PITCH | DDSD_LPSURFACE;
            description->lPitch = g_script->pitch;
            description->lpSurface =
                g_script->lockGivesNoPointer ? nullptr : g_script->memory.data();
        }
        return result;
    }
    HRESULT Unlock(RECT* rect) override {
        return g_script->answer(m_name + ".Unlock", rectText(rect));
    }
    HRESULT Blt(RECT* destRect, IDirectDrawSurface7* source, RECT* sourceRect, DWORD flags,
                DDBLTFX* effects) override {
        return g_script->answer(
            m_name + ".Blt",
            rectText(destRect) + " " + (source == g_script->offscreen ? "offscreen" : "other") +
                " " + rectText(sourceRect) + " " + hex(flags) + (effects ? " effects" : " null"));
    }

private:
    IDirectDrawClipper* m_clipper;
};

class FakeDirectDraw : public Counted<IDirectDraw7> {
public:
    FakeDirectDraw() : Counted("ddraw") {}
    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
        return g_script->answer("ddraw.SetCooperativeLevel",
                                g_script->windowText(window) + " " + hex(flags));
    }
    HRESULT CreateSurface(DDSURFACEDESC2* description, IDirectDrawSurface7** surface,
                          IUnknown* outer) override {
        const bool primary = description->ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE;
        const std::string name = primary ? "primary" : "offscreen";
        (primary ? g_script->primaryDesc : g_script->offscreenDesc) = *description;
        const HRESULT result =
            g_script->answer("ddraw.CreateSurface(" + name + ")", outer ? "outer" : "null");
        if (result == DD_OK) {
            *surface = new FakeSurface(name);
            if (!primary) {
                g_script->offscreen = *surface;
            }
        }
        return result;
    }
    HRESULT CreateClipper(DWORD flags, IDirectDrawClipper** clipper, IUnknown* outer) override {
        const HRESULT result =
            g_script->answer("ddraw.CreateClipper", hex(flags) + (outer ? " outer" : " null"));
        if (result == DD_OK) {
            *clipper = new FakeClipper();
        }
        return result;
    }
};

HRESULT createFakeDirectDraw(GUID* guid, void** directDraw, REFIID iid, IUnknown* outer) {
    const HRESULT result = g_script->answer(
        "DirectDrawCreateEx", std::string(guid ? "guid" : "null") + " " +
                                  (iid == IID_IDirectDraw7 ? "IDirectDraw7" : "other") +
                                  (outer ? " outer" : " null"));
    if (result == DD_OK) {
        *directDraw = static_cast<IDirectDraw7*>(new FakeDirectDraw());
    }
    return result;
}

// A picture whose three planes hold distinct patterns, with chroma strides
// that are not half the luma stride.
class PatternPicture {
public:
    PatternPicture(int width, int height) {
        const int strides[3] = {width + 16, width / 2 + 5, width / 2 + 9};
        for (int plane = 0; plane < 3; ++plane) {
            const int rows = plane == 0 ? height : (height + 1) / 2;
            m_planes[plane].resize(static_cast<size_t>(strides[plane]) * rows);
            for (size_t i = 0; i < m_planes[plane].size(); ++i) {
                m_planes[plane][i] = static_cast<uint8_t>(i * (plane + 3) + plane * 50);
            }
            m_picture.data[plane] = m_planes[plane].data();
            m_picture.linesize[plane] = strides[plane];
        }
        m_picture.time = 0;
    }
    const VideoPicture& picture() const { return m_picture; }
    uint8_t at(int plane, int x, int y) const {
        return m_planes[plane][static_cast<size_t>(y) * m_picture.linesize[plane] + x];
    }

private:
    std::vector<uint8_t> m_planes[3];
    VideoPicture m_picture;
};

class DDrawRenderCalls : public ::testing::Test {
protected:
    static constexpr int kWidth = 64;
    static constexpr int kHeight = 48;
    static constexpr LONG kPitch = 96;

    void SetUp() override {
        g_script = &m_script;
        m_previous = DirectDrawRedirectCreateEx(createFakeDirectDraw);
        m_script.window = m_window.handle();
        m_script.pitch = kPitch;
        m_script.memory.assign(kPitch * kHeight + 2 * (kPitch / 2) * (kHeight / 2), 0xAB);
    }
    void TearDown() override {
        m_renderer.reset();
        EXPECT_EQ(0, m_script.liveObjects) << "DirectDraw objects left unreleased";
        DirectDrawRedirectCreateEx(m_previous);
        g_script = nullptr;
    }

    int32_t open(uint32_t pixelFormat = kPixelFormatYUV420) {
        IVideoRender* renderer = nullptr;
        EXPECT_TRUE(createDDrawRender(&renderer));
        m_renderer.reset(renderer);
        m_renderer->SetWindow(m_window.handle(), 0);
        return m_renderer->SetFormat(kWidth, kHeight, pixelFormat);
    }
    // The calls one RenderPicture makes.
    std::vector<std::string> render(const VideoPicture& picture) {
        const size_t before = m_script.calls.size();
        EXPECT_EQ(0, m_renderer->RenderPicture(&picture));
        return m_script.callsFrom(before);
    }
    bool keptAPicture() {
        std::vector<uint8_t> buffer(static_cast<size_t>(kWidth + 16) * kHeight);
        VideoPicture target{{buffer.data(), buffer.data(), buffer.data()}, {0, 0, 0}, 0};
        return m_renderer->GetLastPicture(&target) == 0;
    }

    Script m_script;
    OffscreenTestWindow m_window{100, 60};
    std::unique_ptr<IVideoRender> m_renderer;
    DirectDrawCreateExFunction m_previous = nullptr;
    const std::vector<std::string> kLockCycle = {"primary.IsLost", "offscreen.IsLost",
                                                 "offscreen.Lock null 0x21 null"};
    const std::string kUnlock = "offscreen.Unlock null";
    const std::string kBlt = "primary.Blt (0,0,100,60) offscreen (0,0,64,48) 0x1000000 null";
};

std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const std::vector<std::string>& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

}  // namespace

TEST_F(DDrawRenderCalls, OpenAndCloseCallDirectDrawInOrder) {
    EXPECT_EQ(0, open());
    const std::vector<std::string> opening = {
        "DirectDrawCreateEx null IDirectDraw7 null",
        "ddraw.SetCooperativeLevel window 0xc",
        "ddraw.CreateSurface(primary) null",
        "ddraw.CreateClipper 0x0 null",
        "clipper.SetHWnd 0x0 window",
        "primary.SetClipper clipper",
        "clipper.Release",
        "ddraw.CreateSurface(offscreen) null",
    };
    EXPECT_EQ(opening, m_script.calls);

    DDSURFACEDESC2 primary{};
    primary.dwSize = 124;
    primary.dwFlags = 0x1;
    primary.ddsCaps.dwCaps = 0x200;
    EXPECT_EQ(0, std::memcmp(&primary, &m_script.primaryDesc, sizeof primary));
    DDSURFACEDESC2 offscreen{};
    offscreen.dwSize = 124;
    offscreen.dwFlags = 0x1007;
    offscreen.dwHeight = kHeight;
    offscreen.dwWidth = kWidth;
    offscreen.ddpfPixelFormat.dwSize = 32;
    offscreen.ddpfPixelFormat.dwFlags = 0x204;
    offscreen.ddpfPixelFormat.dwFourCC = 0x32315659;
    offscreen.ddpfPixelFormat.dwYUVBitCount = 8;
    offscreen.ddsCaps.dwCaps = 0x40;
    EXPECT_EQ(0, std::memcmp(&offscreen, &m_script.offscreenDesc, sizeof offscreen));

    m_renderer.reset();
    const std::vector<std::string> closing = {
        "primary.Release", "clipper.Release",  // the surface lets go of its clipper
        "offscreen.Release", "ddraw.SetCooperativeLevel window 0x8", "ddraw.Release"};
    EXPECT_EQ(closing, m_script.callsFrom(opening.size()));
}

TEST_F(DDrawRenderCalls, OpenStopsAtTheFirstFailureAndCloseReleasesWhatWasMade) {
    const std::vector<std::string> steps = {"DirectDrawCreateEx",
                                            "ddraw.SetCooperativeLevel",
                                            "ddraw.CreateSurface(primary)",
                                            "ddraw.CreateClipper",
                                            "clipper.SetHWnd",
                                            "primary.SetClipper",
                                            "ddraw.CreateSurface(offscreen)"};
    for (const std::string& failing : steps) {
        m_script.calls.clear();
        m_script.answers.clear();
        m_script.answers[failing] = {DDERR_GENERIC};
        EXPECT_EQ(-1, open()) << failing;
        std::vector<std::string> names;
        for (const std::string& call : m_script.calls) {
            names.push_back(call.substr(0, call.find(' ')));
        }
        // The renderer drops its own clipper reference when binding it failed.
        const bool clipperStep = failing == "clipper.SetHWnd" || failing == "primary.SetClipper";
        ASSERT_FALSE(names.empty());
        EXPECT_EQ(clipperStep ? "clipper.Release" : failing, names.back()) << failing;
        EXPECT_EQ(failing, names[names.size() - (clipperStep ? 2 : 1)]);

        PatternPicture picture(kWidth, kHeight);
        EXPECT_TRUE(render(picture.picture()).empty()) << failing;  // draws nothing
        EXPECT_TRUE(keptAPicture()) << failing;
        m_renderer.reset();
        EXPECT_EQ(0, m_script.liveObjects) << failing;
    }
}

TEST_F(DDrawRenderCalls, APixelFormatOtherThan3FailsAfterTheClipper) {
    EXPECT_EQ(-1, open(7));
    EXPECT_EQ("clipper.Release", m_script.calls.back());
    for (const std::string& call : m_script.calls) {
        EXPECT_NE("ddraw.CreateSurface(offscreen) null", call);
    }
    PatternPicture picture(kWidth, kHeight);
    EXPECT_TRUE(render(picture.picture()).empty());
    EXPECT_TRUE(keptAPicture());
}

TEST_F(DDrawRenderCalls, DrawStepCopiesThePlanesAndBlitsOntoTheClientArea) {
    ASSERT_EQ(0, open());
    PatternPicture picture(kWidth, kHeight);
    EXPECT_EQ(joined({kLockCycle, {kUnlock, kBlt}}), render(picture.picture()));

    // Luma rows a pitch apart, then V and U rows half a pitch apart; bytes
    // beyond the width stay as they were.
    const uint8_t* luma = m_script.memory.data();
    const uint8_t* v = luma + kPitch * kHeight;
    const uint8_t* u = v + (kPitch / 2) * (kHeight / 2);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            ASSERT_EQ(picture.at(0, x, y), luma[y * kPitch + x]) << x << "," << y;
        }
        EXPECT_EQ(0xAB, luma[y * kPitch + kWidth]);
    }
    for (int y = 0; y < kHeight / 2; ++y) {
        for (int x = 0; x < kWidth / 2; ++x) {
            ASSERT_EQ(picture.at(2, x, y), v[y * kPitch / 2 + x]) << x << "," << y;
            ASSERT_EQ(picture.at(1, x, y), u[y * kPitch / 2 + x]) << x << "," << y;
        }
        EXPECT_EQ(0xAB, u[y * kPitch / 2 + kWidth / 2]);
    }
}

TEST_F(DDrawRenderCalls, LostSurfacesAreRestoredBeforeTheLock) {
    ASSERT_EQ(0, open());
    PatternPicture picture(kWidth, kHeight);

    m_script.answers["primary.IsLost"] = {DDERR_SURFACELOST};
    m_script.answers["offscreen.IsLost"] = {DDERR_SURFACELOST};
    EXPECT_EQ((std::vector<std::string>{"primary.IsLost", "primary.Restore", "offscreen.IsLost",
                                        "offscreen.Restore", "offscreen.Lock null 0x21 null",
                                        kUnlock, kBlt}),
              render(picture.picture()));

    // A lock that finds the surface lost restores it and tries once more.
    m_script.answers["offscreen.Lock"] = {DDERR_SURFACELOST};
    EXPECT_EQ(
        joined({kLockCycle, {"offscreen.Restore", "offscreen.Lock null 0x21 null", kUnlock, kBlt}}),
        render(picture.picture()));

    m_script.answers["offscreen.Lock"] = {DDERR_SURFACELOST, DDERR_SURFACELOST};
    EXPECT_EQ(joined({kLockCycle, {"offscreen.Restore", "offscreen.Lock null 0x21 null"}}),
              render(picture.picture()));

    // A failed blit is not retried; the next step starts over.
    m_script.answers["primary.Blt"] = {DDERR_SURFACELOST};
    EXPECT_EQ(joined({kLockCycle, {kUnlock, kBlt}}), render(picture.picture()));
    EXPECT_EQ(joined({kLockCycle, {kUnlock, kBlt}}), render(picture.picture()));
}

TEST_F(DDrawRenderCalls, ABusySurfaceIsWaitedForAndOtherLockFailuresDropTheFrame) {
    ASSERT_EQ(0, open());
    PatternPicture picture(kWidth, kHeight);

    m_script.answers["offscreen.Lock"] = {DDERR_WASSTILLDRAWING, DDERR_WASSTILLDRAWING,
                                          DDERR_WASSTILLDRAWING};
    EXPECT_EQ(joined({kLockCycle, kLockCycle, kLockCycle, kLockCycle, {kUnlock, kBlt}}),
              render(picture.picture()));

    m_script.answers["offscreen.Lock"] = {DDERR_WASSTILLDRAWING, DDERR_GENERIC};
    m_script.memory.assign(m_script.memory.size(), 0xAB);
    EXPECT_EQ(joined({kLockCycle, kLockCycle}), render(picture.picture()));
    EXPECT_EQ(0xAB, m_script.memory[0]);  // nothing copied
    EXPECT_TRUE(keptAPicture());
}

TEST_F(DDrawRenderCalls, ALockWithoutPixelsSkipsTheCopyButStillBlits) {
    ASSERT_EQ(0, open());
    m_script.lockGivesNoPointer = true;
    PatternPicture picture(kWidth, kHeight);
    EXPECT_EQ(joined({kLockCycle, {kUnlock, kBlt}}), render(picture.picture()));
}

TEST_F(DDrawRenderCalls, SetWindowMovesTheBlitButNotTheClipper) {
    ASSERT_EQ(0, open());
    OffscreenTestWindow other(40, 30);
    m_renderer->SetWindow(other.handle(), 0);
    PatternPicture picture(kWidth, kHeight);
    EXPECT_EQ(joined({kLockCycle,
                      {kUnlock, "primary.Blt (0,0,40,30) offscreen (0,0,64,48) 0x1000000 null"}}),
              render(picture.picture()));
    EXPECT_EQ(0, m_renderer->RepaintLastPicture());
    EXPECT_EQ("primary.Blt (0,0,40,30) offscreen (0,0,64,48) 0x1000000 null",
              m_script.calls.back());
    m_renderer->SetWindow(m_window.handle(), 0);  // handed back before the other one goes
}
