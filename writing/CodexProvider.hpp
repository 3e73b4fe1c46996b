#pragma once

#include <cstdint>
#include <filesystem>
#include <stop_token>
#include <string>
#include <vector>

#include "writing/LLMProvider.hpp"
#include "writing/ToolError.hpp"

namespace ParloxCore {

// The back-end that runs the `codex` tool once per request in exec mode.
class CodexProvider : public LLMProvider {
public:
    struct Configuration {
        std::filesystem::path executable;
        std::string model;
        std::string reasoningEffort;
        double timeout = 45;

        friend bool operator==(const Configuration&, const Configuration&) = default;
    };

    class CodexError : public ToolError<CodexError> {
    public:
        static const ToolErrorTexts texts;

    private:
        friend class ToolError<CodexError>;
        CodexError(Kind kind, std::string text, double seconds) : ToolError(kind, std::move(text), seconds) {}
    };

    static const std::string defaultModel;

    explicit CodexProvider(Configuration configuration) : configuration_(std::move(configuration)) {}

    const Configuration& configuration() const { return configuration_; }

    std::string name() const override { return "Codex"; }
    using LLMProvider::generate;
    std::string generate(const GenerationRequest& request, std::stop_token stop) const override;

    // One real request; the seconds it took.
    double check(std::stop_token stop = {}) const;

    static std::vector<std::string> arguments(const Configuration& configuration,
                                              const std::filesystem::path& instructionsFile,
                                              const std::filesystem::path& outputFile,
                                              const std::filesystem::path& workDir,
                                              const std::vector<std::filesystem::path>& images);
    static CodexError classify(const std::string& log, int32_t exitCode);

private:
    Configuration configuration_;
};

}  // namespace ParloxCore
