#include "platform/desktop/ClipboardOwnerProcess.hpp"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/desktop/DesktopError.hpp"
#include "platform/process/CleanSpawn.hpp"
#include "platform/process/Subprocess.hpp"

extern char** environ;

namespace platform::desktop {

namespace {

using Clock = std::chrono::steady_clock;

bool writeAll(int fd, const std::string& data) {
    size_t at = 0;
    while (at < data.size()) {
        const ssize_t n = ::write(fd, data.data() + at, data.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

Pipe helperPipe() {
    auto pipe = openPipe();
    if (!pipe) throw DesktopError(DesktopError::Kind::failed, std::strerror(errno));
    return std::move(*pipe);
}

// The helper ends on its own; a thread per helper collects its exit status.
void reapLater(int pid) {
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

}  // namespace

std::filesystem::path ClipboardOwnerProcess::executable() {
    if (const char* env = std::getenv("PARLOX_CLIPBOARD_OWNER"); env != nullptr && *env != '\0') return env;
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const auto beside = self.parent_path() / "parlox-clipboard-owner";
        if (std::filesystem::exists(beside, ec)) return beside;
    }
#ifdef PARLOX_CLIPBOARD_OWNER_PATH
    return PARLOX_CLIPBOARD_OWNER_PATH;
#else
    return "parlox-clipboard-owner";
#endif
}

std::unique_ptr<ClipboardOwnerProcess> ClipboardOwnerProcess::start(const std::vector<SelectionData>& forms,
                                                                    const std::string& selection,
                                                                    unsigned long notTakenAfter) {
    // A helper that has ended must not take us with it when we write to it.
    process::ignoreSigpipe();
    Pipe in = helperPipe(), out = helperPipe();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.readEnd.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.writeEnd.get(), STDOUT_FILENO);
    // The helper outlives us: it keeps none of our files (a lock, a pipe
    // someone waits on) and none of our blocked or ignored signals.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    process::spawnClean(actions, attributes);
    const std::string path = executable().string();
    const std::string time = std::to_string(notTakenAfter);
    char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(selection.c_str()),
                    notTakenAfter != 0 ? const_cast<char*>(time.c_str()) : nullptr, nullptr};
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, path.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    in.readEnd.reset();
    out.writeEnd.reset();
    if (rc != 0) {
        throw DesktopError(DesktopError::Kind::failed, path + ": " + std::strerror(rc));
    }
    reapLater(pid);
    std::unique_ptr<ClipboardOwnerProcess> helper(new ClipboardOwnerProcess(pid, std::move(in.writeEnd), std::move(out.readEnd)));
    if (!writeAll(helper->input_.get(), encodeForms(forms)))
        throw DesktopError(DesktopError::Kind::failed, "the helper did not take its input");
    // Right after a transcription the machine can be busy for many seconds
    // (a give-back has been seen to need more than ten): a helper slow to
    // start still takes the text, and only one that never answers loses it.
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (Clock::now() < deadline && !helper->ended_ && !helper->owned_ && !helper->refused_ &&
           helper->failure_.empty())
        helper->pump(std::chrono::milliseconds(50));
    if (helper->refused_) throw DesktopError(DesktopError::Kind::refused, "another program holds " + selection);
    if (!helper->owned_) {
        const std::string why = helper->failure_.empty() ? "no answer" : helper->failure_;
        helper->quit();
        throw DesktopError(DesktopError::Kind::failed, why);
    }
    return helper;
}

ClipboardOwnerProcess::~ClipboardOwnerProcess() = default;

bool ClipboardOwnerProcess::pump(std::chrono::milliseconds wait) {
    if (ended_) return false;
    pollfd fd{output_.get(), POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(wait.count())) <= 0) return false;
    char chunk[512];
    const ssize_t n = ::read(output_.get(), chunk, sizeof chunk);
    if (n <= 0) {
        ended_ = true;
        return false;
    }
    buffer_.append(chunk, static_cast<size_t>(n));
    size_t newline;
    while ((newline = buffer_.find('\n')) != std::string::npos) {
        const std::string line = buffer_.substr(0, newline);
        buffer_.erase(0, newline + 1);
        if (line == "LOST") {
            lost_ = true;
        } else if (line == "OWNED") {
            owned_ = true;
        } else if (line == "REFUSED") {
            refused_ = true;
        } else if (line.rfind("FAILED", 0) == 0) {
            failure_ = line;
        } else if (line == "MARK") {
            // The reads reported before it were made before the paste key.
            takers_.clear();
            marked_ = true;
        } else if (line == "TAKEN") {
            takers_.push_back(std::nullopt);
        } else if (line.rfind("TAKEN ", 0) == 0) {
            takers_.push_back(std::atoi(line.c_str() + 6));
        }
    }
    return true;
}

void ClipboardOwnerProcess::takeReports() {
    while (pump(std::chrono::milliseconds(0))) {
    }
}

bool ClipboardOwnerProcess::stillOwner() {
    takeReports();
    return !lost_ && !ended_;
}

bool ClipboardOwnerProcess::takenBy(int pid) {
    takeReports();
    for (const auto& taker : takers_)
        if (!taker || *taker == pid) return true;
    return false;
}

void ClipboardOwnerProcess::markPasteKey() {
    takeReports();
    takers_.clear();
    marked_ = false;
    if (lost_ || ended_ || !writeAll(input_.get(), "MARK\n")) return;
    // The helper's answer comes after the reads still on their way, which
    // would otherwise count once they are reported.
    const auto deadline = Clock::now() + std::chrono::seconds(1);
    while (!marked_ && !ended_ && Clock::now() < deadline) pump(std::chrono::milliseconds(50));
}

void ClipboardOwnerProcess::quit() {
    writeAll(input_.get(), "QUIT\n");
    ended_ = true;
}

}  // namespace platform::desktop
