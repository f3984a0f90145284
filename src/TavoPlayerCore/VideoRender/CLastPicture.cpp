#include "TavoPlayerCore/VideoRender/CLastPicture.h"

#include <cstring>
#include <new>

#include "Common/CAutoLock.h"

using RIVO_Common_Player::CAutoLock;

namespace {

// Bytes of plane i for the given number of rows: full rows for luma, half for chroma.
uint64_t planeBytes(int plane, int32_t stride, uint32_t rows) {
    const int64_t bytes = static_cast<int64_t>(stride) * static_cast<int64_t>(rows);
    return static_cast<uint64_t>(plane == 0 ? bytes : bytes / 2);
}

}  // namespace

CLastPicture::CLastPicture() : m_picture{}, m_capacity{0, 0, 0} {}

CLastPicture::~CLastPicture() {
    release();
}

bool CLastPicture::keep(const VideoPicture& picture, uint32_t height) {
    CAutoLock lock(&m_lock);
    if (picture.keeper) {
        m_picture = picture;
        return true;
    }
    return copy_Locked(picture, height);
}

bool CLastPicture::copy_Locked(const VideoPicture& picture, uint32_t height) {
    if (!m_buffers[0]) {
        const uint32_t rows = (height / 4) * 4 + 4;
        std::unique_ptr<uint8_t[]> buffers[3];
        for (int i = 0; i < 3; ++i) {
            m_capacity[i] = planeBytes(i, picture.linesize[i], rows);
            buffers[i].reset(new (std::nothrow) uint8_t[m_capacity[i]]);
            if (!buffers[i]) {
                return false;
            }
        }
        for (int i = 0; i < 3; ++i) {
            m_buffers[i] = std::move(buffers[i]);
        }
    }
    for (int i = 0; i < 3; ++i) {
        if (planeBytes(i, picture.linesize[i], height) > m_capacity[i]) {
            return false;
        }
    }
    for (int i = 0; i < 3; ++i) {
        std::memcpy(m_buffers[i].get(), picture.data[i],
                    planeBytes(i, picture.linesize[i], height));
        m_picture.data[i] = m_buffers[i].get();
        m_picture.linesize[i] = picture.linesize[i];
    }
    m_picture.time = picture.time;
    m_picture.keeper.reset();
    return true;
}

int32_t CLastPicture::copyTo(VideoPicture* target, uint32_t height) {
    // Checked under the lock: the video loop may be keeping the next one right now.
    CAutoLock lock(&m_lock);
    if (!m_picture.data[0]) {
        return 1;
    }
    for (int i = 0; i < 3; ++i) {
        std::memcpy(target->data[i], m_picture.data[i],
                    planeBytes(i, m_picture.linesize[i], height));
        target->linesize[i] = m_picture.linesize[i];
    }
    return 0;
}

void CLastPicture::release() {
    CAutoLock lock(&m_lock);
    m_picture = VideoPicture{};
    for (std::unique_ptr<uint8_t[]>& buffer : m_buffers) {
        buffer.reset();
    }
    m_capacity[0] = m_capacity[1] = m_capacity[2] = 0;
}
