#include "Platform/DDraw/CDirectDrawSurface.h"

#include "Platform/DDraw/IDirectDrawClipper.h"

std::atomic<uint32_t> CDirectDrawSurface::s_displayGeneration{0};

void CDirectDrawSurface::loseAll() {
    s_displayGeneration.fetch_add(1, std::memory_order_relaxed);
}

CDirectDrawSurface::CDirectDrawSurface()
    : m_generation(s_displayGeneration.load(std::memory_order_relaxed)), m_clipper(nullptr) {}

CDirectDrawSurface::~CDirectDrawSurface() {
    if (m_clipper) {
        m_clipper->Release();
    }
}

HRESULT CDirectDrawSurface::SetClipper(IDirectDrawClipper* clipper) {
    if (clipper) {
        clipper->AddRef();
    }
    if (m_clipper) {
        m_clipper->Release();
    }
    m_clipper = clipper;
    return DD_OK;
}

HRESULT CDirectDrawSurface::IsLost() {
    return lost() ? DDERR_SURFACELOST : DD_OK;
}

HRESULT CDirectDrawSurface::Restore() {
    m_generation = s_displayGeneration.load(std::memory_order_relaxed);
    return DD_OK;
}

bool CDirectDrawSurface::lost() const {
    return m_generation != s_displayGeneration.load(std::memory_order_relaxed);
}
