#pragma once

#include <string_view>

#include "platform/log/Signposter.hpp"
#include "platform/log/SystemLog.hpp"

// The engine's signposts: one system logger and one signposter per area of
// the pipeline, made once on first use (thread-safe), and the two calls that
// begin and end an interval. The engine's text log stays the shared logger
// of ZezeziCore; these loggers only carry the signposters.
namespace DovuzudUza::EngineLogging {

inline constexpr std::string_view subsystem = "qz.tamo.DovuzudUza";

// "EncodeAudio".
struct AudioEncoding {
    static const platform::SystemLogger& logger();
    static const platform::Signposter& signposter();
};

// "ExtractAudioFeatures".
struct FeatureExtractor {
    static const platform::SystemLogger& logger();
    static const platform::Signposter& signposter();
};

// "TranscribeAudio" and "Decode".
struct TranscribeTask {
    static const platform::SystemLogger& logger();
    static const platform::Signposter& signposter();
};

// A new open interval; its begin event is written only when signposts are
// enabled.
platform::SignpostInterval beginSignpost(std::string_view name, const platform::Signposter& signposter);
// Ends the interval when signposts are enabled (a second end is written
// marked "[Error] Interval already ended"); when they are disabled nothing
// is written and the interval is left as it was. Never fails.
void endSignpost(std::string_view name, platform::SignpostInterval& interval, const platform::Signposter& signposter);

}  // namespace DovuzudUza::EngineLogging
