#include "TavoPlayerCore/MediaSampleRecord.h"

#include <cstring>

#include "Common/TimeFunctions.h"

void initMediaSample(MediaSample* sample) {
    std::memset(sample, 0, sizeof(*sample));
    sample->ulTick = RIVO_Common_Player::tickMs();
}

void releaseMediaSample(MediaSample* sample) {
    if (!sample) {
        return;
    }
    delete[] sample->pExtData;
    sample->pExtData = nullptr;
    delete sample->pStreamInfo;
    sample->pStreamInfo = nullptr;
    delete[] sample->pData;
    sample->pData = nullptr;
    delete sample;
}
