#include "tools/WhisperVocabulary.hpp"

#include <fstream>

#include "ZezeziCore/External/Tokenizers/ByteEncoder.hpp"

namespace parlox::tools {

nlohmann::ordered_json WhisperVocabulary::tokenizerJson() const {
    using json = nlohmann::ordered_json;
    json vocab = json::object();
    const auto& encoder = Tokenizers::byteEncoder();
    // Printable bytes first, then the rest, as byte-level vocabularies order them.
    int64_t next = 0;
    auto printable = [](int b) { return (b >= 33 && b <= 126) || (b >= 161 && b <= 172) || (b >= 174); };
    for (int b = 0; b < 256; ++b)
        if (printable(b)) vocab[encoder[static_cast<size_t>(b)]] = next++;
    for (int b = 0; b < 256; ++b)
        if (!printable(b)) vocab[encoder[static_cast<size_t>(b)]] = next++;
    std::vector<std::pair<std::string, std::string>> merges{
        {"Ġ", "H"}, {"o", "l"}, {"ĠH", "ol"}, {"ĠHol", "a"}, {"Ġ", "m"},
        {"u", "n"}, {"Ġm", "un"}, {"d", "o"}, {"Ġmun", "do"}, {".", "."}, {"..", "."}};
    json mergeList = json::array();
    for (const auto& [a, b] : merges) {
        vocab[a + b] = next++;
        mergeList.push_back(a + " " + b);
    }

    json added = json::array();
    auto add = [&](const std::string& content, int64_t id) {
        vocab[content] = id;
        added.push_back({{"id", id}, {"content", content}, {"single_word", false}, {"lstrip", false},
                         {"rstrip", false}, {"normalized", false}, {"special", true}});
    };
    add("<|endoftext|>", endOfText);
    add("<|startoftranscript|>", endOfText + 1);
    std::vector<std::string> codes;
    for (const auto& [name, code] : languageRows()) codes.push_back(code);
    for (size_t i = 0; i < languageCount && i < codes.size(); ++i) add("<|" + codes[i] + "|>", languageId(i));
    add("<|translate|>", translateId());
    add("<|transcribe|>", translateId() + 1);
    add("<|startoflm|>", translateId() + 2);
    add("<|startofprev|>", translateId() + 3);
    if (!noSpeechText.empty()) add(noSpeechText, translateId() + 4);
    add("<|notimestamps|>", translateId() + 5);
    for (int i = 0; i < timeTokenCount; ++i) {
        char text[32];
        std::snprintf(text, sizeof text, "<|%d.%02d|>", i / 50, (i % 50) * 2);
        add(text, timeBegin() + i);
    }

    return json{
        {"version", "1.0"},
        {"added_tokens", added},
        {"normalizer", nullptr},
        {"pre_tokenizer", {{"type", "ByteLevel"}, {"add_prefix_space", false}, {"trim_offsets", true}}},
        {"post_processor",
         {{"type", "TemplateProcessing"},
          {"single",
           json::array({{{"SpecialToken", {{"id", "<|startoftranscript|>"}, {"type_id", 0}}}},
                        {{"Sequence", {{"id", "A"}, {"type_id", 0}}}},
                        {{"SpecialToken", {{"id", "<|endoftext|>"}, {"type_id", 0}}}}})},
          {"pair",
           json::array({{{"SpecialToken", {{"id", "<|startoftranscript|>"}, {"type_id", 0}}}},
                        {{"Sequence", {{"id", "A"}, {"type_id", 0}}}},
                        {{"Sequence", {{"id", "B"}, {"type_id", 1}}}},
                        {{"SpecialToken", {{"id", "<|endoftext|>"}, {"type_id", 1}}}}})},
          {"special_tokens",
           {{"<|startoftranscript|>", {{"id", "<|startoftranscript|>"}, {"ids", {endOfText + 1}}, {"tokens", {"<|startoftranscript|>"}}}},
            {"<|endoftext|>", {{"id", "<|endoftext|>"}, {"ids", {endOfText}}, {"tokens", {"<|endoftext|>"}}}}}}}},
        {"decoder", {{"type", "ByteLevel"}, {"add_prefix_space", true}, {"trim_offsets", true}}},
        {"model", {{"type", "BPE"}, {"vocab", vocab}, {"merges", mergeList}}},
    };
}

nlohmann::ordered_json WhisperVocabulary::tokenizerConfigJson() const {
    nlohmann::ordered_json config{{"tokenizer_class", "WhisperTokenizer"}};
    if (unknownToken) config["unk_token"] = *unknownToken;
    return config;
}

void WhisperVocabulary::write(const std::filesystem::path& folder) const {
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "tokenizer.json") << tokenizerJson().dump();
    std::ofstream(folder / "tokenizer_config.json") << tokenizerConfigJson().dump();
}

std::optional<WhisperVocabulary> WhisperVocabulary::forModel(int64_t vocabularySize) {
    WhisperVocabulary vocabulary;
    // The newest multilingual vocabulary adds one language ("yue").
    if (vocabularySize == 51866) vocabulary.languageCount = 100;
    // After the end token: the start token, the languages, six task and
    // control tokens, the times.
    vocabulary.endOfText =
        vocabularySize - 2 - static_cast<int64_t>(vocabulary.languageCount) - 6 - vocabulary.timeTokenCount;
    if (vocabulary.endOfText < 512) return std::nullopt;
    return vocabulary;
}

std::vector<std::pair<std::string, std::string>> WhisperVocabulary::languageRows() {
    static const char* codes[] = {
        "en", "zh", "de", "es", "ru", "ko", "fr", "ja", "pt", "tr", "pl", "ca", "nl", "ar", "sv", "it", "id",
        "hi", "fi", "vi", "he", "uk", "el", "ms", "cs", "ro", "da", "hu", "ta", "no", "th", "ur", "hr", "bg",
        "lt", "la", "mi", "ml", "cy", "sk", "te", "fa", "lv", "bn", "sr", "az", "sl", "kn", "et", "mk", "br",
        "eu", "is", "hy", "ne", "mn", "bs", "kk", "sq", "sw", "gl", "mr", "pa", "si", "km", "sn", "yo", "so",
        "af", "oc", "ka", "be", "tg", "sd", "gu", "am", "yi", "lo", "uz", "fo", "ht", "ps", "tk", "nn", "mt",
        "sa", "lb", "my", "bo", "tl", "mg", "as", "tt", "haw", "ln", "ha", "ba", "jw", "su", "yue"};
    std::vector<std::pair<std::string, std::string>> rows;
    for (const char* code : codes) rows.emplace_back(code, code);
    return rows;
}

}  // namespace parlox::tools
