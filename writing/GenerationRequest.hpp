#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace ParloxCore {

// The previous round, when the user asks for a change to text this system wrote.
struct Iteration {
    std::string original;     // the text selected before the first round (may be empty)
    std::string instruction;  // earlier instructions, joined with " → " over several rounds
    std::string result;       // what the last round produced

    friend bool operator==(const Iteration&, const Iteration&) = default;
};

// One piece of writing to ask a back-end for.
struct GenerationRequest {
    std::string instruction;
    std::optional<std::string> baseText;
    std::optional<std::string> appName;
    std::string personalInstructions;
    std::optional<Iteration> previous;
    std::optional<std::filesystem::path> screenshot;

    friend bool operator==(const GenerationRequest&, const GenerationRequest&) = default;
};

}  // namespace ParloxCore
