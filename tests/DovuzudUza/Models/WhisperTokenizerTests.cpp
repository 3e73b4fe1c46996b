#include <gtest/gtest.h>

#include <thread>

#include "DovuzudUza/Core/LanguageRecognizer.hpp"
#include "DovuzudUza/Core/WhisperTokenizerWrapper.hpp"
#include "WhisperVocabularyFixture.hpp"

using namespace DovuzudUza;
using test_support::WhisperVocabulary;

namespace {

class FixedRecognizer : public LanguageRecognizer {
public:
    explicit FixedRecognizer(std::optional<std::string> code) : code_(std::move(code)) {}
    std::optional<std::string> dominantLanguage(std::string_view) const override { return code_; }

private:
    std::optional<std::string> code_;
};

std::shared_ptr<WhisperTokenizerWrapper> whisper(const WhisperVocabulary& vocabulary,
                                                 std::optional<std::string> language = std::nullopt,
                                                 bool fixedLanguage = false) {
    std::shared_ptr<const LanguageRecognizer> recognizer;
    if (fixedLanguage) recognizer = std::make_shared<FixedRecognizer>(language);
    return std::make_shared<WhisperTokenizerWrapper>(Tokenizers::TokenizerWrapper(vocabulary.build()), std::nullopt,
                                                     recognizer);
}

int64_t id(const WhisperTokenizer& t, const std::string& token) {
    auto found = t.convertTokenToId(token);
    EXPECT_TRUE(found) << token;
    return found.value_or(-1);
}

}  // namespace

TEST(WhisperTokenizer, MultilingualVocabularyGivesTheUsualIds) {
    auto t = whisper(WhisperVocabulary{});
    SpecialTokens expected;  // the usual multilingual ids
    EXPECT_EQ(t->specialTokens(), expected);
    EXPECT_EQ(t->allLanguageTokens().size(), 99u);
    EXPECT_EQ(*t->allLanguageTokens().begin(), 50259);
    EXPECT_EQ(*t->allLanguageTokens().rbegin(), 50357);
    EXPECT_EQ(t->convertIdToToken(50364), "<|0.00|>");
    EXPECT_EQ(t->convertIdToToken(51864), "<|30.00|>");
    EXPECT_EQ(t->convertIdToToken(220), "\xC4\xA0");  // "Ġ", not " ": the space falls back to 220
}

TEST(WhisperTokenizer, IdsComeFromTheVocabularyWithFixedFallbacks) {
    WhisperVocabulary compact;
    compact.endOfText = 400;
    compact.languageCount = 3;  // en, zh, de
    compact.noSpeechText = "";
    compact.timeTokenCount = 3;
    auto t = whisper(compact);
    const auto& s = t->specialTokens();
    EXPECT_EQ(s.endToken, 400);
    EXPECT_EQ(s.specialTokenBegin, 400);
    EXPECT_EQ(s.startOfTranscriptToken, 401);
    EXPECT_EQ(s.englishToken, 402);
    EXPECT_EQ(s.translateToken, 405);
    EXPECT_EQ(s.transcribeToken, 406);
    EXPECT_EQ(s.startOfPreviousToken, 408);
    EXPECT_EQ(s.noTimestampsToken, 410);
    EXPECT_EQ(s.timeTokenBegin, 411);
    EXPECT_EQ(s.noSpeechToken, 50362);
    EXPECT_EQ(s.whitespaceToken, 220);
    EXPECT_EQ(t->allLanguageTokens(), (std::set<int64_t>{402, 403, 404}));
}

TEST(WhisperTokenizer, AnUnknownTokenStandInNeverBecomesASpecialId) {
    // The configuration names an unknown token, so the vocabulary answers
    // its id for texts it lacks; the no-speech logit must not be read there.
    WhisperVocabulary vocabulary;
    vocabulary.endOfText = 400;
    vocabulary.languageCount = 2;
    vocabulary.noSpeechText = "";
    vocabulary.timeTokenCount = 2;
    vocabulary.unknownToken = "<|endoftext|>";
    auto base = vocabulary.build();
    auto t = std::make_shared<WhisperTokenizerWrapper>(Tokenizers::TokenizerWrapper(base));
    ASSERT_EQ(base->convertTokenToId("<|nospeech|>"), 400);  // the stand-in answer
    EXPECT_EQ(t->specialTokens().noSpeechToken, 50362);
    EXPECT_EQ(t->specialTokens().whitespaceToken, 220);
    EXPECT_EQ(t->specialTokens().endToken, 400);
    EXPECT_EQ(t->allLanguageTokens(), (std::set<int64_t>{402, 403}));
}

TEST(WhisperTokenizer, LanguageTokensNotAboveTheSpecialBorderAreLeftOut) {
    WhisperVocabulary vocabulary;
    vocabulary.endOfText = 400;
    vocabulary.languageCount = 3;
    vocabulary.languageStart = 397;  // en 397, zh 398, de 399: all below the border
    vocabulary.noSpeechText = "";
    vocabulary.timeTokenCount = 1;
    auto t = whisper(vocabulary);
    EXPECT_EQ(t->specialTokens().specialTokenBegin, 400);
    EXPECT_TRUE(t->allLanguageTokens().empty());
}

TEST(WhisperTokenizer, EncodesAndDecodesThroughTheLoadedTokenizer) {
    auto t = whisper(WhisperVocabulary{});
    auto ids = t->encode(" Hola mundo");
    ASSERT_EQ(ids.size(), 4u);
    EXPECT_EQ(ids.front(), t->specialTokens().startOfTranscriptToken);
    EXPECT_EQ(ids[1], id(*t, "\xC4\xA0Hola"));
    EXPECT_EQ(ids[2], id(*t, "\xC4\xA0mundo"));
    EXPECT_EQ(ids.back(), t->specialTokens().endToken);
    EXPECT_EQ(t->decode({ids[1], ids[2]}), " Hola mundo");
    std::string withSpecials = t->decode(ids);
    EXPECT_NE(withSpecials.find("<|startoftranscript|>"), std::string::npos) << withSpecials;
    EXPECT_NE(withSpecials.find("<|endoftext|>"), std::string::npos) << withSpecials;
    EXPECT_FALSE(t->convertTokenToId("<|nospeech|>"));
}

TEST(WhisperTokenizer, SpaceRuleJoinsPiecesIntoWords) {
    auto t = whisper(WhisperVocabulary{});
    const auto& s = t->specialTokens();
    int64_t hola = id(*t, "\xC4\xA0Hola"), comma = id(*t, ","), mundo = id(*t, "\xC4\xA0mundo");
    int64_t o = id(*t, "o"), dots = id(*t, "..."), dot = id(*t, ".");
    struct Case {
        std::vector<int64_t> ids;
        std::vector<std::string> words;
        std::vector<std::vector<int64_t>> wordTokens;
    };
    std::vector<Case> cases{
        {{}, {}, {}},
        {{s.startOfTranscriptToken, s.englishToken, s.transcribeToken},
         {"<|startoftranscript|>", "<|en|>", "<|transcribe|>"},
         {{s.startOfTranscriptToken}, {s.englishToken}, {s.transcribeToken}}},
        {{hola, comma, mundo}, {" Hola", ",", " mundo"}, {{hola}, {comma}, {mundo}}},
        // A first piece starts a word without a space; letters join it.
        {{o, o, mundo}, {"oo", " mundo"}, {{o, o}, {mundo}}},
        // One punctuation scalar starts a word that later pieces join; three do not.
        {{hola, dot, o, dots}, {" Hola", ".o..."}, {{hola}, {dot, o, dots}}},
        {{s.timeTokenBegin, hola, mundo, s.timeTokenBegin + 50},
         {"<|0.00|>", " Hola", " mundo", "<|1.00|>"},
         {{s.timeTokenBegin}, {hola}, {mundo}, {s.timeTokenBegin + 50}}},
    };
    for (const auto& c : cases) {
        auto split = t->splitToWordTokens(c.ids);
        EXPECT_EQ(split.words, c.words);
        EXPECT_EQ(split.wordTokens, c.wordTokens);
    }
}

TEST(WhisperTokenizer, UnicodeRuleKeepsMultiTokenCharactersTogether) {
    auto t = whisper(WhisperVocabulary{}, "ja", true);
    // "é" is C3 A9: two byte-level tokens that each decode to U+FFFD alone.
    int64_t c3 = id(*t, "\xC3\x83"), a9 = id(*t, "\xC2\xA9"), hola = id(*t, "\xC4\xA0Hola");
    auto split = t->splitToWordTokens({hola, c3, a9});
    EXPECT_EQ(split.words, (std::vector<std::string>{" Hola", "\xC3\xA9"}));
    EXPECT_EQ(split.wordTokens, (std::vector<std::vector<int64_t>>{{hola}, {c3, a9}}));

    // A cut three-byte character: the full text holds one replacement
    // character for both bytes, so the first byte's piece is that character
    // and the second byte's position lies past the full text: it never
    // completes and is dropped, without reading outside the text.
    int64_t e3 = id(*t, Tokenizers::byteEncoder()[0xE3]), x81 = id(*t, Tokenizers::byteEncoder()[0x81]);
    auto cut = t->splitToWordTokens({hola, e3, x81});
    EXPECT_EQ(cut.words, (std::vector<std::string>{" Hola", "\xEF\xBF\xBD"}));
    EXPECT_EQ(cut.wordTokens, (std::vector<std::vector<int64_t>>{{hola}, {e3}}));

    // The same ids under the space rule join the letter to the word before.
    auto spaced = whisper(WhisperVocabulary{}, std::nullopt, true)->splitToWordTokens({hola, c3, a9});
    EXPECT_EQ(spaced.words, (std::vector<std::string>{" Hola\xC3\xA9"}));
}

TEST(WhisperTokenizer, RecognizedLanguageChoosesTheSplit) {
    auto t = whisper(WhisperVocabulary{});
    auto japanese = t->encode("\xE3\x81\x93\xE3\x82\x93\xE3\x81\xAB\xE3\x81\xA1\xE3\x81\xAF");  // こんにちは
    auto split = t->splitToWordTokens(japanese);
    // Start and end tokens, then one word per character.
    EXPECT_EQ(split.words.size(), 7u);
    EXPECT_EQ(split.words[1], "\xE3\x81\x93");
    EXPECT_EQ(split.wordTokens[1].size(), 3u);

    auto spanish = t->splitToWordTokens(t->encode(" Hola mundo"));
    EXPECT_EQ(spanish.words, (std::vector<std::string>{"<|startoftranscript|>", " Hola", " mundo", "<|endoftext|>"}));
}

TEST(WhisperTokenizer, SharedAcrossThreads) {
    auto t = whisper(WhisperVocabulary{});
    auto ids = t->encode(" Hola, mundo... \xE6\x97\xA5\xE6\x9C\xAC");
    auto expected = t->splitToWordTokens(ids);
    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            for (int k = 0; k < 50; ++k) {
                if (t->splitToWordTokens(ids) != expected) ++mismatches;
                if (t->encode(" Hola mundo").size() != 4) ++mismatches;
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST(LanguageRecognizer, ScriptCounts) {
    ScriptLanguageRecognizer recognizer;
    struct Case {
        std::string text;
        std::optional<std::string> code;
    };
    std::vector<Case> cases{
        {"", std::nullopt},
        {" Hola mundo", std::nullopt},
        {"\xE4\xBD\xA0\xE5\xA5\xBD", "zh"},                              // 你好
        {"\xE6\x97\xA5\xE6\x9C\xAC\xE3\x81\xA7\xE3\x81\x99", "ja"},        // 日本です
        {"\xE0\xB8\xAA\xE0\xB8\xA7\xE0\xB8\xB1\xE0\xB8\xAA\xE0\xB8\x94\xE0\xB8\xB5", "th"},  // สวัสดี
        {"\xE0\xBA\xAA\xE0\xBA\xB0\xE0\xBA\x9A\xE0\xBA\xB2\xE0\xBA\x8D", "lo"},  // ສະບາຍ
        {"\xE1\x80\x99\xE1\x80\x84\xE1\x80\xBA\xE1\x80\xB9\xE1\x80\x82", "my"},  // Myanmar letters
        {"Hola \xE4\xBD\xA0 mundo", std::nullopt},                           // mostly Latin
        {"\xEC\x95\x88\xEB\x85\x95", "ko"},                                  // 안녕
    };
    for (const auto& c : cases) EXPECT_EQ(recognizer.dominantLanguage(c.text), c.code) << c.text;
}
