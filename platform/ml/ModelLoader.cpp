#include "platform/ml/ModelLoader.hpp"

#include <map>
#include <mutex>

#include "platform/ml/ModelError.hpp"
#include "platform/ml/ModelManifest.hpp"
#include "platform/ml/StageKinds.hpp"

namespace platform::ml {

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, ModelLoader::Factory> kinds;
    std::map<std::string, ModelLoader::Factory> folders;

    Registry() { registerStageKinds(kinds); }
};

Registry& registry() {
    static Registry r;
    return r;
}

std::string key(const std::filesystem::path& p) { return p.lexically_normal().string(); }

}  // namespace

std::filesystem::path ModelLoader::modelFolder(const std::filesystem::path& url) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(url, ec)) return url;
    if (fs::is_regular_file(url, ec)) {
        // A file inside a package: the nearest ancestor holding model.json.
        for (fs::path p = url.parent_path(); !p.empty() && p != p.root_path(); p = p.parent_path()) {
            if (fs::exists(p / "model.json", ec)) return p;
            if (p.extension() == ".mlpackage") break;
        }
        throw ModelError(ModelError::Kind::invalidModel, "Not a model folder: " + url.string());
    }
    throw ModelError(ModelError::Kind::modelNotFound, "Model not found at " + url.string());
}

std::shared_ptr<Model> ModelLoader::load(const std::filesystem::path& url, const ModelConfiguration& configuration) {
    Factory factory;
    {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        auto it = r.folders.find(key(url));
        if (it != r.folders.end()) factory = it->second;
    }
    if (factory) return factory(url, configuration);

    const auto folder = modelFolder(url);
    const auto manifest = ModelManifest::read(folder);
    {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        auto it = r.kinds.find(manifest.kind);
        if (it == r.kinds.end()) {
            throw ModelError(ModelError::Kind::invalidModel,
                             "Unknown model kind \"" + manifest.kind + "\" in " + (folder / "model.json").string());
        }
        factory = it->second;
    }
    return factory(folder, configuration);
}

void ModelLoader::registerKind(const std::string& kind, Factory factory) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (factory) {
        r.kinds[kind] = std::move(factory);
    } else {
        r.kinds.erase(kind);
    }
}

void ModelLoader::registerFolder(const std::filesystem::path& folder, Factory factory) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (factory) {
        r.folders[key(folder)] = std::move(factory);
    } else {
        r.folders.erase(key(folder));
    }
}

}  // namespace platform::ml
