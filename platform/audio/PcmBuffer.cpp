#include "platform/audio/PcmBuffer.hpp"

#include <algorithm>
#include <cstring>

namespace platform::audio {

PcmBuffer::PcmBuffer(AudioFormat format, int64_t frameCapacity)
    : format_(format), capacity_(std::max<int64_t>(frameCapacity, 0)) {
    planes_.resize(format.channelCount);
    for (auto& plane : planes_) plane.assign(static_cast<size_t>(capacity_), 0.0f);
}

void PcmBuffer::setFrameLength(int64_t frames) { length_ = std::clamp<int64_t>(frames, 0, capacity_); }

int64_t PcmBuffer::append(const PcmBuffer& other, int64_t start, int64_t count) {
    if (other.format_ != format_ || start < 0 || count <= 0 || start >= other.length_) return 0;
    count = std::min({count, other.length_ - start, capacity_ - length_});
    if (count <= 0) return 0;
    for (size_t c = 0; c < planes_.size(); ++c) {
        std::memcpy(planes_[c].data() + length_, other.planes_[c].data() + start,
                    static_cast<size_t>(count) * sizeof(float));
    }
    length_ += count;
    return count;
}

}  // namespace platform::audio
