#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ZezeziCore/External/Hub/ConfigJSONSerialization.hpp"
#include "ZezeziCore/External/Tokenizers/ByteEncoder.hpp"

// Small tokenizer files written by the tests, read through the same JSON
// reader as real files.
namespace fixtures {

using nlohmann::json;
using ZezeziCore::Config;

inline Config config(const json& j) { return ZezeziCore::JSONSerialization::bomPreservingJsonObject(j.dump()); }

inline json addedToken(int id, const std::string& content, bool special, bool lstrip = false, bool rstrip = false) {
    return json{{"id", id}, {"content", content}, {"special", special}, {"lstrip", lstrip}, {"rstrip", rstrip}};
}

// A byte-level BPE: the 256 byte characters (ids 0-255) plus merges that
// build "hola", " hola" and "é" (bytes C3 A9), and a few control tokens.
inline json byteLevelBpeData() {
    json vocab = json::object();
    const auto& enc = Tokenizers::byteEncoder();
    for (int b = 0; b < 256; ++b) vocab[enc[b]] = b;
    const std::string G = enc[' '];  // U+0120
    const std::string e1 = enc[0xC3], e2 = enc[0xA9];
    std::vector<std::pair<std::string, std::string>> merges{
        {"h", "o"}, {"ho", "l"}, {"hol", "a"}, {G, "hola"}, {e1, e2}, {G, "m"}, {"u", "n"}, {G + "m", "un"}, {"d", "o"}, {G + "mun", "do"}};
    json mergeList = json::array();
    int id = 256;
    for (const auto& [a, b] : merges) {
        mergeList.push_back(a + " " + b);
        vocab[a + b] = id++;
    }
    json added = json::array({addedToken(400, "<|endoftext|>", true), addedToken(401, "<|startoftranscript|>", true),
                              addedToken(402, "<|es|>", true), addedToken(403, "<|notimestamps|>", true),
                              addedToken(404, "<|tool|>", false)});
    return json{{"added_tokens", added},
                {"normalizer", nullptr},
                {"pre_tokenizer", {{"type", "ByteLevel"}, {"add_prefix_space", false}, {"trim_offsets", true}}},
                {"post_processor",
                 {{"type", "TemplateProcessing"},
                  {"single", json::array({{{"SpecialToken", {{"id", "<|startoftranscript|>"}, {"type_id", 0}}}},
                                          {{"Sequence", {{"id", "A"}, {"type_id", 0}}}},
                                          {{"SpecialToken", {{"id", "<|endoftext|>"}, {"type_id", 0}}}}})},
                  {"pair", json::array({{{"Sequence", {{"id", "A"}, {"type_id", 0}}}}, {{"Sequence", {{"id", "B"}, {"type_id", 1}}}}})}}},
                {"decoder", {{"type", "ByteLevel"}}},
                {"model", {{"type", "BPE"}, {"vocab", vocab}, {"merges", mergeList}}}};
}

inline json whisperConfig() { return json{{"tokenizer_class", "WhisperTokenizer"}, {"clean_up_tokenization_spaces", false}}; }

// A WordPiece vocabulary.
inline json wordPieceData(bool withUnknown = true) {
    json vocab = json::object();
    int id = 0;
    for (const char* t : {"[PAD]", "[CLS]", "[SEP]", "[MASK]", "un", "##aff", "##able", "hello", "world", ",", "!", "x",
                          "[", "]", "mask", "cafe", "##s", "ni", "##no"})
        vocab[t] = id++;
    if (withUnknown) vocab["[UNK]"] = id++;
    return json{{"normalizer", nullptr},
                {"pre_tokenizer", nullptr},
                {"post_processor", {{"type", "BertProcessing"}, {"sep", json::array({"[SEP]", 2})}, {"cls", json::array({"[CLS]", 1})}}},
                {"decoder", {{"type", "WordPiece"}, {"prefix", "##"}, {"cleanup", true}}},
                {"model", {{"type", "WordPiece"}, {"vocab", vocab}}}};
}

// A Unigram model with scores.
inline json unigramData(const json& pieces, int unkId) {
    return json{{"normalizer", nullptr},
                {"pre_tokenizer", {{"type", "Metaspace"}, {"replacement", "\xE2\x96\x81"}, {"add_prefix_space", true}}},
                {"decoder", {{"type", "Metaspace"}, {"replacement", "\xE2\x96\x81"}, {"add_prefix_space", true}}},
                {"model", {{"type", "Unigram"}, {"unk_id", unkId}, {"vocab", pieces}}}};
}

}  // namespace fixtures
