#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>

#include "platform/ml/Half.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/ModelError.hpp"
#include "platform/ml/ModelLoader.hpp"
#include "platform/ml/ModelManifest.hpp"
#include "platform/ml/MultiArray.hpp"
#include "platform/ml/fake/FakeModel.hpp"
#include "tests/support/TemporaryFolder.hpp"

using namespace platform::ml;

TEST(Half, KnownValuesAndRounding) {
    struct Case { float value; uint16_t bits; };
    const Case cases[] = {
        {0.0f, 0x0000}, {-0.0f, 0x8000}, {1.0f, 0x3C00}, {0.2f, 0x3266}, {-10000.0f, 0xF0E2},
        {-std::numeric_limits<float>::infinity(), 0xFC00}, {65504.0f, 0x7BFF}, {65520.0f, 0x7C00},
        {5.9604645e-08f, 0x0001},            // smallest subnormal
        {2.9802322e-08f, 0x0000},            // exactly half of it: ties to even (0)
        {8.940697e-08f, 0x0002},             // 1.5 x smallest: ties to even (2)
        {1.0f + 1.0f / 2048.0f, 0x3C00},     // tie between 0x3C00 and 0x3C01: even
        {1.0f + 3.0f / 2048.0f, 0x3C02},     // tie between 0x3C01 and 0x3C02: even
        {6.1035156e-05f, 0x0400},            // smallest normal
    };
    for (const auto& c : cases) {
        EXPECT_EQ(floatToHalf(c.value), c.bits) << c.value;
    }
    EXPECT_TRUE(std::isnan(halfToFloat(floatToHalf(std::nanf("")))));
    EXPECT_FLOAT_EQ(halfToFloat(0x3266), 0.199951171875f);
}

namespace {

// True when `r` is the half nearest to `exact` (ties to the even pattern).
bool isNearestHalf(double exact, Half r) {
    if (std::isinf(r.toFloat())) return std::abs(exact) >= 65520.0;
    const double here = std::abs(exact - r.toFloat());
    for (int step : {-1, 1}) {
        const Half other = Half::fromBits(static_cast<uint16_t>(r.bits + step));
        const float o = other.toFloat();
        if (std::isnan(o) || std::isinf(o) || (other.bits & 0x7FFF) == 0x7FFF) continue;
        const double there = std::abs(exact - o);
        if (there < here || (there == here && (r.bits & 1u))) return false;
    }
    return true;
}

}  // namespace

TEST(Half, ArithmeticRoundsEveryOperationToHalf) {
    const Half base = Half::fromFloat(0.0f), increment = Half::fromFloat(0.2f);
    const float schedule[] = {0.0f, 0.199951171875f, 0.39990234375f, 0.599609375f, 0.7998046875f, 1.0f};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ((increment * Half::fromFloat(static_cast<float>(i)) + base).toFloat(), schedule[i]) << i;
    // Two roundings, not one fused: 3 x 0.2 + 0.3 (each a half) gives
    // 0.8994140625, where one rounding of the exact value gives 0.89990234375.
    EXPECT_EQ((Half::fromFloat(3) * Half::fromFloat(0.2f) + Half::fromFloat(0.3f)).toFloat(), 0.8994140625f);
    EXPECT_EQ((Half::fromFloat(5) * Half::fromFloat(0.3f) + Half::fromFloat(0.1f)).toFloat(), 1.599609375f);
    EXPECT_EQ((Half::fromFloat(1) / Half::fromFloat(3)).bits, 0x3555);
    EXPECT_EQ((Half::fromFloat(1.5f) - Half::fromFloat(2.0f)).toFloat(), -0.5f);
    EXPECT_EQ((-Half::fromFloat(2.0f)).toFloat(), -2.0f);
    EXPECT_EQ((Half::fromFloat(60000) + Half::fromFloat(60000)).bits, kHalfPositiveInfinity);
    EXPECT_TRUE(Half::fromFloat(0.0f) == Half::fromFloat(-0.0f));
    EXPECT_TRUE(Half::fromFloat(0.5f) < Half::fromFloat(0.75f));

    // Sums and products of halves are exact in double: the result must be
    // the nearest half to them.
    uint32_t state = 12345;
    auto nextHalf = [&] {
        state = state * 1664525u + 1013904223u;
        Half h = Half::fromBits(static_cast<uint16_t>(state >> 16));
        return std::isfinite(h.toFloat()) ? h : Half::fromFloat(1.0f);
    };
    for (int n = 0; n < 200000; ++n) {
        const Half a = nextHalf(), b = nextHalf();
        const double sum = static_cast<double>(a.toFloat()) + b.toFloat();
        const double product = static_cast<double>(a.toFloat()) * b.toFloat();
        ASSERT_TRUE(isNearestHalf(sum, a + b)) << a.bits << " + " << b.bits;
        ASSERT_TRUE(isNearestHalf(product, a * b)) << a.bits << " * " << b.bits;
    }
}

TEST(Half, DescriptionIsTheShortestTextThatReadsBack) {
    struct Case {
        float value;
        const char* text;
    };
    const Case cases[] = {{0.0f, "0.0"},          {0.199951171875f, "0.2"}, {0.39990234375f, "0.4"},
                          {0.599609375f, "0.5996"},  {0.7998046875f, "0.8"},   {1.0f, "1.0"},
                          {-10000.0f, "-10000.0"}, {65504.0f, "65500.0"},   {0.33325195f, "0.3333"},
                          {1.0009766f, "1.001"},  {-INFINITY, "-inf"}};
    for (const auto& c : cases) EXPECT_EQ(Half::fromFloat(c.value).description(), c.text) << c.text;
    // Every finite half reads back from its text.
    for (uint32_t bits = 0; bits < 0x10000; ++bits) {
        const Half h = Half::fromBits(static_cast<uint16_t>(bits));
        if (!std::isfinite(h.toFloat())) continue;
        const std::string text = h.description();
        ASSERT_EQ(floatToHalf(std::strtof(text.c_str(), nullptr)), h.bits) << text;
    }
}

TEST(Half, BulkConversionsAgreeWithScalarOnEveryHalf) {
    std::vector<uint16_t> all(65536);
    for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint16_t>(i);
    std::vector<float> floats(all.size());
    halvesToFloats(all.data(), floats.data(), all.size());
    std::vector<uint16_t> back(all.size());
    floatsToHalves(floats.data(), back.data(), floats.size());
    for (size_t i = 0; i < all.size(); ++i) {
        const float s = halfToFloat(all[i]);
        if (std::isnan(s)) {
            ASSERT_TRUE(std::isnan(floats[i]));
            continue;
        }
        ASSERT_EQ(std::memcmp(&s, &floats[i], 4), 0) << i;
        ASSERT_EQ(back[i], all[i]) << i;
        ASSERT_EQ(floatToHalf(s), all[i]) << i;
    }
}

TEST(MultiArray, ContiguousOwnedArray) {
    MultiArray a({2, 3, 4}, DataType::float32);
    EXPECT_EQ(a.count(), 24);
    EXPECT_EQ(a.strides(), (std::vector<int64_t>{12, 4, 1}));
    EXPECT_TRUE(a.isContiguous());
    EXPECT_TRUE(a.ownsData());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a.data()) % 64, 0u);
    EXPECT_EQ(a.offset({1, 2, 3}), 23);
    a.at<float>({1, 2, 3}) = 7.5f;
    EXPECT_EQ(a.value({1, 2, 3}), 7.5);
    EXPECT_EQ(a.floatAt(23), 7.5f);
    EXPECT_EQ(a.value({0, 0, 0}), 0.0);
    EXPECT_THROW(a.at<uint16_t>({0, 0, 0}), std::invalid_argument);
    EXPECT_THROW(a.value({2, 0, 0}), std::out_of_range);
}

TEST(MultiArray, PaddedStridesAreHonoured) {
    MultiArray a({1, 3, 1, 5}, DataType::float16, {64, 8, 8, 1});
    EXPECT_FALSE(a.isContiguous());
    EXPECT_EQ(a.storageCount(), 2 * 8 + 4 + 1);
    a.fill(-10000.0);
    a.setValue({0, 2, 0, 4}, 0.5);
    EXPECT_EQ(a.data<uint16_t>()[2 * 8 + 4], floatToHalf(0.5f));
    EXPECT_EQ(a.data<uint16_t>()[5], 0u);  // padding untouched
    const auto v = a.toFloatVector();
    ASSERT_EQ(v.size(), 15u);
    EXPECT_EQ(v[14], 0.5f);
    EXPECT_EQ(v[0], -10000.0f);
    const auto c = a.copy();
    EXPECT_TRUE(c->isContiguous());
    EXPECT_EQ(c->toFloatVector(), v);
}

TEST(MultiArray, BorrowedDataIsSharedAndOwnerKeptAlive) {
    auto buffer = std::make_shared<std::vector<int32_t>>(6, 0);
    std::weak_ptr<std::vector<int32_t>> watch = buffer;
    auto a = std::make_shared<MultiArray>(buffer->data(), std::vector<int64_t>{2, 3}, DataType::int32,
                                          std::vector<int64_t>{3, 1}, buffer);
    (*buffer)[4] = 9;
    EXPECT_EQ(a->value({1, 1}), 9.0);
    a->setValue({0, 2}, 3.9);  // integers truncate
    EXPECT_EQ((*buffer)[2], 3);
    EXPECT_FALSE(a->ownsData());
    buffer.reset();
    EXPECT_FALSE(watch.expired());
    a.reset();
    EXPECT_TRUE(watch.expired());
}

TEST(MultiArray, RejectsBadShapes) {
    EXPECT_THROW(MultiArray({-1}, DataType::float32), std::invalid_argument);
    EXPECT_THROW(MultiArray({2, 2}, DataType::float32, {1}), std::invalid_argument);
    MultiArray empty({0, 4}, DataType::int8);
    EXPECT_EQ(empty.count(), 0);
    EXPECT_TRUE(empty.toFloatVector().empty());
}

TEST(FeatureProvider, LooksUpByName) {
    auto array = MultiArray::make({1}, DataType::int32);
    DictionaryFeatureProvider p{{"input_ids", array}, {"n", FeatureValue::int64(3)}};
    EXPECT_EQ(p.multiArray("input_ids"), array);
    EXPECT_EQ(p.multiArray("n"), nullptr);
    EXPECT_EQ(p.multiArray("missing"), nullptr);
    EXPECT_EQ(p.featureValue("n")->int64Value(), 3);
    EXPECT_EQ(p.featureValue("n")->type(), FeatureType::int64);
    EXPECT_FALSE(p.featureValue("missing").has_value());
    EXPECT_EQ(p.featureNames(), (std::vector<std::string>{"input_ids", "n"}));
}

namespace {

ModelDescription tinyDescription() {
    ModelDescription d;
    d.addInput(FeatureDescription::multiArray("x", {1, 4}, DataType::float32));
    d.addOutput(FeatureDescription::multiArray("y", {1, 4}, DataType::float16));
    return d;
}

}  // namespace

TEST(FakeModel, ComputesScriptedOutputsAndRecordsInputs) {
    auto fake = FakeModel::make(tinyDescription(), [](const FeatureProvider& in) {
        auto x = in.multiArray("x");
        auto y = MultiArray::make({1, 4}, DataType::float16);
        for (int i = 0; i < 4; ++i) y->setFloatAt(i, x->floatAt(i) * 2);
        return DictionaryFeatureProvider{{"y", y}};
    });
    auto x = MultiArray::make({1, 4}, DataType::float32);
    x->setFloatAt(2, 1.25f);
    auto out = fake->predict(DictionaryFeatureProvider{{"x", x}});
    EXPECT_EQ(out.multiArray("y")->floatAt(2), 2.5f);
    EXPECT_EQ(fake->predictionCount(), 1);
    EXPECT_EQ(fake->recordedInputs()[0].multiArray("x"), x);
}

TEST(FakeModel, WithoutCallbackReturnsZeroFilledDeclaredOutputs) {
    auto fake = FakeModel::make(tinyDescription());
    auto out = fake->predict(DictionaryFeatureProvider{{"x", MultiArray::make({1, 4}, DataType::float32)}});
    auto y = out.multiArray("y");
    ASSERT_NE(y, nullptr);
    EXPECT_EQ(y->shape(), (std::vector<int64_t>{1, 4}));
    EXPECT_EQ(y->dataType(), DataType::float16);
}

TEST(Model, RejectsInputsThatDoNotMatchTheDescription) {
    auto fake = FakeModel::make(tinyDescription());
    struct Case { const char* what; DictionaryFeatureProvider input; const char* message; };
    const Case cases[] = {
        {"missing", DictionaryFeatureProvider{}, "Missing input feature \"x\""},
        {"wrong type", DictionaryFeatureProvider{{"x", MultiArray::make({1, 4}, DataType::float16)}},
         "Input feature \"x\" should hold float32, not float16"},
        {"wrong shape", DictionaryFeatureProvider{{"x", MultiArray::make({4}, DataType::float32)}},
         "Input feature \"x\" should have shape [1, 4], not [4]"},
        {"not an array", DictionaryFeatureProvider{{"x", FeatureValue::int64(1)}},
         "Input feature \"x\" should be multiArray, not int64"},
    };
    for (const auto& c : cases) {
        try {
            fake->predict(c.input);
            ADD_FAILURE() << c.what;
        } catch (const ModelError& e) {
            EXPECT_EQ(e.kind(), ModelError::Kind::invalidInput) << c.what;
            EXPECT_EQ(e.description(), c.message) << c.what;
        }
    }
    EXPECT_EQ(fake->predictionCount(), 0);
    fake->setValidatesInputs(false);
    EXPECT_NO_THROW(fake->predict(DictionaryFeatureProvider{}));
}

TEST(Model, UnloadedModelRefusesPredictionAndStateIsUnsupported) {
    auto fake = FakeModel::make(tinyDescription());
    EXPECT_THROW(fake->makeState(), ModelError);
    fake->unload();
    EXPECT_FALSE(fake->isLoaded());
    try {
        fake->predict(DictionaryFeatureProvider{{"x", MultiArray::make({1, 4}, DataType::float32)}});
        ADD_FAILURE();
    } catch (const ModelError& e) {
        EXPECT_EQ(e.kind(), ModelError::Kind::unloaded);
    }
}

// The "fake" kind is known only while a test has it registered.
class FakeKind {
public:
    FakeKind() { FakeModel::registerKind(); }
    ~FakeKind() { ModelLoader::registerKind(FakeModel::kind, {}); }
    FakeKind(const FakeKind&) = delete;
    FakeKind& operator=(const FakeKind&) = delete;
};

TEST(ModelLoader, LoadsAFakeKindFolderWithItsDeclaredDescription) {
    FakeKind fakeKind;
    parlox::testing::TemporaryFolder tmp;
    ModelManifest m;
    m.kind = "fake";
    m.description = tinyDescription();
    m.description.addInput(FeatureDescription{"picture", FeatureType::image, false, std::nullopt});
    const auto folder = tmp.path() / "MelSpectrogram.mlmodelc";
    m.write(folder);
    auto model = Model::load(folder, ModelConfiguration{ComputeUnits::cpuAndGPU});
    EXPECT_EQ(model->description(), m.description);
    EXPECT_EQ(model->configuration().computeUnits, ComputeUnits::cpuAndGPU);
    EXPECT_EQ(model->description().inputDescriptionsByName.at("picture").type, FeatureType::image);

    // A package's model file resolves to the package folder holding model.json.
    const auto package = tmp.path() / "AudioEncoder.mlpackage";
    m.write(package);
    const auto file = package / "Data" / "com.apple.CoreML" / "model.mlmodel";
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << "x";
    EXPECT_EQ(ModelLoader::modelFolder(file), package);
    EXPECT_EQ(Model::load(file)->description(), m.description);
}

TEST(ModelLoader, ReportsMissingAndBrokenFolders) {
    FakeKind fakeKind;
    parlox::testing::TemporaryFolder tmp;
    auto expectError = [](const std::filesystem::path& p, ModelError::Kind kind, const std::string& needle) {
        try {
            Model::load(p);
            ADD_FAILURE() << p;
        } catch (const ModelError& e) {
            EXPECT_EQ(e.kind(), kind) << e.description();
            EXPECT_NE(e.description().find(needle), std::string::npos) << e.description();
        }
    };
    expectError(tmp.path() / "Nothing.mlmodelc", ModelError::Kind::modelNotFound, "Model not found at");
    const auto empty = tmp.path() / "Empty.mlmodelc";
    std::filesystem::create_directories(empty);
    expectError(empty, ModelError::Kind::modelNotFound, "model.json");
    const auto broken = tmp.path() / "Broken.mlmodelc";
    std::filesystem::create_directories(broken);
    std::ofstream(broken / "model.json") << "{\"kind\": ";
    expectError(broken, ModelError::Kind::invalidModel, "not valid JSON");
    const auto unknown = tmp.path() / "Unknown.mlmodelc";
    std::filesystem::create_directories(unknown);
    std::ofstream(unknown / "model.json") << R"({"kind": "teapot"})";
    expectError(unknown, ModelError::Kind::invalidModel, "Unknown model kind \"teapot\"");
    const auto badShape = tmp.path() / "BadShape.mlmodelc";
    std::filesystem::create_directories(badShape);
    std::ofstream(badShape / "model.json") << R"({"kind": "fake", "inputs": [{"name": "x", "shape": [-3]}]})";
    expectError(badShape, ModelError::Kind::invalidModel, "bad shape");
    // Members of the wrong JSON type.
    for (const char* text : {R"({"kind": "fake", "inputs": [{"name": "x", "optional": "yes"}]})",
                             R"({"kind": "fake", "inputs": [{"name": "x", "type": 5}]})",
                             R"({"kind": "fake", "outputs": [{"name": "y", "dataType": ["float16"]}]})"}) {
        const auto wrongType = tmp.path() / "WrongType.mlmodelc";
        std::filesystem::create_directories(wrongType);
        std::ofstream(wrongType / "model.json", std::ios::trunc) << text;
        expectError(wrongType, ModelError::Kind::invalidModel, "model.json");
    }
}

TEST(ModelLoader, TheFakeKindIsNoBuiltInKind) {
    parlox::testing::TemporaryFolder tmp;
    ModelManifest m;
    m.kind = FakeModel::kind;
    m.description = tinyDescription();
    const auto folder = tmp.path() / "TextDecoder.mlmodelc";
    m.write(folder);
    try {
        Model::load(folder);
        ADD_FAILURE() << "a production loader read a fake model";
    } catch (const ModelError& e) {
        EXPECT_EQ(e.kind(), ModelError::Kind::invalidModel);
        EXPECT_NE(e.description().find("Unknown model kind \"fake\""), std::string::npos) << e.description();
    }
    {
        FakeKind fakeKind;
        EXPECT_EQ(Model::load(folder)->description(), m.description);
    }
    EXPECT_THROW(Model::load(folder), ModelError);
}

TEST(ModelLoader, RegisteredFolderYieldsTheInstalledFake) {
    parlox::testing::TemporaryFolder tmp;
    const auto folder = tmp.path() / "TextDecoder.mlmodelc";
    auto fake = FakeModel::make(tinyDescription());
    FakeModel::installAt(folder, fake);
    EXPECT_EQ(Model::load(folder), fake);
    ModelLoader::registerFolder(folder, {});
    EXPECT_THROW(Model::load(folder), ModelError);
}
