#include "TavoPlayerCore/VideoRender/CLastPictureCopy.h"

#include <cstring>
#include <new>
#include <utility>

#include "Common/CAutoLock.h"

using RIVO_Common_Player::CAutoLock;

namespace {

// Bytes of plane i for the given number of rows: full rows for luma, half for chroma.
uint64_t planeBytes(int plane, int32_t stride, uint32_t rows) {
    const int64_t bytes = static_cast<int64_t>(stride) * static_cast<int64_t>(rows);
    return static_cast<uint64_t>(plane == 0 ? bytes : bytes / 2);
}

}  // namespace

CLastPictureCopy::CLastPictureCopy() : m_capacity{0, 0, 0} {}

CLastPictureCopy::~CLastPictureCopy() {
    release();
}

bool CLastPictureCopy::copyFrom(const VideoPicture& picture, uint32_t height) {
    CAutoLock lock(&m_lock);
    if (!m_picture) {
        const uint32_t rows = (height / 4) * 4 + 4;
        std::unique_ptr<uint8_t[]> buffers[3];
        for (int i = 0; i < 3; ++i) {
            m_capacity[i] = planeBytes(i, picture.linesize[i], rows);
            buffers[i].reset(new (std::nothrow) uint8_t[m_capacity[i]]);
            if (!buffers[i]) {
                return false;
            }
        }
        std::unique_ptr<VideoPicture> copy(new (std::nothrow) VideoPicture{});
        if (!copy) {
            return false;
        }
        for (int i = 0; i < 3; ++i) {
            copy->data[i] = buffers[i].release();
        }
        m_picture = std::move(copy);
    }
    for (int i = 0; i < 3; ++i) {
        if (planeBytes(i, picture.linesize[i], height) > m_capacity[i]) {
            return false;
        }
    }
    for (int i = 0; i < 3; ++i) {
        std::memcpy(m_picture->data[i], picture.data[i],
                    planeBytes(i, picture.linesize[i], height));
        m_picture->linesize[i] = picture.linesize[i];
    }
    return true;
}

int32_t CLastPictureCopy::copyTo(VideoPicture* target, uint32_t height) {
    // Checked under the lock: the video loop may be making the copy right now.
    CAutoLock lock(&m_lock);
    if (!m_picture) {
        return 1;
    }
    for (int i = 0; i < 3; ++i) {
        std::memcpy(target->data[i], m_picture->data[i],
                    planeBytes(i, m_picture->linesize[i], height));
        target->linesize[i] = m_picture->linesize[i];
    }
    return 0;
}

void CLastPictureCopy::release() {
    CAutoLock lock(&m_lock);
    if (m_picture) {
        for (uint8_t*& plane : m_picture->data) {
            delete[] plane;
            plane = nullptr;
        }
        m_picture.reset();
    }
    m_capacity[0] = m_capacity[1] = m_capacity[2] = 0;
}
