#pragma once

#include <stop_token>
#include <string>

#include "writing/GenerationRequest.hpp"

namespace ParloxCore {

// A writing back-end: turns a request into the finished, cleaned text, or
// throws its own error. Blocks until the tool is done; a stop request ends
// the tool's process.
class LLMProvider {
public:
    virtual ~LLMProvider() = default;

    virtual std::string name() const = 0;
    virtual std::string generate(const GenerationRequest& request, std::stop_token stop) const = 0;

    std::string generate(const GenerationRequest& request) const { return generate(request, {}); }
};

}  // namespace ParloxCore
