#pragma once

#include "Platform/D3D9/Direct3D9.h"
#include "TavoPlayerCore/VideoRender/CVideoRenderBase.h"

struct SwsContext;
class CD3DYUV420Shader;

// Shows pictures through Direct3D 9 with a pixel shader: the three planes go
// into three D3DFMT_L8 textures, and CD3DYUV420Shader converts them to RGB
// while a quad over the whole client area is drawn. The device is made by the
// first picture and made again whenever the client size, raised to even
// numbers (the quad size), changes, so that the back buffer matches the
// window. With window scaling on, libswscale scales the planes to the quad
// size and the textures have that size.
//
// Threads: the player serialises every call with its video lock; the draw
// step also runs under the last-picture lock, so a snapshot never overlaps it.
// No failure is reported: a failing step drops the frame.
class D3DTXRender : public CVideoRenderBase {
public:
    D3DTXRender();
    ~D3DTXRender() override;

    // Makes the last-picture lock only; always 0.
    int32_t Open() override;
    int32_t Close() override;
    // Takes effect at the next change of the quad size.
    void SetWindowScaling(uint8_t on) override;

private:
    void draw(const VideoPicture& picture) override REQUIRES(m_lastPicture.lock());
    // Writes the planes into the locked textures, scaled when a scaling
    // context exists, never beyond a texture.
    void copyPlanes(const VideoPicture& picture, BYTE* const bits[3], const int32_t pitches[3]);
    // True when the device and all its objects exist.
    bool deviceObjectsReady() const;
    // Releases everything, makes a new Direct3D object and the device objects.
    // Takes the window's client size for the quad; true when it changed.
    bool quadSizeChanged();
    bool fullCreation();
    void fullRelease();
    bool CreateDeviceObjects();
    void ReleaseDeviceObjects();
    // True when the device is usable, after remaking the device objects of a
    // lost device that can be reset.
    bool RecoverDevice();
    // Draws the quad into the back buffer; false when a step failed.
    bool drawScene();
    void DrawQuad();

    RECT m_clientRect;
    IDirect3D9* m_direct3D;
    IDirect3DDevice9* m_device;
    IDirect3DSwapChain9* m_swapChain;
    CD3DYUV420Shader* m_shader;
    float m_texCoords[4][2];
    float m_positions[4][4];
    IDirect3DVertexBuffer9* m_vertexBuffer;
    IDirect3DTexture9* m_textures[3];  // Y, U, V
    UINT m_textureWidths[3];
    UINT m_textureHeights[3];
    bool m_deviceLost;
    uint32_t m_quadWidth;
    uint32_t m_quadHeight;
    bool m_windowScaling;
    SwsContext* m_swsContext;
};
