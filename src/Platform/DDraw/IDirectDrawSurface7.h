#pragma once

#include "Platform/DDraw/DirectDrawTypes.h"

class IDirectDrawClipper;

// A DirectDraw 7 surface: the primary surface (the screen, in screen
// coordinates) or an offscreen plain surface in memory. Reference counted.
//
// Surfaces become lost when the display changes under them (a mode change):
// every call that touches their pixels then answers DDERR_SURFACELOST until
// Restore.
class IDirectDrawSurface7 {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // Attaches a clipper (the surface takes a reference) or, with null, detaches it.
    virtual HRESULT SetClipper(IDirectDrawClipper* clipper) = 0;
    // DD_OK, or DDERR_SURFACELOST.
    virtual HRESULT IsLost() = 0;
    virtual HRESULT Restore() = 0;
    // Gives access to the pixels of rect (null: the whole surface): fills
    // description with the surface's size, format, lPitch and lpSurface.
    // DDERR_WASSTILLDRAWING when the surface is busy.
    virtual HRESULT Lock(RECT* rect, DDSURFACEDESC2* description, DWORD flags, HANDLE event) = 0;
    virtual HRESULT Unlock(RECT* rect) = 0;
    // Copies sourceRect of source (null: all of it) onto destRect of this
    // surface (null: all of it), scaling and converting as needed.
    virtual HRESULT Blt(RECT* destRect, IDirectDrawSurface7* source, RECT* sourceRect, DWORD flags,
                        DDBLTFX* effects) = 0;

protected:
    virtual ~IDirectDrawSurface7() = default;
};
