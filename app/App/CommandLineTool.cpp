#include "app/App/CommandLineTool.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/Debug/OverlaySnapshots.hpp"
#include "app/Debug/Snapshot.hpp"
#include "app/Debug/WindowRenderer.hpp"
#include "app/Support/SettingsStore.hpp"
#include "app/Support/WriterProvider.hpp"
#include "platform/concurrency/MainQueue.hpp"
#include "platform/concurrency/MainRunLoop.hpp"
#include "platform/concurrency/Task.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/foundation/NumberFormat.hpp"
#include "platform/foundation/Trim.hpp"
#include "platform/foundation/UserDefaults.hpp"
#include "platform/process/TerminationSignals.hpp"

namespace Parlox {
namespace {

std::vector<std::string>& storedArguments() {
    static std::vector<std::string> arguments;
    return arguments;
}

void printLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

std::string messageOf(const std::exception& error) {
    if (auto* e = dynamic_cast<const platform::Error*>(&error)) return e->localizedDescription();
    return error.what();
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The renderers draw with the GUI toolkit, so they run on the main thread.
bool isRenderer(const std::vector<std::string>& args) {
    return args.size() >= 3 && (args[1] == "--render-overlay" || args[1] == "--render-windows");
}

// A renderer's failure is printed in its plain form.
int render(const std::function<void()>& renderer, const CommandLineTool::Print& print) {
    try {
        RenderingSession session;
        renderer();
        return 0;
    } catch (const platform::Error& error) {
        print(error.description());
    } catch (const std::exception& error) {
        print(error.what());
    }
    return 1;
}

}  // namespace

const std::vector<std::string>& CommandLineTool::arguments() { return storedArguments(); }

void CommandLineTool::setArguments(std::vector<std::string> arguments) { storedArguments() = std::move(arguments); }

bool CommandLineTool::isCommandLine(const std::vector<std::string>& arguments) {
    return !arguments.empty() && !startsWith(arguments[0], "--demo") && !startsWith(arguments[0], "--show");
}

const std::vector<std::string>& CommandLineTool::usageLines() {
    static const std::vector<std::string> lines = {
        "Uso: parlox --transcribe fichero.wav [fichero2 \u2026]",
        "     parlox --generate \"instrucci\u00F3n\" [\"texto base\"]",
    };
    return lines;
}

double CommandLineTool::timeoutSetting() {
    return WriterProvider::usableTimeout(platform::UserDefaults::standard().doubleValue("timeout", 0));
}

int CommandLineTool::execute(const std::vector<std::string>& args, const Print& print, std::stop_token stop) {
    const std::string command = args.size() > 1 ? args[1] : std::string();
    if (command == "--render-overlay" && args.size() >= 3) {
        return render([&] { OverlaySnapshots::render(args[2], print); }, print);
    }
    if (command == "--render-windows" && args.size() >= 3) {
        return render([&] { WindowRenderer::render(args[2], print); }, print);
    }
    if (command == "--generate" && args.size() >= 3) {
        return generate(args[2], args.size() >= 4 ? std::optional<std::string>(args[3]) : std::nullopt, std::nullopt,
                        print, stop);
    }
    if (command == "--iterate" && args.size() >= 6) {
        return generate(args[5], args[4], ParloxCore::Iteration{args[2], args[3], args[4]}, print, stop);
    }
    if (command == "--transcribe" && args.size() >= 3) return transcribe({args.begin() + 2, args.end()}, print, stop);
    for (const auto& line : usageLines()) print(line);
    return 2;
}

int CommandLineTool::generate(const std::string& instruction, const std::optional<std::string>& base,
                              const std::optional<ParloxCore::Iteration>& previous, const Print& print,
                              std::stop_token stop) {
    // An empty instruction would only spend a request on the tool.
    if (platform::trimmingWhitespaceAndNewlines(instruction).empty()) {
        print("La instrucción está vacía: indica qué quieres que escriba.");
        return 1;
    }
    print(WriterProvider::describeCurrent());

    const WriterProvider choice = WriterProvider::stored();
    std::unique_ptr<ParloxCore::LLMProvider> writer;
    try {
        writer = WriterProvider::current(choice, timeoutSetting());
    } catch (const std::exception& error) {
        print(messageOf(error));
        return 1;
    }

    ParloxCore::GenerationRequest request{
        .instruction = instruction,
        .baseText = base,
        .appName = "Terminal",
        .personalInstructions = SettingsStore::personalInstructions(),
        .previous = previous,
    };
    const auto start = std::chrono::steady_clock::now();
    auto elapsed = [&] {
        return platform::formatFixed(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1);
    };
    if (stop.stop_requested()) return 1;
    try {
        std::string text = writer->generate(request, stop);
        if (stop.stop_requested()) return 1;
        print(elapsed() + " s");
        print(text);
        return 0;
    } catch (const std::exception& error) {
        if (!stop.stop_requested()) print(elapsed() + " s \u00B7 " + messageOf(error));
        return 1;
    }
}

void CommandLineTool::run(const std::vector<std::string>& args) {
    if (isRenderer(args)) {
        const int status = execute(args, printLine);
        std::fflush(stdout);
        std::exit(status);
    }
    // The request runs on a worker while the main thread keeps its queue
    // turning, so main-queue work of the code it calls still runs.
    int status = 2;
    {
        // A signal stops the request: its tool (in a process group of its
        // own, out of reach of the terminal's Ctrl+C) is ended and its folder
        // removed before we exit.
        std::stop_source stop;
        platform::process::TerminationSignals signals([&stop](int) { stop.request_stop(); });
        auto task = platform::Task::runOnThread([&] {
            try {
                status = execute(args, printLine, stop.get_token());
            } catch (const std::exception& error) {
                if (!stop.stop_requested()) printLine(messageOf(error));
                status = 1;
            } catch (...) {
                status = 1;
            }
            platform::MainQueue::post([] { platform::MainRunLoop::quitMain(); });
        });
        platform::MainRunLoop::runMain();
        task.wait();
        if (auto signal = signals.received()) status = platform::process::TerminationSignals::exitStatus(*signal);
    }
    std::fflush(stdout);
    std::exit(status);
}

}  // namespace Parlox
