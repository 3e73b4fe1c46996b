#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "writing/LLMProvider.hpp"
#include "writing/ToolError.hpp"

namespace ParloxCore {

// The back-end that runs the `claude` tool once per request in print mode,
// with JSON event streams in and out.
class ClaudeCodeProvider : public LLMProvider {
public:
    struct Configuration {
        std::filesystem::path executable;
        std::string model;
        std::string effort;
        double timeout = 45;

        friend bool operator==(const Configuration&, const Configuration&) = default;
    };

    class ClaudeError : public ToolError<ClaudeError> {
    public:
        static const ToolErrorTexts texts;

    private:
        friend class ToolError<ClaudeError>;
        ClaudeError(Kind kind, std::string text, double seconds) : ToolError(kind, std::move(text), seconds) {}
    };

    // The reading of one "result" event.
    struct Outcome {
        bool isError = false;
        std::string text;

        static Outcome ok(std::string text) { return {false, std::move(text)}; }
        static Outcome error(std::string text) { return {true, std::move(text)}; }
        friend bool operator==(const Outcome&, const Outcome&) = default;
    };

    static const std::string defaultModel;

    explicit ClaudeCodeProvider(Configuration configuration) : configuration_(std::move(configuration)) {}

    const Configuration& configuration() const { return configuration_; }

    std::string name() const override { return "Claude"; }
    using LLMProvider::generate;
    std::string generate(const GenerationRequest& request, std::stop_token stop) const override;

    double check(std::stop_token stop = {}) const;

    static std::vector<std::string> arguments(const Configuration& configuration);
    // One compact JSON line (with its line feed) for standard input.
    static std::string input(const std::string& prompt, const std::optional<std::filesystem::path>& image);
    static std::string mediaType(const std::filesystem::path& image);
    static std::optional<Outcome> result(const std::string& log);
    static ClaudeError classify(const std::string& log, int32_t exitCode);

private:
    Configuration configuration_;
};

}  // namespace ParloxCore
