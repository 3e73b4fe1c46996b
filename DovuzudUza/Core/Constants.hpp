#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace DovuzudUza {

struct ModelSupportConfig;

// The engine's fixed values. The tables are built once, on first use.
namespace Constants {

const std::map<std::string, std::string>& languages();
const std::set<std::string>& languageCodes();

inline constexpr std::string_view defaultLanguageCode = "en";
// Samples per second of the audio the models hear.
inline constexpr int64_t sampleRate = 16000;
inline constexpr int64_t defaultWindowSamples = 480000;
inline constexpr int64_t maxTokenContext = 224;
inline constexpr int64_t defaultAudioReadFrameSize = 1323000;

inline constexpr std::string_view defaultPrependPunctuations = "\"'\u201c\u00a1\u00bf([{-";
inline constexpr std::string_view defaultAppendPunctuations =
    "\"'.\u3002,\uff0c!\uff01?\uff1f:\uff1a\u201d)]}\u3001";

// The characters that frame a special token ("<|en|>").
const std::set<char>& specialTokenCharacters();

inline constexpr std::string_view defaultRemoteConfigName = "config.json";
inline constexpr std::string_view defaultRemoteEndpoint = "https://huggingface.co";

const ModelSupportConfig& fallbackModelSupportConfig();
const std::vector<std::string>& knownModels();

// Removes special-token framing characters from both ends ("<|en|>" -> "en").
std::string trimmingSpecialTokenCharacters(std::string_view text);

}  // namespace Constants
}  // namespace DovuzudUza
