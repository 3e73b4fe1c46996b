#include <gtest/gtest.h>

#include "DecodingTestSupport.hpp"

using namespace DovuzudUza;
using namespace DovuzudUza::decoding_test;

namespace {

// The fixture tokenizer with some token texts missing from its vocabulary.
class HidingTokenizer : public WhisperTokenizer {
public:
    explicit HidingTokenizer(std::set<std::string> hidden) : hidden_(std::move(hidden)) {}
    std::vector<int64_t> encode(const std::string& text) const override { return tokenizer()->encode(text); }
    std::string decode(const std::vector<int64_t>& tokens) const override { return tokenizer()->decode(tokens); }
    std::optional<int64_t> convertTokenToId(const std::string& token) const override {
        if (hidden_.count(token)) return std::nullopt;
        return tokenizer()->convertTokenToId(token);
    }
    std::optional<std::string> convertIdToToken(int64_t id) const override { return tokenizer()->convertIdToToken(id); }
    const SpecialTokens& specialTokens() const override { return tokenizer()->specialTokens(); }
    const std::set<int64_t>& allLanguageTokens() const override { return tokenizer()->allLanguageTokens(); }
    WordTokens splitToWordTokens(const std::vector<int64_t>& ids) const override { return tokenizer()->splitToWordTokens(ids); }

private:
    std::set<std::string> hidden_;
};

std::vector<int64_t> range(int64_t from, int64_t count) {
    std::vector<int64_t> ids(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; ++i) ids[static_cast<size_t>(i)] = from + i;
    return ids;
}

std::shared_ptr<MultiArray> halfArray(std::vector<int64_t> shape, std::vector<int64_t> strides, float fill) {
    auto array = std::make_shared<MultiArray>(std::move(shape), DataType::float16, std::move(strides));
    array->fill(fill);
    return array;
}

}  // namespace

TEST(DecoderInputs, PreparedInputsHaveTheModelsShapesAndOpenPositionZero) {
    ScriptedDecoder scripted(Attempts{});
    auto prepared = scripted.decoder->prepareDecoderInputs({special().startOfTranscriptToken, 7});
    auto* inputs = dynamic_cast<DecodingInputs*>(prepared.get());
    ASSERT_NE(inputs, nullptr);
    EXPECT_EQ(inputs->initialPrompt(), (std::vector<int64_t>{special().startOfTranscriptToken, 7}));
    EXPECT_EQ(inputs->keyCache()->shape(), (std::vector<int64_t>{1, 8, 1, 224}));
    EXPECT_EQ(inputs->valueCache()->shape(), (std::vector<int64_t>{1, 8, 1, 224}));
    EXPECT_EQ(inputs->alignmentWeights()->shape(), (std::vector<int64_t>{224, 16}));
    EXPECT_EQ(inputs->inputIds()->dataType(), DataType::int32);
    EXPECT_EQ(inputs->kvCacheUpdateMask()->dataType(), DataType::int32);
    EXPECT_EQ(inputs->decoderKeyPaddingMask()->dataType(), DataType::float16);
    const auto* padding = inputs->decoderKeyPaddingMask()->data<uint16_t>();
    for (int64_t p = 0; p < 224; ++p) {
        ASSERT_EQ(inputs->kvCacheUpdateMask()->floatAt(p), p == 0 ? 1 : 0) << p;
        ASSERT_EQ(padding[p], p == 0 ? 0 : platform::ml::kHalfMinus10000) << p;
    }
    EXPECT_EQ(inputs->keyCache()->toFloatVector(), std::vector<float>(8 * 224, 0.0f));
    EXPECT_EQ(inputs->cacheLength()->floatAt(0), 0);
}

TEST(DecoderInputs, MissingOrShortDimensionsAreRefusedInOrder) {
    struct Case {
        const char* dropped;  // input left out of the description
        int64_t positions;
        std::string message;
    };
    const Case cases[] = {
        {"key_cache", 224, "Unable to determine kvCacheEmbedDim"},
        {"encoder_output_embeds", 224, "Unable to determine encoderOutputDim"},
        {"", 100, "kvCacheMaxSequenceLength 100 is shorter than the token context of 224"},
    };
    for (const auto& c : cases) {
        ModelDescription d;
        if (std::string(c.dropped) != "key_cache")
            d.addInput(FeatureDescription::multiArray("key_cache", {1, 8, 1, c.positions}, DataType::float16));
        if (std::string(c.dropped) != "encoder_output_embeds")
            d.addInput(FeatureDescription::multiArray("encoder_output_embeds", {1, 8, 1, 16}, DataType::float16));
        TextDecoder decoder;
        decoder.setModel(FakeModel::make(d));
        EXPECT_EQ(whisperError([&] { decoder.prepareDecoderInputs({1}); }),
                  WhisperError::prepareDecoderInputsFailed(c.message));
    }
    TextDecoder unloaded;
    EXPECT_EQ(whisperError([&] { unloaded.prepareDecoderInputs({1}); }),
              WhisperError::prepareDecoderInputsFailed("Unable to determine kvCacheEmbedDim"));
}

TEST(DecoderInputs, PrefilledPromptFollowsTheOptions) {
    const auto& s = special();
    const int64_t sot = s.startOfTranscriptToken, en = s.englishToken, notime = s.noTimestampsToken;
    const int64_t transcribe = idOf("<|transcribe|>"), translate = idOf("<|translate|>");
    struct Case {
        const char* name;
        bool multilingual;
        std::optional<DecodingOptions> options;
        std::vector<int64_t> prompt;
        std::set<std::string> hidden = {};
    };
    DecodingOptions spanish = roadOptions();
    DecodingOptions timestamps;
    DecodingOptions unknownLanguage;
    unknownLanguage.language = "spanish";
    DecodingOptions translating;
    translating.task = DecodingTask::translate;
    translating.withoutTimestamps = true;
    DecodingOptions previous;
    previous.withoutTimestamps = true;
    previous.promptTokens = range(1000, 200);
    previous.promptTokens->push_back(s.timeTokenBegin + 3);
    std::vector<int64_t> lastPrevious{s.startOfPreviousToken};
    for (int64_t id = 1090; id < 1200; ++id) lastPrevious.push_back(id);  // 110 of the last 111; the timestamp dropped
    lastPrevious.insert(lastPrevious.end(), {sot, en, transcribe, notime});
    DecodingOptions allSpecial;
    allSpecial.withoutTimestamps = true;
    allSpecial.promptTokens = range(s.timeTokenBegin, 111);
    allSpecial.promptTokens->insert(allSpecial.promptTokens->begin(), 5);  // beyond the last 111: not considered

    const std::vector<Case> cases{
        {"no options, multilingual", true, std::nullopt, {sot}},
        {"no options, English-only", false, std::nullopt, {sot}},
        {"English-only, timestamps", false, timestamps, {sot, s.timeTokenBegin}},
        {"English-only, no timestamps", false, spanish, {sot, notime}},
        {"the dictation road", true, spanish, {sot, es(), transcribe, notime}},
        {"no language: English", true, timestamps, {sot, en, transcribe, s.timeTokenBegin}},
        {"unknown language", true, unknownLanguage, {sot, en, transcribe, s.timeTokenBegin}},
        {"translate", true, translating, {sot, en, translate, notime}},
        {"no translate token", true, translating, {sot, en, s.transcribeToken, notime}, {"<|translate|>"}},
        {"previous text", true, previous, lastPrevious},
        {"previous text all special", true, allSpecial, {sot, en, transcribe, notime}},
    };
    for (const auto& c : cases) {
        ScriptedDecoder scripted(Attempts{});
        if (!c.hidden.empty()) scripted.decoder->setTokenizer(std::make_shared<HidingTokenizer>(c.hidden));
        scripted.decoder->setIsModelMultilingual(c.multilingual);
        auto inputs = scripted.decoder->prepareDecoderInputs({sot});
        auto* raw = dynamic_cast<DecodingInputs*>(inputs.get());
        // Prefill writes only the prompt and position 0 of the masks.
        raw->kvCacheUpdateMask()->fill(7);
        raw->decoderKeyPaddingMask()->fill(7);
        raw->cacheLength()->setFloatAt(0, 9);
        auto same = scripted.decoder->prefillDecoderInputs(inputs, c.options);
        EXPECT_EQ(same, inputs) << c.name;
        EXPECT_EQ(inputs->initialPrompt(), c.prompt) << c.name;
        EXPECT_EQ(raw->kvCacheUpdateMask()->floatAt(0), 1) << c.name;
        EXPECT_EQ(raw->decoderKeyPaddingMask()->floatAt(0), 0) << c.name;
        EXPECT_EQ(raw->kvCacheUpdateMask()->floatAt(1), 7) << c.name;
        EXPECT_EQ(raw->cacheLength()->floatAt(0), 9) << c.name;
    }
}

TEST(DecoderInputs, PrefixBudgetDependsOnThePromptBeforeIt) {
    const auto& s = special();
    struct Case {
        int64_t previousTokens;  // previous text; before the prefix stand these (at most 111) + 5
        size_t prefixKept;
    };
    // Up to 110 tokens before it: 112; from 111 on: 222 minus them. The
    // previous text is cut to 111 ids, so at most 116 stand before the prefix.
    for (const Case& c : {Case{0, 112}, Case{105, 112}, Case{106, 111}, Case{145, 106}}) {
        ScriptedDecoder scripted(Attempts{});
        DecodingOptions options;
        options.withoutTimestamps = true;
        if (c.previousTokens) options.promptTokens = range(1000, c.previousTokens);
        options.prefixTokens = range(3000, 200);
        auto inputs = preparedInputs(*scripted.decoder, options);
        const auto& prompt = inputs->initialPrompt();
        const auto before = static_cast<size_t>(std::find(prompt.begin(), prompt.end(), s.noTimestampsToken) - prompt.begin()) + 1;
        ASSERT_EQ(prompt.size() - before, c.prefixKept) << c.previousTokens;
        if (c.prefixKept) {
            EXPECT_EQ(prompt.back(), 3199);
        }
    }
    // Special ids are dropped after the cut, so fewer may remain.
    ScriptedDecoder scripted(Attempts{});
    DecodingOptions options;
    options.withoutTimestamps = true;
    options.prefixTokens = std::vector<int64_t>{5, s.endToken, 6, s.timeTokenBegin};
    EXPECT_EQ(preparedInputs(*scripted.decoder, options)->initialPrompt(),
              (std::vector<int64_t>{s.startOfTranscriptToken, s.englishToken, idOf("<|transcribe|>"), s.noTimestampsToken, 5, 6}));
}

TEST(DecoderInputs, PrefillNeedsATokenizerAndTheEnginesInputs) {
    ScriptedDecoder scripted(Attempts{});
    class OtherInputs : public DecodingInputsType {
    public:
        const std::vector<int64_t>& initialPrompt() const override { return prompt; }
        void setInitialPrompt(std::vector<int64_t> p) override { prompt = std::move(p); }
        Array inputIds() const override { return nullptr; }
        void setInputIds(Array) override {}
        Array cacheLength() const override { return nullptr; }
        void setCacheLength(Array) override {}
        void reset(int64_t) override {}
        std::vector<int64_t> prompt;
    };
    EXPECT_EQ(whisperError([&] { scripted.decoder->prefillDecoderInputs(std::make_shared<OtherInputs>(), std::nullopt); }),
              WhisperError::prepareDecoderInputsFailed("Unable to cast decoderInputs to DecodingInputs"));
    scripted.decoder->setTokenizer(nullptr);
    EXPECT_EQ(whisperError([&] { preparedInputs(*scripted.decoder, roadOptions()); }),
              WhisperError::tokenizerUnavailable("Tokenizer is unavailable"));
}

TEST(DecoderInputs, CacheUpdateWritesOnlyItsPositionThroughEveryStride) {
    // Padded rows: the copy must follow the strides, not assume them.
    const int64_t E = 3, S = 8, row = S + 5;
    auto keys = halfArray({1, E, 1, S}, {E * row, row, row, 1}, 1);
    auto values = halfArray({1, E, 1, S}, {E * row, row, row, 1}, 1);
    auto keySlice = halfArray({1, E, 1, 1}, {E * 4, 4, 4, 1}, 0);
    auto valueSlice = halfArray({1, E, 1, 1}, {E * 2, 2, 2, 1}, 0);
    for (int64_t c = 0; c < E; ++c) {
        keySlice->setValue({0, c, 0, 0}, 10 + c);
        valueSlice->setValue({0, c, 0, 0}, -10 - c);
    }
    TextDecoding::updateKVCache(*keys, *keySlice, *values, *valueSlice, 5);
    for (int64_t c = 0; c < E; ++c) {
        for (int64_t p = 0; p < S; ++p) {
            EXPECT_EQ(keys->value({0, c, 0, p}), p == 5 ? 10 + c : 1) << c << " " << p;
            EXPECT_EQ(values->value({0, c, 0, p}), p == 5 ? -10 - c : 1) << c << " " << p;
        }
    }
    // The padding between rows is never written.
    const auto* storage = keys->data<uint16_t>();
    for (int64_t c = 0; c < E; ++c)
        for (int64_t gap = S; gap < row; ++gap) EXPECT_EQ(storage[c * row + gap], 0) << c << " " << gap;

    const auto before = keys->toFloatVector();
    auto wide = halfArray({1, E, 1, 2}, {2 * E, 2, 2, 1}, 3);
    auto narrow = halfArray({1, E - 1, 1, 1}, {E - 1, 1, 1, 1}, 3);
    auto floats = MultiArray::make({1, E, 1, 1}, DataType::float32);
    struct Refusal {
        const char* why;
        std::function<void()> call;
    };
    const std::vector<Refusal> refusals{
        {"past the end", [&] { TextDecoding::updateKVCache(*keys, *keySlice, *values, *valueSlice, S); }},
        {"two positions at the last", [&] { TextDecoding::updateKVCache(*keys, *wide, *values, *wide, S - 1); }},
        {"negative", [&] { TextDecoding::updateKVCache(*keys, *keySlice, *values, *valueSlice, -1); }},
        {"fewer channels", [&] { TextDecoding::updateKVCache(*keys, *narrow, *values, *narrow, 0); }},
        {"different slices", [&] { TextDecoding::updateKVCache(*keys, *keySlice, *values, *wide, 0); }},
        {"float32 slices", [&] { TextDecoding::updateKVCache(*keys, *floats, *values, *floats, 0); }},
    };
    for (const auto& r : refusals) {
        EXPECT_EQ(whisperError(r.call).kind(), WhisperError::Kind::decodingFailed) << r.why;
        EXPECT_EQ(keys->toFloatVector(), before) << r.why;
    }
}

TEST(DecoderInputs, CopiesRefuseArraysWithAnEmptyAxis) {
    // A broken model's outputs: an empty axis leaves no storage behind the
    // other axes, so any copy from it would read past its end.
    const int64_t E = 3, S = 8, W = 4;
    const auto half = [](std::vector<int64_t> shape) {
        auto array = MultiArray::make(std::move(shape), DataType::float16);
        array->fill(2);
        return array;
    };
    struct Case {
        std::vector<int64_t> cache, slice;
    };
    const Case cacheCases[] = {
        {{1, E, 1, S}, {1, E, 0, 1}}, {{1, E, 1, S}, {0, E, 1, 1}}, {{1, E, 1, S}, {1, E, 1, 0}},
        {{1, E, 1, S}, {1, 0, 1, 1}}, {{1, E, 0, S}, {1, E, 1, 1}}, {{0, E, 1, S}, {1, E, 1, 1}},
    };
    for (const auto& c : cacheCases) {
        auto keys = half(c.cache), values = half(c.cache);
        auto keySlice = half(c.slice), valueSlice = half(c.slice);
        const auto before = keys->toFloatVector();
        EXPECT_EQ(whisperError([&] { TextDecoding::updateKVCache(*keys, *keySlice, *values, *valueSlice, 0); }),
                  WhisperError::decodingFailed(
                      "Key-value cache update refused: caches and slices must have every axis at least 1 long"))
            << ::testing::PrintToString(c.cache) << " " << ::testing::PrintToString(c.slice);
        EXPECT_EQ(keys->toFloatVector(), before);
    }
    const Case alignmentCases[] = {{{S, W}, {0, W}}, {{S, W}, {1, 0}}, {{S, 0}, {1, W}}};
    for (const auto& c : alignmentCases) {
        auto matrix = half(c.cache);
        auto row = half(c.slice);
        EXPECT_EQ(whisperError([&] { TextDecoding::updateAlignmentWeights(*matrix, *row, 0); }),
                  WhisperError::decodingFailed(
                      "Alignment weights update refused: the matrix and the row must have every axis at least 1 long"))
            << ::testing::PrintToString(c.cache) << " " << ::testing::PrintToString(c.slice);
    }
}

TEST(DecoderInputs, AlignmentUpdateWritesTheRowAfterTheIndex) {
    auto matrix = halfArray({4, 3}, {8, 1}, 0.5f);  // padded rows
    auto row = halfArray({1, 3}, {3, 1}, 0);
    for (int64_t j = 0; j < 3; ++j) row->setValue({0, j}, 0.25 * (j + 1));
    TextDecoding::updateAlignmentWeights(*matrix, *row, 0);
    EXPECT_EQ(matrix->toFloatVector(), (std::vector<float>{0.5f, 0.5f, 0.5f, 0.25f, 0.5f, 0.75f, 0.5f, 0.5f, 0.5f,
                                                           0.5f, 0.5f, 0.5f}));
    const auto before = matrix->toFloatVector();
    for (int64_t index : {3, -1, 100}) {
        EXPECT_EQ(whisperError([&] { TextDecoding::updateAlignmentWeights(*matrix, *row, index); }).kind(),
                  WhisperError::Kind::decodingFailed)
            << index;
    }
    auto shortRow = halfArray({1, 2}, {2, 1}, 1);
    EXPECT_THROW(TextDecoding::updateAlignmentWeights(*matrix, *shortRow, 0), WhisperError);
    EXPECT_EQ(matrix->toFloatVector(), before);
}
