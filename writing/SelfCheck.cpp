#include "writing/SelfCheck.hpp"

#include <chrono>

namespace ParloxCore {

GenerationRequest SelfCheck::request() {
    GenerationRequest request;
    request.instruction = "Responde solo con la palabra: listo";
    return request;
}

double SelfCheck::seconds(const LLMProvider& provider, std::stop_token stop) {
    const auto start = std::chrono::steady_clock::now();
    provider.generate(request(), stop);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace ParloxCore
