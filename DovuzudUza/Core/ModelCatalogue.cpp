#include "DovuzudUza/Core/ModelCatalogue.hpp"

#include <fnmatch.h>

#include "DovuzudUza/Core/DovuzudUzaConfig.hpp"

namespace DovuzudUza {

const std::vector<ModelCatalogue::Entry>& ModelCatalogue::entries() {
    // Size-reduced or re-split variants of the other platform come from the
    // same weights as their full variant.
    static const std::vector<Entry> table = [] {
        std::vector<Entry> rows;
        auto add = [&rows](const std::string& repository, std::initializer_list<const char*> folders) {
            for (const char* folder : folders) rows.push_back({folder, repository});
        };
        add("openai/whisper-tiny", {"openai_whisper-tiny"});
        add("openai/whisper-tiny.en", {"openai_whisper-tiny.en"});
        add("openai/whisper-base", {"openai_whisper-base"});
        add("openai/whisper-base.en", {"openai_whisper-base.en"});
        add("openai/whisper-small", {"openai_whisper-small"});
        add("openai/whisper-small.en", {"openai_whisper-small.en"});
        add("openai/whisper-medium", {"openai_whisper-medium"});
        add("openai/whisper-medium.en", {"openai_whisper-medium.en"});
        add("openai/whisper-large-v2", {"openai_whisper-large-v2", "openai_whisper-large-v2_949MB",
                                        "openai_whisper-large-v2_turbo", "openai_whisper-large-v2_turbo_955MB"});
        add("openai/whisper-large-v3", {"openai_whisper-large-v3", "openai_whisper-large-v3_947MB",
                                        "openai_whisper-large-v3_turbo", "openai_whisper-large-v3_turbo_954MB"});
        add("openai/whisper-large-v3-turbo",
            {"openai_whisper-large-v3-v20240930", "openai_whisper-large-v3-v20240930_626MB",
             "openai_whisper-large-v3-v20240930_turbo", "openai_whisper-large-v3-v20240930_turbo_632MB"});
        add("distil-whisper/distil-large-v3",
            {"distil-whisper_distil-large-v3", "distil-whisper_distil-large-v3_594MB",
             "distil-whisper_distil-large-v3_turbo", "distil-whisper_distil-large-v3_turbo_600MB"});
        return rows;
    }();
    return table;
}

const std::string& ModelCatalogue::repository() {
    static const std::string name = DovuzudUzaConfig::defaultModelRepo;
    return name;
}

std::vector<ModelCatalogue::Entry> ModelCatalogue::matching(const std::string& glob) {
    std::vector<Entry> found;
    for (const auto& entry : entries()) {
        const std::string listed = entry.folder + "/";
        if (::fnmatch(glob.c_str(), listed.c_str(), 0) == 0) found.push_back(entry);
    }
    return found;
}

const std::vector<std::string>& ModelCatalogue::checkpointFilePatterns() {
    static const std::vector<std::string> patterns{
        "config.json",           "generation_config.json",   "preprocessor_config.json",
        "model.safetensors",     "model.safetensors.index.json", "model-*-of-*.safetensors",
        "tokenizer.json",        "tokenizer_config.json",     "vocab.json",
        "merges.txt",            "special_tokens_map.json",   "added_tokens.json",
        "normalizer.json"};
    return patterns;
}

}  // namespace DovuzudUza
