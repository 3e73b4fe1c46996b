#pragma once

#include <cstdint>
#include <filesystem>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/foundation/Error.hpp"
#include "writing/LLMProvider.hpp"

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

    class CodexError : public platform::Error {
    public:
        enum class Kind { notInstalled, timedOut, failed, notLoggedIn, quotaExceeded, emptyResponse };

        static CodexError notInstalled(std::string path) { return {Kind::notInstalled, std::move(path), 0}; }
        static CodexError timedOut(double seconds) { return {Kind::timedOut, {}, seconds}; }
        static CodexError failed(std::string message) { return {Kind::failed, std::move(message), 0}; }
        static CodexError notLoggedIn() { return {Kind::notLoggedIn, {}, 0}; }
        static CodexError quotaExceeded() { return {Kind::quotaExceeded, {}, 0}; }
        static CodexError emptyResponse() { return {Kind::emptyResponse, {}, 0}; }

        Kind kind() const { return kind_; }
        const std::string& text() const { return text_; }  // the path or the message
        double seconds() const { return seconds_; }

        std::string description() const override;
        std::string localizedDescription() const override;

        friend bool operator==(const CodexError& a, const CodexError& b) {
            return a.kind_ == b.kind_ && a.text_ == b.text_ && a.seconds_ == b.seconds_;
        }

    private:
        CodexError(Kind kind, std::string text, double seconds)
            : kind_(kind), text_(std::move(text)), seconds_(seconds) {}
        Kind kind_;
        std::string text_;
        double seconds_;
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
