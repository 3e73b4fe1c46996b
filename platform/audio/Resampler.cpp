#include "platform/audio/Resampler.hpp"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "platform/audio/AudioError.hpp"

namespace platform::audio {

struct Resampler::Impl {
    SwrContext* swr = nullptr;
    bool passThrough = false;
    ~Impl() { swr_free(&swr); }
};

namespace {

bool validRate(double rate) {
    return std::isfinite(rate) && rate >= 1 && rate <= std::numeric_limits<int>::max() && rate == std::floor(rate);
}

}  // namespace

Resampler::Resampler(AudioFormat input, AudioFormat output)
    : input_(input), output_(output), impl_(std::make_unique<Impl>()) {
    if (!validRate(input.sampleRate) || !validRate(output.sampleRate) || input.channelCount == 0 ||
        output.channelCount == 0 || input.channelCount > 64 || output.channelCount > 64) {
        throw AudioError(AudioError::Kind::converterFailed, "Unsupported conversion format");
    }
    if (input == output) {
        impl_->passThrough = true;
        return;
    }
    AVChannelLayout inLayout, outLayout;
    av_channel_layout_default(&inLayout, static_cast<int>(input.channelCount));
    av_channel_layout_default(&outLayout, static_cast<int>(output.channelCount));
    int rc = swr_alloc_set_opts2(&impl_->swr, &outLayout, AV_SAMPLE_FMT_FLTP, static_cast<int>(output.sampleRate),
                                 &inLayout, AV_SAMPLE_FMT_FLTP, static_cast<int>(input.sampleRate), 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (rc >= 0) rc = swr_init(impl_->swr);
    if (rc < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(rc, text, sizeof text);
        throw AudioError(AudioError::Kind::converterFailed, std::string("Cannot create the converter: ") + text);
    }
}

Resampler::~Resampler() = default;

PcmBuffer Resampler::run(const float* const* planes, int frames, int64_t maxFrames) {
    if (impl_->passThrough) {
        PcmBuffer out(output_, frames);
        for (uint32_t c = 0; c < output_.channelCount; ++c)
            std::memcpy(out.channel(c), planes[c], static_cast<size_t>(frames) * sizeof(float));
        out.setFrameLength(frames);
        return out;
    }
    int capacity = swr_get_out_samples(impl_->swr, frames);
    if (capacity < 0) throw AudioError(AudioError::Kind::converterFailed, "Cannot convert audio");
    if (maxFrames >= 0 && maxFrames < capacity) capacity = static_cast<int>(maxFrames);
    PcmBuffer out(output_, capacity);
    std::vector<uint8_t*> outPlanes(output_.channelCount);
    for (uint32_t c = 0; c < output_.channelCount; ++c) outPlanes[c] = reinterpret_cast<uint8_t*>(out.channel(c));
    const int got = swr_convert(impl_->swr, outPlanes.data(), capacity,
                                reinterpret_cast<const uint8_t**>(const_cast<const float**>(planes)), frames);
    if (got < 0) throw AudioError(AudioError::Kind::converterFailed, "Cannot convert audio");
    out.setFrameLength(got);
    return out;
}

PcmBuffer Resampler::process(const PcmBuffer& input) { return process(input, -1); }

PcmBuffer Resampler::process(const PcmBuffer& input, int64_t maxFrames) {
    if (input.format() != input_)
        throw AudioError(AudioError::Kind::converterFailed, "Buffer format does not match the converter");
    if (input.frameLength() == 0 && (impl_->passThrough || maxFrames == 0)) return PcmBuffer(output_, 0);
    if (input.frameLength() > std::numeric_limits<int>::max() / 4)
        throw AudioError(AudioError::Kind::converterFailed, "Buffer too long to convert at once");
    std::vector<const float*> planes(input_.channelCount);
    for (uint32_t c = 0; c < input_.channelCount; ++c) planes[c] = input.channel(c);
    return run(planes.data(), static_cast<int>(input.frameLength()), maxFrames);
}

PcmBuffer Resampler::flush() {
    if (impl_->passThrough) return PcmBuffer(output_, 0);
    return run(nullptr, 0, -1);
}

PcmBuffer Resampler::convert(const PcmBuffer& input, AudioFormat output) {
    Resampler resampler(input.format(), output);
    PcmBuffer head = resampler.process(input);
    PcmBuffer tail = resampler.flush();
    PcmBuffer all(output, head.frameLength() + tail.frameLength());
    all.append(head, 0, head.frameLength());
    all.append(tail, 0, tail.frameLength());
    return all;
}

}  // namespace platform::audio
