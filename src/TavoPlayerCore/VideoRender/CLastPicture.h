#pragma once

#include <cstdint>
#include <memory>

#include "Common/rivo_CMutex.h"
#include "TavoPlayerCore/VideoRender/VideoPicture.h"

// The last picture a renderer drew, shared by all renderers, for repaints
// and snapshots. A picture that comes with a keeper (the decoder's own
// frame) is kept by that reference, without a copy; any other picture is
// copied into buffers sized from the strides of the first picture copied,
// with (height / 4) x 4 + 4 rows, and then reused. (Beyond the engine's
// Windows-era renderers, which copied every picture: at 720p that copy was
// a tenth of a camera wall's processor time, for a picture read back only
// for a repaint or a snapshot.) The lock guards the kept picture, so that a
// snapshot never reads a half-written copy; every caller runs under the
// player's video lock besides.
class CLastPicture {
public:
    CLastPicture();
    ~CLastPicture();

    CLastPicture(const CLastPicture&) = delete;
    CLastPicture& operator=(const CLastPicture&) = delete;

    // Keeps picture, by its keeper or as a copy of height rows of the luma
    // stride and height / 2 rows of each chroma stride. False when buffers
    // cannot be had or the picture's strides exceed those the buffers were
    // made for; the picture kept before stays then.
    bool keep(const VideoPicture& picture, uint32_t height) EXCLUDES(m_lock);
    // Copies the kept picture into target's planes and strides: 0, or 1 when
    // there is none (target untouched).
    int32_t copyTo(VideoPicture* target, uint32_t height) EXCLUDES(m_lock);
    // The kept picture, or null; it stays while the lock is held.
    const VideoPicture* picture_Locked() const REQUIRES(m_lock) {
        return m_picture.data[0] ? &m_picture : nullptr;
    }
    // The lock that guards the picture, for the renderers' draw step, which
    // must not overlap a copy either.
    RIVO_Common_Player::rivo_CMutex* lock() RETURN_CAPABILITY(m_lock) { return &m_lock; }
    // Lets go of the picture and frees the copy's buffers.
    void release() EXCLUDES(m_lock);

private:
    // Copies picture into the owned buffers, made on the first copy.
    bool copy_Locked(const VideoPicture& picture, uint32_t height) REQUIRES(m_lock);

    RIVO_Common_Player::rivo_CMutex m_lock;
    VideoPicture m_picture GUARDED_BY(m_lock);
    std::unique_ptr<uint8_t[]> m_buffers[3] GUARDED_BY(m_lock);
    uint64_t m_capacity[3] GUARDED_BY(m_lock);  // bytes allocated for each plane
};
