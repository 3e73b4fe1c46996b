#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/process/ProcessError.hpp"
#include "platform/process/Terminal.hpp"

namespace fs = std::filesystem;
using namespace platform::process;

namespace {

// A private folder standing as the whole PATH for one test; both go at the end.
class PathSandbox {
public:
    PathSandbox() {
        std::string pattern = (fs::temp_directory_path() / "terminal-test-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
        if (const char* old = ::getenv("PATH")) saved_ = old;
        ::setenv("PATH", dir_.c_str(), 1);
    }
    ~PathSandbox() {
        if (saved_) {
            ::setenv("PATH", saved_->c_str(), 1);
        } else {
            ::unsetenv("PATH");
        }
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    const fs::path& dir() const { return dir_; }

private:
    fs::path dir_;
    std::optional<std::string> saved_;
};

std::string readAll(const fs::path& file) {
    std::ifstream in(file);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

}  // namespace

TEST(Terminal, OpensTheScriptInTheTerminalFoundOnThePath) {
    PathSandbox path;
    const fs::path& dir = path.dir();
    EXPECT_FALSE(terminalEmulator());
    EXPECT_THROW(openInTerminal(dir / "script.sh"), ProcessError);

    auto record = dir / "args";
    {
        // Written under another name and moved, so the record appears whole.
        std::ofstream(dir / "xterm") << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << record.string()
                                     << ".part' && /bin/mv '" << record.string() << ".part' '" << record.string()
                                     << "'\n";
    }
    fs::permissions(dir / "xterm", fs::perms::owner_all);
    EXPECT_EQ(terminalEmulator(), dir / "xterm");
    openInTerminal(dir / "script.sh");
    // The terminal runs on its own; give it time on a loaded machine.
    for (int i = 0; i < 500 && !fs::exists(record); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(readAll(record), "-e\n" + (dir / "script.sh").string() + "\n");
}
