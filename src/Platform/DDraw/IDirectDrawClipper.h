#pragma once

#include "Platform/DDraw/DirectDrawTypes.h"

// A DirectDraw clipper: bound to a window, it keeps blits onto the primary
// surface inside that window's visible area. Reference counted: the creator
// holds one reference, and a surface it is attached to holds another.
class IDirectDrawClipper {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // Binds the clipper to window (flags must be 0). A null window unbinds it.
    virtual HRESULT SetHWnd(DWORD flags, HWND window) = 0;
    virtual HRESULT GetHWnd(HWND* window) = 0;

protected:
    virtual ~IDirectDrawClipper() = default;
};
