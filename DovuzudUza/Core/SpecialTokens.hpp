#pragma once

#include <cstdint>

namespace DovuzudUza {

// The ids of the speech model's control tokens.
struct SpecialTokens {
    int64_t endToken = 50257;
    int64_t englishToken = 50259;
    int64_t noSpeechToken = 50362;
    int64_t noTimestampsToken = 50363;
    int64_t specialTokenBegin = 50257;
    int64_t startOfPreviousToken = 50361;
    int64_t startOfTranscriptToken = 50258;
    int64_t timeTokenBegin = 50364;
    int64_t transcribeToken = 50359;
    int64_t translateToken = 50358;
    int64_t whitespaceToken = 220;

    bool operator==(const SpecialTokens&) const = default;
};

}  // namespace DovuzudUza
