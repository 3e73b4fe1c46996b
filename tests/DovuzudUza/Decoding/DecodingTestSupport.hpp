#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../Models/LogCapture.hpp"
#include "../Models/WhisperVocabularyFixture.hpp"
#include "../WhisperErrorOf.hpp"
#include "DovuzudUza/Core/AudioEncoder.hpp"
#include "DovuzudUza/Core/FeatureExtractor.hpp"
#include "DovuzudUza/Core/SegmentSeeker.hpp"
#include "DovuzudUza/Core/TextDecoder.hpp"
#include "DovuzudUza/Core/TranscribeTask.hpp"
#include "DovuzudUza/Core/WhisperTokenizerWrapper.hpp"
#include "DovuzudUza/Utilities/WhisperError.hpp"
#include "platform/ml/Half.hpp"
#include "platform/ml/fake/FakeModel.hpp"

namespace DovuzudUza::decoding_test {

using platform::ml::DataType;
using platform::ml::DictionaryFeatureProvider;
using platform::ml::FakeModel;
using platform::ml::FeatureDescription;
using platform::ml::FeatureProvider;
using platform::ml::MultiArray;
using platform::ml::ModelDescription;
using test_support::LogCapture;

// The multilingual fixture vocabulary behind the engine's own tokenizer
// glue, built once: ids as in the usual multilingual models.
inline std::shared_ptr<WhisperTokenizerWrapper> tokenizer() {
    static const auto shared = std::make_shared<WhisperTokenizerWrapper>(
        Tokenizers::TokenizerWrapper(test_support::WhisperVocabulary{}.build()));
    return shared;
}

inline int64_t idOf(const std::string& token) {
    const auto id = tokenizer()->convertTokenToId(token);
    EXPECT_TRUE(id) << token;
    return id.value_or(-1);
}

inline const SpecialTokens& special() { return tokenizer()->specialTokens(); }
inline int64_t hola() { return idOf("\xC4\xA0Hola"); }
inline int64_t mundo() { return idOf("\xC4\xA0mundo"); }
inline int64_t dot() { return idOf("."); }
inline int64_t es() { return idOf("<|es|>"); }
inline int64_t timestamp(double seconds) { return special().timeTokenBegin + static_cast<int64_t>(seconds * 50 + 0.5); }

// The options of the dictation road: Spanish, no timestamps.
inline DecodingOptions roadOptions() {
    DecodingOptions options;
    options.language = "es";
    options.withoutTimestamps = true;
    options.skipSpecialTokens = true;
    return options;
}

using test_support::whisperError;

using Attempts = std::vector<std::vector<int64_t>>;

struct ScriptedDecoder {
    static constexpr int64_t channels = 8;     // E
    static constexpr int64_t positions = 224;  // S
    static constexpr int64_t frames = 16;      // W
    static constexpr int64_t width = 8;        // encoder embedding
    static constexpr int64_t vocabulary = 51865;

    struct Step {
        int64_t attempt, cacheLength, inputId;
        std::vector<float> paddingMask;  // the first 8 positions
    };

    Attempts script;
    int64_t promptLength = 4;
    float strength = 30;  // logit of the scripted token; every other is 0
    bool alignment = false;
    std::map<std::pair<int64_t, int64_t>, std::vector<float>> alignmentRows;  // (attempt, t) -> row
    bool withoutCacheSlices = false;
    // Extra logits per (attempt, t): id -> value.
    std::map<std::pair<int64_t, int64_t>, std::map<int64_t, float>> extra;

    std::shared_ptr<FakeModel> model;
    std::shared_ptr<TextDecoder> decoder = std::make_shared<TextDecoder>();
    mutable std::mutex mutex;
    std::vector<Step> steps;
    int64_t attempts = 0;

    explicit ScriptedDecoder(Attempts script, bool withAlignment = false)
        : script(std::move(script)), alignment(withAlignment) {
        ModelDescription d;
        d.addInput(FeatureDescription::multiArray("input_ids", {1}, DataType::int32));
        d.addInput(FeatureDescription::multiArray("cache_length", {1}, DataType::int32));
        d.addInput(FeatureDescription::multiArray("key_cache", {1, channels, 1, positions}, DataType::float16));
        d.addInput(FeatureDescription::multiArray("value_cache", {1, channels, 1, positions}, DataType::float16));
        d.addInput(FeatureDescription::multiArray("kv_cache_update_mask", {1, positions}, DataType::int32));
        d.addInput(FeatureDescription::multiArray("encoder_output_embeds", {1, width, 1, frames}, DataType::float16));
        d.addInput(FeatureDescription::multiArray("decoder_key_padding_mask", {1, positions}, DataType::float16));
        d.addOutput(FeatureDescription::multiArray("logits", {1, 1, vocabulary}, DataType::float16));
        d.addOutput(FeatureDescription::multiArray("key_cache_updates", {1, channels, 1, 1}, DataType::float16));
        d.addOutput(FeatureDescription::multiArray("value_cache_updates", {1, channels, 1, 1}, DataType::float16));
        if (alignment) d.addOutput(FeatureDescription::multiArray("alignment_heads_weights", {1, frames}, DataType::float16));
        model = FakeModel::make(d, [this](const FeatureProvider& in) { return predict(in); });
        decoder->setModel(model);
        decoder->setTokenizer(tokenizer());
        decoder->setIsModelMultilingual(true);
        // Progress reports run at once, so early stops are deterministic.
        decoder->setProgressExecutor([](std::function<void()> work) { work(); });
    }

    DictionaryFeatureProvider predict(const FeatureProvider& in) {
        const auto t = static_cast<int64_t>(in.multiArray("cache_length")->floatAt(0));
        const auto token = static_cast<int64_t>(in.multiArray("input_ids")->floatAt(0));
        int64_t attempt;
        {
            std::lock_guard lock(mutex);
            if (t == 0) ++attempts;
            attempt = attempts - 1;
            Step step{attempt, t, token, {}};
            for (int64_t p = 0; p < 8; ++p) step.paddingMask.push_back(in.multiArray("decoder_key_padding_mask")->floatAt(p));
            steps.push_back(std::move(step));
        }
        auto logits = MultiArray::make({1, 1, vocabulary}, DataType::float16);
        const auto& line = script.empty() ? std::vector<int64_t>{} : script[std::min<size_t>(static_cast<size_t>(attempt), script.size() - 1)];
        const int64_t free = t - (promptLength - 1);
        int64_t next = special().endToken;
        if (free >= 0 && free < static_cast<int64_t>(line.size())) next = line[static_cast<size_t>(free)];
        auto* bits = logits->data<uint16_t>();
        bits[next] = platform::ml::floatToHalf(strength);
        if (auto found = extra.find({attempt, t}); found != extra.end())
            for (const auto& [id, value] : found->second) bits[id] = platform::ml::floatToHalf(value);

        DictionaryFeatureProvider out;
        out.set("logits", logits);
        if (!withoutCacheSlices) {
            auto keys = MultiArray::make({1, channels, 1, 1}, DataType::float16);
            auto values = MultiArray::make({1, channels, 1, 1}, DataType::float16);
            for (int64_t c = 0; c < channels; ++c) {
                keys->setFloatAt(c, static_cast<float>(token % 2048));
                values->setFloatAt(c, static_cast<float>(-(token % 2048)));
            }
            out.set("key_cache_updates", keys);
            out.set("value_cache_updates", values);
        }
        if (alignment) {
            auto row = MultiArray::make({1, frames}, DataType::float16);
            if (auto found = alignmentRows.find({attempt, t}); found != alignmentRows.end())
                for (size_t j = 0; j < found->second.size(); ++j) row->setFloatAt(static_cast<int64_t>(j), found->second[j]);
            out.set("alignment_heads_weights", row);
        }
        return out;
    }

    std::vector<Step> recorded() const {
        std::lock_guard lock(mutex);
        return steps;
    }
};

// Mel and encoder stages over models that return zero arrays of their
// declared shapes; the mel model takes `windowSamples` samples.
inline std::shared_ptr<FeatureExtractor> fakeFeatureExtractor(int64_t windowSamples = 480000) {
    ModelDescription d;
    d.addInput(FeatureDescription::multiArray("audio", {windowSamples}, DataType::float32));
    d.addOutput(FeatureDescription::multiArray("melspectrogram_features", {1, 80, 1, 4}, DataType::float16));
    auto stage = std::make_shared<FeatureExtractor>();
    stage->setModel(FakeModel::make(d));
    return stage;
}

inline std::shared_ptr<AudioEncoder> fakeAudioEncoder() {
    ModelDescription d;
    d.addInput(FeatureDescription::multiArray("melspectrogram_features", {1, 80, 1, 4}, DataType::float16));
    d.addOutput(FeatureDescription::multiArray("encoder_output_embeds",
                                               {1, ScriptedDecoder::width, 1, ScriptedDecoder::frames},
                                               DataType::float16));
    auto stage = std::make_shared<AudioEncoder>();
    stage->setModel(FakeModel::make(d));
    return stage;
}

// An encoder output of the scripted decoder's shape.
inline std::shared_ptr<MultiArray> encoderOutput() {
    return MultiArray::make({1, ScriptedDecoder::width, 1, ScriptedDecoder::frames}, DataType::float16);
}

// A task over the fake stages and the scripted decoder.
inline std::shared_ptr<TranscribeTask> makeTask(ScriptedDecoder& decoder,
                                                std::shared_ptr<FeatureExtractor> mel = fakeFeatureExtractor(),
                                                std::shared_ptr<SegmentSeeking> seeker = std::make_shared<SegmentSeeker>()) {
    return std::make_shared<TranscribeTask>(TranscriptionTimings{}, nullptr, nullptr, fakeAudioEncoder(), std::move(mel),
                                            std::move(seeker), decoder.decoder, tokenizer());
}

// Decoder inputs prepared and prefilled as a task does.
inline std::shared_ptr<DecodingInputsType> preparedInputs(TextDecoding& decoder, const DecodingOptions& options) {
    auto inputs = decoder.prepareDecoderInputs({special().startOfTranscriptToken});
    return decoder.prefillDecoderInputs(inputs, options);
}

inline bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

inline size_t countOf(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(),
                                             [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

}  // namespace DovuzudUza::decoding_test
