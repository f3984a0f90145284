#include "Platform/D3D9/CDirect3DDevice9.h"

#include <cstring>
#include <new>

#include "Common/CAutoLock.h"
#include "Platform/D3D9/CDirect3D9.h"
#include "Platform/D3D9/CDirect3DSurface9.h"
#include "Platform/D3D9/CDirect3DSwapChain9.h"
#include "Platform/D3D9/CDirect3DTexture9.h"
#include "Platform/D3D9/CDirect3DVertexBuffer9.h"
#include "Platform/D3D9/CPixelShaderProgram.h"
#include "Platform/D3D9/Direct3D9ForTesting.h"
#include "Platform/Gles/CGlesBlitter.h"
#include "Platform/Gles/CGlesContext.h"
#include "Platform/Win32/ReleaseAndClear.h"
#include "Platform/X11/Win32Window.h"

using RIVO_Common_Player::CAutoLock;

namespace {

constexpr UINT kMaxTextureSets = 4;
constexpr DWORD kSupportedFvfBits = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEXCOUNT_MASK;

// Bytes of one vertex of a supported FVF, or 0 for an FVF the stand-in does
// not draw: pre-transformed positions, an optional diffuse colour and up to
// four sets of 2D texture coordinates.
UINT vertexSize(DWORD fvf) {
    const UINT textureSets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if ((fvf & D3DFVF_POSITION_MASK) != D3DFVF_XYZRHW || (fvf & ~kSupportedFvfBits) != 0 ||
        textureSets > kMaxTextureSets) {
        return 0;
    }
    return 16 + ((fvf & D3DFVF_DIFFUSE) ? 4 : 0) + 8 * textureSets;
}

// Vertices drawn for a primitive count, 0 for an unknown type.
UINT vertexCount(D3DPRIMITIVETYPE type, UINT primitives, GLenum* mode) {
    switch (type) {
        case D3DPT_POINTLIST:
            *mode = GL_POINTS;
            return primitives;
        case D3DPT_LINELIST:
            *mode = GL_LINES;
            return 2 * primitives;
        case D3DPT_LINESTRIP:
            *mode = GL_LINE_STRIP;
            return primitives + 1;
        case D3DPT_TRIANGLELIST:
            *mode = GL_TRIANGLES;
            return 3 * primitives;
        case D3DPT_TRIANGLESTRIP:
            *mode = GL_TRIANGLE_STRIP;
            return primitives + 2;
        case D3DPT_TRIANGLEFAN:
            *mode = GL_TRIANGLE_FAN;
            return primitives + 2;
    }
    return 0;
}

GLint glFilter(DWORD filter) {
    return filter == D3DTEXF_NONE || filter == D3DTEXF_POINT ? GL_NEAREST : GL_LINEAR;
}

GLint glAddress(DWORD address) {
    switch (address) {
        case D3DTADDRESS_MIRROR:
            return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP:
            return GL_CLAMP_TO_EDGE;
        default:
            return GL_REPEAT;
    }
}

// A rectangle inside a surface of the given size; a null rect is all of it.
bool surfaceRect(const RECT* rect, UINT width, UINT height, RECT* result) {
    *result = rect ? *rect : RECT{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    return result->left >= 0 && result->top >= 0 && result->left < result->right &&
           result->top < result->bottom && result->right <= static_cast<LONG>(width) &&
           result->bottom <= static_cast<LONG>(height);
}

// Checks windowed presentation parameters and fills in what Direct3D
// chooses: the client size for zero back-buffer sizes, the display format for
// D3DFMT_UNKNOWN, one back buffer for none. window receives the window they
// present to.
HRESULT completeParameters(HWND focusWindow, D3DPRESENT_PARAMETERS* parameters, HWND* window) {
    if (!parameters || !parameters->Windowed || parameters->SwapEffect < D3DSWAPEFFECT_DISCARD ||
        parameters->SwapEffect > D3DSWAPEFFECT_COPY || parameters->BackBufferCount > 3 ||
        parameters->MultiSampleType != D3DMULTISAMPLE_NONE || parameters->EnableAutoDepthStencil) {
        return D3DERR_INVALIDCALL;
    }
    const D3DFORMAT format = parameters->BackBufferFormat;
    if (format != D3DFMT_UNKNOWN && format != D3DFMT_X8R8G8B8 && format != D3DFMT_A8R8G8B8) {
        return D3DERR_INVALIDCALL;
    }
    *window = parameters->hDeviceWindow ? parameters->hDeviceWindow : focusWindow;
    if (!*window) {
        return D3DERR_INVALIDCALL;
    }
    if (parameters->BackBufferWidth == 0 || parameters->BackBufferHeight == 0) {
        RECT client{};
        if (!GetClientRect(*window, &client)) {
            return D3DERR_INVALIDCALL;
        }
        // A minimised window still gets a back buffer.
        if (parameters->BackBufferWidth == 0) {
            parameters->BackBufferWidth = client.right > 0 ? static_cast<UINT>(client.right) : 1;
        }
        if (parameters->BackBufferHeight == 0) {
            parameters->BackBufferHeight = client.bottom > 0 ? static_cast<UINT>(client.bottom) : 1;
        }
    }
    if (format == D3DFMT_UNKNOWN) {
        parameters->BackBufferFormat = D3DFMT_X8R8G8B8;
    }
    if (parameters->BackBufferCount == 0) {
        parameters->BackBufferCount = 1;
    }
    return D3D_OK;
}

}  // namespace

HRESULT CDirect3DDevice9::create(HWND focusWindow, DWORD behaviorFlags,
                                 D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) {
    const DWORD processing =
        behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                         D3DCREATE_MIXED_VERTEXPROCESSING);
    if (!device || (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING &&
                    processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
                    processing != D3DCREATE_MIXED_VERTEXPROCESSING)) {
        return D3DERR_INVALIDCALL;
    }
    *device = nullptr;
    if (direct3D9FaultsForTesting().failCreateDevice) {
        return D3DERR_NOTAVAILABLE;
    }
    HWND window = nullptr;
    const HRESULT completed = completeParameters(focusWindow, parameters, &window);
    if (FAILED(completed)) {
        return completed;
    }
    const std::shared_ptr<CGlesContext> context = CGlesContext::create(window);
    if (!context) {
        return D3DERR_NOTAVAILABLE;
    }
    D3DCAPS9 caps{};
    CDirect3D9::capabilities(context->esMajor(), context->maxTextureSize(), &caps);
    if (parameters->BackBufferWidth > caps.MaxTextureWidth ||
        parameters->BackBufferHeight > caps.MaxTextureHeight) {
        return D3DERR_INVALIDCALL;
    }
    CDirect3DSwapChain9* swapChain = new (std::nothrow) CDirect3DSwapChain9(context, window);
    if (!swapChain) {
        return E_OUTOFMEMORY;
    }
    {
        CAutoLock guard(&context->mutex());
        if (!swapChain->resize_Locked(*parameters)) {
            swapChain->Release();
            return D3DERR_OUTOFVIDEOMEMORY;
        }
    }
    CDirect3DDevice9* created = new (std::nothrow) CDirect3DDevice9(context, swapChain, caps);
    if (!created) {
        swapChain->Release();
        return E_OUTOFMEMORY;
    }
    *device = created;
    return D3D_OK;
}

CDirect3DDevice9::CDirect3DDevice9(const std::shared_ptr<CGlesContext>& context,
                                   CDirect3DSwapChain9* swapChain, const D3DCAPS9& caps)
    : m_context(context),
      m_caps(caps),
      m_swapChain(swapChain),
      m_renderTarget(nullptr),
      m_textures{},
      m_samplerStates{},
      m_stream(nullptr),
      m_streamOffset(0),
      m_streamStride(0),
      m_fvf(0),
      m_pixelShader(nullptr),
      m_floatRegisters{},
      m_inScene(false) {
    CAutoLock guard(&m_context->mutex());
    resetState_Locked();
}

CDirect3DDevice9::~CDirect3DDevice9() {
    CAutoLock guard(&m_context->mutex());
    releaseBindings_Locked();
    m_swapChain->Release();
}

void CDirect3DDevice9::releaseBindings_Locked() {
    releaseAndClear(&m_renderTarget);
    for (CDirect3DTexture9*& texture : m_textures) {
        releaseAndClear(&texture);
    }
    releaseAndClear(&m_stream);
    releaseAndClear(&m_pixelShader);
}

void CDirect3DDevice9::resetState_Locked() {
    releaseBindings_Locked();
    m_renderTarget = m_swapChain->backBuffer_Locked();
    if (m_renderTarget) {
        m_renderTarget->AddRef();
    }
    for (DWORD* states : m_samplerStates) {
        states[D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        states[D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        states[D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        states[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        states[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    }
    m_streamOffset = 0;
    m_streamStride = 0;
    m_fvf = 0;
    std::memset(m_floatRegisters, 0, sizeof(m_floatRegisters));
    m_inScene = false;
}

HRESULT CDirect3DDevice9::TestCooperativeLevel() {
    switch (m_context->lossState()) {
        case CGlesContext::LossState::Usable:
            return D3D_OK;
        case CGlesContext::LossState::Lost:
            return D3DERR_DEVICELOST;
        case CGlesContext::LossState::ReadyToReset:
            break;
    }
    return D3DERR_DEVICENOTRESET;
}

HRESULT CDirect3DDevice9::GetDeviceCaps(D3DCAPS9* caps) {
    if (!caps) {
        return D3DERR_INVALIDCALL;
    }
    *caps = m_caps;
    return D3D_OK;
}

HRESULT CDirect3DDevice9::GetSwapChain(UINT swapChain, IDirect3DSwapChain9** result) {
    if (swapChain != 0 || !result) {
        return D3DERR_INVALIDCALL;
    }
    m_swapChain->AddRef();
    *result = m_swapChain;
    return D3D_OK;
}

HRESULT CDirect3DDevice9::Reset(D3DPRESENT_PARAMETERS* parameters) {
    CAutoLock guard(&m_context->mutex());
    const HRESULT fault = takeCallFailureForTesting(Direct3D9Call::Reset);
    if (FAILED(fault)) {
        return fault;
    }
    HWND window = nullptr;
    const HRESULT completed = completeParameters(m_swapChain->window(), parameters, &window);
    if (FAILED(completed)) {
        return completed;
    }
    if (parameters->BackBufferWidth > m_caps.MaxTextureWidth ||
        parameters->BackBufferHeight > m_caps.MaxTextureHeight) {
        return D3DERR_INVALIDCALL;
    }
    releaseBindings_Locked();
    if (m_context->defaultPoolResources() > 0 || m_swapChain->backBufferInUse_Locked()) {
        resetState_Locked();
        return D3DERR_INVALIDCALL;
    }
    m_swapChain->release();
    if (m_context->contextLost_Locked() && !m_context->recreate_Locked()) {
        return D3DERR_DEVICELOST;
    }
    if (!m_swapChain->resize_Locked(*parameters)) {
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    m_context->clearLost_Locked();
    resetState_Locked();
    return D3D_OK;
}

HRESULT CDirect3DDevice9::Present(const RECT* sourceRect, const RECT* destRect,
                                  HWND destWindowOverride, const RGNDATA* dirtyRegion) {
    return m_swapChain->Present(sourceRect, destRect, destWindowOverride, dirtyRegion, 0);
}

HRESULT CDirect3DDevice9::GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                                        IDirect3DSurface9** surface) {
    if (swapChain != 0) {
        return D3DERR_INVALIDCALL;
    }
    return m_swapChain->GetBackBuffer(backBuffer, type, surface);
}

HRESULT CDirect3DDevice9::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                        D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture,
                                        HANDLE* sharedHandle) {
    const bool dynamic = (usage & D3DUSAGE_DYNAMIC) != 0;
    if (!texture || sharedHandle || width == 0 || height == 0 || width > m_caps.MaxTextureWidth ||
        height > m_caps.MaxTextureHeight || levels != 1 ||
        (usage & ~static_cast<DWORD>(D3DUSAGE_DYNAMIC)) != 0 ||
        (dynamic && !(m_caps.Caps2 & D3DCAPS2_DYNAMICTEXTURES)) || format != D3DFMT_L8 ||
        pool != D3DPOOL_DEFAULT) {
        return D3DERR_INVALIDCALL;
    }
    *texture = CDirect3DTexture9::create(m_context, width, height, dynamic);
    return *texture ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
}

HRESULT CDirect3DDevice9::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                             IDirect3DVertexBuffer9** vertexBuffer,
                                             HANDLE* sharedHandle) {
    if (!vertexBuffer || sharedHandle || length == 0 ||
        (usage & ~static_cast<DWORD>(D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY)) != 0 ||
        (fvf != 0 && (vertexSize(fvf) == 0 || length < vertexSize(fvf))) ||
        pool != D3DPOOL_DEFAULT) {
        return D3DERR_INVALIDCALL;
    }
    *vertexBuffer = CDirect3DVertexBuffer9::create(m_context, length);
    return *vertexBuffer ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
}

HRESULT CDirect3DDevice9::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format,
                                                      D3DPOOL pool, IDirect3DSurface9** surface,
                                                      HANDLE* sharedHandle) {
    // Chroma planes of at least one sample.
    if (!surface || sharedHandle || width < 2 || height < 2 || width > m_caps.MaxTextureWidth ||
        height > m_caps.MaxTextureHeight || format != D3DFMT_YV12 || pool != D3DPOOL_DEFAULT) {
        return D3DERR_INVALIDCALL;
    }
    *surface = CDirect3DSurface9::createYv12(m_context, width, height);
    return *surface ? D3D_OK : D3DERR_OUTOFVIDEOMEMORY;
}

HRESULT CDirect3DDevice9::StretchRect(IDirect3DSurface9* source, const RECT* sourceRect,
                                      IDirect3DSurface9* dest, const RECT* destRect,
                                      D3DTEXTUREFILTERTYPE filter) {
    CGlesContext::Scope scope(*m_context);
    CDirect3DSurface9* from = static_cast<CDirect3DSurface9*>(source);
    CDirect3DSurface9* to = static_cast<CDirect3DSurface9*>(dest);
    RECT fromRect{};
    RECT toRect{};
    if (!from || !to || from == to || !to->isRenderTarget() || from->isLocked_Locked() ||
        filter > D3DTEXF_LINEAR ||
        !surfaceRect(sourceRect, from->width(), from->height(), &fromRect) ||
        !surfaceRect(destRect, to->width(), to->height(), &toRect)) {
        return D3DERR_INVALIDCALL;
    }
    if (!scope.current() || m_context->isLost_Locked()) {
        return D3D_OK;  // a lost device draws nothing
    }
    CGlesBlitter* blitter = m_context->blitter_Locked();
    if (!blitter) {
        return D3DERR_DRIVERINTERNALERROR;
    }
    drawTo_Locked(to, [&](bool bottomUp) {
        const LONG toHeight = static_cast<LONG>(to->height());
        glViewport(toRect.left, bottomUp ? toHeight - toRect.bottom : toRect.top,
                   toRect.right - toRect.left, toRect.bottom - toRect.top);
        const GLfloat width = static_cast<GLfloat>(from->width());
        const GLfloat height = static_cast<GLfloat>(from->height());
        const GLfloat top = fromRect.top / height;
        const GLfloat bottom = fromRect.bottom / height;
        // The viewport's corner at the GL origin is the rectangle's top left,
        // or its bottom left when the rows are stored bottom row first.
        const GLfloat texRect[] = {fromRect.left / width, bottomUp ? bottom : top,
                                   fromRect.right / width, bottomUp ? top : bottom};
        if (from->isRenderTarget()) {
            blitter->drawRgba(from->colorTexture(), glFilter(filter), texRect);
        } else {
            blitter->drawYv12(from->planes(), glFilter(filter), texRect);
        }
    });
    return D3D_OK;
}

HRESULT CDirect3DDevice9::SetRenderTarget(DWORD index, IDirect3DSurface9* renderTarget) {
    CAutoLock guard(&m_context->mutex());
    CDirect3DSurface9* target = static_cast<CDirect3DSurface9*>(renderTarget);
    // One render target; it cannot be taken away.
    if (index != 0 || !target || !target->isRenderTarget()) {
        return D3DERR_INVALIDCALL;
    }
    target->AddRef();
    releaseAndClear(&m_renderTarget);
    m_renderTarget = target;
    return D3D_OK;
}

HRESULT CDirect3DDevice9::BeginScene() {
    CAutoLock guard(&m_context->mutex());
    if (m_inScene) {
        return D3DERR_INVALIDCALL;
    }
    m_inScene = true;
    return D3D_OK;
}

HRESULT CDirect3DDevice9::EndScene() {
    CAutoLock guard(&m_context->mutex());
    if (!m_inScene) {
        return D3DERR_INVALIDCALL;
    }
    m_inScene = false;
    return D3D_OK;
}

HRESULT CDirect3DDevice9::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color,
                                float, DWORD) {
    CGlesContext::Scope scope(*m_context);
    // There is no depth or stencil buffer to clear.
    if (flags != D3DCLEAR_TARGET || (count > 0 && !rects) || !m_renderTarget) {
        return D3DERR_INVALIDCALL;
    }
    if (!scope.current() || m_context->isLost_Locked()) {
        return D3D_OK;
    }
    drawTo_Locked(m_renderTarget, [&](bool bottomUp) {
        // The analysis does not carry this function's lock into the drawing.
        m_context->mutex().assertHeld();
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClearColor(static_cast<GLfloat>((color >> 16) & 0xFF) / 255.0f,
                     static_cast<GLfloat>((color >> 8) & 0xFF) / 255.0f,
                     static_cast<GLfloat>(color & 0xFF) / 255.0f, 1.0f);
        if (count == 0) {
            glClear(GL_COLOR_BUFFER_BIT);
            return;
        }
        const LONG height = static_cast<LONG>(m_renderTarget->height());
        glEnable(GL_SCISSOR_TEST);
        for (DWORD i = 0; i < count; ++i) {
            const D3DRECT& rect = rects[i];
            if (rect.x1 < rect.x2 && rect.y1 < rect.y2) {
                glScissor(rect.x1, bottomUp ? height - rect.y2 : rect.y1, rect.x2 - rect.x1,
                          rect.y2 - rect.y1);
                glClear(GL_COLOR_BUFFER_BIT);
            }
        }
        glDisable(GL_SCISSOR_TEST);
    });
    return D3D_OK;
}

HRESULT CDirect3DDevice9::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    CAutoLock guard(&m_context->mutex());
    const bool filter =
        type == D3DSAMP_MAGFILTER || type == D3DSAMP_MINFILTER || type == D3DSAMP_MIPFILTER;
    const bool address = type == D3DSAMP_ADDRESSU || type == D3DSAMP_ADDRESSV;
    if (sampler >= CDirect3DPixelShader9::kSamplers ||
        !((filter && value <= D3DTEXF_ANISOTROPIC) ||
          (address && value >= D3DTADDRESS_WRAP && value <= D3DTADDRESS_CLAMP))) {
        return D3DERR_INVALIDCALL;
    }
    m_samplerStates[sampler][type] = value;
    return D3D_OK;
}

HRESULT CDirect3DDevice9::SetTexture(DWORD stage, IDirect3DTexture9* texture) {
    CAutoLock guard(&m_context->mutex());
    if (stage >= CDirect3DPixelShader9::kSamplers) {
        return D3DERR_INVALIDCALL;
    }
    if (texture) {
        texture->AddRef();
    }
    releaseAndClear(&m_textures[stage]);
    m_textures[stage] = static_cast<CDirect3DTexture9*>(texture);
    return D3D_OK;
}

void CDirect3DDevice9::drawTo_Locked(CDirect3DSurface9* target,
                                     const std::function<void(bool bottomUp)>& draw) {
    if (target == m_swapChain->backBuffer_Locked()) {
        m_swapChain->drawToBackBuffer_Locked(draw);
        return;
    }
    target->bindAsTarget();
    draw(false);
}

void CDirect3DDevice9::applySamplerStates_Locked(UINT sampler) const {
    // Textures have one level, so the mip filter changes nothing; an
    // anisotropic filter with the default anisotropy of 1 is linear.
    const DWORD* states = m_samplerStates[sampler];
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, glFilter(states[D3DSAMP_MAGFILTER]));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, glFilter(states[D3DSAMP_MINFILTER]));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, glAddress(states[D3DSAMP_ADDRESSU]));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, glAddress(states[D3DSAMP_ADDRESSV]));
}

void CDirect3DDevice9::bindVertexStream_Locked() const {
    const GLsizei stride = static_cast<GLsizei>(m_streamStride);
    // Offsets into the bound buffer, which GL takes in pointer form (counting
    // up from a null pointer would be undefined).
    uintptr_t at = m_streamOffset;
    glBindBuffer(GL_ARRAY_BUFFER, m_stream->glBuffer());
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(at));
    at += 16;
    uint32_t attributes = 1u;
    if (m_fvf & D3DFVF_DIFFUSE) {
        glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                              reinterpret_cast<const void*>(at));
        attributes |= 2u;
        at += 4;
    } else {
        glVertexAttrib4f(1, 1.0f, 1.0f, 1.0f, 1.0f);  // white, as Direct3D assumes
    }
    const UINT textureSets = (m_fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (UINT i = 0; i < kMaxTextureSets; ++i) {
        if (i < textureSets) {
            glVertexAttribPointer(2 + i, 2, GL_FLOAT, GL_FALSE, stride,
                                  reinterpret_cast<const void*>(at));
            attributes |= 1u << (2 + i);
            at += 8;
        } else {
            glVertexAttrib4f(2 + i, 0.0f, 0.0f, 0.0f, 1.0f);
        }
    }
    m_context->enableVertexAttributes_Locked(attributes);
}

HRESULT CDirect3DDevice9::DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex,
                                        UINT primitiveCount) {
    CGlesContext::Scope scope(*m_context);
    GLenum mode = GL_TRIANGLES;
    const UINT vertices = vertexCount(primitiveType, primitiveCount, &mode);
    const UINT size = vertexSize(m_fvf);
    if (!m_inScene || !m_pixelShader || !m_stream || !m_renderTarget || vertices == 0 ||
        size == 0 || m_streamStride < size || m_stream->isLocked_Locked() ||
        static_cast<uint64_t>(m_streamOffset) +
                (static_cast<uint64_t>(startVertex) + vertices - 1) * m_streamStride + size >
            m_stream->length()) {
        return D3DERR_INVALIDCALL;
    }
    if (!scope.current() || m_context->isLost_Locked()) {
        return D3D_OK;
    }
    bool used = false;
    drawTo_Locked(m_renderTarget, [&](bool bottomUp) {
        // The analysis does not carry this function's lock into the drawing.
        m_context->mutex().assertHeld();
        used = m_pixelShader->use_Locked(m_floatRegisters, m_renderTarget->width(),
                                         m_renderTarget->height(), bottomUp);
        if (!used) {
            return;
        }
        // Back buffers have no alpha to write (D3DFMT_X8R8G8B8).
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
        for (const UINT sampler : m_pixelShader->samplers()) {
            glActiveTexture(GL_TEXTURE0 + sampler);
            glBindTexture(GL_TEXTURE_2D,
                          m_textures[sampler] ? m_textures[sampler]->glTexture() : 0);
            if (m_textures[sampler]) {
                applySamplerStates_Locked(sampler);
            }
        }
        glActiveTexture(GL_TEXTURE0);
        bindVertexStream_Locked();
        glDrawArrays(mode, static_cast<GLint>(startVertex), static_cast<GLsizei>(vertices));
    });
    return used ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT CDirect3DDevice9::SetFVF(DWORD fvf) {
    CAutoLock guard(&m_context->mutex());
    if (vertexSize(fvf) == 0) {
        return D3DERR_INVALIDCALL;
    }
    m_fvf = fvf;
    return D3D_OK;
}

HRESULT CDirect3DDevice9::SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9* streamData,
                                          UINT offsetInBytes, UINT stride) {
    CAutoLock guard(&m_context->mutex());
    if (streamNumber != 0) {
        return D3DERR_INVALIDCALL;
    }
    if (streamData) {
        streamData->AddRef();
    }
    releaseAndClear(&m_stream);
    m_stream = static_cast<CDirect3DVertexBuffer9*>(streamData);
    m_streamOffset = offsetInBytes;
    m_streamStride = stride;
    return D3D_OK;
}

HRESULT CDirect3DDevice9::CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) {
    CPixelShaderProgram program;
    if (!shader || !program.parse(function) || !program.hasConstantTable() ||
        program.glsl().empty() ||
        (program.version() & 0xFFFF) > (m_caps.PixelShaderVersion & 0xFFFF)) {
        return D3DERR_INVALIDCALL;
    }
    *shader = CDirect3DPixelShader9::create(m_context, program);
    return *shader ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT CDirect3DDevice9::SetPixelShader(IDirect3DPixelShader9* shader) {
    CAutoLock guard(&m_context->mutex());
    if (shader) {
        shader->AddRef();
    }
    releaseAndClear(&m_pixelShader);
    m_pixelShader = static_cast<CDirect3DPixelShader9*>(shader);
    return D3D_OK;
}

HRESULT CDirect3DDevice9::SetPixelShaderConstantF(UINT startRegister, const float* constantData,
                                                  UINT vector4fCount) {
    CAutoLock guard(&m_context->mutex());
    if ((!constantData && vector4fCount > 0) ||
        startRegister > CDirect3DPixelShader9::kFloatRegisters ||
        vector4fCount > CDirect3DPixelShader9::kFloatRegisters - startRegister) {
        return D3DERR_INVALIDCALL;
    }
    if (vector4fCount > 0) {
        std::memcpy(m_floatRegisters[startRegister], constantData,
                    vector4fCount * 4 * sizeof(float));
    }
    return D3D_OK;
}
