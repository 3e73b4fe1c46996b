#include "platform/ml/WhisperCheckpoint.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cmath>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "platform/concurrency/Task.hpp"
#include "platform/ml/LogMelModel.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/ModelError.hpp"

namespace platform::ml {

namespace fs = std::filesystem;

namespace {

nlohmann::json readJson(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ModelError(ModelError::Kind::modelNotFound, "Checkpoint file not found: " + file.string());
    std::stringstream ss;
    ss << in.rdbuf();
    try {
        return nlohmann::json::parse(ss.str());
    } catch (const std::exception& e) {
        throw ModelError(ModelError::Kind::invalidModel, "Not valid JSON: " + file.string() + ": " + e.what());
    }
}

void writeText(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) throw ModelError(ModelError::Kind::invalidModel, "Cannot write " + file.string());
}

int64_t positive(const nlohmann::json& j, const char* name, int64_t fallback) {
    if (!j.contains(name)) {
        if (fallback > 0) return fallback;
        throw ModelError(ModelError::Kind::invalidModel, std::string("config.json lacks \"") + name + "\"");
    }
    if (!j[name].is_number_integer() || j[name].get<int64_t>() <= 0)
        throw ModelError(ModelError::Kind::invalidModel, std::string("config.json: bad \"") + name + "\"");
    return j[name].get<int64_t>();
}

// The layer number of "<prefix>layers.<n>.<rest>", if the name has that form.
std::optional<int64_t> layerIndex(const std::string& name, const std::string& prefix) {
    const std::string layers = prefix + "layers.";
    if (name.rfind(layers, 0) != 0) return std::nullopt;
    int64_t n = 0;
    const char* begin = name.data() + layers.size();
    const char* end = name.data() + name.size();
    auto [ptr, ec] = std::from_chars(begin, end, n);
    if (ptr == begin || ptr == end || *ptr != '.') return std::nullopt;
    if (ec == std::errc::result_out_of_range) return INT64_MAX;
    return n;
}

const char* const kStages[] = {"MelSpectrogram.mlmodelc", "AudioEncoder.mlmodelc", "TextDecoder.mlmodelc"};

const char* kTokenizerFiles[] = {"tokenizer.json",      "tokenizer_config.json", "vocab.json",
                                 "merges.txt",          "special_tokens_map.json", "added_tokens.json",
                                 "normalizer.json",     "preprocessor_config.json", "generation_config.json"};

}  // namespace

WhisperConfig WhisperConfig::read(const fs::path& folder) {
    const auto j = readJson(folder / "config.json");
    WhisperConfig c;
    c.numMelBins = positive(j, "num_mel_bins", 80);
    c.dModel = positive(j, "d_model", -1);
    c.encoderLayers = positive(j, "encoder_layers", -1);
    c.encoderAttentionHeads = positive(j, "encoder_attention_heads", -1);
    c.encoderFfnDim = positive(j, "encoder_ffn_dim", 4 * c.dModel);
    c.decoderLayers = positive(j, "decoder_layers", -1);
    c.decoderAttentionHeads = positive(j, "decoder_attention_heads", -1);
    c.decoderFfnDim = positive(j, "decoder_ffn_dim", 4 * c.dModel);
    c.vocabSize = positive(j, "vocab_size", -1);
    c.maxSourcePositions = positive(j, "max_source_positions", 1500);
    c.maxTargetPositions = positive(j, "max_target_positions", 448);
    if (fs::exists(folder / "generation_config.json")) {
        const auto g = readJson(folder / "generation_config.json");
        if (g.contains("alignment_heads") && g["alignment_heads"].is_array()) {
            for (const auto& p : g["alignment_heads"]) {
                if (p.is_array() && p.size() == 2 && p[0].is_number_integer() && p[1].is_number_integer())
                    c.alignmentHeads.emplace_back(p[0].get<int64_t>(), p[1].get<int64_t>());
            }
        }
    }
    return c;
}

void WhisperConfig::write(const fs::path& folder) const {
    fs::create_directories(folder);
    nlohmann::json j{{"model_type", "whisper"},
                     {"num_mel_bins", numMelBins},
                     {"d_model", dModel},
                     {"encoder_layers", encoderLayers},
                     {"encoder_attention_heads", encoderAttentionHeads},
                     {"encoder_ffn_dim", encoderFfnDim},
                     {"decoder_layers", decoderLayers},
                     {"decoder_attention_heads", decoderAttentionHeads},
                     {"decoder_ffn_dim", decoderFfnDim},
                     {"vocab_size", vocabSize},
                     {"max_source_positions", maxSourcePositions},
                     {"max_target_positions", maxTargetPositions},
                     {"activation_function", "gelu"}};
    writeText(folder / "config.json", j.dump(2) + "\n");
    nlohmann::json heads = nlohmann::json::array();
    for (const auto& [l, h] : alignmentHeads) heads.push_back({l, h});
    writeText(folder / "generation_config.json", nlohmann::json{{"alignment_heads", heads}}.dump(2) + "\n");
}

EncoderDimensions WhisperConfig::encoder() const {
    return EncoderDimensions{numMelBins, dModel, encoderLayers, encoderAttentionHeads, encoderFfnDim,
                             2 * maxSourcePositions};
}

DecoderDimensions WhisperConfig::decoder(int64_t kvLength) const {
    return DecoderDimensions{dModel, decoderLayers, decoderAttentionHeads, decoderFfnDim, vocabSize,
                             maxTargetPositions, kvLength, maxSourcePositions, alignmentHeads};
}

void fillRandomWeights(const WhisperConfig& c, uint64_t seed, MemoryTensorSource& into) {
    uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    // Uniform in [-1, 1): splitmix64, fast enough for large benchmark models.
    auto uniform = [&state] {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return static_cast<float>(static_cast<double>(z >> 40) / static_cast<double>(1ull << 23) - 1.0);
    };
    const int64_t D = c.dModel;
    auto put = [&](const std::string& name, std::vector<int64_t> shape, float scale, float offset = 0.0f) {
        size_t n = 1;
        for (auto d : shape) n *= static_cast<size_t>(d);
        FloatBuffer b(n, false);
        for (size_t i = 0; i < n; ++i) b[i] = offset + scale * uniform();
        into.put(name, std::move(shape), std::move(b));
    };
    auto linear = [&](const std::string& name, int64_t out, int64_t in, bool bias) {
        const float s = std::sqrt(3.0f / static_cast<float>(in));
        put(name + ".weight", {out, in}, s);
        if (bias) put(name + ".bias", {out}, 0.1f);
    };
    auto norm = [&](const std::string& name) {
        put(name + ".weight", {D}, 0.2f, 1.0f);
        put(name + ".bias", {D}, 0.1f);
    };
    const std::string e = "model.encoder.";
    put(e + "conv1.weight", {D, c.numMelBins, 3}, std::sqrt(3.0f / static_cast<float>(3 * c.numMelBins)));
    put(e + "conv1.bias", {D}, 0.1f);
    put(e + "conv2.weight", {D, D, 3}, std::sqrt(3.0f / static_cast<float>(3 * D)));
    put(e + "conv2.bias", {D}, 0.1f);
    {
        // Sinusoidal positions, as the encoder is trained with.
        const int64_t T = c.maxSourcePositions, half = D / 2;
        FloatBuffer p(static_cast<size_t>(T * D), false);
        const double inc = std::log(10000.0) / static_cast<double>(std::max<int64_t>(half - 1, 1));
        for (int64_t t = 0; t < T; ++t) {
            for (int64_t i = 0; i < half; ++i) {
                const double a = static_cast<double>(t) * std::exp(-inc * static_cast<double>(i));
                p[t * D + i] = static_cast<float>(std::sin(a));
                p[t * D + half + i] = static_cast<float>(std::cos(a));
            }
        }
        into.put(e + "embed_positions.weight", {T, D}, std::move(p));
    }
    for (int64_t l = 0; l < c.encoderLayers; ++l) {
        const std::string p = e + "layers." + std::to_string(l) + ".";
        norm(p + "self_attn_layer_norm");
        linear(p + "self_attn.q_proj", D, D, true);
        linear(p + "self_attn.k_proj", D, D, false);
        linear(p + "self_attn.v_proj", D, D, true);
        linear(p + "self_attn.out_proj", D, D, true);
        norm(p + "final_layer_norm");
        linear(p + "fc1", c.encoderFfnDim, D, true);
        linear(p + "fc2", D, c.encoderFfnDim, true);
    }
    norm(e + "layer_norm");
    const std::string d = "model.decoder.";
    put(d + "embed_tokens.weight", {c.vocabSize, D}, 0.5f);
    put(d + "embed_positions.weight", {c.maxTargetPositions, D}, 0.2f);
    for (int64_t l = 0; l < c.decoderLayers; ++l) {
        const std::string p = d + "layers." + std::to_string(l) + ".";
        norm(p + "self_attn_layer_norm");
        linear(p + "self_attn.q_proj", D, D, true);
        linear(p + "self_attn.k_proj", D, D, false);
        linear(p + "self_attn.v_proj", D, D, true);
        linear(p + "self_attn.out_proj", D, D, true);
        norm(p + "encoder_attn_layer_norm");
        linear(p + "encoder_attn.q_proj", D, D, true);
        linear(p + "encoder_attn.k_proj", D, D, false);
        linear(p + "encoder_attn.v_proj", D, D, true);
        linear(p + "encoder_attn.out_proj", D, D, true);
        norm(p + "final_layer_norm");
        linear(p + "fc1", c.decoderFfnDim, D, true);
        linear(p + "fc2", D, c.decoderFfnDim, true);
    }
    norm(d + "layer_norm");
}

void generateRandomCheckpoint(const fs::path& folder, const WhisperConfig& config, uint64_t seed, TensorType storeAs) {
    fs::create_directories(folder);
    config.write(folder);
    MemoryTensorSource weights;
    fillRandomWeights(config, seed, weights);
    TensorFileWriter writer;
    auto add = [&](const std::string& name) {
        const auto shape = weights.shape(name);
        auto b = weights.take(name);
        writer.addFloat(name, shape, b.data(), storeAs);
    };
    const std::string e = "model.encoder.";
    for (const char* n : {"conv1.weight", "conv1.bias", "conv2.weight", "conv2.bias", "embed_positions.weight"}) add(e + n);
    const char* encoderLayer[] = {"self_attn_layer_norm.weight", "self_attn_layer_norm.bias", "self_attn.q_proj.weight",
                                  "self_attn.q_proj.bias", "self_attn.k_proj.weight", "self_attn.v_proj.weight",
                                  "self_attn.v_proj.bias", "self_attn.out_proj.weight", "self_attn.out_proj.bias",
                                  "final_layer_norm.weight", "final_layer_norm.bias", "fc1.weight", "fc1.bias",
                                  "fc2.weight", "fc2.bias"};
    for (int64_t l = 0; l < config.encoderLayers; ++l)
        for (const char* n : encoderLayer) add(e + "layers." + std::to_string(l) + "." + n);
    add(e + "layer_norm.weight");
    add(e + "layer_norm.bias");
    const std::string d = "model.decoder.";
    add(d + "embed_tokens.weight");
    add(d + "embed_positions.weight");
    const char* crossNames[] = {"encoder_attn_layer_norm.weight", "encoder_attn_layer_norm.bias",
                                "encoder_attn.q_proj.weight",     "encoder_attn.q_proj.bias",
                                "encoder_attn.k_proj.weight",     "encoder_attn.v_proj.weight",
                                "encoder_attn.v_proj.bias",       "encoder_attn.out_proj.weight",
                                "encoder_attn.out_proj.bias"};
    for (int64_t l = 0; l < config.decoderLayers; ++l) {
        for (const char* n : encoderLayer) add(d + "layers." + std::to_string(l) + "." + n);
        for (const char* n : crossNames) add(d + "layers." + std::to_string(l) + "." + n);
    }
    add(d + "layer_norm.weight");
    add(d + "layer_norm.bias");
    writer.setMetadata("format", "pt");
    writer.write(folder / "model.safetensors");
}

const std::vector<std::string>& variantFolderEntries() {
    static const std::vector<std::string> entries{kStages[0], kStages[1], kStages[2], "config.json", "tokenizer.json",
                                                  "tokenizer_config.json"};
    return entries;
}

std::vector<std::string> damagedVariantEntries(const fs::path& variantFolder) {
    std::vector<std::string> damaged;
    for (const auto& entry : variantFolderEntries()) {
        const fs::path path = variantFolder / entry;
        try {
            if (path.extension() == ".mlmodelc") {
                Model::load(path)->unload();
            } else if (entry == "config.json") {
                WhisperConfig::read(variantFolder);
            } else if (!readJson(path).is_object()) {
                throw ModelError(ModelError::Kind::invalidModel, "Not a JSON object: " + path.string());
            }
        } catch (const std::exception& error) {
            if (!isDamagedModelError(error)) throw;
            damaged.push_back(entry);
        }
    }
    return damaged;
}

void convertCheckpoint(const fs::path& checkpoint, const fs::path& variantFolder, bool verify, std::stop_token stop,
                       const std::vector<std::string>& only) {
    auto wanted = [&only](const std::string& entry) {
        return only.empty() || std::find(only.begin(), only.end(), entry) != only.end();
    };
    // A large checkpoint takes a while: whoever waits may give up.
    auto checkStop = [&stop] {
        if (stop.stop_requested()) throw platform::CancellationError();
    };
    const auto config = WhisperConfig::read(checkpoint);
    // One "model.safetensors", or shards listed by "model.safetensors.index.json".
    std::vector<std::unique_ptr<TensorFile>> files;
    if (fs::exists(checkpoint / "model.safetensors") || !fs::exists(checkpoint / "model.safetensors.index.json")) {
        files.push_back(std::make_unique<TensorFile>(checkpoint / "model.safetensors"));
    } else {
        const auto index = readJson(checkpoint / "model.safetensors.index.json");
        if (!index.contains("weight_map") || !index["weight_map"].is_object())
            throw ModelError(ModelError::Kind::invalidModel, "model.safetensors.index.json has no weight_map");
        std::set<std::string> shards;
        for (auto it = index["weight_map"].begin(); it != index["weight_map"].end(); ++it) {
            if (!it.value().is_string()) continue;
            const fs::path shard = it.value().get<std::string>();
            if (shard.empty() || shard.is_absolute() || shard.filename() != shard)
                throw ModelError(ModelError::Kind::invalidModel, "Bad shard name in the index: " + shard.string());
            shards.insert(shard.string());
        }
        for (const auto& shard : shards) files.push_back(std::make_unique<TensorFile>(checkpoint / shard));
    }
    // Some exports leave out the leading "model." of the standard names.
    auto standardName = [](const std::string& name) {
        if (name.rfind("encoder.", 0) == 0 || name.rfind("decoder.", 0) == 0) return "model." + name;
        return name;
    };
    // Built beside the destination and moved in at the end, so a failure
    // never leaves a half-written variant that looks complete.
    const fs::path variant = variantFolder.string() + ".converting";
    fs::remove_all(variant);
    fs::create_directories(variant);
    struct Cleanup {
        fs::path p;
        ~Cleanup() {
            std::error_code ec;
            fs::remove_all(p, ec);
        }
    } cleanup{variant};

    auto copyTensors = [&](const std::string& prefix, const char* layersKey, int64_t layers, const fs::path& into) {
        TensorFileWriter writer;
        size_t copied = 0;
        std::set<std::string> seen;
        for (const auto& file : files) {
            for (const auto& [name, info] : file->tensors()) {
                const auto standard = standardName(name);
                if (standard.rfind(prefix, 0) != 0) continue;
                // Weights of layers the configuration leaves out would be
                // dropped without a word: the two disagree about the model.
                if (const auto layer = layerIndex(standard, prefix); layer && *layer >= layers) {
                    throw ModelError(ModelError::Kind::invalidModel,
                                     "config.json sets \"" + std::string(layersKey) + "\" to " + std::to_string(layers) +
                                         ", but the checkpoint holds \"" + standard + "\" (" +
                                         (checkpoint / "config.json").string() + ")");
                }
                if (!seen.insert(standard).second)
                    throw ModelError(ModelError::Kind::invalidModel, "The checkpoint holds \"" + standard + "\" twice");
                checkStop();
                const auto bytes = file->readBytes(name);
                writer.add(standard, info.type, info.shape, bytes.data(), bytes.size());
                ++copied;
            }
        }
        if (copied == 0) {
            throw ModelError(ModelError::Kind::invalidModel,
                             "The checkpoint holds no \"" + prefix + "*\" tensors: " + checkpoint.string());
        }
        writer.write(into / "weights.safetensors");
    };

    std::vector<fs::path> stages;
    if (wanted(kStages[0])) {
        const auto mel = variant / kStages[0];
        const int64_t nSamples = 2 * config.maxSourcePositions * 160;
        LogMelModel::manifest(config.numMelBins, nSamples).write(mel);
        TensorFileWriter writer;
        const auto filters = LogMelModel::melFilters(config.numMelBins);
        writer.addFloat("mel_filters", {config.numMelBins, 201}, filters.data(), TensorType::f32);
        writer.write(mel / "weights.safetensors");
        stages.push_back(mel);
    }
    if (wanted(kStages[1])) {
        const auto encoder = variant / kStages[1];
        WhisperEncoderModel::manifest(config.encoder()).write(encoder);
        copyTensors("model.encoder.", "encoder_layers", config.encoderLayers, encoder);
        stages.push_back(encoder);
    }
    if (wanted(kStages[2])) {
        const auto decoder = variant / kStages[2];
        WhisperDecoderModel::manifest(config.decoder()).write(decoder);
        copyTensors("model.decoder.", "decoder_layers", config.decoderLayers, decoder);
        stages.push_back(decoder);
    }

    // The checkpoint's other small files (vocabulary, merges, generation
    // settings) come along every time: copies that replace a file in one
    // rename, unlike the stages.
    auto isEntry = [](const std::string& name) {
        const auto& entries = variantFolderEntries();
        return std::find(entries.begin(), entries.end(), name) != entries.end();
    };
    std::vector<std::string> copies;
    if (wanted("config.json")) copies.emplace_back("config.json");
    for (const char* name : kTokenizerFiles) {
        if ((wanted(name) || !isEntry(name)) && fs::exists(checkpoint / name)) copies.emplace_back(name);
    }
    for (const auto& name : copies) fs::copy_file(checkpoint / name, variant / name, fs::copy_options::overwrite_existing);
    if (verify) {
        for (const auto& folder : stages) {
            checkStop();
            Model::load(folder)->unload();
        }
    }
    checkStop();

    fs::create_directories(variantFolder);
    for (const auto& stage : stages) {
        fs::remove_all(variantFolder / stage.filename());
        fs::rename(stage, variantFolder / stage.filename());
    }
    for (const auto& name : copies) fs::rename(variant / name, variantFolder / name);
}

}  // namespace platform::ml
