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
#include "tests/support/ReadFile.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace fs = std::filesystem;
using parlox::testing::readFile;
using namespace platform::process;

namespace {

// A private folder standing as the whole PATH for one test; both go at the end.
class PathSandbox {
public:
    PathSandbox() {
        if (const char* old = ::getenv("PATH")) saved_ = old;
        ::setenv("PATH", folder_.path().c_str(), 1);
    }
    ~PathSandbox() {
        if (saved_) {
            ::setenv("PATH", saved_->c_str(), 1);
        } else {
            ::unsetenv("PATH");
        }
    }
    const fs::path& dir() const { return folder_.path(); }

private:
    parlox::testing::TemporaryFolder folder_;
    std::optional<std::string> saved_;
};

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
    EXPECT_EQ(readFile(record), "-e\n" + (dir / "script.sh").string() + "\n");
}
