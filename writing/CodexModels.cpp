#include "writing/CodexModels.hpp"

#include <nlohmann/json.hpp>

#include "platform/foundation/FileManager.hpp"

namespace ParloxCore {

std::vector<CodexModels::Model> CodexModels::available(const std::filesystem::path& home) {
    try {
        return parse(platform::FileManager::readFile(home / ".codex" / "models_cache.json"));
    } catch (const platform::Error&) {
        return {};
    }
}

std::vector<CodexModels::Model> CodexModels::parse(std::string_view data) {
    auto json = nlohmann::json::parse(data, nullptr, false);
    if (json.is_discarded() || !json.is_object()) return {};
    auto models = json.find("models");
    if (models == json.end() || !models->is_array()) return {};
    for (const auto& entry : *models) {
        if (!entry.is_object()) return {};
    }
    std::vector<Model> result;
    for (const auto& entry : *models) {
        auto slug = entry.find("slug");
        if (slug == entry.end() || !slug->is_string()) continue;
        std::string id = slug->get<std::string>();
        if (id.find("review") != std::string::npos) continue;
        if (auto vis = entry.find("visibility"); vis != entry.end() && vis->is_string() && *vis == "hide") continue;
        std::string name = id;
        if (auto display = entry.find("display_name"); display != entry.end() && display->is_string()) {
            name = display->get<std::string>();
        }
        result.push_back({std::move(id), std::move(name)});
    }
    return result;
}

}  // namespace ParloxCore
