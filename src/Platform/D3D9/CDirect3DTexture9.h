#pragma once

#include <GLES2/gl2.h>

#include <memory>
#include <vector>

#include "Platform/D3D9/IDirect3DTexture9.h"
#include "Platform/Gles/CGlesContext.h"
#include "Platform/Win32/CRefCounted.h"

// A one-level D3DFMT_L8 texture in the default pool: a GL_LUMINANCE texture
// and, for dynamic textures, the memory that LockRect hands out; UnlockRect
// uploads it.
class CDirect3DTexture9 : public CRefCounted<IDirect3DTexture9> {
public:
    // Null when the GL texture cannot be made.
    static CDirect3DTexture9* create(const std::shared_ptr<CGlesContext>& context, UINT width,
                                     UINT height, bool dynamic);

    HRESULT LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect,
                     DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;

    // Use inside a scope of the context.
    GLuint glTexture() const { return m_texture; }

private:
    CDirect3DTexture9(const std::shared_ptr<CGlesContext>& context, UINT width, UINT height,
                      bool dynamic);
    ~CDirect3DTexture9() override;

    const std::shared_ptr<CGlesContext> m_context;
    const UINT m_width;
    const UINT m_height;
    const bool m_dynamic;
    const int m_pitch;
    GLuint m_texture;  // made by the constructor
    std::vector<BYTE> m_texels GUARDED_BY(m_context->mutex());
    bool m_locked GUARDED_BY(m_context->mutex());
};
