#include "Platform/DDraw/CDirectDrawClipper.h"

#include "Platform/X11/Win32Window.h"

CDirectDrawClipper::CDirectDrawClipper() : m_window(nullptr) {}

HRESULT CDirectDrawClipper::SetHWnd(DWORD flags, HWND window) {
    RECT client;
    if (flags != 0 || (window && !GetClientRect(window, &client))) {
        return DDERR_INVALIDPARAMS;
    }
    m_window = window;
    return DD_OK;
}

HRESULT CDirectDrawClipper::GetHWnd(HWND* window) {
    if (!window) {
        return DDERR_INVALIDPARAMS;
    }
    *window = m_window;
    return DD_OK;
}
