#pragma once

#include <memory>

#include "platform/audio/PcmBuffer.hpp"

namespace platform::audio {

// Sample-rate and channel conversion of planar float audio. One object keeps
// its filter state from one `process` call to the next, so consecutive
// buffers of a stream join without seams. Throws AudioError.
class Resampler {
public:
    Resampler(AudioFormat input, AudioFormat output);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    const AudioFormat& inputFormat() const { return input_; }
    const AudioFormat& outputFormat() const { return output_; }

    // Converts the frames of `input`; the result holds what is ready so far.
    PcmBuffer process(const PcmBuffer& input);
    // As above, giving at most `maxFrames`; the rest stays in the converter
    // and comes out with the next call.
    PcmBuffer process(const PcmBuffer& input, int64_t maxFrames);
    // Ends the stream: the samples still held in the filter.
    PcmBuffer flush();

    // Converts one whole buffer: its frames are handed over once, then the
    // stream ends.
    static PcmBuffer convert(const PcmBuffer& input, AudioFormat output);

private:
    PcmBuffer run(const float* const* planes, int frames, int64_t maxFrames);

    AudioFormat input_;
    AudioFormat output_;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::audio
