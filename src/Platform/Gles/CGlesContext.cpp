#include "Platform/Gles/CGlesContext.h"

#include <EGL/eglext.h>
#include <X11/Xlib.h>

#include <cstring>
#include <string>

#include "Common/CAutoLock.h"
#include "Common/CScopedLock.h"
#include "Platform/Gles/CGlesBlitter.h"
#include "Platform/X11/COffscreenWindow.h"
#include "Platform/X11/CX11Connection.h"
#include "Platform/X11/Win32Window.h"

using RIVO_Common_Player::CAutoLock;
using RIVO_Common_Player::CLock;
using RIVO_Common_Player::CScopedLock;

namespace {

// The EGL displays, initialised on first use and kept for the process.
CLock g_displayLock;
EGLDisplay g_surfacelessDisplay GUARDED_BY(g_displayLock) = EGL_NO_DISPLAY;
bool g_surfacelessTried GUARDED_BY(g_displayLock) = false;
EGLDisplay g_x11Display GUARDED_BY(g_displayLock) = EGL_NO_DISPLAY;
bool g_x11Tried GUARDED_BY(g_displayLock) = false;

// What probe() found, once.
CLock g_probeLock;
bool g_probed GUARDED_BY(g_probeLock) = false;
int g_probedMajor GUARDED_BY(g_probeLock) = 0;
int g_probedTextureSize GUARDED_BY(g_probeLock) = 0;

// Mesa's surfaceless platform: rendering into framebuffer objects only.
EGLDisplay surfacelessDisplay() {
    CScopedLock guard(g_displayLock);
    if (!g_surfacelessTried) {
        g_surfacelessTried = true;
        g_surfacelessDisplay = eglGetPlatformDisplay(
            EGL_PLATFORM_SURFACELESS_MESA, reinterpret_cast<void*>(EGL_DEFAULT_DISPLAY), nullptr);
        if (g_surfacelessDisplay != EGL_NO_DISPLAY &&
            !eglInitialize(g_surfacelessDisplay, nullptr, nullptr)) {
            g_surfacelessDisplay = EGL_NO_DISPLAY;
        }
    }
    return g_surfacelessDisplay;
}

// The X11 platform over the library's display.
EGLDisplay x11Display_Locked(Display* x11) REQUIRES(CX11Connection::mutex()) {
    CScopedLock guard(g_displayLock);
    if (!g_x11Tried) {
        g_x11Tried = true;
        const EGLAttrib attributes[] = {EGL_PLATFORM_X11_SCREEN_KHR, DefaultScreen(x11), EGL_NONE};
        g_x11Display = eglGetPlatformDisplay(EGL_PLATFORM_X11_KHR, x11, attributes);
        if (g_x11Display != EGL_NO_DISPLAY && !eglInitialize(g_x11Display, nullptr, nullptr)) {
            g_x11Display = EGL_NO_DISPLAY;
        }
    }
    return g_x11Display;
}

// The window configuration whose native visual is the window's own, so that
// its surface can be made.
bool x11Config_Locked(CX11Connection& x11, EGLDisplay display, unsigned long xid, EGLConfig* config)
    REQUIRES(CX11Connection::mutex()) {
    VisualID visual = 0;
    Display* const x11Display = x11.display_Locked();
    if (!x11.checked_Locked([&] {
            XWindowAttributes attributes{};
            if (!XGetWindowAttributes(x11Display, xid, &attributes)) {
                return false;
            }
            visual = XVisualIDFromVisual(attributes.visual);
            return true;
        })) {
        return false;
    }
    const EGLint wanted[] = {EGL_SURFACE_TYPE,
                             EGL_WINDOW_BIT,
                             EGL_RED_SIZE,
                             8,
                             EGL_GREEN_SIZE,
                             8,
                             EGL_BLUE_SIZE,
                             8,
                             EGL_RENDERABLE_TYPE,
                             EGL_OPENGL_ES2_BIT,
                             EGL_NONE};
    EGLint count = 0;
    if (!eglChooseConfig(display, wanted, nullptr, 0, &count) || count <= 0) {
        return false;
    }
    std::unique_ptr<EGLConfig[]> configs(new EGLConfig[count]);
    eglChooseConfig(display, wanted, configs.get(), count, &count);
    for (EGLint i = 0; i < count; ++i) {
        EGLint id = 0;
        if (eglGetConfigAttrib(display, configs[i], EGL_NATIVE_VISUAL_ID, &id) &&
            static_cast<VisualID>(id) == visual) {
            *config = configs[i];
            return true;
        }
    }
    return false;
}

// A new OpenGL ES context on display: the newest OpenGL ES first, one that
// reports GPU resets where EGL offers one (robust tells). EGL_NO_CONTEXT
// when none can be made.
EGLContext newEglContext(EGLDisplay display, EGLConfig config, bool* robust) {
    const EGLenum previousApi = eglQueryAPI();
    eglBindAPI(EGL_OPENGL_ES_API);
    EGLContext context = EGL_NO_CONTEXT;
    for (const EGLint major : {3, 2}) {
        for (const bool resets : {true, false}) {
            const EGLint attributes[] = {
                EGL_CONTEXT_MAJOR_VERSION, major,
                resets ? EGL_CONTEXT_OPENGL_RESET_NOTIFICATION_STRATEGY_EXT : EGL_NONE,
                EGL_LOSE_CONTEXT_ON_RESET_EXT, EGL_NONE};
            context = eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
            if (context != EGL_NO_CONTEXT) {
                *robust = resets;
                break;
            }
        }
        if (context != EGL_NO_CONTEXT) {
            break;
        }
    }
    eglBindAPI(previousApi);
    return context;
}

bool hasExtension(const char* extensions, const char* name) {
    if (!extensions) {
        return false;
    }
    const size_t length = std::strlen(name);
    for (const char* at = std::strstr(extensions, name); at; at = std::strstr(at + 1, name)) {
        if ((at == extensions || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0')) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::shared_ptr<CGlesContext> CGlesContext::create(HWND window) {
    std::shared_ptr<CGlesContext> context;
    unsigned long xid = 0;
    if (COffscreenWindow::fromHandle(window)) {
        const EGLDisplay display = surfacelessDisplay();
        if (display == EGL_NO_DISPLAY) {
            return nullptr;
        }
        context.reset(new CGlesContext(display, EGL_NO_CONFIG_KHR, false));
    } else if (x11WindowId(window, &xid)) {
        CX11Connection& x11 = CX11Connection::instance();
        CScopedLock lock(CX11Connection::mutex());
        if (!x11.display_Locked()) {
            return nullptr;
        }
        const EGLDisplay display = x11Display_Locked(x11.display_Locked());
        EGLConfig config = nullptr;
        if (display == EGL_NO_DISPLAY || !x11Config_Locked(x11, display, xid, &config)) {
            return nullptr;
        }
        context.reset(new CGlesContext(display, config, true));
    } else {
        return nullptr;
    }
    return context->createContext() ? context : nullptr;
}

bool CGlesContext::probe(int* esMajor, int* maxTextureSize) {
    CScopedLock guard(g_probeLock);
    if (!g_probed) {
        g_probed = true;
        const EGLDisplay display = surfacelessDisplay();
        if (display != EGL_NO_DISPLAY) {
            CGlesContext context(display, EGL_NO_CONFIG_KHR, false);
            if (context.createContext()) {
                g_probedMajor = context.esMajor();
                g_probedTextureSize = context.maxTextureSize();
            }
        }
    }
    *esMajor = g_probedMajor;
    *maxTextureSize = g_probedTextureSize;
    return g_probedMajor > 0;
}

CGlesContext::CGlesContext(EGLDisplay display, EGLConfig config, bool x11)
    : m_display(display),
      m_config(config),
      m_x11(x11),
      m_context(EGL_NO_CONTEXT),
      m_esMajor(0),
      m_maxTextureSize(0),
      m_rowLength(false),
      m_robust(false),
      m_resetStatus(nullptr),
      m_enabledAttributes(0),
      m_blitterFailed(false),
      m_generation(0),
      m_depth(0),
      m_current(false),
      m_contextLost(false),
      m_previousApi(EGL_NONE),
      m_previousDisplay(EGL_NO_DISPLAY),
      m_previousDraw(EGL_NO_SURFACE),
      m_previousRead(EGL_NO_SURFACE),
      m_previousContext(EGL_NO_CONTEXT),
      m_lost(false),
      m_lostAnswers(0),
      m_defaultPoolResources(0) {}

CGlesContext::~CGlesContext() {
    if (m_context == EGL_NO_CONTEXT) {
        return;
    }
    {
        Scope scope(*this);
        m_blitter.reset();
        if (!m_windowSurfaces.empty()) {
            // Only a context of the X11 platform has window surfaces, and
            // its scope holds the X lock.
            CX11Connection::mutex().assertHeld();
            CX11Connection::instance().checked_Locked([&] {
                // The analysis does not carry the scope into the request.
                m_mutex.assertHeld();
                for (const auto& entry : m_windowSurfaces) {
                    eglDestroySurface(m_display, entry.second);
                }
                return true;
            });
            m_windowSurfaces.clear();
        }
    }
    releaseContext_Locked();
}

int CGlesContext::esMajor() {
    CAutoLock guard(&m_mutex);
    return m_esMajor;
}

int CGlesContext::maxTextureSize() {
    CAutoLock guard(&m_mutex);
    return m_maxTextureSize;
}

bool CGlesContext::createContext() {
    {
        CAutoLock guard(&m_mutex);
        bool robust = false;
        if (m_x11) {
            CScopedLock x11Lock(CX11Connection::mutex());
            m_context = newEglContext(m_display, m_config, &robust);
        } else {
            m_context = newEglContext(m_display, m_config, &robust);
        }
        m_robust = robust;
        if (m_context == EGL_NO_CONTEXT) {
            return false;
        }
    }
    Scope scope(*this);
    if (!scope.current()) {
        return false;
    }
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    // "OpenGL ES N.M ..."
    m_esMajor = version && std::strncmp(version, "OpenGL ES ", 10) == 0 ? version[10] - '0' : 2;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &m_maxTextureSize);
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    m_rowLength = m_esMajor >= 3 || hasExtension(extensions, "GL_EXT_unpack_subimage");
    if (m_robust && hasExtension(extensions, "GL_EXT_robustness")) {
        m_resetStatus = reinterpret_cast<PFNGLGETGRAPHICSRESETSTATUSEXTPROC>(
            eglGetProcAddress("glGetGraphicsResetStatusEXT"));
    }
    m_enabledAttributes = 0;
    return true;
}

void CGlesContext::releaseContext_Locked() {
    if (m_x11) {
        CScopedLock x11Lock(CX11Connection::mutex());
        eglDestroyContext(m_display, m_context);
    } else {
        eglDestroyContext(m_display, m_context);
    }
    m_context = EGL_NO_CONTEXT;
}

// The outermost scope of an X11 context takes the X lock and the last one
// gives it back, which the analysis cannot follow.
CGlesContext::Scope::Scope(CGlesContext& context) NO_THREAD_SAFETY_ANALYSIS : m_context(context),
                                                                              m_current(false),
                                                                              m_tookX11Lock(false) {
    context.m_mutex.lock();
    if (context.m_depth++ > 0) {
        m_current = context.m_current;
        return;
    }
    if (context.m_x11) {
        CX11Connection::mutex().lock();
        m_tookX11Lock = true;
    }
    context.m_previousApi = eglQueryAPI();
    context.m_previousDisplay = eglGetCurrentDisplay();
    context.m_previousContext = eglGetCurrentContext();
    context.m_previousDraw = eglGetCurrentSurface(EGL_DRAW);
    context.m_previousRead = eglGetCurrentSurface(EGL_READ);
    eglBindAPI(EGL_OPENGL_ES_API);
    context.m_current =
        context.m_context != EGL_NO_CONTEXT &&
        eglMakeCurrent(context.m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, context.m_context);
    if (!context.m_current && eglGetError() == EGL_CONTEXT_LOST) {
        context.m_contextLost = true;
    }
    m_current = context.m_current;
}

CGlesContext::Scope::~Scope() NO_THREAD_SAFETY_ANALYSIS {
    if (--m_context.m_depth == 0) {
        if (m_context.m_previousContext != EGL_NO_CONTEXT) {
            eglMakeCurrent(m_context.m_previousDisplay, m_context.m_previousDraw,
                           m_context.m_previousRead, m_context.m_previousContext);
        } else {
            eglMakeCurrent(m_context.m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        }
        eglBindAPI(m_context.m_previousApi);
        m_context.m_current = false;
        if (m_tookX11Lock) {
            CX11Connection::mutex().unlock();
        }
    }
    m_context.m_mutex.unlock();
}

GLuint CGlesContext::newTexture_Locked(GLenum format, int width, int height) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, format, width, height, 0, format, GL_UNSIGNED_BYTE, nullptr);
    if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &texture);
        return 0;
    }
    return texture;
}

void CGlesContext::uploadLuminance_Locked(GLuint texture, int width, int height,
                                          const uint8_t* data, int pitch) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (pitch == width || m_rowLength) {
        glPixelStorei(GL_UNPACK_ROW_LENGTH, pitch == width ? 0 : pitch);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_LUMINANCE, GL_UNSIGNED_BYTE,
                        data);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        return;
    }
    for (int row = 0; row < height; ++row) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, row, width, 1, GL_LUMINANCE, GL_UNSIGNED_BYTE,
                        data + static_cast<size_t>(row) * static_cast<size_t>(pitch));
    }
}

void CGlesContext::enableVertexAttributes_Locked(uint32_t mask) {
    for (GLuint i = 0; i < 32; ++i) {
        const uint32_t bit = 1u << i;
        if ((mask & bit) && !(m_enabledAttributes & bit)) {
            glEnableVertexAttribArray(i);
        } else if (!(mask & bit) && (m_enabledAttributes & bit)) {
            glDisableVertexAttribArray(i);
        }
    }
    m_enabledAttributes = mask;
}

CGlesBlitter* CGlesContext::blitter_Locked() {
    if (!m_blitter && !m_blitterFailed) {
        m_blitter.reset(new CGlesBlitter(*this));
        if (!m_blitter->valid()) {
            m_blitter.reset();
            m_blitterFailed = true;
        }
    }
    return m_blitter.get();
}

EGLSurface CGlesContext::windowSurface_Locked(unsigned long xid) {
    auto found = m_windowSurfaces.find(xid);
    if (found != m_windowSurfaces.end()) {
        return found->second;
    }
    const EGLSurface surface =
        eglCreateWindowSurface(m_display, m_config, static_cast<EGLNativeWindowType>(xid), nullptr);
    if (surface != EGL_NO_SURFACE) {
        m_windowSurfaces[xid] = surface;
    }
    return surface;
}

bool CGlesContext::bindSurface_Locked(EGLSurface surface) {
    if (eglMakeCurrent(m_display, surface, surface, m_context)) {
        return true;
    }
    if (eglGetError() == EGL_CONTEXT_LOST) {
        m_contextLost = true;
    }
    return false;
}

bool CGlesContext::swapBuffers_Locked(EGLSurface surface) {
    if (eglSwapBuffers(m_display, surface)) {
        return true;
    }
    if (eglGetError() == EGL_CONTEXT_LOST) {
        m_contextLost = true;
    }
    return false;
}

bool CGlesContext::surfaceSize_Locked(EGLSurface surface, int* width, int* height) {
    EGLint w = 0;
    EGLint h = 0;
    if (!eglQuerySurface(m_display, surface, EGL_WIDTH, &w) ||
        !eglQuerySurface(m_display, surface, EGL_HEIGHT, &h)) {
        return false;
    }
    *width = w;
    *height = h;
    return true;
}

bool CGlesContext::contextLost_Locked() {
    if (!m_contextLost && m_resetStatus && m_current && m_resetStatus() != GL_NO_ERROR) {
        m_contextLost = true;
    }
    return m_contextLost;
}

bool CGlesContext::resetInProgress() {
    Scope scope(*this);
    return m_resetStatus && m_current && m_resetStatus() != GL_NO_ERROR;
}

void CGlesContext::forgetBlitter() {
    Scope scope(*this);
    m_blitter.reset();
    m_blitterFailed = false;
}

bool CGlesContext::recreate_Locked() {
    // The blitter's objects went with the lost context; they are forgotten
    // in a scope of it.
    forgetBlitter();
    releaseContext_Locked();
    m_contextLost = false;
    ++m_generation;
    return createContext();
}

CGlesContext::LossState CGlesContext::lossState() {
    CAutoLock guard(&m_mutex);
    if (!m_lost) {
        return LossState::Usable;
    }
    if (m_lostAnswers > 0) {
        --m_lostAnswers;
        return LossState::Lost;
    }
    if (m_contextLost && resetInProgress()) {
        return LossState::Lost;
    }
    return LossState::ReadyToReset;
}

void CGlesContext::markLost_Locked(unsigned lostAnswers) {
    m_lost = true;
    m_lostAnswers = lostAnswers;
}

void CGlesContext::clearLost_Locked() {
    m_lost = false;
    m_lostAnswers = 0;
}
