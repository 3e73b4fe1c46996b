// Encodes and decodes a few MB of mixed Spanish and English text with a
// byte-level BPE of realistic size (tens of thousands of merges, generated
// here) and reports MB/s, one thread. Encoding is timed twice per road: the
// first pass meets every word for the first time, the second finds them
// cached. The second road goes through the token texts (tokenize, then one
// look-up per token), the way every encode went before ids were made
// straight from the model.
//
//   tokenizers_bench [megabytes=4] [merges=40000]

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "ZezeziCore/External/Hub/ConfigJSONSerialization.hpp"
#include "ZezeziCore/External/Tokenizers/ByteEncoder.hpp"
#include "ZezeziCore/External/Tokenizers/PreTrainedTokenizer.hpp"
#include "ZezeziCore/External/Tokenizers/TextUnits.hpp"

using nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

const char* kSpanishSyllables[] = {"ca", "que", "ci\xC3\xB3n", "la", "de", "el", "ma", "ra", "to", "se", "\xC3\xB1o", "es", "ta",
                                   "pa", "\xC3\xA1", "\xC3\xA9", "r\xC3\xAD", "cu", "lo", "mu", "ni", "do", "te", "v\xC3\xAD", "gu"};
const char* kEnglishSyllables[] = {"th", "ing", "ough", "er", "the", "st", "ed", "ly", "an", "ow", "ight", "ea", "wh",
                                   "or", "tion", "un", "re", "in", "ch", "sh", "ou", "ple", "ble", "com", "pro"};
const char* kCommonWords[] = {"de", "la", "que", "el", "en", "y", "a", "los", "se", "del", "las", "un", "por", "con", "no",
                              "una", "su", "para", "es", "al", "the", "of", "and", "to", "in", "is", "you", "that", "it",
                              "he", "was", "for", "on", "are", "as", "with", "his", "they", "I", "at", "be", "this"};

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

std::vector<std::string> makeWords(std::mt19937& rng, std::size_t count) {
    std::set<std::string> seen;
    std::vector<std::string> words(std::begin(kCommonWords), std::end(kCommonWords));
    for (auto& w : words) seen.insert(w);
    std::uniform_int_distribution<int> syllables(1, 4), language(0, 1), pick(0, 24), capital(0, 9);
    while (words.size() < count) {
        std::string w;
        bool spanish = language(rng) == 0;
        for (int i = syllables(rng); i > 0; --i) w += spanish ? kSpanishSyllables[pick(rng)] : kEnglishSyllables[pick(rng)];
        if (capital(rng) == 0 && w[0] >= 'a' && w[0] <= 'z') w[0] = static_cast<char>(w[0] - 'a' + 'A');
        if (seen.insert(w).second) words.push_back(w);
    }
    return words;
}

std::string makeText(std::mt19937& rng, const std::vector<std::string>& words, std::size_t bytes) {
    // Zipf-like: word i drawn with weight 1/(i+1).
    std::vector<double> weights(words.size());
    for (std::size_t i = 0; i < words.size(); ++i) weights[i] = 1.0 / static_cast<double>(i + 1);
    std::discrete_distribution<std::size_t> word(weights.begin(), weights.end());
    std::uniform_int_distribution<int> event(0, 99), number(0, 9999);
    std::string text;
    text.reserve(bytes + 64);
    while (text.size() < bytes) {
        text += words[word(rng)];
        int e = event(rng);
        if (e < 6) text += ",";
        else if (e < 9) text += ".";
        else if (e < 10) text += "?";
        if (e == 11) text += " " + std::to_string(number(rng));
        if (e == 12) text += " \xF0\x9F\x98\x80";
        text += (e == 13) ? "\n" : " ";
    }
    return text;
}

// Merges that build every word (with and without its leading space) from its
// characters, most frequent words first, until `target` merges exist.
json makeModel(const std::vector<std::string>& words, std::size_t target) {
    const auto& enc = Tokenizers::byteEncoder();
    json vocab = json::object();
    int next = 0;
    for (int b = 0; b < 256; ++b) vocab[enc[b]] = next++;
    json merges = json::array();
    std::set<std::pair<std::string, std::string>> seen;
    for (int withSpace = 1; withSpace >= 0 && merges.size() < target; --withSpace) {
        for (const auto& w : words) {
            if (merges.size() >= target) break;
            std::string mapped = Tokenizers::byteLevelEncode(withSpace ? " " + w : w);
            auto chars = Tokenizers::text::characters(mapped);
            std::string left(chars.empty() ? std::string_view() : chars[0]);
            for (std::size_t i = 1; i < chars.size(); ++i) {
                std::string right(chars[i]);
                if (seen.emplace(left, right).second) {
                    merges.push_back(left + " " + right);
                    if (!vocab.contains(left + right)) vocab[left + right] = next++;
                }
                left += right;
            }
        }
    }
    json added = json::array({{{"id", next}, {"content", "<|endoftext|>"}, {"special", true}},
                              {{"id", next + 1}, {"content", "<|startoftranscript|>"}, {"special", true}}});
    for (int t = 0; t < 300; ++t) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "<|%.2f|>", t * 0.02);
        added.push_back({{"id", next + 2 + t}, {"content", buf}, {"special", true}});
    }
    return json{{"added_tokens", added},
                {"pre_tokenizer", {{"type", "ByteLevel"}, {"add_prefix_space", false}}},
                {"decoder", {{"type", "ByteLevel"}}},
                {"model", {{"type", "BPE"}, {"vocab", vocab}, {"merges", merges}}}};
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 4;
    const std::size_t mergeTarget = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 40000;
    std::mt19937 rng(42);
    auto words = makeWords(rng, 12000);
    std::string text = makeText(rng, words, megabytes << 20);
    json model = makeModel(words, mergeTarget);
    std::string file = model.dump();

    auto t0 = Clock::now();
    auto data = ZezeziCore::JSONSerialization::bomPreservingJsonObject(file);
    auto t1 = Clock::now();
    auto config = ZezeziCore::JSONSerialization::bomPreservingJsonObject(
        R"({"tokenizer_class": "WhisperTokenizer", "clean_up_tokenization_spaces": false})");
    Tokenizers::PreTrainedTokenizer tokenizer(config, data, true);
    auto t2 = Clock::now();

    // Encode in lines, as a caller would; the first pass fills the word cache.
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        else ++end;
        lines.emplace_back(text.data() + start, end - start);
        start = end;
    }
    std::vector<int64_t> ids;
    auto encodeAll = [&] {
        ids.clear();
        for (auto line : lines) {
            auto lineIds = tokenizer.encode(line, false);
            ids.insert(ids.end(), lineIds.begin(), lineIds.end());
        }
    };
    auto t3 = Clock::now();
    encodeAll();
    auto t4 = Clock::now();
    encodeAll();
    auto t5 = Clock::now();
    std::string decoded = tokenizer.decode(ids);
    auto t6 = Clock::now();

    Tokenizers::PreTrainedTokenizer throughTexts(config, data, true);
    std::vector<int64_t> textIds;
    auto encodeThroughTexts = [&] {
        textIds.clear();
        for (auto line : lines)
            for (const auto& token : throughTexts.postProcess(throughTexts.tokenize(line), false))
                textIds.push_back(*throughTexts.convertTokenToId(token));
    };
    auto t7 = Clock::now();
    encodeThroughTexts();
    auto t8 = Clock::now();
    encodeThroughTexts();
    auto t9 = Clock::now();

    const double mb = static_cast<double>(text.size()) / (1 << 20);
    std::printf("tokenizer file: %.1f MB, %zu merges, %zu vocabulary entries\n", file.size() / 1048576.0,
                model["model"]["merges"].size(), model["model"]["vocab"].size());
    std::printf("parse tokenizer.json: %.3f s; build tokenizer: %.3f s\n", seconds(t0, t1), seconds(t1, t2));
    std::printf("text: %.2f MB, %zu lines, %zu tokens (%.2f bytes/token)\n", mb, lines.size(), ids.size(),
                static_cast<double>(text.size()) / static_cast<double>(ids.size()));
    std::printf("encode, first pass:                     %8.2f MB/s\n", mb / seconds(t3, t4));
    std::printf("encode, cached:                         %8.2f MB/s\n", mb / seconds(t4, t5));
    std::printf("encode through token texts, first pass: %8.2f MB/s\n", mb / seconds(t7, t8));
    std::printf("encode through token texts, cached:     %8.2f MB/s\n", mb / seconds(t8, t9));
    std::printf("decode:                                 %8.2f MB/s\n", mb / seconds(t5, t6));
    if (textIds != ids) {
        std::printf("ERROR: the two roads gave different ids\n");
        return 1;
    }
    if (decoded != text) {
        std::printf("ERROR: decoded text differs from the input\n");
        return 1;
    }
    std::printf("round trip: identical\n");

    // A tokenizer file of tens of MB: a large vocabulary with escapes, and merges.
    std::string big = "{\"model\": {\"vocab\": {";
    for (int i = 0; i < 400000; ++i) {
        if (i) big += ",";
        big += "\"\\u0120w" + std::to_string(i) + "\\u00e9\": " + std::to_string(i);
    }
    big += "}, \"merges\": [";
    for (int i = 0; i < 400000; ++i) {
        if (i) big += ",";
        big += "\"\\u0120w" + std::to_string(i) + " x\"";
    }
    big += "]}}";
    auto p0 = Clock::now();
    auto bigConfig = ZezeziCore::JSONSerialization::bomPreservingJsonObject(big);
    auto p1 = Clock::now();
    std::size_t found = 0;
    for (int i = 0; i < 100000; ++i)
        if (bigConfig["model"]["vocab"]["\xC4\xA0w" + std::to_string(i * 3) + "\xC3\xA9"].integer()) ++found;
    auto p2 = Clock::now();
    std::printf("parse %.1f MB file: %.3f s (%.1f MB/s); 100000 nested lookups: %.3f s (%zu found)\n",
                big.size() / 1048576.0, seconds(p0, p1), big.size() / 1048576.0 / seconds(p0, p1), seconds(p1, p2), found);
    return 0;
}
