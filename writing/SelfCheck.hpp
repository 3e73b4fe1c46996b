#pragma once

#include <stop_token>

#include "writing/GenerationRequest.hpp"
#include "writing/LLMProvider.hpp"

namespace ParloxCore {

// The one real request the writing-tool check sends.
struct SelfCheck {
    static GenerationRequest request();
    // Runs the request through `provider`; the wall-clock seconds it took.
    // The provider's errors pass through; the answer is not looked at.
    static double seconds(const LLMProvider& provider, std::stop_token stop);
};

}  // namespace ParloxCore
