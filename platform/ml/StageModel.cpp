#include "platform/ml/StageModel.hpp"

#include <algorithm>
#include <cstring>

#include "platform/ml/ModelError.hpp"
#include "platform/ml/MultiArray.hpp"
#include "platform/ml/Parallel.hpp"
#include "platform/ml/TensorSource.hpp"

namespace platform::ml {

namespace {

void compare(const std::map<std::string, FeatureDescription>& derived,
             const std::map<std::string, FeatureDescription>& declared, const char* what) {
    for (const auto& [name, d] : declared) {
        auto it = derived.find(name);
        if (it == derived.end()) {
            throw ModelError(ModelError::Kind::invalidModel,
                             std::string("model.json declares an unknown ") + what + " \"" + name + "\"");
        }
        if (!(it->second == d)) {
            const auto shapeOf = [](const FeatureDescription& f) {
                return f.multiArrayConstraint ? shapeText(f.multiArrayConstraint->shape) + " " +
                                                    std::string(dataTypeName(f.multiArrayConstraint->dataType))
                                              : std::string("(no shape)");
            };
            throw ModelError(ModelError::Kind::invalidModel, std::string("model.json declares ") + what + " \"" +
                                                                 name + "\" as " + shapeOf(d) + ", the model computes " +
                                                                 shapeOf(it->second));
        }
    }
    for (const auto& [name, d] : derived) {
        if (!declared.count(name)) {
            throw ModelError(ModelError::Kind::invalidModel,
                             std::string("model.json does not declare the ") + what + " \"" + name + "\"");
        }
    }
}

}  // namespace

StageModel::StageModel(ModelDescription derived, const ModelManifest& manifest, ModelConfiguration configuration)
    : Model(configuration), description_(std::move(derived)) {
    const auto& declared = manifest.description;
    // A folder may leave the features to the runtime; declared ones must match.
    if (!declared.inputDescriptionsByName.empty() || !declared.outputDescriptionsByName.empty()) {
        compare(description_.inputDescriptionsByName, declared.inputDescriptionsByName, "input");
        compare(description_.outputDescriptionsByName, declared.outputDescriptionsByName, "output");
    }
    description_.metadata = declared.metadata;
}

void inconsistentParameters(const ModelManifest& manifest, const std::string& stage, const std::string& detail) {
    throw ModelError(ModelError::Kind::invalidModel,
                     "Inconsistent " + stage + " parameters in " + manifest.sourceName() + ": " + detail);
}

std::string namedParameter(const char* name, int64_t value) {
    return "\"" + std::string(name) + "\" (" + std::to_string(value) + ")";
}

int64_t modelParameter(const nlohmann::json& parameters, const char* name, int64_t fallback) {
    if (!parameters.contains(name)) {
        if (fallback >= 0) return fallback;
        throw ModelError(ModelError::Kind::invalidModel, std::string("model.json lacks the parameter \"") + name + "\"");
    }
    const auto& v = parameters[name];
    if (!v.is_number_integer() || v.get<int64_t>() <= 0 || v.get<int64_t>() > (int64_t{1} << 31)) {
        throw ModelError(ModelError::Kind::invalidModel, std::string("model.json parameter \"") + name + "\" is invalid");
    }
    return v.get<int64_t>();
}

namespace {

uint64_t hashBytes(const uint8_t* p, size_t bytes) {
    uint64_t h[4] = {0x9E3779B97F4A7C15ull, 0xC2B2AE3D27D4EB4Full, 0x165667B19E3779F9ull, 0x27D4EB2F165667C5ull};
    size_t i = 0;
    for (; i + 32 <= bytes; i += 32) {
        for (int k = 0; k < 4; ++k) {
            uint64_t w;
            std::memcpy(&w, p + i + 8 * k, 8);
            h[k] = (h[k] ^ w) * 0x100000001B3ull;
            h[k] ^= h[k] >> 29;
        }
    }
    uint64_t tail = bytes;
    for (; i < bytes; ++i) tail = (tail ^ p[i]) * 0x100000001B3ull;
    return h[0] ^ (h[1] * 3) ^ (h[2] * 5) ^ (h[3] * 7) ^ tail;
}

}  // namespace

ArrayKey arrayKey(const MultiArray& array) {
    ArrayKey key{array.data(), array.shape(), array.strides(), 0};
    const size_t bytes = static_cast<size_t>(array.storageCount()) * array.elementSize();
    const auto* p = static_cast<const uint8_t*>(array.data());
    // Segments hashed in parallel, a few per thread: a decoder step hashes
    // its encoder output (a few megabytes) every time.
    constexpr size_t kSegment = size_t{1} << 16;
    const int64_t segments = static_cast<int64_t>((bytes + kSegment - 1) / kSegment);
    std::vector<uint64_t> parts(static_cast<size_t>(segments));
    parallelFor(segments, 1, [&](int64_t b, int64_t e) {
        for (int64_t s = b; s < e; ++s) {
            const size_t begin = static_cast<size_t>(s) * kSegment;
            parts[static_cast<size_t>(s)] = hashBytes(p + begin, std::min(kSegment, bytes - begin));
        }
    });
    uint64_t h = bytes;
    for (uint64_t part : parts) h = (h ^ part) * 0x100000001B3ull + 0x9E3779B97F4A7C15ull;
    key.hash = h;
    return key;
}

}  // namespace platform::ml
