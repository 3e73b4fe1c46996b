#pragma once

#include <string>
#include <string_view>

#include "writing/GenerationRequest.hpp"

namespace ParloxCore {

struct PromptBuilder {
    static const std::string systemInstructions;
    static const std::string defaultPersonalInstructions;

    // The user turn: tagged blocks, one per line.
    static std::string userPrompt(const GenerationRequest& request);
};

}  // namespace ParloxCore
