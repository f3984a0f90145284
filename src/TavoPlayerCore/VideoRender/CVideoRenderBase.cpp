#include "TavoPlayerCore/VideoRender/CVideoRenderBase.h"

#include "Common/CAutoLock.h"

using RIVO_Common_Player::CAutoLock;

CVideoRenderBase::CVideoRenderBase()
    : m_window(nullptr),
      m_width(0),
      m_height(0),
      m_pixelFormat(0),
      m_valueFirst(0),
      m_valueSecond(0) {}

int32_t CVideoRenderBase::SetWindow(HWND window, uint32_t) {
    m_window = window;
    return 0;
}

int32_t CVideoRenderBase::SetFormat(uint32_t width, uint32_t height, uint32_t pixelFormat) {
    m_width = width;
    m_height = height;
    m_pixelFormat = pixelFormat;
    return Open();
}

int32_t CVideoRenderBase::RenderPicture(const VideoPicture* picture) {
    if (picture) {
        {
            CAutoLock lock(m_lastPicture.lock());
            draw(*picture);
        }
        m_lastPicture.keep(*picture, m_height);
    }
    return 0;
}

int32_t CVideoRenderBase::RepaintLastPicture() {
    CAutoLock lock(m_lastPicture.lock());
    if (const VideoPicture* last = m_lastPicture.picture_Locked()) {
        draw(*last);
    }
    return 0;
}

int32_t CVideoRenderBase::GetLastPicture(VideoPicture* target) {
    return target ? m_lastPicture.copyTo(target, m_height) : 1;
}

void CVideoRenderBase::StoreValuePair(uint32_t first, int32_t second) {
    m_valueFirst = first;
    m_valueSecond = second;
}

void CVideoRenderBase::LoadValuePair(uint32_t* first, int32_t* second) {
    *first = m_valueFirst;
    *second = m_valueSecond;
}
