#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "DovuzudUza/Core/TranscriptionSegment.hpp"

namespace DovuzudUza {

// A failed comparison shows a segment by its times and its text.
inline void PrintTo(const TranscriptionSegment& s, std::ostream* out) {
    *out << s.start << "-" << s.end << " \"" << s.text << "\"";
}

}  // namespace DovuzudUza

namespace DovuzudUza::test_support {

// A segment that holds only its times, its text and, if given, its words.
inline TranscriptionSegment segment(float start, float end, std::string text = "x",
                                    std::optional<std::vector<WordTiming>> words = {}) {
    TranscriptionSegment s;
    s.start = start;
    s.end = end;
    s.text = std::move(text);
    s.words = std::move(words);
    return s;
}

// The words' texts, in order.
inline std::vector<std::string> texts(const std::vector<WordTiming>& words) {
    std::vector<std::string> list;
    for (const auto& w : words) list.push_back(w.word);
    return list;
}

}  // namespace DovuzudUza::test_support
