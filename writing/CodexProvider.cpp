#include "writing/CodexProvider.hpp"

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

const std::string CodexProvider::defaultModel = "gpt-5.6-luna";

namespace {

const char* const notUtf8Message = "la respuesta no es texto UTF-8 válido";

}  // namespace

const ToolErrorTexts CodexProvider::CodexError::texts = {
    "No encuentro Codex en ",
    ". Instálalo desde Ajustes › Redacción o pon su ruta en «codexPath» (defaults.json).",
    "Codex no respondió en ",
    "Codex falló: ",
    "Codex no tiene sesión. Ejecuta «codex login» en un terminal.",
    "Se ha agotado el uso de Codex del plan de ChatGPT por ahora.",
    "Codex devolvió una respuesta vacía.",
};

std::vector<std::string> CodexProvider::arguments(const Configuration& configuration,
                                                  const std::filesystem::path& instructionsFile,
                                                  const std::filesystem::path& outputFile,
                                                  const std::filesystem::path& workDir,
                                                  const std::vector<std::filesystem::path>& images) {
    std::vector<std::string> args = {
        "exec",
        "--skip-git-repo-check",
        "--ephemeral",
        "--ignore-user-config",
        "--ignore-rules",
        "--color", "never",
        "-s", "read-only",
        "-C", workDir.string(),
        "-m", configuration.model,
        "-c", "model_reasoning_effort=\"" + configuration.reasoningEffort + "\"",
        "-c", "model_instructions_file=\"" + instructionsFile.string() + "\"",
        "-c", "web_search=\"disabled\"",
    };
    for (const char* feature : {"shell_tool", "apps", "plugins", "image_generation", "browser_use", "computer_use",
                                "view_image", "sleep_tool", "skill_search", "tool_suggest", "goals"}) {
        args.push_back("--disable");
        args.push_back(feature);
    }
    for (const auto& image : images) {
        args.push_back("-i");
        args.push_back(image.string());
    }
    args.push_back("-o");
    args.push_back(outputFile.string());
    args.push_back("-");
    return args;
}

CodexProvider::CodexError CodexProvider::classify(const std::string& log, int32_t exitCode) {
    const std::string lower = platform::lowercased(log);
    if (LogPhrases::containsAny(lower, {"not logged in", "codex login", "401", "unauthorized"})) return CodexError::notLoggedIn();
    if (LogPhrases::containsAny(lower, {"usage limit", "rate limit", "429", "quota"})) return CodexError::quotaExceeded();

    auto lines = LogPhrases::nonEmptyLines(log);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (it->find("ERROR") != std::string::npos ||
            platform::lowercased(*it).find("error:") != std::string::npos) {
            return CodexError::failed(ToolOutput::prefixCharacters(*it, 300));
        }
    }
    if (exitCode != 0) return CodexError::failed("código de salida " + platform::formatInteger(exitCode));
    return CodexError::failed("");
}

std::string CodexProvider::generate(const GenerationRequest& request, std::stop_token stop) const {
    const auto& config = configuration_;
    if (!ToolOutput::isExecutableFile(config.executable)) {
        throw CodexError::notInstalled(config.executable.string());
    }

    RequestFolder folder("parlox-");
    const auto instructions = folder / "instructions.md";
    const auto lastMessage = folder / "last-message.txt";
    const auto logFile = folder / "codex.log";
    platform::FileManager::writeAtomically(instructions, PromptBuilder::systemInstructions, 0600);
    try {
        platform::FileManager::writeNewFile(logFile, "", 0600);
    } catch (const platform::Error&) {
        // The runner reports a log it cannot open.
    }

    const std::string prompt = PromptBuilder::userPrompt(request);
    std::vector<std::filesystem::path> images;
    if (request.screenshot) images.push_back(*request.screenshot);
    const auto args = arguments(config, instructions, lastMessage, folder.path(), images);

    const auto status =
        ProcessRunner::run(config.executable, args, prompt, logFile, folder.path(), config.timeout, stop);
    const std::string log = ToolOutput::readLog(logFile);

    if (status.timedOut) throw CodexError::timedOut(config.timeout);
    if (status.exitCode != 0) throw classify(log, status.exitCode);

    // An answer in another encoding is reported as such, not as an empty one.
    auto answer = ToolOutput::readText(lastMessage);
    if (!answer) throw CodexError::failed(notUtf8Message);
    std::string cleaned = ResponseCleaner::clean(*answer);
    if (!cleaned.empty()) return cleaned;

    CodexError error = classify(log, 0);
    if (error.kind() == CodexError::Kind::failed && error.text().empty()) throw CodexError::emptyResponse();
    throw error;
}

double CodexProvider::check(std::stop_token stop) const { return SelfCheck::seconds(*this, stop); }

}  // namespace ParloxCore
