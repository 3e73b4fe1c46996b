#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "TokenizerFixtures.hpp"
#include "ZezeziCore/External/Tokenizers/PreTrainedTokenizer.hpp"
#include "ZezeziCore/External/Tokenizers/TokenizerError.hpp"

using namespace Tokenizers;
using fixtures::json;
using Pieces = std::vector<std::string>;

namespace {

PreTrainedTokenizer whisperLike(json data = fixtures::byteLevelBpeData(), json cfg = fixtures::whisperConfig()) {
    return PreTrainedTokenizer(fixtures::config(cfg), fixtures::config(data), true);
}

}  // namespace

TEST(PreTrainedTokenizer, ByteLevelRoundTripsAnyText) {
    auto tokenizer = whisperLike();
    const char* texts[] = {
        "hola mundo",
        "Caf\xC3\xA9 con leche, \xC2\xBFqu\xC3\xA9 tal?",       // precomposed accents
        "Cafe\xCC\x81 n\xCC\x83",                                  // combining accents
        "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7 \xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD",  // emoji
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A",
        "  leading and trailing  \n\ttabs\r\n",
        "",
    };
    for (const char* text : texts) {
        auto ids = tokenizer.encode(text);
        ASSERT_GE(ids.size(), 2u) << text;
        EXPECT_EQ(ids.front(), 401);
        EXPECT_EQ(ids.back(), 400);
        EXPECT_EQ(tokenizer.decode(ids, true), text) << text;
        // Special tokens stay by default.
        EXPECT_EQ(tokenizer.decode(ids), std::string("<|startoftranscript|>") + text + "<|endoftext|>");
    }
}

TEST(PreTrainedTokenizer, MergesAndAddedTokens) {
    auto tokenizer = whisperLike();
    EXPECT_EQ(tokenizer.tokenize("hola mundo"), (Pieces{"hola", "\xC4\xA0mundo"}));
    EXPECT_EQ(tokenizer.tokenize("\xC3\xA9"), (Pieces{"\xC3\x83\xC2\xA9"}));
    auto ids = tokenizer.encode("<|es|>hola<|notimestamps|> hola", false);
    EXPECT_EQ(ids, (std::vector<int64_t>{402, 258, 403, 259}));
    // A text that is only an added token is neither normalized nor split.
    EXPECT_EQ(tokenizer.encode("<|tool|>", false), (std::vector<int64_t>{404}));
    // Skipping special tokens keeps the non-special added token.
    EXPECT_EQ(tokenizer.decode({401, 404, 258, 400}, true), "<|tool|>hola");
    EXPECT_EQ(tokenizer.convertTokenToId("<|es|>"), 402);
    EXPECT_EQ(tokenizer.convertIdToToken(259), "\xC4\xA0hola");
    EXPECT_EQ(tokenizer.convertTokenToId("nope"), std::nullopt);
}

TEST(PreTrainedTokenizer, MalformedAndHugeInputsNeverCrash) {
    auto tokenizer = whisperLike();
    // Ill-formed UTF-8 is read as U+FFFD.
    auto ids = tokenizer.encode(std::string("a\xFF\xC3(b\xED\xA0\x80"), false);
    EXPECT_EQ(tokenizer.decode(ids), "a\xEF\xBF\xBD\xEF\xBF\xBD(b\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    std::string nul("x\0y", 3);
    EXPECT_EQ(tokenizer.decode(tokenizer.encode(nul, false)), nul);
    // A megabyte of one letter, and of one space, finishes and round-trips.
    for (char c : {'a', ' ', '!'}) {
        std::string big(1 << 20, c);
        auto bigIds = tokenizer.encode(big, false);
        EXPECT_EQ(tokenizer.decode(bigIds), big);
    }
    std::string emoji;
    for (int i = 0; i < 20000; ++i) emoji += "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD";
    EXPECT_EQ(tokenizer.decode(tokenizer.encode(emoji, false)), emoji);
    // Decoding ids nobody knows drops them.
    EXPECT_EQ(tokenizer.decode({-1, 99999, 258}), "hola");
}

TEST(PreTrainedTokenizer, AddedTokenSplitting) {
    auto data = fixtures::byteLevelBpeData();
    data["added_tokens"] = json::array({fixtures::addedToken(500, "<|a|>", false), fixtures::addedToken(501, "<|ab|>", false),
                                        fixtures::addedToken(502, "<|t|>", true, true, false),
                                        fixtures::addedToken(503, "<|r|>", true, true, true),
                                        json{{"content", "hola"}}});  // content without id
    auto tokenizer = whisperLike(data);
    EXPECT_EQ(tokenizer.splitAtAddedTokens("x<|ab|>y"), (Pieces{"x", "<|ab|>", "y"}));
    EXPECT_EQ(tokenizer.splitAtAddedTokens("hi <|t|> you"), (Pieces{"hi", "<|t|>", " you"}));
    EXPECT_EQ(tokenizer.splitAtAddedTokens("hi <|r|> you"), (Pieces{"hi", "<|r|>", "you"}));
    // Split out, but without an id it is tokenized as text.
    EXPECT_EQ(tokenizer.tokenize("xhola"), (Pieces{"x", "hola"}));
    EXPECT_EQ(tokenizer.encode("<|a|><|ab|>", false), (std::vector<int64_t>{500, 501}));
    EXPECT_EQ(tokenizer.splitAtAddedTokens("<|r|>\t\xE3\x80\x80<|t|>"), (Pieces{"<|r|>", "<|t|>"}));
    // Long runs of white space next to stripping tokens stay linear.
    std::string spaces(1 << 20, ' ');
    auto pieces = tokenizer.splitAtAddedTokens(spaces + "<|t|>" + spaces + "x");
    EXPECT_EQ(pieces, (Pieces{"<|t|>", spaces + "x"}));
}

TEST(PreTrainedTokenizer, NoAddedTokensKeepsTextWhole) {
    auto data = fixtures::byteLevelBpeData();
    data["added_tokens"] = json::array({json{{"id", 7}, {"content", ""}}});
    auto tokenizer = whisperLike(data);
    EXPECT_EQ(tokenizer.splitAtAddedTokens("hola"), (Pieces{"hola"}));
    EXPECT_EQ(tokenizer.tokenize("hola"), (Pieces{"hola"}));
    data.erase("added_tokens");
    EXPECT_EQ(whisperLike(data).splitAtAddedTokens("a<|x|>b"), (Pieces{"a<|x|>b"}));
}

TEST(PreTrainedTokenizer, CleanUpOfDecodedSpaces) {
    auto data = fixtures::byteLevelBpeData();
    const std::string text = "a . b ? c ! d , it ' s do n't I 'm he 's we 've they 're";
    const std::string cleaned = "a. b? c! d, it's don't I'm he's we've they're";
    json cfg = fixtures::whisperConfig();
    auto ids = whisperLike(data, cfg).encode(text, false);
    EXPECT_EQ(whisperLike(data, cfg).decode(ids), text);
    cfg["clean_up_tokenization_spaces"] = true;
    EXPECT_EQ(whisperLike(data, cfg).decode(ids), cleaned);
    cfg.erase("clean_up_tokenization_spaces");
    EXPECT_EQ(whisperLike(data, cfg).decode(ids), cleaned);
}

TEST(PreTrainedTokenizer, AddSpecialTokensFlag) {
    auto tokenizer = whisperLike();
    EXPECT_EQ(tokenizer.encode("hola", true), (std::vector<int64_t>{401, 258, 400}));
    EXPECT_EQ(tokenizer.encode("hola", false), (std::vector<int64_t>{258}));
    auto data = fixtures::byteLevelBpeData();
    data.erase("post_processor");
    auto plain = whisperLike(data);
    EXPECT_EQ(plain.encode("hola", true), plain.encode("hola", false));
}

TEST(PreTrainedTokenizer, ConfigurationErrorsBuildNothing) {
    struct Case {
        const char* stage;
        json value;
        std::string message;
    };
    const Case cases[] = {
        {"pre_tokenizer", {{"type", "bytelevel"}}, "Unsupported PreTokenizer type: bytelevel"},
        {"pre_tokenizer", {{"type", "Sequence"}}, "No pretokenizers in Sequence"},
        {"pre_tokenizer", {{"type", "Split"}, {"pattern", {{"Regex", "(["}}}}, "Cannot build regexp from (["},
        {"normalizer", {{"type", "nfkc"}}, "Unsupported Normalizer type: nfkc"},
        {"normalizer", {{"type", ""}}, "Unsupported Normalizer type: "},
        {"normalizer", {{"type", "Replace"}, {"content", "x"}, {"pattern", {{"Regex", "("}}}}, "Cannot build regexp from ("},
        {"post_processor", {{"type", "Template"}}, "Unsupported PostProcessor type: Template"},
        {"post_processor", {{"type", "TemplateProcessing"}, {"single", json::array()}}, "Missing `pair` processor configuration"},
        {"post_processor", {{"type", "BertProcessing"}, {"sep", json::array({"[SEP]", 2})}}, "Missing `cls` processor configuration"},
        {"decoder", {{"type", ""}}, "Unsupported Decoder type: "},
        {"decoder", {{"type", "Strip"}, {"content", " "}, {"start", 1}}, "Incorrect StripDecoder configuration: can't parse `stop`."},
        {"decoder", {{"type", "WordPiece"}}, "Missing `prefix` configuration for WordPieceDecoder."},
    };
    for (const auto& c : cases) {
        auto data = fixtures::byteLevelBpeData();
        data[c.stage] = c.value;
        try {
            whisperLike(data);
            ADD_FAILURE() << "built with " << c.value.dump();
        } catch (const TokenizerError& e) {
            EXPECT_EQ(e.kind(), TokenizerError::Kind::mismatchedConfig);
            EXPECT_EQ(e.payload(), c.message);
        }
    }
    // No `type`, or a type that is not text, means no stage.
    auto data = fixtures::byteLevelBpeData();
    data["post_processor"] = {{"type", 5}};
    EXPECT_EQ(whisperLike(data).encode("hola", true), (std::vector<int64_t>{258}));
}

TEST(PreTrainedTokenizer, ModelFactoryErrors) {
    auto data = fixtures::byteLevelBpeData();
    auto expectKind = [&](json cfg, TokenizerError::Kind kind, json d) {
        try {
            whisperLike(d, cfg);
            ADD_FAILURE() << cfg.dump();
        } catch (const TokenizerError& e) {
            EXPECT_EQ(e.kind(), kind) << e.description();
        }
    };
    expectKind(json::object(), TokenizerError::Kind::missingTokenizerClassInConfig, data);
    expectKind({{"tokenizer_class", 5}}, TokenizerError::Kind::missingTokenizerClassInConfig, data);
    expectKind({{"tokenizer_class", "distilbertTokenizer"}}, TokenizerError::Kind::unsupportedTokenizer, data);
    auto noVocab = data;
    noVocab["model"].erase("vocab");
    expectKind(fixtures::whisperConfig(), TokenizerError::Kind::missingVocab, noVocab);
    auto noMerges = data;
    noMerges["model"].erase("merges");
    expectKind(fixtures::whisperConfig(), TokenizerError::Kind::mismatchedConfig, noMerges);
    auto shortMerge = data;
    shortMerge["model"]["merges"].push_back("single");
    expectKind(fixtures::whisperConfig(), TokenizerError::Kind::malformedVocab, shortMerge);
}

TEST(PreTrainedTokenizer, TokenWithoutIdIsAnErrorNotASilentDrop) {
    // A BPE without byte pieces and without an unknown token cannot map "z".
    json data = {{"model", {{"vocab", {{"a", 0}}}, {"merges", json::array()}}}};
    auto tokenizer = whisperLike(data, {{"tokenizer_class", "GPT2Tokenizer"}});
    EXPECT_EQ(tokenizer.encode("a"), (std::vector<int64_t>{0}));
    EXPECT_THROW(tokenizer.encode("az"), TokenizerError);
}

TEST(PreTrainedTokenizer, FusesRunsOfUnknownTokensPerSection) {
    auto data = fixtures::wordPieceData();
    data["added_tokens"] = json::array({fixtures::addedToken(50, "[MASK]", true)});
    data.erase("post_processor");
    json cfg = {{"tokenizer_class", "BertTokenizer"}, {"fuse_unk", true}};
    PreTrainedTokenizer tokenizer(fixtures::config(cfg), fixtures::config(data), true);
    EXPECT_EQ(tokenizer.tokenize("qq rr ss hello tt qq"), (Pieces{"[UNK]", "hello", "[UNK]"}));
    EXPECT_EQ(tokenizer.tokenize("qq[MASK]rr"), (Pieces{"[UNK]", "[MASK]", "[UNK]"}));
    cfg["fuse_unk"] = false;
    PreTrainedTokenizer unfused(fixtures::config(cfg), fixtures::config(data), true);
    EXPECT_EQ(unfused.tokenize("qq rr"), (Pieces{"[UNK]", "[UNK]"}));
}

TEST(PreTrainedTokenizer, WordPieceRoundTrip) {
    auto data = fixtures::wordPieceData();
    PreTrainedTokenizer tokenizer(fixtures::config({{"tokenizer_class", "BertTokenizer"}}), fixtures::config(data), true);
    auto ids = tokenizer.encode("Hello, unaffable World!");
    EXPECT_EQ(tokenizer.convertIdsToTokens(ids),
              (std::vector<std::optional<std::string>>{"[CLS]", "hello", ",", "un", "##aff", "##able", "world", "!", "[SEP]"}));
    EXPECT_EQ(tokenizer.decode(ids, false), "[CLS] hello, unaffable world! [SEP]");
    EXPECT_EQ(tokenizer.encode("Hello", false), (std::vector<int64_t>{7}));
}

TEST(PreTrainedTokenizer, UnigramRoundTrip) {
    json pieces = json::array({json::array({"<unk>", 0.0}), json::array({"\xE2\x96\x81", -2.0}), json::array({"\xE2\x96\x81hola", -1.0}),
                               json::array({"\xE2\x96\x81mun", -2.0}), json::array({"do", -2.0}), json::array({"m", -3}),
                               json::array({"u", -3}), json::array({"n", -3}), json::array({"d", -3}), json::array({"o", -3})});
    PreTrainedTokenizer tokenizer(fixtures::config({{"tokenizer_class", "T5Tokenizer"}}), fixtures::config(fixtures::unigramData(pieces, 0)), true);
    EXPECT_EQ(tokenizer.tokenize("hola mundo"), (Pieces{"\xE2\x96\x81hola", "\xE2\x96\x81mun", "do"}));
    EXPECT_EQ(tokenizer.decode(tokenizer.encode("hola mundo")), "hola mundo");
    // Unknown characters fuse into one unknown token.
    EXPECT_EQ(tokenizer.encode("hola \xC3\xA7\xC3\xA7"), (std::vector<int64_t>{2, 1, 0}));
    // A megabyte of one character is one long piece; it finishes.
    std::string big(1 << 20, 'o');
    EXPECT_EQ(tokenizer.decode(tokenizer.encode(big)), big);
    EXPECT_TRUE(tokenizer.encode("").empty() || tokenizer.decode(tokenizer.encode("")).empty());
}

TEST(LlamaPreTrainedTokenizer, NonLegacyRewritesSpacesAndPostProcessor) {
    json pieces = json::array({json::array({"<unk>", 0.0}), json::array({"<s>", 0.0}), json::array({"\xE2\x96\x81", -2.0}),
                               json::array({"\xE2\x96\x81hola", -1.0}), json::array({"a", -1.0})});
    auto data = fixtures::unigramData(pieces, 0);
    data["added_tokens"] = json::array({fixtures::addedToken(1, "<s>", true)});
    data["normalizer"] = {{"type", "Lowercase"}};
    json cfg = {{"tokenizer_class", "XLMRobertaTokenizer"}, {"legacy", false}, {"add_bos_token", true}, {"bos_token", "<s>"}};
    LlamaPreTrainedTokenizer tokenizer(fixtures::config(cfg), fixtures::config(data), true);
    EXPECT_FALSE(tokenizer.isLegacy());
    // The normalizer is dropped (no lowercasing), spaces become metaspace.
    EXPECT_EQ(tokenizer.tokenize("hola A"), (Pieces{"\xE2\x96\x81hola", "\xE2\x96\x81", "A"}));
    // The lone metaspace before a special token goes; "hola" after it is no
    // first section, so it gets no prefix and falls to unknown pieces.
    EXPECT_EQ(tokenizer.tokenize("<s>hola"), (Pieces{"<s>", "h", "a"}));
    EXPECT_EQ(tokenizer.encode("hola"), (std::vector<int64_t>{1, 3}));
    EXPECT_EQ(tokenizer.tokenize(""), (Pieces{"\xE2\x96\x81"}));

    json bad = {{"tokenizer_class", "XLMRobertaTokenizer"}, {"add_bos_token", true}};
    try {
        LlamaPreTrainedTokenizer failing(fixtures::config(bad), fixtures::config(data), true);
        ADD_FAILURE();
    } catch (const TokenizerError& e) {
        EXPECT_EQ(e.description(), "Tokenizer configuration mismatch: add_bos_token is True but bos_token is nil");
    }
}

TEST(LlamaPreTrainedTokenizer, TemplateAlreadyConfiguredIsKept) {
    auto processor = fixtures::config({{"type", "TemplateProcessing"}, {"single", json::array()}, {"pair", json::array()}});
    EXPECT_EQ(maybeUpdatePostProcessor(fixtures::config({{"add_bos_token", true}}), processor), std::nullopt);
    auto built = maybeUpdatePostProcessor(fixtures::config({{"add_eos_token", true}, {"eos_token", {{"content", "</s>"}}}}), Config());
    ASSERT_TRUE(built);
    EXPECT_EQ((*built)["single"].array()->size(), 2u);
    EXPECT_EQ((*built)["pair"].array()->size(), 4u);
    EXPECT_EQ((*built)["pair"].array()->at(3)["SpecialToken"]["type_id"].integer(), 1);
}

TEST(PreTrainedTokenizer, SharedBetweenThreads) {
    auto tokenizer = whisperLike();
    const std::string text = "hola mundo, \xC2\xBFqu\xC3\xA9 tal? hola hola mundo \xF0\x9F\x98\x80";
    const auto expected = tokenizer.encode(text);
    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 300; ++i)
                if (tokenizer.encode(text) != expected || tokenizer.decode(expected, true) != text) ++mismatches;
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST(PreTrainedTokenizer, MetaspaceByteFallbackRoundTrip) {
    // Byte pieces for all 256 bytes, metaspace words built by merges.
    const std::string m = "\xE2\x96\x81";
    json vocab = {{"<unk>", 0}, {"<s>", 1}, {"</s>", 2}};
    for (int b = 0; b < 256; ++b) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "<0x%02X>", b);
        vocab[buf] = 3 + b;
    }
    int id = 259;
    for (const std::string& t : {m, std::string("h"), std::string("o"), std::string("l"), std::string("a"), m + "h", m + "ho",
                                m + "hol", m + "hola"})
        vocab[t] = id++;
    json data = {
        {"added_tokens", json::array({fixtures::addedToken(1, "<s>", true), fixtures::addedToken(2, "</s>", true)})},
        {"normalizer", {{"type", "Sequence"},
                        {"normalizers", json::array({{{"type", "Prepend"}, {"prepend", m}},
                                                     {{"type", "Replace"}, {"pattern", {{"String", " "}}}, {"content", m}}})}}},
        {"post_processor", {{"type", "TemplateProcessing"},
                            {"single", json::array({{{"SpecialToken", {{"id", "<s>"}}}}, {{"Sequence", {{"id", "A"}}}}})},
                            {"pair", json::array()}}},
        {"decoder", {{"type", "Sequence"},
                     {"decoders", json::array({{{"type", "Replace"}, {"pattern", {{"String", m}}}, {"content", " "}},
                                               {{"type", "ByteFallback"}},
                                               {{"type", "Fuse"}},
                                               {{"type", "Strip"}, {"content", " "}, {"start", 1}, {"stop", 0}}})}}},
        {"model", {{"type", "BPE"}, {"vocab", vocab}, {"merges", json::array({m + " h", m + "h o", m + "ho l", m + "hol a"})}}}};
    PreTrainedTokenizer tokenizer(fixtures::config({{"tokenizer_class", "LlamaTokenizer"}, {"unk_token", "<unk>"}}),
                                  fixtures::config(data), true);
    EXPECT_EQ(tokenizer.tokenize("hola \xC3\xB1"), (Pieces{m + "hola", m, "<0xC3>", "<0xB1>"}));
    for (const char* text : {"hola \xF0\x9F\x98\x80 \xC3\xB1", "\xE4\xB8\xAD\xE6\x96\x87 hola", "e\xCC\x81 hola  a", ""}) {
        auto ids = tokenizer.encode(text);
        EXPECT_EQ(ids.front(), 1);
        EXPECT_EQ(tokenizer.decode(ids, true), text) << text;
    }
}

namespace {

// The ids encode must give: those of tokenize's tokens after post-processing.
std::vector<int64_t> idsOfTheTokens(const PreTrainedTokenizer& tokenizer, std::string_view text, bool addSpecialTokens) {
    std::vector<int64_t> ids;
    for (const auto& token : tokenizer.postProcess(tokenizer.tokenize(text), addSpecialTokens))
        ids.push_back(tokenizer.convertTokenToId(token).value());
    return ids;
}

json withPostProcessor(json data, json processor) {
    data["post_processor"] = std::move(processor);
    return data;
}

}  // namespace

// encode takes a shorter road than tokenize where no step needs the token
// texts; both must agree, with every kind of post-processor and model, on
// first sight of a word and from the cache.
TEST(PreTrainedTokenizer, EncodeGivesTheIdsOfTheTokens) {
    const json template_ = fixtures::byteLevelBpeData()["post_processor"];
    const json roberta = {{"type", "RobertaProcessing"}, {"sep", json::array({"<|endoftext|>", 400})},
                          {"cls", json::array({"<|startoftranscript|>", 401})}, {"trim_offsets", false}};
    json trimming = roberta;
    trimming["trim_offsets"] = true;
    const json sequence = {{"type", "Sequence"},
                           {"processors", json::array({{{"type", "ByteLevel"}}, template_, {{"type", "ByteLevel"}}})}};
    auto lowercasing = fixtures::byteLevelBpeData();
    lowercasing["normalizer"] = {{"type", "Lowercase"}};
    const struct {
        const char* name;
        json data;
        json config;
    } setups[] = {
        {"template", fixtures::byteLevelBpeData(), fixtures::whisperConfig()},
        {"no post-processor", withPostProcessor(fixtures::byteLevelBpeData(), nullptr), fixtures::whisperConfig()},
        {"roberta", withPostProcessor(fixtures::byteLevelBpeData(), roberta), fixtures::whisperConfig()},
        {"roberta trimming", withPostProcessor(fixtures::byteLevelBpeData(), trimming), fixtures::whisperConfig()},
        {"sequence", withPostProcessor(fixtures::byteLevelBpeData(), sequence), fixtures::whisperConfig()},
        {"normalizer", lowercasing, fixtures::whisperConfig()},
        {"word pieces", fixtures::wordPieceData(), {{"tokenizer_class", "BertTokenizer"}}},
    };
    const std::string texts[] = {
        "hola mundo",
        "<|es|>hola<|notimestamps|> hola <|tool|>",
        "HOLA Mundo, \xC2\xBFqu\xC3\xA9 tal? 1234 \xF0\x9F\x98\x80",
        "unaffable hello world! [x]",
        "una palabra larguisimaquenocabeenlacachedepalabras y otra",
        "bad \xFF\xFE bytes",
        "",
        "   ",
    };
    for (const auto& setup : setups) {
        PreTrainedTokenizer tokenizer(fixtures::config(setup.config), fixtures::config(setup.data), true);
        for (int round = 0; round < 2; ++round) {
            for (const auto& text : texts) {
                for (bool add : {true, false}) {
                    EXPECT_EQ(tokenizer.encode(text, add), idsOfTheTokens(tokenizer, text, add))
                        << setup.name << " round " << round << " add " << add << ": " << text;
                }
            }
        }
    }
}
