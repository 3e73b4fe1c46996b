#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <atomic>
#include <thread>

#include "platform/ml/Half.hpp"
#include "platform/ml/LogMelModel.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/ModelError.hpp"
#include "platform/ml/MultiArray.hpp"
#include "platform/ml/WhisperCheckpoint.hpp"
#include "platform/ml/WhisperDecoderModel.hpp"
#include "tests/platform/ml/Reference.hpp"
#include "tests/support/TemporaryFolder.hpp"

using namespace platform::ml;
namespace fs = std::filesystem;

namespace {

WhisperConfig tinyConfig(int64_t nMels = 80) {
    WhisperConfig c;
    c.numMelBins = nMels;
    c.dModel = 64;
    c.encoderLayers = 2;
    c.encoderAttentionHeads = 4;
    c.encoderFfnDim = 256;
    c.decoderLayers = 2;
    c.decoderAttentionHeads = 4;
    c.decoderFfnDim = 256;
    c.vocabSize = 512;
    c.alignmentHeads = {{1, 0}, {1, 2}};
    return c;
}

// A generated checkpoint converted into a variant folder.
struct Variant {
    parlox::testing::TemporaryFolder tmp;
    WhisperConfig config;
    fs::path checkpoint, folder;

    explicit Variant(WhisperConfig c, TensorType storeAs = TensorType::f32) : config(std::move(c)) {
        checkpoint = tmp.path() / "checkpoint";
        folder = tmp.path() / "variant";
        generateRandomCheckpoint(checkpoint, config, 42, storeAs);
        convertCheckpoint(checkpoint, folder);
    }
    std::shared_ptr<Model> load(const char* name) const { return Model::load(folder / (std::string(name) + ".mlmodelc")); }
};

std::vector<float> tone(double hz, float amplitude, size_t n = 480000) {
    std::vector<float> a(n);
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, 0.001f);
    for (size_t i = 0; i < n; ++i) a[i] = amplitude * static_cast<float>(std::sin(2 * M_PI * hz * i / 16000.0)) + noise(rng);
    return a;
}

std::shared_ptr<MultiArray> audioArray(const std::vector<float>& samples) {
    auto a = MultiArray::make({static_cast<int64_t>(samples.size())}, DataType::float32);
    std::copy(samples.begin(), samples.end(), a->data<float>());
    return a;
}

std::vector<int64_t> declaredShape(const Model& m, const std::string& name, bool input) {
    const auto& table = input ? m.description().inputDescriptionsByName : m.description().outputDescriptionsByName;
    return table.at(name).multiArrayConstraint->shape;
}

// Drives the decoder through the cache protocol, as the engine does.
struct DecoderDriver {
    std::shared_ptr<Model> model;
    int64_t E, S;
    std::shared_ptr<MultiArray> keyCache, valueCache, updateMask, padding, inputIds, cacheLength;

    DecoderDriver(std::shared_ptr<Model> m, int64_t e, int64_t s, bool padded = true)
        : model(std::move(m)), E(e), S(s) {
        // Padded strides by default: the runtime must follow them.
        const int64_t row = padded ? S + 8 : S;
        keyCache = std::make_shared<MultiArray>(std::vector<int64_t>{1, E, 1, S}, DataType::float16,
                                                std::vector<int64_t>{E * row, row, row, 1});
        valueCache = std::make_shared<MultiArray>(std::vector<int64_t>{1, E, 1, S}, DataType::float16,
                                                  std::vector<int64_t>{E * row, row, row, 1});
        updateMask = MultiArray::make({1, S}, DataType::int32);
        padding = MultiArray::make({1, S}, DataType::float16);
        inputIds = MultiArray::make({1}, DataType::int32);
        cacheLength = MultiArray::make({1}, DataType::int32);
        reset();
    }
    // New window: masks and length only; the caches keep their content.
    void reset() {
        cacheLength->setValue({0}, 0);
        for (int64_t p = 0; p < S; ++p) {
            updateMask->setValue({0, p}, p == 0 ? 1 : 0);
            padding->setValue({0, p}, p == 0 ? 0 : -10000);
        }
    }
    DictionaryFeatureProvider step(int32_t token, int32_t t, const std::shared_ptr<MultiArray>& encoder) {
        inputIds->setValue({0}, token);
        cacheLength->setValue({0}, t);
        auto out = model->predict(DictionaryFeatureProvider{{"input_ids", inputIds},
                                                            {"cache_length", cacheLength},
                                                            {"key_cache", keyCache},
                                                            {"value_cache", valueCache},
                                                            {"kv_cache_update_mask", updateMask},
                                                            {"encoder_output_embeds", encoder},
                                                            {"decoder_key_padding_mask", padding}});
        auto k = out.multiArray("key_cache_updates");
        auto v = out.multiArray("value_cache_updates");
        for (int64_t c = 0; c < E; ++c) {
            keyCache->data<uint16_t>()[keyCache->offset({0, c, 0, t})] = k->data<uint16_t>()[c];
            valueCache->data<uint16_t>()[valueCache->offset({0, c, 0, t})] = v->data<uint16_t>()[c];
        }
        if (t + 1 < S) {
            padding->setValue({0, t + 1}, 0);
            updateMask->setValue({0, t}, 0);
            updateMask->setValue({0, t + 1}, 1);
        }
        return out;
    }
};

std::shared_ptr<MultiArray> randomEncoderOutput(int64_t D, int64_t W, uint32_t seed) {
    auto a = MultiArray::make({1, D, 1, W}, DataType::float16);
    std::mt19937 rng(seed);
    std::normal_distribution<float> n(0.0f, 1.0f);
    for (int64_t i = 0; i < a->count(); ++i) a->data<uint16_t>()[i] = floatToHalf(n(rng));
    return a;
}

}  // namespace

TEST(WhisperStages, DescriptionsDeclareEveryDimensionTheEngineReads) {
    Variant v(tinyConfig());
    auto mel = v.load("MelSpectrogram");
    auto encoder = v.load("AudioEncoder");
    auto decoder = v.load("TextDecoder");
    EXPECT_EQ(declaredShape(*mel, "audio", true), (std::vector<int64_t>{480000}));
    EXPECT_EQ(declaredShape(*mel, "melspectrogram_features", false), (std::vector<int64_t>{1, 80, 1, 3000}));
    EXPECT_EQ(declaredShape(*encoder, "melspectrogram_features", true), (std::vector<int64_t>{1, 80, 1, 3000}));
    EXPECT_EQ(declaredShape(*encoder, "encoder_output_embeds", false), (std::vector<int64_t>{1, 64, 1, 1500}));
    EXPECT_EQ(declaredShape(*decoder, "logits", false), (std::vector<int64_t>{1, 1, 512}));
    EXPECT_EQ(declaredShape(*decoder, "key_cache", true), (std::vector<int64_t>{1, 128, 1, 224}));
    EXPECT_EQ(declaredShape(*decoder, "value_cache", true), (std::vector<int64_t>{1, 128, 1, 224}));
    EXPECT_EQ(declaredShape(*decoder, "kv_cache_update_mask", true), (std::vector<int64_t>{1, 224}));
    EXPECT_EQ(declaredShape(*decoder, "decoder_key_padding_mask", true), (std::vector<int64_t>{1, 224}));
    EXPECT_EQ(declaredShape(*decoder, "encoder_output_embeds", true), (std::vector<int64_t>{1, 64, 1, 1500}));
    EXPECT_EQ(declaredShape(*decoder, "key_cache_updates", false), (std::vector<int64_t>{1, 128, 1, 1}));
    EXPECT_EQ(declaredShape(*decoder, "alignment_heads_weights", false), (std::vector<int64_t>{1, 1500}));
    const auto& in = decoder->description().inputDescriptionsByName;
    EXPECT_EQ(in.at("input_ids").multiArrayConstraint->dataType, DataType::int32);
    EXPECT_EQ(in.at("cache_length").multiArrayConstraint->dataType, DataType::int32);
    EXPECT_EQ(in.at("kv_cache_update_mask").multiArrayConstraint->dataType, DataType::int32);
    EXPECT_EQ(in.at("key_cache").multiArrayConstraint->dataType, DataType::float16);
    EXPECT_EQ(mel->description().inputDescriptionsByName.at("audio").multiArrayConstraint->dataType, DataType::float32);
    EXPECT_TRUE(fs::exists(v.folder / "config.json"));

    // Without alignment heads there is no alignment output.
    auto c = tinyConfig();
    c.alignmentHeads.clear();
    Variant plain(c);
    EXPECT_EQ(plain.load("TextDecoder")->description().outputDescriptionsByName.count("alignment_heads_weights"), 0u);
}

TEST(WhisperStages, MelOfSilenceIsMinusOnePointFiveEverywhere) {
    for (int64_t nMels : {80, 128}) {
        parlox::testing::TemporaryFolder tmp;
        MemoryTensorSource weights;
        const auto filters = LogMelModel::melFilters(nMels);
        FloatBuffer b(filters.size());
        std::copy(filters.begin(), filters.end(), b.data());
        weights.put("mel_filters", {nMels, 201}, std::move(b));
        LogMelModel mel(LogMelModel::manifest(nMels), weights);
        auto out = mel.predict(DictionaryFeatureProvider{{"audio", MultiArray::make({480000}, DataType::float32)}});
        auto features = out.multiArray("melspectrogram_features");
        ASSERT_EQ(features->shape(), (std::vector<int64_t>{1, nMels, 1, 3000}));
        ASSERT_EQ(features->dataType(), DataType::float16);
        const auto values = features->toFloatVector();
        EXPECT_TRUE(std::all_of(values.begin(), values.end(), [](float x) { return x == -1.5f; })) << nMels;
    }
}

TEST(WhisperStages, MelOfAToneMatchesTheReference) {
    for (int64_t nMels : {80, 128}) {
        Variant v(tinyConfig(nMels));
        const auto audio = tone(1000.0, 0.3f);
        auto out = v.load("MelSpectrogram")->predict(DictionaryFeatureProvider{{"audio", audioArray(audio)}});
        const auto ours = out.multiArray("melspectrogram_features")->toFloatVector();
        mltest::writeFloats(v.tmp.path() / "audio.f32", audio);
        ASSERT_TRUE(mltest::runReference(
            v.tmp.path(), {{"tasks", {{{"kind", "mel"}, {"n_mels", nMels}, {"audio", (v.tmp.path() / "audio.f32").string()},
                                       {"out", (v.tmp.path() / "mel.f32").string()}}}}}));
        const auto ref = mltest::readFloats(v.tmp.path() / "mel.f32");
        ASSERT_EQ(ref.size(), ours.size());
        const auto d = mltest::compare(ours, ref);
        EXPECT_LT(d.maxAbs, 2e-3f) << nMels << " bins, worst at " << d.at;
        // The band holding 1 kHz is the loudest of a middle frame.
        const int64_t frame = 1500;
        int64_t loudest = 0;
        for (int64_t m = 0; m < nMels; ++m)
            if (ours[m * 3000 + frame] > ours[loudest * 3000 + frame]) loudest = m;
        const auto filters = LogMelModel::melFilters(nMels);
        EXPECT_GT(filters[loudest * 201 + 25], 0.0f) << "bin 25 = 1000 Hz lies in band " << loudest;
    }
}

TEST(WhisperStages, EncoderMatchesTheReference) {
    Variant v(tinyConfig(), TensorType::f16);
    auto mel = v.load("MelSpectrogram")->predict(DictionaryFeatureProvider{{"audio", audioArray(tone(440.0, 0.2f))}});
    auto features = mel.multiArray("melspectrogram_features");
    auto out = v.load("AudioEncoder")->predict(DictionaryFeatureProvider{{"melspectrogram_features", features}});
    auto embeds = out.multiArray("encoder_output_embeds");
    ASSERT_EQ(embeds->shape(), (std::vector<int64_t>{1, 64, 1, 1500}));
    ASSERT_EQ(embeds->dataType(), DataType::float16);
    mltest::writeFloats(v.tmp.path() / "mel.f32", features->toFloatVector());
    ASSERT_TRUE(mltest::runReference(
        v.tmp.path(), {{"checkpoint", v.checkpoint.string()},
                       {"tasks", {{{"kind", "encoder"}, {"mel", (v.tmp.path() / "mel.f32").string()},
                                   {"out", (v.tmp.path() / "enc.f32").string()}}}}}));
    const auto ref = mltest::readFloats(v.tmp.path() / "enc.f32");
    const auto ours = embeds->toFloatVector();
    ASSERT_EQ(ref.size(), ours.size());
    const auto d = mltest::compare(ours, ref);
    EXPECT_LT(d.maxAbs, 4e-3f) << "worst at " << d.at << ": " << ours[d.at] << " vs " << ref[d.at];
}

TEST(WhisperStages, IncrementalDecodingMatchesAFullForwardPassAcrossWindows) {
    Variant v(tinyConfig());
    for (const bool padded : {true, false}) {
        SCOPED_TRACE(padded ? "padded caches" : "packed caches");
        auto decoder = v.load("TextDecoder");
        const int64_t D = 64, E = 2 * D, W = 1500;
        DecoderDriver driver(decoder, E, 224, padded);
        const std::vector<std::vector<int32_t>> windows{{500, 3, 77, 200, 9, 411, 12}, {501, 8, 8, 300, 45}};
        for (size_t w = 0; w < windows.size(); ++w) {
            const auto& tokens = windows[w];
            auto encoder = randomEncoderOutput(D, W, 100 + static_cast<uint32_t>(w));
            driver.reset();  // caches keep the previous window's values
            std::vector<float> logits, alignment;
            for (size_t t = 0; t < tokens.size(); ++t) {
                auto out = driver.step(tokens[t], static_cast<int32_t>(t), encoder);
                auto l = out.multiArray("logits");
                ASSERT_EQ(l->shape(), (std::vector<int64_t>{1, 1, 512}));
                const auto lv = l->toFloatVector();
                logits.insert(logits.end(), lv.begin(), lv.end());
                const auto av = out.multiArray("alignment_heads_weights")->toFloatVector();
                alignment.insert(alignment.end(), av.begin(), av.end());
            }
            EXPECT_EQ(std::static_pointer_cast<WhisperDecoderModel>(decoder)->cachedEncoderOutputs(), w + 1);
            const auto dir = v.tmp.path();
            mltest::writeFloats(dir / "enc.f32", encoder->toFloatVector());
            ASSERT_TRUE(mltest::runReference(
                dir, {{"checkpoint", v.checkpoint.string()},
                      {"tasks", {{{"kind", "decoder"}, {"encoder", (dir / "enc.f32").string()}, {"tokens", tokens},
                                  {"out", (dir / "logits.f32").string()}, {"alignment_out", (dir / "align.f32").string()}}}}}));
            const auto ref = mltest::readFloats(dir / "logits.f32");
            ASSERT_EQ(ref.size(), logits.size());
            const auto d = mltest::compare(logits, ref);
            EXPECT_LT(d.maxAbs, 1.5e-2f) << "window " << w << ", token " << d.at / 512 << ": " << logits[d.at] << " vs "
                                       << ref[d.at];
            const auto refAlign = mltest::readFloats(dir / "align.f32");
            ASSERT_EQ(refAlign.size(), alignment.size());
            const auto da = mltest::compare(alignment, refAlign);
            EXPECT_LT(da.maxAbs, 1e-4f) << "window " << w;
        }
    }
}

TEST(WhisperStages, ConcurrentPredictionsGiveTheSameResults) {
    Variant v(tinyConfig());
    auto decoder = v.load("TextDecoder");
    auto encoder = v.load("AudioEncoder");
    const std::vector<int32_t> tokens{500, 3, 77, 200, 9};
    auto run = [&](uint32_t seed) {
        DecoderDriver driver(decoder, 128, 224);
        auto enc = randomEncoderOutput(64, 1500, seed);
        std::vector<float> all;
        for (size_t t = 0; t < tokens.size(); ++t) {
            const auto l = driver.step(tokens[t], static_cast<int32_t>(t), enc).multiArray("logits")->toFloatVector();
            all.insert(all.end(), l.begin(), l.end());
        }
        return all;
    };
    auto mel = MultiArray::make({1, 80, 1, 3000}, DataType::float16);
    for (int64_t i = 0; i < mel->count(); ++i) mel->data<uint16_t>()[i] = floatToHalf(std::sin(0.01f * i));
    auto encode = [&] {
        return encoder->predict(DictionaryFeatureProvider{{"melspectrogram_features", mel}})
            .multiArray("encoder_output_embeds")->toFloatVector();
    };
    const auto a = run(1), b = run(2), e = encode();
    std::vector<std::vector<float>> results(6);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) threads.emplace_back([&, i] { results[i] = run(i % 2 ? 2 : 1); });
    for (int i = 4; i < 6; ++i) threads.emplace_back([&, i] { results[i] = encode(); });
    for (auto& t : threads) t.join();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(results[i], i % 2 ? b : a) << i;
    EXPECT_EQ(results[4], e);
    EXPECT_EQ(results[5], e);
}

TEST(WhisperStages, AnEncoderOutputChangedInPlaceIsNotServedFromTheCache) {
    Variant v(tinyConfig());
    auto decoder = v.load("TextDecoder");
    auto enc = randomEncoderOutput(64, 1500, 5);
    DecoderDriver first(decoder, 128, 224);
    const auto before = first.step(500, 0, enc).multiArray("logits")->toFloatVector();
    for (int64_t i = 0; i < 64; ++i) enc->data<uint16_t>()[i * 1500 + 3] = floatToHalf(4.0f);
    DecoderDriver second(decoder, 128, 224);
    const auto after = second.step(500, 0, enc).multiArray("logits")->toFloatVector();
    EXPECT_NE(before, after);
}

TEST(WhisperStages, DecoderRejectsTokensAndPositionsOutOfRange) {
    Variant v(tinyConfig());
    DecoderDriver driver(v.load("TextDecoder"), 128, 224);
    auto enc = randomEncoderOutput(64, 1500, 1);
    EXPECT_THROW(driver.step(512, 0, enc), ModelError);
    EXPECT_THROW(driver.step(-1, 0, enc), ModelError);
    EXPECT_THROW(driver.step(1, 448, enc), ModelError);
}

TEST(WhisperStages, UnloadDuringPredictionsIsSafe) {
    Variant v(tinyConfig());
    auto encoder = v.load("AudioEncoder");
    auto mel = MultiArray::make({1, 80, 1, 3000}, DataType::float16);
    std::atomic<int> finished{0}, refused{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i) {
        threads.emplace_back([&] {
            for (int r = 0; r < 200; ++r) {
                try {
                    encoder->predict(DictionaryFeatureProvider{{"melspectrogram_features", mel}});
                    ++finished;
                } catch (const ModelError& e) {
                    EXPECT_EQ(e.kind(), ModelError::Kind::unloaded);
                    ++refused;
                }
            }
        });
    }
    while (finished.load() == 0) std::this_thread::yield();
    encoder->unload();
    for (auto& t : threads) t.join();
    EXPECT_GT(finished.load(), 0);
    EXPECT_GT(refused.load(), 0);
    EXPECT_EQ(finished.load() + refused.load(), 400);
}
