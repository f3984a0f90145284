#include "TavoPlayerCore/AudioRender/IAudioRender.h"

#include "TavoPlayerCore/AudioRender/DSoundRender.h"

bool createAudioRender(IAudioRender** slot) {
    if (!slot || *slot) {
        return false;
    }
    *slot = new DSoundRender();
    return true;
}
