#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/accessibility/AtspiClient.hpp"
#include "tests/support/ReadFile.hpp"
#include "tests/support/TemporaryFolder.hpp"

extern char** environ;

namespace parlox::testing {

// Whether the test runs inside the headless desktop of tests/desktop/session.sh.
inline bool insideDesktopSession() { return std::getenv("PARLOX_DESKTOP_WORK") != nullptr; }

// A text field program (tests/fixtures/desktop) running on the test desktop,
// ended when the object goes. What the field holds is read from the
// program's own report, apart from the accessibility layer.
class TextFieldProgram {
public:
    enum class Toolkit { qt, gtk };
    struct Options {
        Toolkit toolkit = Toolkit::qt;
        std::string name;
        std::string text;
        // In the toolkit's own units.
        int selectStart = -1;
        int selectLength = 0;
        bool password = false;
        bool readOnly = false;
    };

    explicit TextFieldProgram(const Options& options) : report_(folder_ / "field.txt") {
        std::vector<std::string> args;
        if (options.toolkit == Toolkit::qt) {
            args.push_back(PARLOX_FIXTURE_QT_FIELD);
        } else {
            args.push_back("/usr/bin/python3");
            args.push_back(PARLOX_SOURCE_DIR "/tests/fixtures/desktop/gtk_text_field.py");
        }
        const std::string name = options.name.empty()
                                     ? (options.toolkit == Toolkit::qt ? "campo-qt" : "campo-gtk")
                                     : options.name;
        args.insert(args.end(), {"--name", name, "--text", options.text, "--report", report_.string()});
        if (options.selectStart >= 0)
            args.insert(args.end(), {"--select", std::to_string(options.selectStart),
                                     std::to_string(options.selectLength)});
        if (options.password) args.push_back("--password");
        if (options.readOnly) args.push_back("--readonly");
        start(args);
    }

    ~TextFieldProgram() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            for (int i = 0; i < 200 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (::waitpid(pid_, &status, WNOHANG) == 0) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
            }
        }
        if (output_ >= 0) ::close(output_);
    }

    int pid() const { return pid_; }

    // The field's text and selected text as the program itself sees them.
    std::pair<std::string, std::string> field() const {
        const std::string all = readFile(report_);
        const auto newline = all.find('\n');
        if (newline == std::string::npos) return {};
        const auto second = all.find('\n', newline + 1);
        return {all.substr(0, newline), all.substr(newline + 1, second == std::string::npos ? std::string::npos
                                                                                            : second - newline - 1)};
    }

    // Waits until the field holds `text` with `selected` selected.
    bool waitForField(const std::string& text, const std::string& selected,
                      std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) const {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            if (field() == std::make_pair(text, selected)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

private:
    void start(const std::vector<std::string>& args) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        output_ = out[0];
        if (rc != 0) throw std::runtime_error("cannot start " + args[0]);
        // First the program's own word that its field has the focus...
        std::string said;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (said.find("READY") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd fd{output_, POLLIN, 0};
            if (::poll(&fd, 1, 100) <= 0) continue;
            char buffer[256];
            const ssize_t n = ::read(output_, buffer, sizeof buffer);
            if (n <= 0) break;
            said.append(buffer, static_cast<size_t>(n));
        }
        if (said.find("READY") == std::string::npos) throw std::runtime_error(args[0] + " did not get ready");
        // ...then its appearance on the accessibility bus.
        auto& client = platform::accessibility::AtspiClient::shared();
        while (std::chrono::steady_clock::now() < deadline) {
            for (int p : client.applications())
                if (p == pid_) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
        throw std::runtime_error(args[0] + " did not appear on the accessibility bus");
    }

    TemporaryFolder folder_{"parlox-field-"};
    std::filesystem::path report_;
    pid_t pid_ = -1;
    int output_ = -1;
};

}  // namespace parlox::testing
