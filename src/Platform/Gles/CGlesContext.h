#pragma once

#include <EGL/egl.h>
#include <GLES3/gl3.h>
// After gl3.h: extension prototypes and types.
#include <GLES2/gl2ext.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "Platform/Win32/Win32Types.h"

class CGlesBlitter;

// The OpenGL ES context behind one Direct3D device, shared by the device and
// every resource made from it, together with the device state they share: the
// lost state and the count of default-pool resources that Reset waits for.
//
// A context for an X11 window lives on the EGL X11 platform over the
// library's own display (with a configuration that matches the window's
// visual); a context for an offscreen window lives on Mesa's surfaceless
// platform. EGL displays are initialised on first use and kept for the life
// of the process, like the X connection.
//
// Threads: any thread may use the context inside a Scope, which makes it
// current on that thread for its duration and puts back what was current
// before. Scopes on one context are serialised by its mutex; a context on the
// X11 platform also holds the X connection's lock for the scope, as every use
// of that display must.
class CGlesContext {
public:
    // A context able to draw for window, or null when EGL cannot provide one
    // or the window is neither an offscreen nor an X11 window.
    static std::shared_ptr<CGlesContext> create(HWND window);
    // The OpenGL ES major version and largest texture size a headless context
    // offers on this machine (found once); false when there is none.
    static bool probe(int* esMajor, int* maxTextureSize);

    ~CGlesContext();

    CGlesContext(const CGlesContext&) = delete;
    CGlesContext& operator=(const CGlesContext&) = delete;

    class Scope {
    public:
        explicit Scope(CGlesContext& context);
        ~Scope();

        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

        // False when the context could not be made current (it was lost).
        bool current() const { return m_context.m_current; }

    private:
        CGlesContext& m_context;
    };

    // Serialises calls that only touch the shared state (no GL).
    std::recursive_mutex& mutex() { return m_mutex; }

    bool isX11() const { return m_x11; }
    int esMajor() const { return m_esMajor; }
    int maxTextureSize() const { return m_maxTextureSize; }

    // The following run inside a Scope.

    // A new texture of the given size with GL_LUMINANCE or GL_RGBA texels
    // (contents undefined), or 0.
    GLuint newTexture(GLenum format, int width, int height);
    // Writes height rows of width luminance bytes, pitch bytes apart, into texture.
    void uploadLuminance(GLuint texture, int width, int height, const uint8_t* data, int pitch);
    // Enables the vertex attribute arrays whose bits are set in mask (bit i
    // for attribute i) and disables the others.
    void enableVertexAttributes(uint32_t mask);
    // The context's drawing helpers, made on first use; null when its
    // programs do not compile.
    CGlesBlitter* blitter();
    // The EGL surface of an X11 window, made on first use and kept until the
    // context goes; EGL_NO_SURFACE when it cannot be made. Call inside
    // CX11Connection::checked_Locked.
    EGLSurface windowSurface(unsigned long xid);
    // Makes surface the draw and read surface of the current context
    // (EGL_NO_SURFACE for none). Call inside CX11Connection::checked_Locked.
    bool bindSurface(EGLSurface surface);
    bool swapBuffers(EGLSurface surface);

    // True when the GL context itself was lost (a GPU reset) and not yet recreated.
    bool contextLost();
    // True while the GPU reset that lost the context is still in progress.
    bool resetInProgress();
    // Replaces a lost GL context with a new one; every GL object made before
    // is gone. generation() counts the replacements, so that objects can tell.
    bool recreate();
    unsigned generation() const { return m_generation; }

    // Where the device on this context stands after a loss.
    enum class LossState {
        Usable,        // not lost
        Lost,          // lost, and not yet ready to be reset
        ReadyToReset,  // lost, and a reset may now bring it back
    };
    LossState lossState();
    // Marks the device lost; lossState() answers Lost lostAnswers times (or
    // while a real GPU reset lasts), then ReadyToReset.
    void markLost(unsigned lostAnswers);
    bool isLost() const { return m_lost; }
    void clearLost();

    // Default-pool resources alive; Reset refuses to run while there are any.
    std::atomic<int>& defaultPoolResources() { return m_defaultPoolResources; }

private:
    CGlesContext(EGLDisplay display, EGLConfig config, bool x11);

    bool createContext();
    void destroyContext();
    // Destroys the EGL context (under the X lock on the X11 platform).
    void releaseContext();

    const EGLDisplay m_display;
    const EGLConfig m_config;
    const bool m_x11;

    std::recursive_mutex m_mutex;
    // Guarded by m_mutex from here on.
    EGLContext m_context;
    int m_esMajor;
    int m_maxTextureSize;
    bool m_rowLength;  // GL_UNPACK_ROW_LENGTH is available
    bool m_robust;     // the context reports GPU resets
    PFNGLGETGRAPHICSRESETSTATUSEXTPROC m_resetStatus;
    uint32_t m_enabledAttributes;  // mask
    std::unique_ptr<CGlesBlitter> m_blitter;
    bool m_blitterFailed;
    unsigned m_generation;
    std::map<unsigned long, EGLSurface> m_windowSurfaces;

    // Scope bookkeeping: depth, the X lock, and what was current before.
    int m_depth;
    bool m_current;
    bool m_contextLost;
    std::unique_lock<std::mutex> m_x11Lock;
    EGLenum m_previousApi;
    EGLDisplay m_previousDisplay;
    EGLSurface m_previousDraw;
    EGLSurface m_previousRead;
    EGLContext m_previousContext;

    // Device loss.
    bool m_lost;
    unsigned m_lostAnswers;

    std::atomic<int> m_defaultPoolResources;
};
