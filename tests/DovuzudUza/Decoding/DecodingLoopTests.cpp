#include <gtest/gtest.h>

#include <cmath>

#include "DecodingTestSupport.hpp"
#include "DovuzudUza/Core/GreedyTokenSampler.hpp"

using namespace DovuzudUza;
using namespace DovuzudUza::decoding_test;
using platform::ml::Half;

namespace {

GreedyTokenSampler greedy(const DecodingOptions& options = roadOptions(), float temperature = 0) {
    return GreedyTokenSampler(Half::fromFloat(temperature), special().endToken, options);
}

DecodingResult decode(ScriptedDecoder& scripted, const DecodingOptions& options,
                      TextDecoding::ProgressCallback callback = nullptr) {
    auto inputs = preparedInputs(*scripted.decoder, options);
    auto sampler = greedy(options);
    return scripted.decoder->decodeText(encoderOutput(), inputs, sampler, options, std::move(callback));
}

std::vector<int64_t> prompt() { return {special().startOfTranscriptToken, es(), idOf("<|transcribe|>"), special().noTimestampsToken}; }

std::vector<int64_t> with(std::vector<int64_t> head, const std::vector<int64_t>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

}  // namespace

TEST(TextDecoder, AFreshDecoderKnowsNothingOfAModel) {
    TextDecoder decoder;
    EXPECT_EQ(decoder.logitsSize(), std::nullopt);
    EXPECT_EQ(decoder.kvCacheEmbedDim(), std::nullopt);
    EXPECT_EQ(decoder.kvCacheMaxSequenceLength(), std::nullopt);
    EXPECT_EQ(decoder.windowSize(), std::nullopt);
    EXPECT_EQ(decoder.embedSize(), std::nullopt);
    EXPECT_FALSE(decoder.supportsWordTimestamps());
    ASSERT_TRUE(decoder.logitsFilters().has_value());
    EXPECT_TRUE(decoder.logitsFilters()->empty());
    EXPECT_EQ(decoder.tokenizer(), nullptr);
    EXPECT_FALSE(decoder.isModelMultilingual());

    ScriptedDecoder plain(Attempts{}), aligned(Attempts{}, true);
    EXPECT_EQ(plain.decoder->logitsSize(), 51865);
    EXPECT_EQ(plain.decoder->kvCacheEmbedDim(), 8);
    EXPECT_EQ(plain.decoder->kvCacheMaxSequenceLength(), 224);
    EXPECT_EQ(plain.decoder->windowSize(), 16);
    EXPECT_EQ(plain.decoder->embedSize(), 8);
    EXPECT_FALSE(plain.decoder->supportsWordTimestamps());
    EXPECT_TRUE(aligned.decoder->supportsWordTimestamps());

    // Without a model a step gives no logits (and the seven-array form nothing at all).
    const auto step = decoder.predictLogits(TextDecoderMLMultiArrayInputType(nullptr, nullptr, nullptr, nullptr, nullptr,
                                                                             nullptr, nullptr));
    auto* output = dynamic_cast<TextDecoderMLMultiArrayOutputType*>(step.get());
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(output->logits, nullptr);
    EXPECT_FALSE(decoder.predictLogits(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr).has_value());
    struct OtherInput : TextDecoderInputType {};
    EXPECT_EQ(whisperError([&] { decoder.predictLogits(OtherInput{}); }),
              WhisperError::transcriptionFailed("Input must be TextDecoderMLMultiArrayInputType"));
}

TEST(TextDecoder, PromptIsFedOneTokenPerStepThenTheModelDecides) {
    ScriptedDecoder scripted(Attempts{{hola(), mundo(), dot()}});
    // The model's own choices at the forced prompt steps are thrown away.
    scripted.extra[{0, 0}] = {{mundo(), 90.0f}};
    scripted.extra[{0, 1}] = {{mundo(), 90.0f}};
    const auto result = decode(scripted, roadOptions());

    const auto steps = scripted.recorded();
    ASSERT_EQ(steps.size(), 7u);  // 3 forced, the first-token step, 3 free
    const std::vector<int64_t> fed = with(prompt(), {hola(), mundo(), dot()});
    for (size_t t = 0; t < steps.size(); ++t) {
        EXPECT_EQ(steps[t].cacheLength, static_cast<int64_t>(t));
        EXPECT_EQ(steps[t].inputId, fed[t]) << t;
        // Positions up to the step are open, the rest hidden.
        for (size_t p = 0; p < 8; ++p) EXPECT_EQ(steps[t].paddingMask[p], p <= t ? 0.0f : -10000.0f) << t << " " << p;
    }
    EXPECT_EQ(result.tokens, with(prompt(), {hola(), mundo(), dot(), special().endToken}));
    EXPECT_EQ(result.text, "<|startoftranscript|><|es|><|transcribe|><|notimestamps|> Hola mundo.<|endoftext|>");
    EXPECT_EQ(result.language, "es");
    EXPECT_EQ(result.languageProbs, (std::map<std::string, float>{{"es", 0.0f}}));
    EXPECT_EQ(result.noSpeechProb, 0.0f);
    EXPECT_EQ(result.temperature, 0.0f);
    EXPECT_FALSE(result.fallback.has_value());
    ASSERT_EQ(result.tokenLogProbs.size(), result.tokens.size());
    EXPECT_EQ(result.tokenLogProbs[0], (std::map<int64_t, float>{{special().startOfTranscriptToken, 0.0f}}));
    EXPECT_EQ(result.tokenLogProbs.back(), (std::map<int64_t, float>{{special().endToken, 0.0f}}));
    ASSERT_TRUE(result.timings);
    EXPECT_EQ(result.timings->totalDecodingLoops, 7);
    EXPECT_EQ(result.timings->totalKVUpdateRuns, 6);  // the step that ended it wrote nothing
    EXPECT_LT(result.timings->firstTokenTime, 1e300);

    // Every step wrote its input token's slice at its own position.
    ASSERT_TRUE(result.cache && result.cache->keyCache);
    for (int64_t p = 0; p < 6; ++p) EXPECT_EQ(result.cache->keyCache->value({0, 3, 0, p}), static_cast<double>(fed[p] % 2048)) << p;
    EXPECT_EQ(result.cache->keyCache->value({0, 3, 0, 6}), 0);
    EXPECT_EQ(result.cache->alignmentWeights, nullptr);  // this model gives none
}

TEST(TextDecoder, LoopStopsAtTheTokenLimitAndTheSamplerClosesTheList) {
    ScriptedDecoder scripted(Attempts{std::vector<int64_t>(300, hola())});
    const auto result = decode(scripted, roadOptions());
    const auto steps = scripted.recorded();
    ASSERT_EQ(steps.size(), 223u);  // min(4 - 1 + 224, 223)
    EXPECT_EQ(steps.back().cacheLength, 222);
    ASSERT_EQ(result.tokens.size(), 224u);  // 223 in the list, then the end token
    EXPECT_EQ(result.tokens[222], hola());
    EXPECT_EQ(result.tokens.back(), special().endToken);
    // One token repeated: far too compressible, so the verdict asks for another try.
    ASSERT_TRUE(result.fallback);
    EXPECT_EQ(*result.fallback, (DecodingFallback{true, "compressionRatioThreshold"}));
    EXPECT_GT(result.compressionRatio, 2.4f);

    // sampleLength bounds the steps too: n - 1 + s.
    ScriptedDecoder shortRun(Attempts{std::vector<int64_t>(300, hola())});
    auto options = roadOptions();
    options.sampleLength = 5;
    decode(shortRun, options);
    EXPECT_EQ(shortRun.recorded().size(), 8u);
}

TEST(TextDecoder, EndDuringThePromptIsIgnoredAndFromTheFirstTokenOnEndsTheLoop) {
    ScriptedDecoder scripted(Attempts{{}});  // the end token at once
    scripted.promptLength = 100;      // so the scripted end also comes at every prompt step
    const auto result = decode(scripted, roadOptions());
    EXPECT_EQ(scripted.recorded().size(), 4u);  // through the prompt, ended at the first-token step
    EXPECT_EQ(result.tokens, with(prompt(), {special().endToken}));
}

TEST(TextDecoder, ATooUnlikelyFirstTokenEndsTheLoopAndAsksForAFallback) {
    for (const auto& [strength, stops] : std::vector<std::pair<float, bool>>{{1.0f, true}, {30.0f, false}}) {
        ScriptedDecoder scripted(Attempts{{hola(), mundo()}});
        scripted.strength = strength;  // at 1.0 the first token's log-probability is about -10
        const auto result = decode(scripted, roadOptions());
        if (stops) {
            EXPECT_EQ(scripted.recorded().size(), 4u);
            EXPECT_EQ(result.tokens, with(prompt(), {special().endToken}));
            EXPECT_EQ(*result.fallback, (DecodingFallback{true, "firstTokenLogProbThreshold"}));
        } else {
            EXPECT_EQ(result.tokens, with(prompt(), {hola(), mundo(), special().endToken}));
        }
    }
    // Exactly at the threshold does not stop it.
    ScriptedDecoder scripted(Attempts{{hola()}});
    auto options = roadOptions();
    const auto probe = decode(scripted, options);
    const float firstLogProb = probe.tokenLogProbs[4].at(hola());
    options.firstTokenLogProbThreshold = firstLogProb;
    ScriptedDecoder again(Attempts{{hola()}});
    EXPECT_EQ(decode(again, options).tokens, with(prompt(), {hola(), special().endToken}));
}

TEST(TextDecoder, ProgressReportsCanStopAFreeStepButNotAPromptStep) {
    ScriptedDecoder scripted(Attempts{std::vector<int64_t>(50, hola())});
    std::vector<TranscriptionProgress> reports;
    const auto result = decode(scripted, roadOptions(), [&](const TranscriptionProgress& p) -> std::optional<bool> {
        reports.push_back(p);
        return p.tokens.size() < 7 ? false : std::optional<bool>{};  // false at every step until then
    });
    // Steps 0-2 are prompt steps: their false is ignored; step 3 (the first
    // token) stops the loop.
    EXPECT_EQ(scripted.recorded().size(), 4u);
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_EQ(reports[0].tokens, prompt());
    EXPECT_EQ(reports[3].tokens, with(prompt(), {hola()}));
    EXPECT_EQ(reports[3].text, " Hola");  // the road skips special tokens in texts
    EXPECT_EQ(reports[3].windowId, 0);
    EXPECT_EQ(reports[3].temperature, std::nullopt);
    EXPECT_FLOAT_EQ(*reports[3].avgLogprob, result.tokenLogProbs[4].at(hola()) / 5.0f);
    EXPECT_EQ(reports[3].timings.totalKVUpdateRuns, 4);
    EXPECT_EQ(reports[3].timings.totalDecodingLoops, 3);  // earlier steps only
    EXPECT_EQ(result.tokens, with(prompt(), {hola(), special().endToken}));

    // Answering nothing never stops it.
    ScriptedDecoder quiet(Attempts{{hola(), mundo()}});
    decode(quiet, roadOptions(), [](const TranscriptionProgress&) { return std::optional<bool>{}; });
    EXPECT_EQ(quiet.recorded().size(), 6u);
    EXPECT_EQ(scripted.decoder->earlyStopActor()->count(), 0u);
}

TEST(TextDecoder, LanguageComesFromTheOptionsOrTheFirstLanguageToken) {
    ScriptedDecoder scripted(Attempts{{hola()}});
    auto options = roadOptions();
    options.language = std::nullopt;  // the prompt then carries "<|en|>"
    const auto result = decode(scripted, options);
    EXPECT_EQ(result.language, "en");
    EXPECT_EQ(result.languageProbs, (std::map<std::string, float>{{"en", 0.0f}}));

    // Previous text before the start token stays out of the result.
    ScriptedDecoder withPrevious(Attempts{{es(), hola()}});
    auto previous = options;
    previous.promptTokens = std::vector<int64_t>{mundo(), dot()};
    withPrevious.promptLength = 7;
    auto inputs = preparedInputs(*withPrevious.decoder, previous);
    inputs->setInitialPrompt({special().startOfPreviousToken, mundo(), dot(), special().startOfTranscriptToken,
                              special().transcribeToken, special().noTimestampsToken, es()});
    auto sampler = greedy(previous);
    const auto own = withPrevious.decoder->decodeText(encoderOutput(), inputs, sampler, previous);
    EXPECT_EQ(own.tokens.front(), special().startOfTranscriptToken);
    EXPECT_EQ(own.language, "es");  // the first language token of the range
    EXPECT_EQ(own.languageProbs.at("es"), 0.0f);
}

TEST(TextDecoder, FailuresReachTheCallerAsEngineErrors) {
    ScriptedDecoder unloaded(Attempts{{hola()}});
    unloaded.decoder->unloadModel();
    auto options = roadOptions();
    auto inputs = std::make_shared<DecodingInputs>(prompt(), MultiArray::make({1}, DataType::int32),
                                                   MultiArray::make({1}, DataType::int32), nullptr, nullptr, nullptr,
                                                   nullptr, nullptr);
    auto sampler = greedy();
    EXPECT_EQ(whisperError([&] { unloaded.decoder->decodeText(encoderOutput(), inputs, sampler, options); }),
              WhisperError::decodingLogitsFailed("Unable to decode logits"));

    ScriptedDecoder noSlices(Attempts{{hola()}});
    noSlices.withoutCacheSlices = true;
    EXPECT_EQ(whisperError([&] { decode(noSlices, options); }), WhisperError::decodingLogitsFailed("Invalid model output"));

    ScriptedDecoder scripted(Attempts{{hola()}});
    auto empty = preparedInputs(*scripted.decoder, options);
    empty->setInitialPrompt({});
    EXPECT_EQ(whisperError([&] { scripted.decoder->decodeText(encoderOutput(), empty, sampler, options); }),
              WhisperError::prepareDecoderInputsFailed("Initial prompt must not be empty"));
    EXPECT_EQ(whisperError([&] {
                  scripted.decoder->decodeText(nullptr, preparedInputs(*scripted.decoder, options), sampler, options);
              }),
              WhisperError::prepareDecoderInputsFailed("Input must be MLMultiArray"));

    class SilentSampler : public TokenSampling {
    public:
        SamplingResult update(const std::vector<int64_t>&, const MultiArray&, const std::vector<float>&) override { return {}; }
        SamplingResult finalize(const std::vector<int64_t>& t, const std::vector<float>& l) override { return {t, l, true}; }
    } silent;
    EXPECT_EQ(whisperError([&] {
                  scripted.decoder->decodeText(encoderOutput(), preparedInputs(*scripted.decoder, options), silent, options);
              }),
              WhisperError::decodingFailed("Token sampler returned no tokens or log probabilities"));

    scripted.decoder->setTokenizer(nullptr);
    EXPECT_EQ(whisperError([&] { scripted.decoder->decodeText(encoderOutput(), empty, sampler, options); }),
              WhisperError::tokenizerUnavailable("Tokenizer is unavailable"));
}

TEST(TextDecoder, AZeroLoopBoundGivesTheClosedPrompt) {
    ScriptedDecoder scripted(Attempts{{hola()}});
    auto options = roadOptions();
    options.sampleLength = 0;
    auto inputs = preparedInputs(*scripted.decoder, options);
    inputs->setInitialPrompt({special().startOfTranscriptToken});
    auto sampler = greedy(options);
    const auto result = scripted.decoder->decodeText(encoderOutput(), inputs, sampler, options);
    EXPECT_TRUE(scripted.recorded().empty());
    EXPECT_EQ(result.tokens, (std::vector<int64_t>{special().startOfTranscriptToken, special().endToken}));
    EXPECT_EQ(result.timings, TranscriptionTimings{});
}

TEST(TextDecoder, FiltersFollowTheOptions) {
    ScriptedDecoder scripted(Attempts{});
    const auto& t = *tokenizer();
    struct Case {
        const char* name;
        DecodingOptions options;
        size_t count;
    };
    DecodingOptions all;
    all.suppressBlank = true;
    all.suppressTokens = {5, special().endToken, 7};
    all.maxInitialTimestamp = 0.3f;
    auto filters = scripted.decoder->createLogitsFilters(all, 4, t);
    ASSERT_EQ(filters.size(), 3u);
    EXPECT_NE(dynamic_cast<SuppressBlankFilter*>(filters[0].get()), nullptr);
    EXPECT_EQ(dynamic_cast<SuppressTokensFilter*>(filters[1].get())->suppressTokens(), (std::vector<int64_t>{5, 7}));
    auto* rules = dynamic_cast<TimestampRulesFilter*>(filters[2].get());
    ASSERT_NE(rules, nullptr);
    EXPECT_EQ(rules->maxInitialTimestampIndex(), 15);  // 0.3 / 0.02 is 15.000001 in float
    EXPECT_EQ(rules->sampleBegin(), 4);
    EXPECT_TRUE(rules->isModelMultilingual());
    all.maxInitialTimestamp = 1.0f;
    EXPECT_EQ(dynamic_cast<TimestampRulesFilter*>(scripted.decoder->createLogitsFilters(all, 4, t)[2].get())
                  ->maxInitialTimestampIndex(),
              50);
    // The dictation road needs none; configured filters come first.
    EXPECT_TRUE(scripted.decoder->createLogitsFilters(roadOptions(), 4, t).empty());
    auto own = std::make_shared<SuppressTokensFilter>(std::vector<int64_t>{1});
    scripted.decoder->setLogitsFilters(std::vector<std::shared_ptr<LogitsFiltering>>{own});
    EXPECT_EQ(scripted.decoder->createLogitsFilters(roadOptions(), 4, t), std::vector<std::shared_ptr<LogitsFiltering>>{own});
}

TEST(TextDecoder, TimestampsFromTheModelWinAtTheLastPromptPosition) {
    // A prompt ending in a timestamp: when the model also predicts one there, it replaces it.
    ScriptedDecoder scripted(Attempts{{hola()}});
    auto options = roadOptions();
    options.withoutTimestamps = false;
    auto inputs = preparedInputs(*scripted.decoder, options);
    inputs->setInitialPrompt({special().startOfTranscriptToken, es(), idOf("<|transcribe|>"), timestamp(0.0)});
    scripted.extra[{0, 2}] = {{timestamp(0.5), 90.0f}};
    auto sampler = greedy(options);
    const auto result = scripted.decoder->decodeText(encoderOutput(), inputs, sampler, options);
    EXPECT_EQ(result.tokens[3], timestamp(0.5));
    EXPECT_EQ(scripted.recorded()[3].inputId, timestamp(0.5));
}

TEST(TextDecoder, LanguageDetectionTakesOneStepAndLeavesTheCaches) {
    ScriptedDecoder scripted(Attempts{{es()}});
    scripted.promptLength = 1;  // the scripted token comes at the start step
    auto options = roadOptions();
    auto inputs = preparedInputs(*scripted.decoder, options);
    auto* raw = dynamic_cast<DecodingInputs*>(inputs.get());
    auto sampler = greedy();
    const auto result = scripted.decoder->detectLanguage(encoderOutput(), inputs, sampler, options, Half::fromFloat(0));
    EXPECT_EQ(result.language, "es");
    ASSERT_EQ(result.languageProbs.size(), 1u);
    EXPECT_NEAR(result.languageProbs.at("es"), 0.0f, 1e-3);
    EXPECT_TRUE(result.tokens.empty());
    ASSERT_TRUE(result.timings);
    EXPECT_EQ(raw->keyCache()->toFloatVector(), std::vector<float>(8 * 224, 0.0f));
    EXPECT_EQ(scripted.recorded().at(0).inputId, special().startOfTranscriptToken);

    // The filter leaves only language tokens: a non-language favourite loses.
    ScriptedDecoder textFavoured(Attempts{{hola()}});
    textFavoured.promptLength = 1;
    textFavoured.extra[{0, 0}] = {{idOf("<|de|>"), 5.0f}};
    EXPECT_EQ(textFavoured.decoder->detectLanguage(encoderOutput(), preparedInputs(*textFavoured.decoder, options),
                                                   sampler, options, Half::fromFloat(0))
                  .language,
              "de");
}

TEST(TextDecoder, AnUnsupportedLanguageCodeBecomesEnglish) {
    // The fixture vocabulary's 100th language token is not in the engine's table.
    LogCapture log(ZezeziCore::Logging::LogLevel::error);
    class OddLanguage : public WhisperTokenizer {
    public:
        std::vector<int64_t> encode(const std::string& text) const override { return tokenizer()->encode(text); }
        std::string decode(const std::vector<int64_t>& tokens) const override {
            return tokens == std::vector<int64_t>{es()} ? "<|xx|>" : tokenizer()->decode(tokens);
        }
        std::optional<int64_t> convertTokenToId(const std::string& t) const override { return tokenizer()->convertTokenToId(t); }
        std::optional<std::string> convertIdToToken(int64_t id) const override { return tokenizer()->convertIdToToken(id); }
        const SpecialTokens& specialTokens() const override { return tokenizer()->specialTokens(); }
        const std::set<int64_t>& allLanguageTokens() const override { return tokenizer()->allLanguageTokens(); }
        WordTokens splitToWordTokens(const std::vector<int64_t>& ids) const override { return tokenizer()->splitToWordTokens(ids); }
    };
    ScriptedDecoder scripted(Attempts{{es()}});
    scripted.promptLength = 1;
    scripted.decoder->setTokenizer(std::make_shared<OddLanguage>());
    auto sampler = greedy();
    const auto result = scripted.decoder->detectLanguage(encoderOutput(), preparedInputs(*scripted.decoder, roadOptions()),
                                                         sampler, roadOptions(), Half::fromFloat(0));
    EXPECT_EQ(result.language, "en");
    EXPECT_TRUE(contains(log.texts(), "Detected language xx is not supported, defaulting to en"));
}

TEST(TextDecoder, LanguageDetectionFailuresAndTheFilterAfterUnloading) {
    ScriptedDecoder scripted(Attempts{{es()}});
    scripted.promptLength = 1;
    auto options = roadOptions();
    auto inputs = preparedInputs(*scripted.decoder, options);
    auto sampler = greedy();
    scripted.decoder->detectLanguage(encoderOutput(), inputs, sampler, options, Half::fromFloat(0));
    scripted.decoder->unloadModel();
    EXPECT_EQ(whisperError([&] { scripted.decoder->detectLanguage(encoderOutput(), inputs, sampler, options, Half{}); }),
              WhisperError::modelsUnavailable("Failed to read logits size from model"));
    // Reloaded with a smaller vocabulary: the language filter is built anew for it.
    ModelDescription small = scripted.model->description();
    small.addOutput(FeatureDescription::multiArray("logits", {1, 1, 60000}, DataType::float16));
    scripted.decoder->setModel(FakeModel::make(small, [](const FeatureProvider&) {
        DictionaryFeatureProvider out;
        auto logits = MultiArray::make({1, 1, 60000}, DataType::float16);
        logits->setFloatAt(55000, 50.0f);  // beyond the old vocabulary: still forbidden by the new filter
        logits->setFloatAt(es(), 10.0f);
        out.set("logits", logits);
        return out;
    }));
    EXPECT_EQ(scripted.decoder->detectLanguage(encoderOutput(), inputs, sampler, options, Half{}).language, "es");

    scripted.decoder->setModel(FakeModel::make(scripted.model->description(), [](const FeatureProvider&) {
        return DictionaryFeatureProvider{};
    }));
    LogCapture log(ZezeziCore::Logging::LogLevel::error);
    EXPECT_EQ(whisperError([&] { scripted.decoder->detectLanguage(encoderOutput(), inputs, sampler, options, Half{}); }),
              WhisperError::decodingLogitsFailed("Unable to decode logits from the model output"));
    EXPECT_TRUE(contains(log.texts(), "Unable to decode logits"));
}
