#include "platform/ml/ModelManifest.hpp"

#include <fstream>
#include <sstream>

#include "platform/ml/ModelError.hpp"

namespace platform::ml {

namespace {

[[noreturn]] void invalid(const std::string& message) { throw ModelError(ModelError::Kind::invalidModel, message); }

FeatureDescription featureFromJson(const nlohmann::json& j) {
    if (!j.is_object() || !j.contains("name") || !j["name"].is_string()) invalid("model.json: feature without a name");
    FeatureDescription d;
    d.name = j["name"].get<std::string>();
    d.type = featureTypeFromName(j.value("type", std::string("multiArray")));
    if (d.type == FeatureType::invalid) invalid("model.json: feature \"" + d.name + "\" has an unknown type");
    d.isOptional = j.value("optional", false);
    if (d.type == FeatureType::multiArray && (j.contains("shape") || j.contains("dataType"))) {
        MultiArrayConstraint c;
        auto t = dataTypeFromName(j.value("dataType", std::string("float32")));
        if (!t) invalid("model.json: feature \"" + d.name + "\" has an unknown data type");
        c.dataType = *t;
        if (j.contains("shape")) {
            if (!j["shape"].is_array()) invalid("model.json: feature \"" + d.name + "\" has a bad shape");
            for (const auto& v : j["shape"]) {
                if (!v.is_number_integer() || v.get<int64_t>() < 0)
                    invalid("model.json: feature \"" + d.name + "\" has a bad shape");
                c.shape.push_back(v.get<int64_t>());
            }
        }
        d.multiArrayConstraint = c;
    }
    return d;
}

nlohmann::json featureToJson(const FeatureDescription& d) {
    nlohmann::json j{{"name", d.name}, {"type", std::string(featureTypeName(d.type))}};
    if (d.isOptional) j["optional"] = true;
    if (d.multiArrayConstraint) {
        j["dataType"] = std::string(dataTypeName(d.multiArrayConstraint->dataType));
        j["shape"] = d.multiArrayConstraint->shape;
    }
    return j;
}

void readList(const nlohmann::json& j, const char* key, std::map<std::string, FeatureDescription>& into) {
    if (!j.contains(key)) return;
    if (!j[key].is_array()) invalid(std::string("model.json: \"") + key + "\" is not a list");
    for (const auto& f : j[key]) {
        auto d = featureFromJson(f);
        auto name = d.name;
        if (!into.emplace(name, std::move(d)).second) invalid("model.json: feature \"" + name + "\" declared twice");
    }
}

ModelManifest parseManifest(const nlohmann::json& j);

}  // namespace

ModelManifest ModelManifest::fromJson(const nlohmann::json& j) {
    // Members of the wrong JSON type are a broken model, not a crash.
    try {
        return parseManifest(j);
    } catch (const nlohmann::json::exception& e) {
        invalid(std::string("model.json: ") + e.what());
    }
}

namespace {

ModelManifest parseManifest(const nlohmann::json& j) {
    if (!j.is_object()) invalid("model.json: not an object");
    ModelManifest m;
    if (!j.contains("kind") || !j["kind"].is_string()) invalid("model.json: missing \"kind\"");
    m.kind = j["kind"].get<std::string>();
    if (j.contains("parameters")) {
        if (!j["parameters"].is_object()) invalid("model.json: \"parameters\" is not an object");
        m.parameters = j["parameters"];
    }
    readList(j, "inputs", m.description.inputDescriptionsByName);
    readList(j, "outputs", m.description.outputDescriptionsByName);
    readList(j, "states", m.description.stateDescriptionsByName);
    if (j.contains("metadata") && j["metadata"].is_object()) {
        for (auto it = j["metadata"].begin(); it != j["metadata"].end(); ++it) {
            if (it.value().is_string()) m.description.metadata[it.key()] = it.value().get<std::string>();
        }
    }
    return m;
}

}  // namespace

ModelManifest ModelManifest::read(const std::filesystem::path& folder) {
    const auto file = folder / "model.json";
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ModelError(ModelError::Kind::modelNotFound, "Model description not found: " + file.string());
    std::stringstream ss;
    ss << in.rdbuf();
    nlohmann::json j;
    try {
        j = nlohmann::json::parse(ss.str());
    } catch (const std::exception& e) {
        invalid("Model description is not valid JSON: " + file.string() + ": " + e.what());
    }
    auto manifest = fromJson(j);
    manifest.source = file;
    return manifest;
}

std::string ModelManifest::sourceName() const {
    return source.empty() ? std::string("model.json") : "model.json (" + source.string() + ")";
}

nlohmann::json ModelManifest::toJson() const {
    nlohmann::json j{{"kind", kind}, {"parameters", parameters}};
    auto list = [](const std::map<std::string, FeatureDescription>& m) {
        nlohmann::json a = nlohmann::json::array();
        for (const auto& [n, d] : m) a.push_back(featureToJson(d));
        return a;
    };
    j["inputs"] = list(description.inputDescriptionsByName);
    j["outputs"] = list(description.outputDescriptionsByName);
    if (!description.stateDescriptionsByName.empty()) j["states"] = list(description.stateDescriptionsByName);
    if (!description.metadata.empty()) j["metadata"] = description.metadata;
    return j;
}

void ModelManifest::write(const std::filesystem::path& folder) const {
    std::filesystem::create_directories(folder);
    const auto file = folder / "model.json";
    const auto tmp = folder / "model.json.tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << toJson().dump(2) << "\n";
        if (!out) throw ModelError(ModelError::Kind::invalidModel, "Cannot write " + tmp.string());
    }
    std::filesystem::rename(tmp, file);
}

}  // namespace platform::ml
