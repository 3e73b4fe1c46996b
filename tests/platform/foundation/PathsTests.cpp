#include "platform/foundation/Paths.hpp"

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include <pwd.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/TemporaryFolder.hpp"

namespace {

using parlox::testing::TemporaryFolder;

using platform::Paths;
namespace fs = std::filesystem;

// Sets or clears variables for one test and puts the old values back.
class Environment : public ::testing::Test {
protected:
    void set(const char* name, const std::string& value) {
        remember(name);
        ::setenv(name, value.c_str(), 1);
    }
    void clear(const char* name) {
        remember(name);
        ::unsetenv(name);
    }
    void TearDown() override {
        for (auto& [name, value] : saved_) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
    }

private:
    void remember(const char* name) {
        if (saved_.count(name)) return;
        const char* value = std::getenv(name);
        saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
    }
    std::map<std::string, std::optional<std::string>> saved_;
};

class PathsTest : public Environment {
protected:
    void SetUp() override {
        set("HOME", home_.path().string());
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME",
                                 "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "TMPDIR"})
            clear(name);
    }
    TemporaryFolder home_;
};

TEST_F(PathsTest, UnderHomeWhenNoXdgVariableIsSet) {
    const fs::path home = home_.path();
    EXPECT_EQ(Paths::home(), home);
    EXPECT_EQ(Paths::configDirectory(), home / ".config/Parlox");
    EXPECT_EQ(Paths::defaultsFile(), home / ".config/Parlox/defaults.json");
    EXPECT_EQ(Paths::applicationSupportDirectory(), home / ".local/share/Parlox");
    EXPECT_EQ(Paths::logsDirectory(), home / ".local/state/Parlox/Logs");
    EXPECT_EQ(Paths::cachesDirectory(), home / ".cache/Parlox");
    EXPECT_EQ(Paths::documentsDirectory(), home / "Documents");
    EXPECT_EQ(Paths::temporaryDirectory(), fs::path("/tmp"));
    // Nothing was created.
    EXPECT_TRUE(fs::is_empty(home));
}

TEST_F(PathsTest, XdgVariablesWin) {
    set("XDG_CONFIG_HOME", "/x/config");
    set("XDG_DATA_HOME", "/x/data");
    set("XDG_STATE_HOME", "/x/state");
    set("XDG_CACHE_HOME", "/x/cache");
    set("XDG_RUNTIME_DIR", "/run/user/4242");
    set("TMPDIR", "/x/tmp");
    EXPECT_EQ(Paths::configDirectory(), fs::path("/x/config/Parlox"));
    EXPECT_EQ(Paths::applicationSupportDirectory(), fs::path("/x/data/Parlox"));
    EXPECT_EQ(Paths::logsDirectory(), fs::path("/x/state/Parlox/Logs"));
    EXPECT_EQ(Paths::cachesDirectory(), fs::path("/x/cache/Parlox"));
    EXPECT_EQ(Paths::temporaryDirectory(), fs::path("/run/user/4242"));
    clear("XDG_RUNTIME_DIR");
    EXPECT_EQ(Paths::temporaryDirectory(), fs::path("/x/tmp"));
}

TEST_F(PathsTest, RelativeOrEmptyXdgValuesAreIgnored) {
    set("XDG_CONFIG_HOME", "relative/config");
    set("XDG_DATA_HOME", "");
    set("XDG_RUNTIME_DIR", "run");
    EXPECT_EQ(Paths::configDirectory(), home_.path() / ".config/Parlox");
    EXPECT_EQ(Paths::applicationSupportDirectory(), home_.path() / ".local/share/Parlox");
    EXPECT_EQ(Paths::temporaryDirectory(), fs::path("/tmp"));
}

TEST_F(PathsTest, DocumentsFromUserDirs) {
    fs::create_directories(home_ / ".config");
    std::ofstream(home_ / ".config/user-dirs.dirs")
        << "# written by xdg-user-dirs-update\n"
        << "XDG_DESKTOP_DIR=\"$HOME/Escritorio\"\n"
        << "XDG_DOCUMENTS_DIR=\"$HOME/Documentos\"\n";
    EXPECT_EQ(Paths::documentsDirectory(), home_.path() / "Documentos");

    std::ofstream(home_ / ".config/user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n";
    EXPECT_EQ(Paths::documentsDirectory(), fs::path("/srv/docs"));

    // "$HOME/" means the folder is disabled: fall back.
    std::ofstream(home_ / ".config/user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/\"\n";
    EXPECT_EQ(Paths::documentsDirectory(), home_.path() / "Documents");
}

TEST_F(PathsTest, TildeExpandsAsTheShellDoes) {
    const passwd* me = ::getpwuid(::getuid());
    ASSERT_NE(me, nullptr);
    const std::string user = me->pw_name;
    const std::string userHome = me->pw_dir;
    const std::string home = home_.path().string();
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"~", home},
        {"~/bin/codex", home + "/bin/codex"},
        {"~" + user, userHome},
        {"~" + user + "/bin/codex", userHome + "/bin/codex"},
        {"~parlox-no-such-user/bin/codex", std::nullopt},
        {"~parlox-no-such-user", std::nullopt},
        {"/usr/bin/codex", "/usr/bin/codex"},
        {"bin/~/codex", "bin/~/codex"},
        {"", ""},
    };
    for (const auto& [path, expected] : cases) EXPECT_EQ(Paths::expandingTilde(path), expected) << path;
}

TEST_F(PathsTest, HomeFromThePasswordDatabaseWhenUnset) {
    clear("HOME");
    EXPECT_TRUE(Paths::home().is_absolute());
}

}  // namespace
