#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <sys/resource.h>
#include <system_error>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "platform/ml/Model.hpp"
#include "platform/ml/ModelError.hpp"
#include "platform/ml/Safetensors.hpp"
#include "platform/ml/WhisperCheckpoint.hpp"
#include "tests/support/TemporaryFolder.hpp"

using namespace platform::ml;
namespace fs = std::filesystem;

namespace {

WhisperConfig smallConfig() {
    WhisperConfig c;
    c.numMelBins = 80;
    c.dModel = 32;
    c.encoderLayers = 1;
    c.encoderAttentionHeads = 2;
    c.encoderFfnDim = 64;
    c.decoderLayers = 1;
    c.decoderAttentionHeads = 2;
    c.decoderFfnDim = 64;
    c.vocabSize = 100;
    return c;
}

// A tensor file written byte by byte: length prefix + header + data.
void writeRaw(const fs::path& p, const std::string& header, size_t dataBytes, uint64_t declaredLength = 0) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    const uint64_t n = declaredLength ? declaredLength : header.size();
    for (int i = 0; i < 8; ++i) out.put(static_cast<char>(n >> (8 * i)));
    out << header;
    for (size_t i = 0; i < dataBytes; ++i) out.put('\0');
}

std::string expectInvalid(const std::function<void()>& f) {
    try {
        f();
    } catch (const ModelError& e) {
        EXPECT_EQ(e.kind(), ModelError::Kind::invalidModel) << e.description();
        return e.description();
    }
    ADD_FAILURE() << "no error";
    return {};
}

}  // namespace

TEST(TensorFile, RefusesTruncatedAndLyingFiles) {
    parlox::testing::TemporaryFolder tmp;
    const auto p = tmp.path() / "w.safetensors";
    const std::string good = R"({"a":{"dtype":"F32","shape":[2,2],"data_offsets":[0,16]}})";
    struct Case {
        const char* what;
        std::string header;
        size_t dataBytes;
        uint64_t declaredLength;
        const char* needle;
    };
    const Case cases[] = {
        {"truncated data", good, 12, 0, "lies outside the file"},
        {"header length beyond the file", good, 16, 4096, "header length exceeds the file"},
        {"header not JSON", "{\"a\": [", 16, 0, "header is not JSON"},
        {"bytes disagree with the shape", R"({"a":{"dtype":"F32","shape":[2,3],"data_offsets":[0,16]}})", 16, 0,
         "its shape needs 24"},
        {"overlapping entries",
         R"({"a":{"dtype":"F32","shape":[2],"data_offsets":[0,8]},"b":{"dtype":"F32","shape":[2],"data_offsets":[4,12]}})",
         16, 0, "entries overlap"},
        {"unknown dtype", R"({"a":{"dtype":"Q4","shape":[2],"data_offsets":[0,8]}})", 8, 0, "unsupported dtype"},
        {"negative dimension", R"({"a":{"dtype":"F32","shape":[-2],"data_offsets":[0,8]}})", 8, 0, "bad shape"},
        // Beside an empty dimension any size fits no bytes; beyond 64 signed
        // bits it would read back as a negative one.
        {"dimension beyond 64 signed bits",
         R"({"a":{"dtype":"F32","shape":[0,9223372036854775808],"data_offsets":[0,0]}})", 0, 0, "bad shape"},
        {"begin after end", R"({"a":{"dtype":"F32","shape":[0],"data_offsets":[8,4]}})", 8, 0, "lies outside"},
        {"bytes after the last tensor", good, 20, 0, "4 bytes after the last tensor \"a\""},
        {"bytes after the later of two tensors",
         R"({"b":{"dtype":"F32","shape":[2],"data_offsets":[8,16]},"a":{"dtype":"F32","shape":[2],"data_offsets":[0,8]}})",
         17, 0, "1 bytes after the last tensor \"b\""},
        {"bytes and no tensor", R"({"__metadata__":{"format":"pt"}})", 3, 0, "3 bytes after a header with no tensor"},
    };
    for (const auto& c : cases) {
        writeRaw(p, c.header, c.dataBytes, c.declaredLength);
        const auto message = expectInvalid([&] { TensorFile f(p); });
        EXPECT_NE(message.find(c.needle), std::string::npos) << c.what << ": " << message;
    }
    {
        std::ofstream(p, std::ios::binary | std::ios::trunc) << "abc";
        EXPECT_NE(expectInvalid([&] { TensorFile f(p); }).find("shorter than its header length"), std::string::npos);
    }
    writeRaw(p, good, 16);
    TensorFile ok(p);
    EXPECT_EQ(ok.info("a").shape, (std::vector<int64_t>{2, 2}));
    EXPECT_EQ(ok.readFloat("a").size(), 4u);
}

TEST(TensorFile, WriterRoundTripsFloat16AndFloat32) {
    parlox::testing::TemporaryFolder tmp;
    const float values[] = {0.5f, -2.0f, 0.1f, 65504.0f};
    TensorFileWriter w;
    w.addFloat("h", {2, 2}, values, TensorType::f16);
    w.addFloat("f", {4}, values, TensorType::f32);
    w.write(tmp.path() / "t.safetensors");
    TensorFile f(tmp.path() / "t.safetensors");
    EXPECT_EQ(f.info("h").type, TensorType::f16);
    const auto h = f.readFloat("h");
    EXPECT_EQ(h[0], 0.5f);
    EXPECT_EQ(h[1], -2.0f);
    EXPECT_NEAR(h[2], 0.1f, 1e-4f);
    const auto g = f.readFloat("f");
    EXPECT_EQ(g[2], 0.1f);
}

TEST(ModelLoader, ReportsWeightsThatDoNotFitTheDeclaredModel) {
    parlox::testing::TemporaryFolder tmp;
    generateRandomCheckpoint(tmp.path() / "ckpt", smallConfig(), 1);
    convertCheckpoint(tmp.path() / "ckpt", tmp.path() / "v");
    const auto decoder = tmp.path() / "v" / "TextDecoder.mlmodelc";
    const auto manifestFile = decoder / "model.json";
    nlohmann::json original;
    std::ifstream(manifestFile) >> original;
    auto rewrite = [&](const std::function<void(nlohmann::json&)>& edit) {
        auto j = original;
        edit(j);
        std::ofstream(manifestFile, std::ios::trunc) << j.dump();
    };

    // Parameters that disagree with the tensors.
    rewrite([](nlohmann::json& j) { j["parameters"]["d_model"] = 64; });
    auto message = expectInvalid([&] { Model::load(decoder); });
    EXPECT_NE(message.find("model.json declares input"), std::string::npos) << message;
    rewrite([](nlohmann::json& j) {
        j["parameters"]["n_vocab"] = 101;
        j.erase("inputs");
        j.erase("outputs");
    });
    message = expectInvalid([&] { Model::load(decoder); });
    EXPECT_NE(message.find("\"model.decoder.embed_tokens.weight\" has shape [100, 32], the model needs [101, 32]"),
              std::string::npos)
        << message;
    // A declared shape the model does not compute.
    rewrite([](nlohmann::json& j) {
        for (auto& f : j["outputs"])
            if (f["name"] == "logits") f["shape"] = {1, 1, 999};
    });
    message = expectInvalid([&] { Model::load(decoder); });
    EXPECT_NE(message.find("\"logits\" as [1, 1, 999] float16, the model computes [1, 1, 100] float16"),
              std::string::npos)
        << message;
    rewrite([](nlohmann::json& j) { j["parameters"].erase("n_heads"); });
    message = expectInvalid([&] { Model::load(decoder); });
    EXPECT_NE(message.find("lacks the parameter \"n_heads\""), std::string::npos) << message;
    rewrite([](nlohmann::json&) {});
    EXPECT_NO_THROW(Model::load(decoder));

    // A tensor missing from the file.
    const auto encoder = tmp.path() / "v" / "AudioEncoder.mlmodelc";
    {
        TensorFile f(encoder / "weights.safetensors");
        TensorFileWriter w;
        for (const auto& [name, info] : f.tensors()) {
            if (name == "model.encoder.layers.0.fc2.bias") continue;
            const auto bytes = f.readBytes(name);
            w.add(name, info.type, info.shape, bytes.data(), bytes.size());
        }
        w.write(tmp.path() / "partial.safetensors");
    }
    fs::rename(tmp.path() / "partial.safetensors", encoder / "weights.safetensors");
    message = expectInvalid([&] { Model::load(encoder); });
    EXPECT_NE(message.find("Missing weight tensor \"model.encoder.layers.0.fc2.bias\""), std::string::npos) << message;

    // No weights at all.
    fs::remove(encoder / "weights.safetensors");
    try {
        Model::load(encoder);
        ADD_FAILURE();
    } catch (const ModelError& e) {
        EXPECT_EQ(e.kind(), ModelError::Kind::modelNotFound);
    }
}

TEST(ModelLoader, InconsistentParametersNameTheKeyAndTheFile) {
    parlox::testing::TemporaryFolder tmp;
    generateRandomCheckpoint(tmp.path() / "ckpt", smallConfig(), 1);
    convertCheckpoint(tmp.path() / "ckpt", tmp.path() / "v");
    struct Case {
        const char* stage;
        const char* key;
        int64_t value;
        std::string expected;
    };
    const Case cases[] = {
        {"TextDecoder.mlmodelc", "n_heads", 5, "Inconsistent decoder parameters in model.json (%): \"d_model\" (32) is not a multiple of \"n_heads\" (5)"},
        {"TextDecoder.mlmodelc", "kv_length", 500, "Inconsistent decoder parameters in model.json (%): \"kv_length\" (500) exceeds \"n_text_ctx\" (448)"},
        {"AudioEncoder.mlmodelc", "n_heads", 3, "Inconsistent encoder parameters in model.json (%): \"d_model\" (32) is not a multiple of \"n_heads\" (3)"},
        {"AudioEncoder.mlmodelc", "n_frames", 2999, "Inconsistent encoder parameters in model.json (%): \"n_frames\" (2999) is odd"},
        {"MelSpectrogram.mlmodelc", "n_fft", 401, "Inconsistent spectrogram parameters in model.json (%): \"n_fft\" (401) is odd"},
    };
    for (const auto& c : cases) {
        const auto folder = tmp.path() / "v" / c.stage;
        nlohmann::json j;
        std::ifstream(folder / "model.json") >> j;
        const auto original = j;
        j["parameters"][c.key] = c.value;
        j.erase("inputs");
        j.erase("outputs");
        std::ofstream(folder / "model.json", std::ios::trunc) << j.dump();
        auto expected = c.expected;
        expected.replace(expected.find('%'), 1, (folder / "model.json").string());
        EXPECT_EQ(expectInvalid([&] { Model::load(folder); }), expected);
        std::ofstream(folder / "model.json", std::ios::trunc) << original.dump();
    }
}

TEST(ModelLoader, ConverterRefusesLayersTheConfigurationLeavesOut) {
    parlox::testing::TemporaryFolder tmp;
    auto twoLayers = smallConfig();
    twoLayers.encoderLayers = 2;
    twoLayers.decoderLayers = 2;
    const auto ckpt = tmp.path() / "ckpt";
    generateRandomCheckpoint(ckpt, twoLayers, 1);
    struct Case {
        int64_t encoderLayers, decoderLayers;
        const char* key;
        const char* tensorPrefix;
    };
    const Case cases[] = {
        {1, 2, "encoder_layers", "model.encoder.layers.1."},
        {2, 1, "decoder_layers", "model.decoder.layers.1."},
    };
    for (const auto& c : cases) {
        auto shorter = twoLayers;
        shorter.encoderLayers = c.encoderLayers;
        shorter.decoderLayers = c.decoderLayers;
        shorter.write(ckpt);
        const auto message = expectInvalid([&] { convertCheckpoint(ckpt, tmp.path() / "out"); });
        const std::string start = std::string("config.json sets \"") + c.key + "\" to 1, but the checkpoint holds \"" + c.tensorPrefix;
        EXPECT_EQ(message.rfind(start, 0), 0u) << message;
        EXPECT_NE(message.find((ckpt / "config.json").string()), std::string::npos) << message;
        EXPECT_FALSE(fs::exists(tmp.path() / "out"));
    }
    twoLayers.write(ckpt);
    EXPECT_NO_THROW(convertCheckpoint(ckpt, tmp.path() / "out"));
}

TEST(ModelLoader, ConverterRefusesAnIncompleteCheckpoint) {
    parlox::testing::TemporaryFolder tmp;
    EXPECT_THROW(convertCheckpoint(tmp.path() / "nothing", tmp.path() / "out"), ModelError);
    smallConfig().write(tmp.path() / "ckpt");
    TensorFileWriter w;
    const float x[2] = {1, 2};
    w.addFloat("model.decoder.layer_norm.bias", {2}, x, TensorType::f32);
    w.write(tmp.path() / "ckpt" / "model.safetensors");
    const auto message = expectInvalid([&] { convertCheckpoint(tmp.path() / "ckpt", tmp.path() / "out"); });
    EXPECT_NE(message.find("no \"model.encoder.*\" tensors"), std::string::npos) << message;
}

TEST(ModelLoader, AFailedConversionLeavesNoVariantBehind) {
    parlox::testing::TemporaryFolder tmp;
    smallConfig().write(tmp.path() / "ckpt");
    TensorFileWriter w;
    const float x[2] = {1, 2};
    w.addFloat("model.encoder.layer_norm.bias", {2}, x, TensorType::f32);
    w.write(tmp.path() / "ckpt" / "model.safetensors");
    EXPECT_THROW(convertCheckpoint(tmp.path() / "ckpt", tmp.path() / "out"), ModelError);
    EXPECT_FALSE(fs::exists(tmp.path() / "out" / "MelSpectrogram.mlmodelc"));
    EXPECT_FALSE(fs::exists(tmp.path() / "out.converting"));
}

TEST(ModelLoader, ConvertsShardedCheckpointsWithoutTheModelPrefix) {
    parlox::testing::TemporaryFolder tmp;
    const auto whole = tmp.path() / "whole";
    generateRandomCheckpoint(whole, smallConfig(), 3, TensorType::f16);
    // The same tensors in two shards, named without "model.".
    const auto sharded = tmp.path() / "sharded";
    fs::create_directories(sharded);
    fs::copy_file(whole / "config.json", sharded / "config.json");
    TensorFile f(whole / "model.safetensors");
    TensorFileWriter a, b;
    nlohmann::json map = nlohmann::json::object();
    for (const auto& [name, info] : f.tensors()) {
        const bool encoder = name.rfind("model.encoder.", 0) == 0;
        const auto bytes = f.readBytes(name);
        const auto shortName = name.substr(6);
        (encoder ? a : b).add(shortName, info.type, info.shape, bytes.data(), bytes.size());
        map[shortName] = encoder ? "model-00001-of-00002.safetensors" : "model-00002-of-00002.safetensors";
    }
    a.write(sharded / "model-00001-of-00002.safetensors");
    b.write(sharded / "model-00002-of-00002.safetensors");
    std::ofstream(sharded / "model.safetensors.index.json") << nlohmann::json{{"weight_map", map}}.dump();
    convertCheckpoint(whole, tmp.path() / "v1");
    convertCheckpoint(sharded, tmp.path() / "v2");
    for (const char* stage : {"AudioEncoder.mlmodelc", "TextDecoder.mlmodelc"}) {
        TensorFile x(tmp.path() / "v1" / stage / "weights.safetensors");
        TensorFile y(tmp.path() / "v2" / stage / "weights.safetensors");
        ASSERT_EQ(x.tensors().size(), y.tensors().size()) << stage;
        for (const auto& [name, info] : x.tensors()) {
            ASSERT_TRUE(y.contains(name)) << name;
            EXPECT_EQ(x.readBytes(name), y.readBytes(name)) << name;
        }
    }
    // A shard name that leaves the folder is refused.
    std::ofstream(sharded / "model.safetensors.index.json", std::ios::trunc)
        << R"({"weight_map": {"encoder.conv1.weight": "../elsewhere.safetensors"}})";
    EXPECT_NE(expectInvalid([&] { convertCheckpoint(sharded, tmp.path() / "v3"); }).find("Bad shard name"),
              std::string::npos);
}

TEST(TensorFile, AFileThatCannotBeOpenedForWantOfHandlesIsNotCalledMissing) {
    parlox::testing::TemporaryFolder tmp;
    const auto p = tmp.path() / "w.safetensors";
    writeRaw(p, R"({"a":{"dtype":"F32","shape":[1],"data_offsets":[0,4]}})", 4);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // Every handle taken: the open fails with EMFILE.
            rlimit few{};
            few.rlim_cur = few.rlim_max = 64;
            if (::setrlimit(RLIMIT_NOFILE, &few) != 0) std::_Exit(3);
            int last = -1;
            for (int fd; (fd = ::open("/dev/null", O_RDONLY)) >= 0;) last = fd;
            try {
                TensorFile file(p);
            } catch (const ModelError&) {
                std::_Exit(1);
            } catch (const std::system_error& error) {
                // A few handles back, which a sanitizer's checks need.
                for (int fd = last; fd > last - 4; --fd) ::close(fd);
                std::_Exit(error.code().value() == EMFILE ? 0 : 2);
            }
            std::_Exit(4);
        },
        ::testing::ExitedWithCode(0), "");
    try {
        TensorFile file(tmp.path() / "none.safetensors");
        ADD_FAILURE() << "no error";
    } catch (const ModelError& error) {
        EXPECT_EQ(error.kind(), ModelError::Kind::modelNotFound);
    }
}
