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

TEST(Terminal, OpensTheScriptInTheTerminalFoundOnThePath) {
    std::string pattern = (fs::temp_directory_path() / "terminal-test-XXXXXX").string();
    fs::path dir = ::mkdtemp(pattern.data());
    const char* oldPath = ::getenv("PATH");
    std::string saved = oldPath ? oldPath : "";

    ::setenv("PATH", dir.c_str(), 1);
    EXPECT_FALSE(terminalEmulator());
    EXPECT_THROW(openInTerminal(dir / "script.sh"), ProcessError);

    auto record = dir / "args";
    {
        std::ofstream(dir / "xterm") << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << record.string() << "'\n";
    }
    fs::permissions(dir / "xterm", fs::perms::owner_all);
    EXPECT_EQ(terminalEmulator(), dir / "xterm");
    openInTerminal(dir / "script.sh");
    for (int i = 0; i < 150 && !fs::exists(record); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::ifstream in(record);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "-e\n" + (dir / "script.sh").string() + "\n");

    ::setenv("PATH", saved.c_str(), 1);
    fs::remove_all(dir);
}
