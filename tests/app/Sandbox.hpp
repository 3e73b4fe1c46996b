#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/TemporaryFolder.hpp"

namespace app_test {

// Gives the whole test process private state, runtime and config folders
// before the log, the screenshots or the defaults fix their places (they do
// so once per process). The exit handler removes the folder.
inline const std::filesystem::path& useSandbox() {
    static const parlox::testing::TemporaryFolder* root = [] {
        auto* folder = new parlox::testing::TemporaryFolder("parlox-app-test-");
        for (const char* name : {"XDG_STATE_HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
            const auto path = folder->path() / name;
            std::filesystem::create_directories(path);
            ::setenv(name, path.c_str(), 1);
        }
        // A runtime folder others may enter is refused or warned about.
        std::filesystem::permissions(folder->path() / "XDG_RUNTIME_DIR", std::filesystem::perms::owner_all);
        std::atexit([] { delete root; });
        return folder;
    }();
    return root->path();
}

}  // namespace app_test
