#include "DovuzudUza/Utilities/EngineExtensions.hpp"

#include <unicode/uchar.h>

#include <algorithm>

#include "DovuzudUza/Core/EngineLog.hpp"
#include "platform/foundation/Trim.hpp"
#include "platform/foundation/Unicode.hpp"

namespace DovuzudUza {

bool appendContents(platform::audio::PcmBuffer& into, const platform::audio::PcmBuffer& of, int64_t startingFrame,
                    int64_t frameCount) {
    if (into.format() != of.format()) {
        engine_log::debug("Format mismatch");
        return false;
    }
    if (startingFrame < 0 || frameCount < 0 || frameCount > of.frameLength() - startingFrame) {
        engine_log::error("Insufficient audio in buffer");
        return false;
    }
    if (!into.hasFloatData() || !of.hasFloatData()) {
        engine_log::error("Failed to access float channel data");
        return false;
    }
    if (frameCount > into.frameCapacity() - into.frameLength()) {
        engine_log::debug("Insufficient space in buffer, reducing frame count to fit");
        frameCount = into.frameCapacity() - into.frameLength();
    }
    into.append(of, startingFrame, frameCount);
    return true;
}

bool contains(const std::vector<TranscriptionSegment>& segments, const TranscriptionSegment& segment) {
    return std::any_of(segments.begin(), segments.end(),
                       [&](const TranscriptionSegment& s) { return s.start == segment.start; });
}

std::string normalized(std::string_view text) {
    std::u32string kept;
    for (char32_t c : platform::toUtf32(platform::lowercased(text))) {
        if (c == U'-') c = U' ';
        if (u_ispunct(static_cast<UChar32>(c))) continue;
        if (c == U' ' && !kept.empty() && kept.back() == U' ') continue;
        kept.push_back(c);
    }
    return platform::trimmingWhitespaceAndNewlines(platform::fromUtf32(kept));
}

}  // namespace DovuzudUza
