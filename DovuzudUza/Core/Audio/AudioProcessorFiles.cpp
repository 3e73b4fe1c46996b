#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <future>


#include "DovuzudUza/Core/Audio/AudioLog.hpp"
#include "DovuzudUza/Core/Audio/AudioProcessor.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "ZezeziCore/Logging.hpp"
#include "platform/audio/AudioError.hpp"
#include "platform/concurrency/ConcurrentWork.hpp"
#include "platform/foundation/NumberFormat.hpp"

namespace DovuzudUza {

using platform::audio::AudioFile;
using platform::audio::AudioFormat;
using platform::audio::Resampler;

namespace {

void requireFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) throw WhisperError::loadAudioFailed("Resource path does not exist " + path);
}

std::string bufferDetails(double rate, uint32_t channels, int64_t frames) {
    return "Sample Rate: " + platform::formatShortest(rate) + " Hz, Channel Count: " + std::to_string(channels) +
           ", Frame Length: " + std::to_string(frames) + ", Duration: " +
           platform::formatShortest(rate > 0 ? static_cast<double>(frames) / rate : 0.0) + "s";
}

// A first guess of the frames a file can hold, for sizing buffers: four per
// byte and channel. Uncompressed audio never holds more, so such files are
// read into buffers sized once; a header that announces hours in a file of a
// few kilobytes sizes nothing by it. Denser compressed audio makes the buffers
// grow as it arrives.
int64_t framesTheFileMayHold(const AudioFile& file) {
    constexpr int64_t smallest = 4096;
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(file.path(), ec);
    if (ec) return smallest;
    const uint64_t perChannel = bytes / std::max<uint32_t>(file.channelCount(), 1);
    return static_cast<int64_t>(std::min<uint64_t>(perChannel, INT64_MAX / 8) * 4) + smallest;
}

// Appends all of `more` to `buffer`, enlarging it (at least doubling) up to
// `limit` frames when it is full; what lies beyond `limit` is cut.
void appendGrowing(AudioBuffer& buffer, const AudioBuffer& more, int64_t limit) {
    const int64_t needed = std::min(buffer.frameLength() + more.frameLength(), limit);
    if (needed > buffer.frameCapacity()) {
        AudioBuffer larger(buffer.format(), std::min(limit, std::max(needed, 2 * buffer.frameCapacity())));
        larger.append(buffer, 0, buffer.frameLength());
        buffer = std::move(larger);
    }
    buffer.append(more, 0, more.frameLength());
}

// Reads a 16 kHz mono range as it is; shorter when the file ends early.
AudioBuffer readFully(AudioFile& file, int64_t frameCount) {
    const int64_t guess = framesTheFileMayHold(file);
    AudioBuffer buffer(file.processingFormat(), std::min(frameCount, guess));
    file.read(buffer, frameCount);
    // Done, or the file ended before the guess was full.
    if (buffer.frameLength() == frameCount || buffer.frameLength() < buffer.frameCapacity()) return buffer;
    AudioBuffer more(file.processingFormat(), std::min(frameCount - buffer.frameLength(), guess));
    while (buffer.frameLength() < frameCount && file.read(more, frameCount - buffer.frameLength()) > 0)
        appendGrowing(buffer, more, frameCount);
    return buffer;
}

// Peak magnitude of the first `frames` samples.
float peak(const float* v, int64_t frames) {
    float p = 0;
    for (int64_t i = 0; i < frames; ++i) p = std::max(p, std::fabs(v[i]));
    return p;
}

}  // namespace

AudioBuffer AudioProcessor::loadAudio(const std::string& path, const AudioInputOptions::ChannelMode& channelMode,
                                      std::optional<double> startTime, std::optional<double> endTime,
                                      std::optional<uint32_t> maxReadFrameSize) {
    requireFile(path);
    AudioFile file(path);
    return loadAudio(file, channelMode, startTime, endTime, maxReadFrameSize);
}

AudioBuffer AudioProcessor::loadAudio(AudioFile& file, const AudioInputOptions::ChannelMode& channelMode,
                                      std::optional<double> startTime, std::optional<double> endTime,
                                      std::optional<uint32_t> maxReadFrameSize) {
    const double r = file.sampleRate();
    const uint32_t c = file.channelCount();
    const int64_t n = file.length();
    const double start = startTime.value_or(0.0);
    if (!std::isfinite(start) || (endTime && !std::isfinite(*endTime)))
        throw WhisperError::loadAudioFailed("Failed to read audio file: the time range is not a finite number");
    const int64_t startFrame = std::max<int64_t>(static_cast<int64_t>(std::min(start * r, 9.0e18)), 0);
    const int64_t endFrame =
        endTime ? std::min<int64_t>(static_cast<int64_t>(std::clamp(*endTime * r, -9.0e18, 9.0e18)), n) : n;
    if (startFrame > endFrame) {
        throw WhisperError::loadAudioFailed("Failed to read audio file: the range starts at frame " +
                                            std::to_string(startFrame) + ", past its end at frame " +
                                            std::to_string(endFrame) + " (the file has " + std::to_string(n) + ")");
    }
    const int64_t frameCount = endFrame - startFrame;

    AudioBuffer result;
    if (r == sampleRate && c == 1) {
        try {
            file.setFramePosition(startFrame);
            result = readFully(file, frameCount);
        } catch (const std::exception& e) {
            throw WhisperError::loadAudioFailed(std::string("Failed to read audio file: ") + e.what());
        }
    } else {
        std::optional<AudioBuffer> converted;
        try {
            file.setFramePosition(startFrame);
            converted = resampleAudio(file, sampleRate, 1, channelMode, frameCount,
                                      maxReadFrameSize.value_or(defaultAudioReadFrameSize));
        } catch (const platform::audio::AudioError& e) {
            AudioLog::error(std::string("Error reading audio file: ") + e.what());
        }
        if (!converted) throw WhisperError::loadAudioFailed("Failed to process audio buffer");
        result = std::move(*converted);
    }
    {
        AudioLog::debug("Audio source details - " + bufferDetails(r, c, n));
        AudioLog::debug("Audio buffer details - " + bufferDetails(result.sampleRate(), result.channelCount(), result.frameLength()));
        ZezeziCore::Logging::logCurrentMemoryUsage("After loadAudio function");
    }
    return result;
}

std::optional<AudioBuffer> AudioProcessor::resampleAudio(AudioFile& file, double toSampleRate, uint32_t channelCount,
                                                         const AudioInputOptions::ChannelMode& channelMode,
                                                         std::optional<int64_t> frameCount, uint32_t maxReadFrameSize) {
    const double r = file.sampleRate();
    const int64_t start = file.framePosition();
    const int64_t count = frameCount.value_or(file.length());
    // Never past the last frame of the file.
    const int64_t end = std::min(start + count, file.length());
    const AudioFormat target{toSampleRate, channelCount};
    if (channelCount == 0 || !(toSampleRate > 0) || !std::isfinite(toSampleRate)) {
        AudioLog::error("Failed to create output audio format");
        return std::nullopt;
    }
    AudioLog::debug("Resampling " + platform::formatFixed(static_cast<double>(count) / r, 2) + " seconds of audio");
    const int64_t capacity = static_cast<int64_t>(static_cast<double>(count) / r * toSampleRate);
    if (capacity < 0 || maxReadFrameSize == 0) {
        AudioLog::error("Failed to create output buffer");
        return std::nullopt;
    }
    // Sized by what the file may hold, grown up to `capacity` when it holds more.
    const int64_t guess = framesTheFileMayHold(file);
    AudioBuffer output(target, std::min(capacity, static_cast<int64_t>(static_cast<double>(guess) / r * toSampleRate) + 1));
    AudioBuffer input(file.processingFormat(), std::min<int64_t>(maxReadFrameSize, guess));

    // One converter for the whole range: consecutive blocks join without a seam.
    std::unique_ptr<Resampler> converter;
    int64_t position = start;
    while (position < end) {
        const int64_t p = file.framePosition();
        const int64_t k = std::min<int64_t>(end - p, input.frameCapacity());
        AudioLog::debug("Resampling " + platform::formatFixed(static_cast<double>(p) / r, 2) + "s - " +
                        platform::formatFixed(static_cast<double>(p + k) / r, 2) + "s");
        int64_t got = 0;
        try {
            got = file.read(input, k);
        } catch (const std::exception& e) {
            AudioLog::error(std::string("Error reading audio file: ") + e.what());
            return std::nullopt;
        }
        if (got == 0) break;  // the file ended before its declared length
        auto mono = convertToMono(input, channelMode);
        if (!mono) {
            AudioLog::error("Failed to process audio channels");
            return std::nullopt;
        }
        try {
            if (!converter) converter = std::make_unique<Resampler>(mono->format(), target);
            appendGrowing(output, converter->process(*mono), capacity);
        } catch (const std::exception& e) {
            AudioLog::error("Failed to resample audio chunk");
            return std::nullopt;
        }
        position = p + got;
    }
    if (converter) {
        try {
            appendGrowing(output, converter->flush(), capacity);
        } catch (const std::exception&) {
            AudioLog::error("Failed to resample audio chunk");
            return std::nullopt;
        }
    }
    return output;
}

std::optional<AudioBuffer> AudioProcessor::resampleAudio(const AudioBuffer& buffer, double toSampleRate, uint32_t channelCount) {
    if (channelCount == 0 || !(toSampleRate > 0) || !std::isfinite(toSampleRate)) {
        AudioLog::error("Failed to create output audio format");
        return std::nullopt;
    }
    std::unique_ptr<Resampler> converter;
    try {
        converter = std::make_unique<Resampler>(buffer.format(), AudioFormat{toSampleRate, channelCount});
    } catch (const std::exception&) {
        AudioLog::error("Failed to create audio converter");
        return std::nullopt;
    }
    try {
        // The buffer goes in once, then the stream ends: nothing is handed over twice.
        AudioBuffer head = resampleBuffer(buffer, *converter);
        const auto tail = converter->flush();
        AudioBuffer out(head.format(), head.frameCapacity());
        out.append(head, 0, head.frameLength());
        out.append(tail, 0, tail.frameLength());
        return out;
    } catch (const std::exception& e) {
        AudioLog::error(std::string("Failed to resample buffer: ") + e.what());
        return std::nullopt;
    }
}

AudioBuffer AudioProcessor::resampleBuffer(const AudioBuffer& buffer, Resampler& converter) {
    double capacity = converter.outputFormat().sampleRate * static_cast<double>(buffer.frameLength()) /
                      converter.inputFormat().sampleRate;
    if (capacity != std::floor(capacity)) {
        const double whole = std::max(std::nearbyint(capacity), 1.0);
        AudioLog::debug("Rounding buffer frame capacity from " + platform::formatShortest(capacity) + " to " +
                        platform::formatShortest(whole) + " to better fit new sample rate");
        capacity = whole;
    }
    try {
        AudioBuffer converted = converter.process(buffer, static_cast<int64_t>(capacity));
        AudioBuffer out(converter.outputFormat(), static_cast<int64_t>(capacity));
        out.append(converted, 0, converted.frameLength());
        return out;
    } catch (const std::exception& e) {
        throw WhisperError::audioProcessingFailed(std::string("Error converting audio: ") + e.what());
    }
}

std::optional<AudioBuffer> AudioProcessor::convertToMono(const AudioBuffer& buffer, const AudioInputOptions::ChannelMode& mode) {
    const uint32_t c = buffer.channelCount();
    const int64_t f = buffer.frameLength();
    if (c < 2) return buffer;
    if (!buffer.hasFloatData()) {
        AudioLog::error("Buffer did not contain floatChannelData.");
        return std::nullopt;
    }
    AudioBuffer mono(AudioFormat{buffer.sampleRate(), 1}, buffer.frameCapacity());
    mono.setFrameLength(f);
    float* out = mono.channel(0);
    auto copyChannel = [&](uint32_t ch) { std::memcpy(out, buffer.channel(ch), static_cast<size_t>(f) * sizeof(float)); };

    if (const auto* specific = mode.asSpecificChannel()) {
        const int64_t i = specific->channel;
        copyChannel(i >= 0 && i < static_cast<int64_t>(c) ? static_cast<uint32_t>(i) : 0);
        return mono;
    }
    const auto& list = mode.asSumChannels()->channels;
    std::vector<uint32_t> chosen;
    if (list && !list->empty()) {
        for (int64_t i : *list)
            if (i >= 0 && i < static_cast<int64_t>(c)) chosen.push_back(static_cast<uint32_t>(i));
        if (chosen.empty()) {
            copyChannel(0);
            AudioLog::debug("No valid channel indices provided, defaulting to first channel");
            return mono;
        }
    } else {
        for (uint32_t i = 0; i < c; ++i) chosen.push_back(i);
    }
    float peakMax = 0;
    for (uint32_t ch : chosen) peakMax = std::max(peakMax, peak(buffer.channel(ch), f));
    for (uint32_t ch : chosen) {
        const float* in = buffer.channel(ch);
        for (int64_t i = 0; i < f; ++i) out[i] += in[i];
    }
    const float scale = peakMax / std::max(peak(out, f), 0.0001f);
    for (int64_t i = 0; i < f; ++i) out[i] *= scale;
    return mono;
}

std::vector<float> AudioProcessor::convertBufferToArray(AudioBuffer& buffer, int64_t chunkSize) {
    if (!buffer.hasFloatData()) return {};
    const int64_t f = buffer.frameLength();
    if (chunkSize <= 0) chunkSize = std::max<int64_t>(f, 1);
    std::vector<float> samples;
    samples.reserve(static_cast<size_t>(f));
    float* source = buffer.channel(0);
    for (int64_t offset = 0; offset < f; offset += chunkSize) {
        const int64_t k = std::min(f - offset, chunkSize);
        samples.insert(samples.end(), source + offset, source + offset + k);
        std::fill(source + offset, source + offset + k, 0.0f);
    }
    return samples;
}

std::vector<float> AudioProcessor::loadAudioAsFloatArray(const std::string& path,
                                                         const AudioInputOptions::ChannelMode& channelMode,
                                                         std::optional<double> startTime, std::optional<double> endTime) {
    requireFile(path);
    AudioFile file(path);
    const double duration = static_cast<double>(file.length()) / file.sampleRate();
    double t = startTime.value_or(0.0);
    const double stop = std::min(duration, endTime.value_or(duration));
    std::vector<float> samples;
    while (t < stop) {
        const double next = std::min(stop, t + 600.0);
        // The piece that reaches the file's end reads to its last frame:
        // length / rate * rate can come out a hair short of the length.
        const bool toEnd = next >= duration;
        AudioBuffer piece = loadAudio(file, channelMode, t, toEnd ? std::nullopt : std::optional<double>(next), std::nullopt);
        const auto part = convertBufferToArray(piece, 1024);
        samples.insert(samples.end(), part.begin(), part.end());
        // The audio stopped inside this piece: there is nothing after it,
        // whatever length the header announced.
        if (file.framePosition() < static_cast<int64_t>(next * file.sampleRate())) break;
        t = next;
    }
    return samples;
}

std::vector<AudioLoadResult> AudioProcessor::loadAudio(const std::vector<std::string>& paths,
                                                       const AudioInputOptions::ChannelMode& channelMode) {
    // As many files at once as the process has cores; a file whose load
    // cannot be run (out of memory, say) gets that error.
    std::vector<AudioLoadResult> results(paths.size());
    platform::ConcurrentWork::forEach(paths.size(), 0, [&](size_t i) {
        try {
            results[i] = loadAudioAsFloatArray(paths[i], channelMode, 0.0, std::nullopt);
        } catch (...) {
            results[i] = std::current_exception();
        }
    });
    return results;
}

AudioBuffer AudioProcessor::loadAudioAsync(const std::string& path) {
    return std::async(std::launch::async, [path] {
               requireFile(path);
               AudioFile file(path);
               return loadAudio(file, AudioInputOptions::ChannelMode::sumChannels(), 0.0, std::nullopt, std::nullopt);
           }).get();
}

}  // namespace DovuzudUza
