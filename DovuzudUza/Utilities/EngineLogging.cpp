#include "DovuzudUza/Utilities/EngineLogging.hpp"

#include <string>

namespace DovuzudUza::EngineLogging {

namespace {

struct Area {
    platform::SystemLogger logger;
    platform::Signposter signposter;
    explicit Area(const char* category)
        : logger(std::string(subsystem), category), signposter(logger) {}
};

// Function-local statics: made once, safely, by the first thread to ask.
const Area& audioEncoding() {
    static const Area area("AudioEncoding");
    return area;
}
const Area& featureExtractor() {
    static const Area area("FeatureExtractor");
    return area;
}
const Area& transcribeTask() {
    static const Area area("TranscribeTask");
    return area;
}

}  // namespace

const platform::SystemLogger& AudioEncoding::logger() { return audioEncoding().logger; }
const platform::Signposter& AudioEncoding::signposter() { return audioEncoding().signposter; }
const platform::SystemLogger& FeatureExtractor::logger() { return featureExtractor().logger; }
const platform::Signposter& FeatureExtractor::signposter() { return featureExtractor().signposter; }
const platform::SystemLogger& TranscribeTask::logger() { return transcribeTask().logger; }
const platform::Signposter& TranscribeTask::signposter() { return transcribeTask().signposter; }

platform::SignpostInterval beginSignpost(std::string_view name, const platform::Signposter& signposter) {
    return signposter.beginInterval(name);
}

void endSignpost(std::string_view name, platform::SignpostInterval& interval, const platform::Signposter& signposter) {
    signposter.endInterval(name, interval);
}

}  // namespace DovuzudUza::EngineLogging
