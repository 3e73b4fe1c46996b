#include <gtest/gtest.h>

#include "TokenizerFixtures.hpp"
#include "ZezeziCore/External/Tokenizers/Decoders/Decoders.hpp"
#include "ZezeziCore/External/Tokenizers/Normalizers/Normalizers.hpp"
#include "ZezeziCore/External/Tokenizers/PostProcessors/PostProcessors.hpp"
#include "ZezeziCore/External/Tokenizers/PreTokenizers/PreTokenizers.hpp"
#include "ZezeziCore/External/Tokenizers/TokenizerError.hpp"

using namespace Tokenizers;
using fixtures::json;
using Pieces = std::vector<std::string>;

namespace {

const std::string G = "\xC4\xA0";        // the byte-level space
const std::string M = "\xE2\x96\x81";    // metaspace

Pieces pre(json cfg, std::string_view text, PreTokenizerOptions options = PreTokenizerOptions::first()) {
    auto p = PreTokenizerFactory::fromConfig(fixtures::config(cfg));
    EXPECT_TRUE(p) << cfg.dump();
    return p ? p->preTokenize(text, options) : Pieces{};
}

std::string norm(json cfg, std::string_view text) {
    auto n = NormalizerFactory::fromConfig(fixtures::config(cfg));
    EXPECT_TRUE(n) << cfg.dump();
    return n ? n->normalize(text) : std::string();
}

Pieces dec(json cfg, const Pieces& tokens, std::unordered_set<std::string> added = {}) {
    auto d = DecoderFactory::fromConfig(fixtures::config(cfg), added);
    EXPECT_TRUE(d) << cfg.dump();
    return d ? d->decode(tokens) : Pieces{};
}

Pieces post(json cfg, const Pieces& a, std::optional<Pieces> b = std::nullopt, bool add = true) {
    auto p = PostProcessorFactory::fromConfig(fixtures::config(cfg));
    EXPECT_TRUE(p) << cfg.dump();
    return p ? p->postProcess(a, b, add) : Pieces{};
}

}  // namespace

TEST(PreTokenizers, ByteLevel) {
    json bl = {{"type", "ByteLevel"}};
    EXPECT_EQ(pre(bl, "Hello world"), (Pieces{"Hello", G + "world"}));
    EXPECT_EQ(pre(bl, "\xC3\xA9"), (Pieces{"\xC3\x83\xC2\xA9"}));
    EXPECT_EQ(pre(bl, "a  b"), (Pieces{"a", G, G + "b"}));
    EXPECT_EQ(pre(bl, "a   "), (Pieces{"a", G + G + G}));
    EXPECT_TRUE(pre(bl, "").empty());
    EXPECT_EQ(pre({{"type", "ByteLevel"}, {"use_regex", false}}, ""), (Pieces{""}));
    EXPECT_EQ(pre({{"type", "ByteLevel"}, {"use_regex", false}, {"add_prefix_space", true}}, ""), (Pieces{G}));
    // The prefix space goes to every piece that lacks one.
    EXPECT_EQ(pre({{"type", "ByteLevel"}, {"add_prefix_space", true}}, "Hello, world"), (Pieces{G + "Hello", G + ",", G + "world"}));
}

TEST(PreTokenizers, Metaspace) {
    json always = {{"type", "Metaspace"}, {"replacement", M}, {"add_prefix_space", true}};
    EXPECT_EQ(pre(always, "Hello world"), (Pieces{M + "Hello", M + "world"}));
    json first = always;
    first["prepend_scheme"] = "first";
    EXPECT_EQ(pre(first, "Hello world", PreTokenizerOptions::none()), (Pieces{"Hello", M + "world"}));
    EXPECT_EQ(pre(always, M + "Hello"), (Pieces{M + "Hello"}));
    EXPECT_EQ(pre(always, "a  b"), (Pieces{M + "a", M, M + "b"}));
    EXPECT_EQ(pre(always, ""), (Pieces{M}));
    json never = always;
    never["prepend_scheme"] = "never";
    EXPECT_TRUE(pre(never, "").empty());
    // A replacement with regex characters is split at literally.
    EXPECT_EQ(pre({{"type", "Metaspace"}, {"replacement", "."}}, "a b.c"), (Pieces{"a", ".b", ".c"}));
}

TEST(PreTokenizers, SplitAndRegexRuns) {
    EXPECT_EQ(pre({{"type", "Split"}, {"pattern", {{"String", "-"}}}}, "a-b"), (Pieces{"a", "-", "b"}));
    EXPECT_EQ(pre({{"type", "Split"}, {"pattern", {{"String", "-"}}}, {"invert", true}}, "a-b"), (Pieces{"a", "b"}));
    EXPECT_EQ(pre({{"type", "Split"}, {"pattern", {{"Regex", "-"}}}, {"invert", true}}, "a-b"), (Pieces{"a", "-", "b"}));
    EXPECT_EQ(pre({{"type", "Split"}}, "a-b"), (Pieces{"a-b"}));
    // A configured pattern that matches the empty string still ends.
    EXPECT_EQ(pre({{"type", "Split"}, {"pattern", {{"Regex", "\\d*"}}}}, "ab12c"), (Pieces{"ab", "12", "c"}));
    EXPECT_EQ(pre({{"type", "Digits"}}, "abc123def"), (Pieces{"abc", "123", "def"}));
    EXPECT_EQ(pre({{"type", "Digits"}, {"individual_digits", true}}, "abc123"), (Pieces{"abc", "1", "2", "3"}));
    EXPECT_EQ(pre({{"type", "BertPreTokenizer"}}, "a..b c"), (Pieces{"a", ".", ".", "b", "c"}));
    EXPECT_EQ(pre({{"type", "Punctuation"}}, "a..b c"), (Pieces{"a", "..", "b c"}));
    EXPECT_EQ(pre({{"type", "WhitespaceSplit"}}, " a\tb\n"), (Pieces{"a", "b"}));
    EXPECT_EQ(pre({{"type", "Sequence"}, {"pretokenizers", json::array()}}, "x y"), (Pieces{"x y"}));
    EXPECT_EQ(pre({{"type", "Sequence"}, {"pretokenizers", json::array({json::object(), {{"type", "Whitespace"}}, {{"type", "Digits"}}})}},
                  "ab1 c"),
              (Pieces{"ab", "1", "c"}));
    EXPECT_EQ(PreTokenizerFactory::fromConfig(fixtures::config({{"type", 3}})), nullptr);
}

TEST(Normalizers, Keywords) {
    EXPECT_EQ(norm({{"type", "Prepend"}, {"prepend", M}}, ""), M);
    EXPECT_EQ(norm({{"type", "Prepend"}, {"prepend", M}}, M + "x"), M + M + "x");
    EXPECT_EQ(norm({{"type", "Replace"}, {"pattern", {{"String", "  "}}}, {"content", " "}}, "   "), "  ");
    EXPECT_EQ(norm({{"type", "Replace"}, {"pattern", {{"Regex", "(\\d)x"}}}, {"content", "<$1>"}}, "1x2x"), "<1><2>");
    EXPECT_EQ(norm({{"type", "Replace"}, {"pattern", {{"String", "a"}}}}, "abc"), "abc");
    EXPECT_EQ(norm({{"type", "Lowercase"}}, "\xC3\x89T\xC3\x89 \xCE\xA3\xCE\x91\xCE\xA3"), "\xC3\xA9t\xC3\xA9 \xCF\x83\xCE\xB1\xCF\x82");
    EXPECT_EQ(norm({{"type", "NFD"}}, "\xC3\xA9"), "e\xCC\x81");
    EXPECT_EQ(norm({{"type", "NFC"}}, "e\xCC\x81"), "\xC3\xA9");
    EXPECT_EQ(norm({{"type", "NFKC"}}, "\xEF\xAC\x81"), "fi");
    EXPECT_EQ(norm({{"type", "NFKD"}}, "\xC3\xA9"), "e\xCC\x81");
    EXPECT_EQ(norm({{"type", "Sequence"}, {"normalizers", json::array({{{"type", "NFD"}}, {{"type", "NFC"}}})}}, "e\xCC\x81"), "\xC3\xA9");
    EXPECT_EQ(norm({{"type", "Sequence"}, {"normalizers", json::array()}}, "x"), "x");
    // StripAccents removes combining marks; with NFD before it, accents go.
    EXPECT_EQ(norm({{"type", "Sequence"}, {"normalizers", json::array({{{"type", "NFD"}}, {{"type", "StripAccents"}}})}},
                   "Canci\xC3\xB3n ni\xC3\xB1o"),
              "Cancion nino");
    EXPECT_EQ(norm({{"type", "Strip"}}, " \t a b \n"), "a b");
    EXPECT_EQ(norm({{"type", "Strip"}, {"strip_left", false}}, "  a  "), "  a");
    EXPECT_EQ(norm({{"type", "Strip"}}, " \n "), "");
}

TEST(Normalizers, BertAndPrecompiled) {
    json bert = {{"type", "BertNormalizer"}};
    EXPECT_EQ(norm(bert, "a\tb\r\nc"), "a b c");
    EXPECT_EQ(norm(bert, "\xE4\xB8\xAD\xE6\x96\x87"), " \xE4\xB8\xAD  \xE6\x96\x87 ");
    EXPECT_EQ(norm(bert, "\xC3\x89" "cole \xD0\x96"), "ecole \xD0\xB6");
    EXPECT_EQ(norm(bert, "a\x01\xE2\x80\x8B" "b\xEF\xBF\xBD"), "ab");
    EXPECT_EQ(norm({{"type", "Bert"}, {"lowercase", false}}, "\xC3\x89"), "\xC3\x89");
    EXPECT_EQ(norm({{"type", "Bert"}, {"lowercase", false}, {"strip_accents", true}}, "\xC3\x89"), "E");
    json pc = {{"type", "Precompiled"}, {"precompiled_charsmap", "ignored"}};
    EXPECT_EQ(norm(pc, "a\x0C" "b\x07" "c" + M + "\xEF\xBC\xA1"), "a bc A");
    const std::string tilde = "\xEF\xBD\x9E";
    EXPECT_EQ(norm(pc, "a" + tilde + "b"), "a" + tilde + "b");
    // Tildes at the edges and in pairs are kept, not swallowed.
    EXPECT_EQ(norm(pc, tilde + "a" + tilde + tilde), tilde + "a" + tilde + tilde);
}

TEST(PostProcessors, Layouts) {
    json tpl = {{"type", "TemplateProcessing"},
                {"single", json::array({{{"SpecialToken", {{"id", "X"}}}}, {{"Sequence", {{"id", "A"}}}},
                                        {{"SpecialToken", {{"id", "Y"}}}}, {{"SpecialToken", {{"id", 5}}}}, {{"Sequence", {{"id", "B"}}}}})},
                {"pair", json::array({{{"Sequence", {{"id", "A"}}}}, {{"Sequence", {{"id", "B"}}}}})}};
    EXPECT_EQ(post(tpl, {"a", "b"}), (Pieces{"X", "a", "b", "Y"}));
    EXPECT_EQ(post(tpl, {"a", "b"}, std::nullopt, false), (Pieces{"a", "b"}));
    EXPECT_EQ(post(tpl, {"a"}, Pieces{"c"}), (Pieces{"a", "c"}));
    json bert = {{"type", "BertProcessing"}, {"sep", json::array({"[SEP]", 102})}, {"cls", json::array({"[CLS]", 101})}};
    EXPECT_EQ(post(bert, {"a"}, Pieces{}), (Pieces{"[CLS]", "a", "[SEP]"}));
    EXPECT_EQ(post(bert, {"a"}, Pieces{"b"}), (Pieces{"[CLS]", "a", "[SEP]", "b", "[SEP]"}));
    EXPECT_EQ(post(bert, {"a"}, Pieces{"b"}, false), (Pieces{"a", "b"}));
    json roberta = {{"type", "RobertaProcessing"}, {"sep", json::array({"</s>", 2})}, {"cls", json::array({"<s>", 0})}};
    EXPECT_EQ(post(roberta, {"a", "b"}, Pieces{"c"}, false), (Pieces{"<s>", "a", "b", "</s>", "</s>", "c", "</s>"}));
    EXPECT_EQ(post(roberta, {"  ab  ", " x", "  ", "   "}), (Pieces{"<s>", " ab ", " x", "", " ", "</s>"}));
    roberta["add_prefix_space"] = false;
    EXPECT_EQ(post(roberta, {" ab\t"}), (Pieces{"<s>", "ab", "</s>"}));
    json seq = {{"type", "Sequence"}, {"processors", json::array({bert, {{"type", "ByteLevel"}}})}};
    EXPECT_EQ(post(seq, {"a"}, Pieces{"b"}), (Pieces{"[CLS]", "a", "[SEP]", "b", "[SEP]"}));
    EXPECT_EQ(post({{"type", "ByteLevel"}}, {"a"}, Pieces{"b"}), (Pieces{"a"}));
    EXPECT_EQ(PostProcessorFactory::fromConfig(fixtures::config({{"type", 1}})), nullptr);
    EXPECT_THROW(PostProcessorFactory::fromConfig(fixtures::config({{"type", "bertprocessing"}})), TokenizerError);
    EXPECT_THROW(PostProcessorFactory::fromConfig(fixtures::config({{"type", "Sequence"}})), TokenizerError);
}

TEST(Decoders, ByteLevelAndFallback) {
    json bl = {{"type", "ByteLevel"}};
    EXPECT_EQ(dec(bl, {"\xC3\x83", "\xC2\xA9"}), (Pieces{"\xC3\xA9"}));
    EXPECT_EQ(dec(bl, {"\xC3\x83"}), (Pieces{"\xEF\xBF\xBD"}));
    EXPECT_EQ(dec(bl, {"a", "<|x|>", G + "b"}, {"<|x|>"}), (Pieces{"a", "<|x|>", " b"}));
    EXPECT_TRUE(dec(bl, {}).empty());
    // A character outside the byte alphabet keeps its own text.
    EXPECT_EQ(dec(bl, {"\xE2\x82\xAC" "a"}), (Pieces{"\xE2\x82\xAC" "a"}));
    json seq = {{"type", "Sequence"}, {"decoders", json::array({bl})}};
    EXPECT_EQ(dec(seq, {"<|x|>"}, {"<|x|>"}), (Pieces{"<|x|>"}));
    json bf = {{"type", "ByteFallback"}};
    EXPECT_EQ(dec(bf, {"<0xE2>", "<0x82>", "<0xac>", "x", "<0x41>"}), (Pieces{"\xE2\x82\xAC", "x", "A"}));
    EXPECT_EQ(dec(bf, {"<0xZZ>", "<0x-F>"}), (Pieces{"<0xZZ>", "<0x-F>"}));
}

TEST(Decoders, TextDecoders) {
    json wp = {{"type", "WordPiece"}, {"prefix", "##"}, {"cleanup", true}};
    EXPECT_EQ(dec(wp, {"un", "##aff", "##able", "!"}), (Pieces{"un", "aff", "able", "!"}));
    wp["cleanup"] = false;
    EXPECT_EQ(dec(wp, {"un", "!"}), (Pieces{"un", " !"}));
    EXPECT_TRUE(dec(wp, {}).empty());
    // Every token starts with an empty prefix, so all of them join.
    EXPECT_EQ(dec({{"type", "WordPiece"}, {"prefix", ""}}, {"un", "aff"}), (Pieces{"un", "aff"}));
    EXPECT_EQ(dec({{"type", "Strip"}, {"content", " "}, {"start", 1}, {"stop", 0}}, {"  a ", "b"}), (Pieces{" a ", "b"}));
    EXPECT_EQ(dec({{"type", "Metaspace"}, {"replacement", M}, {"add_prefix_space", true}}, {M + "hola", M + "mundo"}),
              (Pieces{"hola", " mundo"}));
    EXPECT_EQ(dec({{"type", "Metaspace"}}, {"_a"}), (Pieces{" a"}));
    EXPECT_EQ(dec({{"type", "Fuse"}}, {}), (Pieces{""}));
    EXPECT_EQ(dec({{"type", "Fuse"}}, {"a", "b"}), (Pieces{"ab"}));
    EXPECT_EQ(dec({{"type", "Replace"}, {"pattern", {{"String", M}}}, {"content", " "}}, {M + "a"}), (Pieces{" a"}));
    EXPECT_EQ(dec({{"type", "Replace"}}, {"x"}), (Pieces{"x"}));
    EXPECT_EQ(DecoderFactory::fromConfig(fixtures::config(json::object())), nullptr);
}
