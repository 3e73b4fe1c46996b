#pragma once

#include <string>
#include <vector>

namespace DovuzudUza {

// The model variants this platform can install. Our runtime cannot run the
// compiled folders of the model repository, so each variant folder is built
// here from the standard checkpoint repository on the hub that holds the
// same weights; this is the one table that says which.
struct ModelCatalogue {
    struct Entry {
        std::string folder;                // "openai_whisper-large-v3-v20240930_turbo"
        std::string checkpointRepository;  // "openai/whisper-large-v3-turbo"
        bool operator==(const Entry&) const = default;
    };

    static const std::vector<Entry>& entries();

    // The repository whose folders the table stands for; it says nothing of
    // any other.
    static const std::string& repository();

    // The entries whose folder, followed by "/", the glob accepts (fnmatch,
    // no flags), as a repository listing of "<folder>/<file>" names would.
    static std::vector<Entry> matching(const std::string& glob);

    // The files of a checkpoint repository that the conversion reads: the
    // model's configuration, its weights (whole or in shards) and the
    // tokenizer's files.
    static const std::vector<std::string>& checkpointFilePatterns();
};

}  // namespace DovuzudUza
