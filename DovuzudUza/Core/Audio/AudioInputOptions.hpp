#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "platform/foundation/Error.hpp"

namespace DovuzudUza {

// How a file's channels are mixed and whether it loads whole or in pieces.
struct AudioInputOptions {
    // Which channels make the mono signal.
    class ChannelMode {
    public:
        struct SpecificChannel {
            int64_t channel = 0;
            bool operator==(const SpecificChannel&) const = default;
        };
        struct SumChannels {
            std::optional<std::vector<int64_t>> channels;  // none or empty: all channels
            bool operator==(const SumChannels&) const = default;
        };

        ChannelMode() : value_(SumChannels{}) {}
        static ChannelMode specificChannel(int64_t channel) { return ChannelMode(SpecificChannel{channel}); }
        static ChannelMode sumChannels(std::optional<std::vector<int64_t>> channels = std::nullopt) {
            return ChannelMode(SumChannels{std::move(channels)});
        }

        bool isSpecificChannel() const { return std::holds_alternative<SpecificChannel>(value_); }
        bool isSumChannels() const { return std::holds_alternative<SumChannels>(value_); }
        const SpecificChannel* asSpecificChannel() const { return std::get_if<SpecificChannel>(&value_); }
        const SumChannels* asSumChannels() const { return std::get_if<SumChannels>(&value_); }

        bool operator==(const ChannelMode&) const = default;

        // Keyed form: {"specificChannel":{"_0":i}} or {"sumChannels":{"_0":[...]}} / {"sumChannels":{}}.
        nlohmann::json toJSON() const;
        // Throws DecodingError.
        static ChannelMode fromJSON(const nlohmann::json& json);

    private:
        explicit ChannelMode(std::variant<SpecificChannel, SumChannels> v) : value_(std::move(v)) {}
        std::variant<SpecificChannel, SumChannels> value_;
    };

    // Whole file, or piece by piece with a bounded number of pieces in flight.
    struct AudioLoadingMode {
        enum class Kind { incremental, fullFile };

        static constexpr double defaultChunkDurationSeconds = 120.0;
        static constexpr int64_t defaultMaxBufferedChunks = 2;

        Kind kind = Kind::fullFile;
        double chunkDurationSeconds = 0;  // incremental only
        int64_t maxBufferedChunks = 0;    // incremental only

        static AudioLoadingMode fullFile() { return AudioLoadingMode{}; }
        static AudioLoadingMode makeIncremental(double chunkDurationSeconds, int64_t maxBufferedChunks) {
            return AudioLoadingMode{Kind::incremental, chunkDurationSeconds, maxBufferedChunks};
        }
        // The default piecewise mode: 120 s pieces, two in flight.
        static AudioLoadingMode incremental() {
            return makeIncremental(defaultChunkDurationSeconds, defaultMaxBufferedChunks);
        }

        bool operator==(const AudioLoadingMode&) const = default;
    };

    // A keyed form that does not hold exactly one known case.
    class DecodingError : public platform::Error {
    public:
        explicit DecodingError(std::string message) : message_(std::move(message)) {}
        std::string description() const override { return message_; }

    private:
        std::string message_;
    };

    ChannelMode channelMode;
    AudioLoadingMode audioLoadingMode;

    AudioInputOptions(ChannelMode channelMode = ChannelMode::sumChannels(),
                      AudioLoadingMode audioLoadingMode = AudioLoadingMode::fullFile())
        : channelMode(std::move(channelMode)), audioLoadingMode(audioLoadingMode) {}

    bool operator==(const AudioInputOptions&) const = default;
};

// An input device offered by the system.
struct AudioDevice {
    uint32_t id = 0;
    std::string name;

    bool operator==(const AudioDevice&) const = default;
};

}  // namespace DovuzudUza

template <>
struct std::hash<DovuzudUza::AudioInputOptions::ChannelMode> {
    size_t operator()(const DovuzudUza::AudioInputOptions::ChannelMode& mode) const noexcept;
};

template <>
struct std::hash<DovuzudUza::AudioDevice> {
    size_t operator()(const DovuzudUza::AudioDevice& device) const noexcept {
        return std::hash<uint32_t>()(device.id) * 31 + std::hash<std::string>()(device.name);
    }
};
