#pragma once

#include <cstdint>
#include <memory>

#include "Common/rivo_CMutex.h"
#include "TavoPlayerCore/VideoRender/VideoPicture.h"

// The copy of the last picture a renderer drew, shared by all renderers.
// Buffers are sized from the strides of the first picture copied, with
// (height / 4) x 4 + 4 rows, and then reused. The lock guards the copy once
// enableLock() has been called (renderers call it when they open); before
// that, copies are made without locking. A lock that may be absent is beyond
// clang's thread-safety analysis, so the fields carry no GUARDED_BY; every
// caller runs under the player's video lock besides.
class CLastPictureCopy {
public:
    CLastPictureCopy();
    ~CLastPictureCopy();

    CLastPictureCopy(const CLastPictureCopy&) = delete;
    CLastPictureCopy& operator=(const CLastPictureCopy&) = delete;

    void enableLock();
    // Copies the planes of picture, height rows of the luma stride and
    // height / 2 rows of each chroma stride. False when buffers cannot be had
    // or the picture's strides exceed those the buffers were made for.
    bool copyFrom(const VideoPicture& picture, uint32_t height);
    // Copies the kept picture into target's planes and strides: 0, or 1 when
    // there is none (target untouched).
    int32_t copyTo(VideoPicture* target, uint32_t height);
    // The kept picture, or null. The caller must not let it outlive release().
    const VideoPicture* picture() const { return m_picture.get(); }
    // The lock that guards the copy (null before enableLock()), for renderers
    // whose draw step must not overlap a copy either.
    RIVO_Common_Player::rivo_CMutex* lock() const { return m_lock.get(); }
    // Frees the copy and drops the lock.
    void release();

private:
    std::unique_ptr<RIVO_Common_Player::rivo_CMutex> m_lock;
    std::unique_ptr<VideoPicture> m_picture;
    uint64_t m_capacity[3];  // bytes allocated for each plane
};
