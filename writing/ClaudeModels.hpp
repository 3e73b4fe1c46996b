#pragma once

#include <vector>

#include "writing/CodexModels.hpp"

namespace ParloxCore {

// The Claude models offered in the writing settings; the first is the default.
struct ClaudeModels {
    static const std::vector<CodexModels::Model>& all();
};

}  // namespace ParloxCore
