#pragma once

#include <EGL/egl.h>
#include <GLES3/gl3.h>
// After gl3.h: extension prototypes and types.
#include <GLES2/gl2ext.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>

#include "Common/rivo_CMutex.h"
#include "Platform/Win32/Win32Types.h"
#include "Platform/X11/CX11Connection.h"

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
// Threads: any thread may use the context inside a Scope, which holds the
// context's lock and makes the context current on that thread for its
// duration, putting back what was current before. The lock guards the
// context's state and that of the device and resources made on it; it is
// recursive, as a resource released under it takes it again to delete its
// GL objects. The outermost scope on a context of the X11 platform also holds
// the X lock, as every use of that display must; the analysis cannot follow a
// lock taken only sometimes, so code that needs it there says so with
// CX11Connection::mutex().assertHeld().
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

    class SCOPED_CAPABILITY Scope {
    public:
        explicit Scope(CGlesContext& context) ACQUIRE(context.m_mutex);
        ~Scope() RELEASE();

        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

        // False when the context could not be made current (it was lost).
        bool current() const { return m_current; }

    private:
        CGlesContext& m_context;
        bool m_current;
        bool m_tookX11Lock;  // the outermost scope of an X11 context
    };

    // The lock a Scope holds, for calls that touch only shared state (no GL).
    RIVO_Common_Player::rivo_CMutex& mutex() RETURN_CAPABILITY(m_mutex) { return m_mutex; }

    bool isX11() const { return m_x11; }
    int esMajor() EXCLUDES(m_mutex);
    int maxTextureSize() EXCLUDES(m_mutex);

    // The following run inside a Scope.

    // A new texture of the given size with GL_LUMINANCE or GL_RGBA texels
    // (contents undefined), or 0.
    GLuint newTexture_Locked(GLenum format, int width, int height) REQUIRES(m_mutex);
    // Writes height rows of width luminance bytes, pitch bytes apart, into texture.
    void uploadLuminance_Locked(GLuint texture, int width, int height, const uint8_t* data,
                                int pitch) REQUIRES(m_mutex);
    // Enables the vertex attribute arrays whose bits are set in mask (bit i
    // for attribute i) and disables the others.
    void enableVertexAttributes_Locked(uint32_t mask) REQUIRES(m_mutex);
    // The context's drawing helpers, made on first use; null when its
    // programs do not compile.
    CGlesBlitter* blitter_Locked() REQUIRES(m_mutex);
    // The EGL surface of an X11 window, made on first use and kept until the
    // context goes; EGL_NO_SURFACE when it cannot be made. Call inside
    // CX11Connection::checked_Locked.
    EGLSurface windowSurface_Locked(unsigned long xid) REQUIRES(m_mutex, CX11Connection::mutex());
    // Makes surface the draw and read surface of the current context
    // (EGL_NO_SURFACE for none). Call inside CX11Connection::checked_Locked.
    bool bindSurface_Locked(EGLSurface surface) REQUIRES(m_mutex, CX11Connection::mutex());
    bool swapBuffers_Locked(EGLSurface surface) REQUIRES(m_mutex, CX11Connection::mutex());
    // The size of a window surface as the window has it now. Call inside
    // CX11Connection::checked_Locked.
    bool surfaceSize_Locked(EGLSurface surface, int* width, int* height)
        REQUIRES(m_mutex, CX11Connection::mutex());

    // True when the GL context itself was lost (a GPU reset) and not yet recreated.
    bool contextLost_Locked() REQUIRES(m_mutex);
    // Replaces a lost GL context with a new one; every GL object made before
    // is gone. generation_Locked() counts the replacements, so that objects
    // can tell. Called under the lock outside a Scope; the scopes it opens
    // take the lock again.
    bool recreate_Locked() REQUIRES(m_mutex);
    unsigned generation_Locked() const REQUIRES(m_mutex) { return m_generation; }

    // Where the device on this context stands after a loss.
    enum class LossState {
        Usable,        // not lost
        Lost,          // lost, and not yet ready to be reset
        ReadyToReset,  // lost, and a reset may now bring it back
    };
    LossState lossState() EXCLUDES(m_mutex);
    // Marks the device lost; lossState() answers Lost lostAnswers times (or
    // while a real GPU reset lasts), then ReadyToReset.
    void markLost_Locked(unsigned lostAnswers) REQUIRES(m_mutex);
    bool isLost_Locked() const REQUIRES(m_mutex) { return m_lost; }
    void clearLost_Locked() REQUIRES(m_mutex);

    // Default-pool resources alive; Reset refuses to run while there are any.
    std::atomic<int>& defaultPoolResources() { return m_defaultPoolResources; }

private:
    CGlesContext(EGLDisplay display, EGLConfig config, bool x11);

    // Makes the EGL context and reads its limits; false when it cannot be
    // made current. Takes the lock itself.
    bool createContext();
    // Destroys the EGL context (under the X lock on the X11 platform).
    void releaseContext_Locked() REQUIRES(m_mutex);
    // Drops the blitter, whose GL objects went with a lost context.
    void forgetBlitter();
    // True while the GPU reset that lost the context is still in progress.
    bool resetInProgress();

    const EGLDisplay m_display;
    const EGLConfig m_config;
    const bool m_x11;

    RIVO_Common_Player::rivo_CMutex m_mutex;
    EGLContext m_context GUARDED_BY(m_mutex);
    int m_esMajor GUARDED_BY(m_mutex);
    int m_maxTextureSize GUARDED_BY(m_mutex);
    bool m_rowLength GUARDED_BY(m_mutex);  // GL_UNPACK_ROW_LENGTH is available
    bool m_robust GUARDED_BY(m_mutex);     // the context reports GPU resets
    PFNGLGETGRAPHICSRESETSTATUSEXTPROC m_resetStatus GUARDED_BY(m_mutex);
    uint32_t m_enabledAttributes GUARDED_BY(m_mutex);  // mask
    std::unique_ptr<CGlesBlitter> m_blitter GUARDED_BY(m_mutex);
    bool m_blitterFailed GUARDED_BY(m_mutex);
    unsigned m_generation GUARDED_BY(m_mutex);
    std::map<unsigned long, EGLSurface> m_windowSurfaces GUARDED_BY(m_mutex);

    // Scope bookkeeping: depth, and what was current before.
    int m_depth GUARDED_BY(m_mutex);
    bool m_current GUARDED_BY(m_mutex);
    bool m_contextLost GUARDED_BY(m_mutex);
    EGLenum m_previousApi GUARDED_BY(m_mutex);
    EGLDisplay m_previousDisplay GUARDED_BY(m_mutex);
    EGLSurface m_previousDraw GUARDED_BY(m_mutex);
    EGLSurface m_previousRead GUARDED_BY(m_mutex);
    EGLContext m_previousContext GUARDED_BY(m_mutex);

    // Device loss.
    bool m_lost GUARDED_BY(m_mutex);
    unsigned m_lostAnswers GUARDED_BY(m_mutex);

    std::atomic<int> m_defaultPoolResources;
};
