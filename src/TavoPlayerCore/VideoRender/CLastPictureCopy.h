#pragma once

#include <cstdint>
#include <memory>

#include "Common/rivo_CMutex.h"
#include "TavoPlayerCore/VideoRender/VideoPicture.h"

// The copy of the last picture a renderer drew, shared by all renderers.
// Buffers are sized from the strides of the first picture copied, with
// (height / 4) x 4 + 4 rows, and then reused. The copy's lock guards it, so
// that a snapshot never reads a half-written copy; every caller runs under
// the player's video lock besides.
class CLastPictureCopy {
public:
    CLastPictureCopy();
    ~CLastPictureCopy();

    CLastPictureCopy(const CLastPictureCopy&) = delete;
    CLastPictureCopy& operator=(const CLastPictureCopy&) = delete;

    // Copies the planes of picture, height rows of the luma stride and
    // height / 2 rows of each chroma stride. False when buffers cannot be had
    // or the picture's strides exceed those the buffers were made for.
    bool copyFrom(const VideoPicture& picture, uint32_t height) EXCLUDES(m_lock);
    // Copies the kept picture into target's planes and strides: 0, or 1 when
    // there is none (target untouched).
    int32_t copyTo(VideoPicture* target, uint32_t height) EXCLUDES(m_lock);
    // The kept picture, or null; it stays while the lock is held.
    const VideoPicture* picture_Locked() const REQUIRES(m_lock) { return m_picture.get(); }
    // The lock that guards the copy, for the renderers' draw step, which must
    // not overlap a copy either.
    RIVO_Common_Player::rivo_CMutex* lock() RETURN_CAPABILITY(m_lock) { return &m_lock; }
    // Frees the copy.
    void release() EXCLUDES(m_lock);

private:
    RIVO_Common_Player::rivo_CMutex m_lock;
    std::unique_ptr<VideoPicture> m_picture GUARDED_BY(m_lock);
    uint64_t m_capacity[3] GUARDED_BY(m_lock);  // bytes allocated for each plane
};
