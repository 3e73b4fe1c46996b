#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ParloxCore {

// The models the installed `codex` tool has cached, for the settings menu.
struct CodexModels {
    struct Model {
        std::string id;
        std::string name;

        friend bool operator==(const Model&, const Model&) = default;
    };

    // From <home>/.codex/models_cache.json; empty when missing or unreadable.
    static std::vector<Model> available(const std::filesystem::path& home);
    // Anything that is not the expected JSON gives the empty list.
    static std::vector<Model> parse(std::string_view data);
};

}  // namespace ParloxCore
