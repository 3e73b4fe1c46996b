#include <gtest/gtest.h>

#include <sstream>

#include "TokenizerFixtures.hpp"
#include "ZezeziCore/External/Tokenizers/ByteEncoder.hpp"
#include "ZezeziCore/External/Tokenizers/Models/BPETokenizer.hpp"
#include "ZezeziCore/External/Tokenizers/Models/BertTokenizer.hpp"
#include "ZezeziCore/External/Tokenizers/Models/TokenizerModel.hpp"
#include "ZezeziCore/External/Tokenizers/Models/UnigramTokenizer.hpp"
#include "ZezeziCore/External/Tokenizers/TokenizerError.hpp"

using namespace Tokenizers;
using fixtures::json;
using Pieces = std::vector<std::string>;

namespace {

BPETokenizer bpe(json merges, json vocab, json cfg = json::object(), AddedTokenIds added = {}) {
    return BPETokenizer(fixtures::config(cfg), fixtures::config({{"model", {{"vocab", vocab}, {"merges", merges}}}}), added);
}

UnigramTokenizer unigram(json pieces, int unkId = 0, json cfg = json::object()) {
    return UnigramTokenizer(fixtures::config(cfg), fixtures::config({{"model", {{"vocab", pieces}, {"unk_id", unkId}}}}), {});
}

}  // namespace

TEST(ByteEncoder, MatchesTheByteAlphabet) {
    const auto& enc = byteEncoder();
    EXPECT_EQ(enc[0x20], "\xC4\xA0");  // U+0120
    EXPECT_EQ(enc[0x21], "!");
    EXPECT_EQ(enc[0x00], "\xC4\x80");  // U+0100
    EXPECT_EQ(enc[0x7F], "\xC4\xA1");  // U+0121
    EXPECT_EQ(enc[0xAD], "\xC5\x83");  // U+0143
    EXPECT_EQ(byteDecoder().size(), 256u);
    for (int b = 0; b < 256; ++b) EXPECT_EQ(byteDecoder().at(enc[b]), b);
}

TEST(BPETokenizer, MergeLoop) {
    auto model = bpe(json::array({"a a"}), {{"a", 0}, {"aa", 1}});
    EXPECT_EQ(model.bpe(""), "");
    EXPECT_EQ(model.bpe("a"), "a");
    EXPECT_EQ(model.bpe("aaa"), "aa a");
    EXPECT_EQ(model.bpe("aaaa"), "aa aa");
    EXPECT_EQ(model.bpe("xyz"), "x y z");
    EXPECT_TRUE(model.tokenize("").empty());
    // Lowest rank first, everywhere, before the pairs it creates.
    auto ranked = bpe(json::array({"a b", "b a", "ab a"}), {{"a", 0}, {"b", 1}, {"ab", 2}, {"ba", 3}, {"aba", 4}});
    EXPECT_EQ(ranked.bpe("abab"), "ab ab");
    EXPECT_EQ(ranked.bpe("bab"), "b ab");
    // Symbols are characters: a combining accent stays with its letter.
    auto accents = bpe(json::array({"e\xCC\x81 s"}), {{"e\xCC\x81s", 0}});
    EXPECT_EQ(accents.bpe("e\xCC\x81s"), "e\xCC\x81s");
}

TEST(BPETokenizer, MergeListForms) {
    auto merges = BPETokenizer::mergesFromConfig(fixtures::config(json::array({"a b", json::array({"c", 5, "d"}), 7, "a  b"})));
    ASSERT_TRUE(merges);
    EXPECT_EQ(*merges, (std::vector<Pieces>{{"a", "b"}, {"c", "d"}, {"a", "", "b"}}));
    EXPECT_FALSE(BPETokenizer::mergesFromConfig(fixtures::config(json{{"x", 1}})));
    auto model = bpe(json::array({"a b", json::array({"c", "d"}), "a b"}), {{"a", 0}});
    EXPECT_EQ(model.rank({"a", "b"}), 2);
    EXPECT_EQ(model.rank({"c", "d"}), 1);
    EXPECT_EQ(model.rank({"x", "y"}), std::nullopt);
}

TEST(BPETokenizer, ByteFallbackAndUnknownToken) {
    json vocab = {{"a", 0}, {"<unk>", 1}, {"<0xC3>", 2}, {"<0xA9>", 3}};
    auto model = bpe(json::array(), vocab, {{"unk_token", {{"content", "<unk>"}}}});
    EXPECT_EQ(model.unknownToken(), "<unk>");
    EXPECT_EQ(model.unknownTokenId(), 1);
    EXPECT_EQ(model.tokenize("a\xC3\xA9"), (Pieces{"a", "<0xC3>", "<0xA9>"}));
    // The unknown token itself goes to bytes too.
    EXPECT_EQ(model.tokenize("<unk>").size(), 5u);
    EXPECT_EQ(model.hexaEncode("\xC3\xA9\n"), (Pieces{"<0xC3>", "<0xA9>", "<0x0A>"}));
    EXPECT_EQ(model.convertTokenToId("zz"), 1);
    auto noUnk = bpe(json::array(), vocab);
    EXPECT_EQ(noUnk.unknownToken(), std::nullopt);
    EXPECT_EQ(noUnk.convertTokenToId("zz"), std::nullopt);
}

TEST(BPETokenizer, AddedTokensOverrideAndConfigReadings) {
    auto model = bpe(json::array(), {{"a", 0}, {"b", 1}}, {{"eos_token", "b"}, {"bos_token", {{"content", "a"}}}}, {{"b", 9}});
    EXPECT_EQ(model.convertTokenToId("b"), 9);
    EXPECT_EQ(model.convertIdToToken(9), "b");
    EXPECT_EQ(model.convertIdToToken(1), std::nullopt);
    EXPECT_EQ(model.eosTokenId(), 9);
    EXPECT_EQ(model.bosToken(), "a");
    EXPECT_EQ(model.bosTokenId(), 0);
    for (json v : {json("true"), json("t"), json("1"), json(1), json(true)})
        EXPECT_TRUE(bpe(json::array(), {{"a", 0}}, {{"fuse_unk", v}}).fuseUnknownTokens()) << v.dump();
    EXPECT_FALSE(bpe(json::array(), {{"a", 0}}).fuseUnknownTokens());
    // Vocabulary keys keep their exact units: U+0120 and a marked key.
    auto exact = bpe(json::array(), {{"\xC4\xA0", 0}, {"\xEF\xBB\xBF" "a", 1}, {"a", 2}});
    EXPECT_EQ(exact.convertTokenToId("\xEF\xBB\xBF" "a"), 1);
    EXPECT_EQ(exact.convertTokenToId("a"), 2);
}

TEST(BPETokenizer, TokensSharingAnIdGiveTheAddedTokenElseTheSmallestText) {
    // Whatever order the vocabulary is read in, one id names one text.
    for (const char* document : {R"({"model": {"merges": [], "vocab": {"b": 5, "a": 5, "c": 6, "d": 7}}})",
                                 R"({"model": {"merges": [], "vocab": {"c": 6, "a": 5, "d": 7, "b": 5}}})"}) {
        BPETokenizer model(fixtures::config(json::object()), ZezeziCore::JSONSerialization::bomPreservingJsonObject(document),
                           {{"z", 6}});
        EXPECT_EQ(model.convertIdToToken(5), "a") << document;
        EXPECT_EQ(model.convertIdToToken(6), "z") << document;
        EXPECT_EQ(model.convertTokenToId("b"), 5);
        EXPECT_EQ(model.convertTokenToId("c"), 6);
    }
}

TEST(BPETokenizer, LoneSurrogateKeysNameTheirIdButMatchNoText) {
    // No text can spell U+D800, and its repaired form must not take the
    // place of the real U+FFFD key, whichever comes first.
    for (const char* document : {R"({"model": {"merges": [], "vocab": {"a\ud800": 3, "a\ufffd": 4, "b": 0}}})",
                                 R"({"model": {"merges": [], "vocab": {"a\ufffd": 4, "a\ud800": 3, "b": 0}}})"}) {
        BPETokenizer model(fixtures::config(json::object()), ZezeziCore::JSONSerialization::bomPreservingJsonObject(document), {});
        EXPECT_EQ(model.convertTokenToId("a\xEF\xBF\xBD"), 4) << document;
        EXPECT_EQ(model.convertIdToToken(4), "a\xEF\xBF\xBD");
        EXPECT_EQ(model.convertIdToToken(3), "a\xEF\xBF\xBD");
        EXPECT_EQ(model.convertTokenToId("b"), 0);
    }
}

TEST(BertTokenizer, WordPieces) {
    BertTokenizer model(fixtures::config({{"eos_token", {{"content", "[SEP]"}}}, {"bos_token", "[CLS]"}}),
                        fixtures::config(fixtures::wordPieceData()), {});
    EXPECT_EQ(model.tokenize("unaffable"), (Pieces{"un", "##aff", "##able"}));
    EXPECT_EQ(model.tokenize("unaffablex"), (Pieces{"[UNK]"}));
    EXPECT_EQ(model.tokenize("Hello, World!"), (Pieces{"hello", ",", "world", "!"}));
    EXPECT_EQ(model.tokenize("[MASK] x[MASK]"), (Pieces{"[MASK]", "x", "[", "mask", "]"}));
    EXPECT_EQ(model.tokenize("Caf\xC3\xA9s ni\xC3\xB1o"), (Pieces{"cafe", "##s", "ni", "##no"}));
    EXPECT_EQ(model.tokenize("hello\nworld"), (Pieces{"[UNK]"}));
    EXPECT_EQ(model.eosToken(), std::nullopt);
    EXPECT_EQ(model.bosTokenId(), 1);
    EXPECT_EQ(model.unknownToken(), "[UNK]");
    std::string hundred(100, 'x'), hundredOne(101, 'x');
    EXPECT_EQ(model.tokenize(hundredOne), (Pieces{"[UNK]"}));
    EXPECT_EQ(model.tokenize(hundred), (Pieces{"[UNK]"}));  // looked up, not covered
    // CJK ideographs become words of their own.
    BertTokenizer cjk(fixtures::config(json::object()),
                      fixtures::config({{"model", {{"vocab", {{"\xE4\xB8\xAD", 0}, {"\xE6\x96\x87", 1}, {"[UNK]", 2}}}}}}), {});
    EXPECT_EQ(cjk.tokenize("\xE4\xB8\xAD\xE6\x96\x87"), (Pieces{"\xE4\xB8\xAD", "\xE6\x96\x87"}));
    BertTokenizer cased(fixtures::config({{"do_lower_case", false}}), fixtures::config(fixtures::wordPieceData()), {});
    EXPECT_EQ(cased.tokenize("Hello"), (Pieces{"[UNK]"}));
    EXPECT_THROW(BertTokenizer(fixtures::config(json::object()), fixtures::config({{"model", json::object()}}), {}), TokenizerError);
}

TEST(UnigramTokenizer, BestScoringCut) {
    auto model = unigram(json::array({json::array({"<unk>", 0}), json::array({"a", -1.0}), json::array({"b", -2.0}),
                                      json::array({"ab", -2.5})}));
    EXPECT_EQ(model.tokenize("ab"), (Pieces{"ab"}));
    EXPECT_TRUE(model.tokenize("").empty());
    EXPECT_FLOAT_EQ(model.minScore(), -2.5f);
    EXPECT_FLOAT_EQ(model.unknownPiece().score, -12.5f);
    // Unknown characters come back as themselves, one per character.
    EXPECT_EQ(model.tokenize("xay"), (Pieces{"x", "a", "y"}));
    EXPECT_EQ(model.convertTokenToId("x"), 0);
    EXPECT_EQ(model.convertIdToToken(99), std::nullopt);
    EXPECT_EQ(model.bosToken(), " ");
    EXPECT_TRUE(model.fuseUnknownTokens());
    // Ties keep the predecessor that starts earliest.
    auto tie = unigram(json::array({json::array({"<unk>", 0}), json::array({"a", -1}), json::array({"b", -1}), json::array({"ab", -2})}));
    EXPECT_EQ(tie.tokenize("ab"), (Pieces{"ab"}));
    auto high = unigram(json::array({json::array({"<unk>", 1000}), json::array({"x", 0, -3.5})}));
    EXPECT_FLOAT_EQ(high.minScore(), -3.5f);
    auto above = unigram(json::array({json::array({"<unk>", 1000})}));
    EXPECT_FLOAT_EQ(above.unknownPiece().score, 989.0f);
}

TEST(UnigramTokenizer, MalformedVocabularies) {
    const json bad[] = {json::array({json::array({"x"})}), json::array({json::array({5, 1.0})}), json::array({"x"}),
                        json::array({json::array()}), json::array({json::array({"x", -1}), json::array({"x", -2})})};
    for (const auto& pieces : bad) {
        try {
            unigram(pieces);
            ADD_FAILURE() << pieces.dump();
        } catch (const TokenizerError& e) {
            EXPECT_EQ(e.kind(), TokenizerError::Kind::malformedVocab) << pieces.dump();
        }
    }
    EXPECT_THROW(unigram(json::array({json::array({"x", -1})}), 3), TokenizerError);
    EXPECT_THROW(UnigramTokenizer(fixtures::config(json::object()), fixtures::config({{"model", {{"vocab", json::object()}}}}), {}),
                 TokenizerError);
}

TEST(TokenizerModel, FactoryTable) {
    auto data = fixtures::config(fixtures::byteLevelBpeData());
    auto build = [&](json cfg, bool strict) { return TokenizerModel::from(fixtures::config(cfg), data, {}, strict); };
    EXPECT_NE(dynamic_cast<BPETokenizer*>(build({{"tokenizer_class", "WhisperTokenizerFast"}}, true).get()), nullptr);
    EXPECT_EQ(TokenizerModel::withoutFast("FastBertTokenizer"), "BertTokenizer");
    EXPECT_EQ(TokenizerModel::withoutFast("BertTokenizerFastFast"), "BertTokenizer");
    try {
        build({{"tokenizer_class", "distilbertTokenizer"}}, true);
        FAIL();
    } catch (const TokenizerError& e) {
        EXPECT_EQ(e.description(), "The tokenizer type 'distilbertTokenizer' is not supported.");
    }
    std::ostringstream captured;
    auto* old = std::cout.rdbuf(captured.rdbuf());
    auto fallback = build({{"tokenizer_class", "FooTokenizerFast"}}, false);
    std::cout.rdbuf(old);
    EXPECT_NE(dynamic_cast<BPETokenizer*>(fallback.get()), nullptr);
    EXPECT_EQ(captured.str(),
              "Warning: Tokenizer model class FooTokenizer is not registered, falling back to a standard BPE implementation.\n");
    json pieces = json::array({json::array({"<unk>", 0})});
    auto t5 = TokenizerModel::from(fixtures::config({{"tokenizer_class", "T5Tokenizer"}}),
                                   fixtures::config(fixtures::unigramData(pieces, 0)), {}, true);
    EXPECT_NE(dynamic_cast<T5Tokenizer*>(t5.get()), nullptr);
}

TEST(TokenizerError, Descriptions) {
    EXPECT_EQ(TokenizerError::unsupportedTokenizer("X").description(), "The tokenizer type 'X' is not supported.");
    EXPECT_EQ(TokenizerError::tooLong("x").description(), "Input is too long: x");
    EXPECT_EQ(TokenizerError::mismatchedConfig("x").description(), "Tokenizer configuration mismatch: x");
    EXPECT_EQ(TokenizerError::missingConfig().description(), "Tokenizer configuration is missing.");
    EXPECT_EQ(TokenizerError::missingTokenizerClassInConfig().description(),
              "The tokenizer class is not specified in the configuration.");
    EXPECT_EQ(TokenizerError::missingVocab().description(), "Vocabulary file is missing from the tokenizer configuration.");
    EXPECT_EQ(TokenizerError::malformedVocab().description(), "The vocabulary file is malformed or corrupted.");
    EXPECT_EQ(unknownTokenFrom(fixtures::config({{"unk_token", {{"content", 5}}}})), std::nullopt);
    EXPECT_EQ(unknownTokenFrom(fixtures::config({{"unk_token", "u"}})), "u");
    EXPECT_EQ(addedTokenAsString(fixtures::config(json::array({5})).array()->at(0)), std::nullopt);
}
