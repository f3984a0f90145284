#pragma once

#include <atomic>
#include <cstdint>

#include "Platform/DDraw/IDirectDrawSurface7.h"
#include "Platform/Win32/CRefCounted.h"

// What the primary and the offscreen surfaces share: the clipper they hold
// and whether they are lost. A surface is lost when the display changed
// (loseAll) after it was created or last restored.
class CDirectDrawSurface : public CRefCounted<IDirectDrawSurface7> {
public:
    // Makes every surface in the process lost, as a display mode change does.
    static void loseAll();

    HRESULT SetClipper(IDirectDrawClipper* clipper) override;
    HRESULT IsLost() override;
    HRESULT Restore() override;

    bool lost() const;

protected:
    CDirectDrawSurface();
    ~CDirectDrawSurface() override;

    IDirectDrawClipper* clipper() const { return m_clipper; }

private:
    static std::atomic<uint32_t> s_displayGeneration;

    uint32_t m_generation;  // the display generation the surface was made for
    IDirectDrawClipper* m_clipper;
};
