#pragma once

#include <GLES2/gl2.h>

#include <memory>
#include <vector>

#include "Platform/D3D9/IDirect3DSurface9.h"
#include "Platform/Gles/CGlesContext.h"
#include "Platform/Win32/CRefCounted.h"

// A surface of the Direct3D stand-in, of one of two kinds:
// - a YV12 offscreen plain surface (default pool): memory in the YV12 layout
//   that LockRect hands out, and three GL_LUMINANCE textures (Y, U, V) that
//   UnlockRect fills;
// - a render target (a back buffer, D3DFMT_X8R8G8B8): an RGBA texture behind
//   a framebuffer object, not lockable. Its rows are stored top row first, so
//   that Direct3D's pixel (x, y) is the framebuffer's pixel (x, y). Its alpha
//   stays 1: only the colour channels are drawn.
class CDirect3DSurface9 : public CRefCounted<IDirect3DSurface9> {
public:
    // Null when the GL objects cannot be made.
    static CDirect3DSurface9* createYv12(const std::shared_ptr<CGlesContext>& context, UINT width,
                                         UINT height);
    static CDirect3DSurface9* createRenderTarget(const std::shared_ptr<CGlesContext>& context,
                                                 UINT width, UINT height);

    HRESULT LockRect(D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    bool isRenderTarget() const { return m_framebuffer != 0; }
    UINT width() const { return m_width; }
    UINT height() const { return m_height; }

    // Called by the device holding the lock of the context it shares with
    // the surface (checked).
    bool isLocked_Locked() const;

    // Use inside a scope of the context.
    // Binds the render target's framebuffer with a viewport over all of it.
    void bindAsTarget() const;
    // The render target's texture.
    GLuint colorTexture() const { return m_textures[0]; }
    // The Y, U and V textures of a YV12 surface.
    const GLuint* planes() const { return m_textures; }

private:
    CDirect3DSurface9(const std::shared_ptr<CGlesContext>& context, UINT width, UINT height,
                      bool renderTarget);
    ~CDirect3DSurface9() override;

    const std::shared_ptr<CGlesContext> m_context;
    const UINT m_width;
    const UINT m_height;
    const bool m_defaultPool;
    // Made by the constructor; the memory's bytes are the locker's between
    // LockRect and UnlockRect.
    int m_pitch;
    std::vector<BYTE> m_memory;
    GLuint m_textures[3];
    GLuint m_framebuffer;
    bool m_locked GUARDED_BY(m_context->mutex());
};
