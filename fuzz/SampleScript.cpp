#include "SampleScript.h"

#include <algorithm>

namespace {

constexpr uint8_t kVideo = 0x01;
constexpr uint8_t kKeyFrame = 0x02;
constexpr uint8_t kDescription = 0x04;
constexpr uint8_t kNoDisplay = 0x08;
constexpr uint8_t kAbsoluteTime = 0x10;
constexpr uint8_t kNoData = 0x20;
constexpr uint32_t kFirstTimeMs = 10000;
constexpr uint8_t kCodecNone = 0x7F;

// Reads little-endian values; past the end every read gives zeros.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool atEnd() const { return m_at >= m_size; }
    uint32_t read(int bytes) {
        uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            value |= static_cast<uint32_t>(atEnd() ? 0 : m_data[m_at++]) << (8 * i);
        }
        return value;
    }
    std::vector<uint8_t> take(size_t count) {
        const size_t taken = atEnd() ? 0 : std::min(count, m_size - m_at);
        std::vector<uint8_t> bytes(m_data + m_at, m_data + m_at + taken);
        m_at += taken;
        return bytes;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

void write(std::vector<uint8_t>* out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out->push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

}  // namespace

SampleScript SampleScript::parse(const uint8_t* data, size_t size) {
    SampleScript script;
    Reader reader(data, size);
    script.options = static_cast<uint8_t>(reader.read(1));
    uint32_t lastTime[2] = {kFirstTimeMs, kFirstTimeMs};
    while (!reader.atEnd()) {
        const uint8_t flags = static_cast<uint8_t>(reader.read(1));
        Entry entry{flags & kVideo ? TRACK_VIDEO : TRACK_AUDIO, {}};
        ScriptedHost::Item& item = entry.item;
        uint32_t& last = lastTime[(flags & kVideo) != 0];
        last = flags & kAbsoluteTime ? reader.read(4) : last + static_cast<int16_t>(reader.read(2));
        item.timeMs = last;
        item.flags = (flags & kKeyFrame ? MEDIA_FLAG_KEYFRAME : 0) |
                     (flags & kDescription ? MEDIA_FLAG_DESCRIPTION : 0) |
                     (flags & kNoDisplay ? MEDIA_FLAG_NO_DISPLAY : 0);
        if (flags & kDescription) {
            item.withInfo = true;
            item.info.kind = reader.read(1);
            const uint32_t codec = reader.read(1);
            item.info.codecType = codec == kCodecNone ? CODEC_NONE : static_cast<int32_t>(codec);
            item.info.rateOrWidth = reader.read(4);
            item.info.formatOrHeight = reader.read(4);
        }
        item.data = reader.take(reader.read(2));
        item.withData = !(flags & kNoData);
        script.entries.push_back(std::move(entry));
    }
    return script;
}

std::vector<uint8_t> SampleScript::bytes() const {
    std::vector<uint8_t> out{options};
    uint32_t lastTime[2] = {kFirstTimeMs, kFirstTimeMs};
    for (const Entry& entry : entries) {
        const ScriptedHost::Item& item = entry.item;
        uint32_t& last = lastTime[entry.track == TRACK_VIDEO];
        const int32_t delta = static_cast<int32_t>(item.timeMs - last);
        const bool absolute = delta != static_cast<int16_t>(delta);
        out.push_back(static_cast<uint8_t>((entry.track == TRACK_VIDEO ? kVideo : 0) |
                                           (item.flags & MEDIA_FLAG_KEYFRAME ? kKeyFrame : 0) |
                                           (item.withInfo ? kDescription : 0) |
                                           (item.flags & MEDIA_FLAG_NO_DISPLAY ? kNoDisplay : 0) |
                                           (absolute ? kAbsoluteTime : 0) |
                                           (item.withData ? 0 : kNoData)));
        write(&out, absolute ? item.timeMs : static_cast<uint32_t>(delta), absolute ? 4 : 2);
        last = item.timeMs;
        if (item.withInfo) {
            write(&out, item.info.kind, 1);
            write(&out, item.info.codecType == CODEC_NONE ? kCodecNone : item.info.codecType, 1);
            write(&out, item.info.rateOrWidth, 4);
            write(&out, item.info.formatOrHeight, 4);
        }
        write(&out, static_cast<uint32_t>(item.data.size()), 2);
        out.insert(out.end(), item.data.begin(), item.data.end());
    }
    return out;
}
