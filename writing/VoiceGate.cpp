#include "writing/VoiceGate.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <unordered_set>

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "platform/foundation/Unicode.hpp"

namespace ParloxCore {
namespace {

// Lower case without accents: decompose, drop the combining marks, recompose.
std::u32string folded(std::string_view text) {
    std::u32string out;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    icu::UnicodeString source = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    source.foldCase();
    icu::UnicodeString decomposed = U_SUCCESS(status) ? nfd->normalize(source, status) : source;
    if (U_FAILURE(status)) decomposed = source;
    icu::UnicodeString stripped;
    for (int32_t i = 0; i < decomposed.length();) {
        UChar32 c = decomposed.char32At(i);
        i += U16_LENGTH(c);
        if (u_charType(c) == U_NON_SPACING_MARK) continue;
        stripped.append(c);
    }
    status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    icu::UnicodeString composed = U_SUCCESS(status) ? nfc->normalize(stripped, status) : stripped;
    if (U_FAILURE(status)) composed = stripped;
    for (int32_t i = 0; i < composed.length();) {
        UChar32 c = composed.char32At(i);
        i += U16_LENGTH(c);
        out += static_cast<char32_t>(c);
    }
    return out;
}

bool isAlphanumeric(char32_t c) {
    const auto mask = U_GET_GC_MASK(static_cast<UChar32>(c));
    return (mask & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

// The subtitling site named in the credit lines the speech model produces
// from silence ("Amara.org" once folded).
constexpr const char* creditSite = "amaraorg";

const std::unordered_set<std::string>& fillerPhrases() {
    static const std::unordered_set<std::string> phrases = {
        "gracias",
        "muchas gracias",
        "gracias por ver",
        "gracias por ver el video",
        "suscribete",
        "thank you",
        "thanks for watching",
        std::string("subtitulos realizados por la comunidad de ") + creditSite,
        std::string("subtitulos por la comunidad de ") + creditSite,
        std::string("subtitulado por la comunidad de ") + creditSite,
        std::string("mas informacion en www") + creditSite,
    };
    return phrases;
}

}  // namespace

float VoiceGate::peakLevel(const std::vector<float>& samples, double sampleRate) {
    const std::size_t window = std::max<std::size_t>(static_cast<std::size_t>(std::max(0.0, sampleRate * 0.05)), 1);
    if (samples.empty()) return -std::numeric_limits<float>::infinity();
    float peak = 0;
    for (std::size_t start = 0; start < samples.size(); start += window) {
        const std::size_t end = std::min(samples.size(), start + window);
        float sum = 0;
        for (std::size_t i = start; i < end; ++i) sum += samples[i] * samples[i];
        peak = std::max(peak, std::sqrt(sum / static_cast<float>(end - start)));
    }
    if (peak > 0) return 20.0f * std::log10(peak);
    return -std::numeric_limits<float>::infinity();
}

bool VoiceGate::hasSpeech(const std::vector<float>& samples, double sampleRate) {
    return peakLevel(samples, sampleRate) > speechThreshold;
}

bool VoiceGate::isHallucination(std::string_view text) {
    std::u32string kept;
    for (char32_t c : folded(text)) {
        if (c == U' ' || isAlphanumeric(c)) kept += c;
    }
    std::string words;
    std::size_t i = 0;
    while (i < kept.size()) {
        while (i < kept.size() && kept[i] == U' ') ++i;
        std::size_t start = i;
        while (i < kept.size() && kept[i] != U' ') ++i;
        if (i > start) {
            if (!words.empty()) words += ' ';
            words += platform::fromUtf32(kept.substr(start, i - start));
        }
    }
    if (words.empty()) return true;
    return fillerPhrases().count(words) > 0;
}

}  // namespace ParloxCore
