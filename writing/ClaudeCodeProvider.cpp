#include "writing/ClaudeCodeProvider.hpp"

#include <nlohmann/json.hpp>

#include "platform/foundation/Base64.hpp"
#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/NumberFormat.hpp"
#include "platform/foundation/Unicode.hpp"
#include "writing/LogPhrases.hpp"
#include "writing/ProcessRunner.hpp"
#include "writing/PromptBuilder.hpp"
#include "writing/RequestFolder.hpp"
#include "writing/ResponseCleaner.hpp"
#include "writing/SelfCheck.hpp"

namespace ParloxCore {

const std::string ClaudeCodeProvider::defaultModel = "claude-sonnet-5-5";

namespace {

using Json = nlohmann::json;

}  // namespace

const ToolErrorTexts ClaudeCodeProvider::ClaudeError::texts = {
    "No encuentro Claude Code en ",
    ". Instálalo desde Ajustes › Redacción.",
    "Claude no respondió en ",
    "Claude falló: ",
    "Claude Code no tiene sesión. Ejecuta «claude» en un terminal y escribe /login.",
    "Se ha agotado el uso de tu plan de Claude por ahora.",
    "Claude devolvió una respuesta vacía.",
};

std::vector<std::string> ClaudeCodeProvider::arguments(const Configuration& configuration) {
    return {
        "-p",
        "--model", configuration.model,
        "--effort", configuration.effort,
        "--system-prompt", PromptBuilder::systemInstructions,
        "--tools", "",
        "--setting-sources", "",
        "--strict-mcp-config",
        "--disable-slash-commands",
        "--no-session-persistence",
        "--input-format", "stream-json",
        "--output-format", "stream-json",
        "--verbose",
    };
}

std::string ClaudeCodeProvider::mediaType(const std::filesystem::path& image) {
    std::string ext = image.extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    ext = platform::lowercased(ext);
    if (ext == "jpg" || ext == "jpeg") return "image/jpeg";
    if (ext == "gif") return "image/gif";
    if (ext == "webp") return "image/webp";
    return "image/png";
}

std::string ClaudeCodeProvider::input(const std::string& prompt,
                                      const std::optional<std::filesystem::path>& image) {
    Json content = Json::array();
    if (image) {
        try {
            std::string bytes = platform::FileManager::readFile(*image);
            content.push_back({{"type", "image"},
                               {"source", {{"type", "base64"}, {"media_type", mediaType(*image)},
                                           {"data", platform::base64Encoded(bytes)}}}});
        } catch (const platform::Error&) {
            // A screenshot that is gone is left out; the text still goes.
        }
    }
    content.push_back({{"type", "text"}, {"text", prompt}});
    Json message = {{"type", "user"}, {"message", {{"role", "user"}, {"content", content}}}};
    // Text that is not UTF-8 is sent with replacement characters rather than refused.
    return message.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::optional<ClaudeCodeProvider::Outcome> ClaudeCodeProvider::result(const std::string& log) {
    auto lines = LogPhrases::nonEmptyLines(log);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (it->front() != '{') continue;
        Json event = Json::parse(*it, nullptr, false);
        if (event.is_discarded() || !event.is_object()) continue;
        auto type = event.find("type");
        if (type == event.end() || !type->is_string() || type->get<std::string>() != "result") continue;

        std::string text;
        if (auto r = event.find("result"); r != event.end() && r->is_string()) text = r->get<std::string>();
        auto isError = event.find("is_error");
        if (isError != event.end() && isError->is_boolean() && isError->get<bool>()) {
            if (!text.empty()) return Outcome::error(text);
            if (auto sub = event.find("subtype"); sub != event.end() && sub->is_string()) {
                return Outcome::error(sub->get<std::string>());
            }
            return Outcome::error("error");
        }
        return Outcome::ok(text);
    }
    return std::nullopt;
}

ClaudeCodeProvider::ClaudeError ClaudeCodeProvider::classify(const std::string& log, int32_t exitCode) {
    const std::string lower = platform::lowercased(log);
    if (LogPhrases::containsAny(lower, {"not logged in", "/login", "failed to authenticate", "oauth", "401", "invalid api key"})) {
        return ClaudeError::notLoggedIn();
    }
    if (LogPhrases::containsAny(lower, {"usage limit", "rate limit", "rate_limit", "429", "limit reached"})) {
        return ClaudeError::quotaExceeded();
    }
    auto lines = LogPhrases::nonEmptyLines(log);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (it->front() == '{') continue;
        if (it->find_first_not_of(" \t") == std::string::npos) continue;
        return ClaudeError::failed(ToolOutput::prefixCharacters(*it, 300));
    }
    if (exitCode != 0) return ClaudeError::failed("código de salida " + platform::formatInteger(exitCode));
    return ClaudeError::failed("sin respuesta");
}

std::string ClaudeCodeProvider::generate(const GenerationRequest& request, std::stop_token stop) const {
    const auto& config = configuration_;
    if (!ToolOutput::isExecutableFile(config.executable)) {
        throw ClaudeError::notInstalled(config.executable.string());
    }

    RequestFolder folder("parlox-");
    const auto logFile = folder / "claude.log";
    try {
        platform::FileManager::writeNewFile(logFile, "", 0600);
    } catch (const platform::Error&) {
        // The runner reports a log it cannot open.
    }
    const std::string stdinData = input(PromptBuilder::userPrompt(request), request.screenshot);
    const auto status = ProcessRunner::run(config.executable, arguments(config), stdinData, logFile,
                                           folder.path(), config.timeout, stop);
    bool repaired = false;
    const std::string log = ToolOutput::readLog(logFile, &repaired);

    if (status.timedOut) throw ClaudeError::timedOut(config.timeout);

    auto outcome = result(log);
    if (!outcome) throw classify(log, status.exitCode);
    if (outcome->isError) throw classify(outcome->text, status.exitCode);
    // Bytes that were not UTF-8 would reach the user as replacement marks.
    if (repaired && outcome->text.find("\uFFFD") != std::string::npos) {
        throw ClaudeError::failed("la respuesta no es texto UTF-8 válido");
    }
    std::string cleaned = ResponseCleaner::clean(outcome->text);
    if (cleaned.empty()) throw ClaudeError::emptyResponse();
    return cleaned;
}

double ClaudeCodeProvider::check(std::stop_token stop) const { return SelfCheck::seconds(*this, stop); }

}  // namespace ParloxCore
