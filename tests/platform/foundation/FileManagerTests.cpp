#include "platform/foundation/FileManager.hpp"

#include <fstream>
#include <set>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/ReadFile.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace {

using parlox::testing::readFile;
using parlox::testing::TemporaryFolder;

using platform::FileError;
using platform::FileManager;
namespace fs = std::filesystem;

mode_t modeOf(const fs::path& path) {
    struct stat info{};
    if (::lstat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

TEST(FileManager, PrivateTemporaryFoldersAreNewAndClosed) {
    TemporaryFolder root;
    std::set<fs::path> made;
    for (int i = 0; i < 20; ++i) {
        fs::path folder = FileManager::makePrivateTemporaryDirectory("parlox-req-", root.path());
        EXPECT_EQ(folder.parent_path(), root.path());
        EXPECT_EQ(folder.filename().string().rfind("parlox-req-", 0), 0u);
        EXPECT_EQ(modeOf(folder), 0700u);
        EXPECT_TRUE(made.insert(folder).second);
    }
    // Owner bits even under a umask that would take them away.
    const mode_t previous = ::umask(0277);
    const fs::path tight = FileManager::makePrivateTemporaryDirectory("tight-", root.path());
    ::umask(previous);
    EXPECT_EQ(modeOf(tight), 0700u);
    EXPECT_THROW(FileManager::makePrivateTemporaryDirectory("x", root / "missing"), FileError);
    EXPECT_THROW(FileManager::makePrivateTemporaryDirectory("a/b", root.path()), FileError);
}

TEST(FileManager, PrivateTemporaryFolderDefaultsToTheRuntimeArea) {
    TemporaryFolder runtime;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    std::string saved = old ? old : "";
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    fs::path folder = FileManager::makePrivateTemporaryDirectory("parlox-");
    if (old) ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(folder.parent_path(), runtime.path());
}

TEST(FileManager, PrivateDirectoryRefusesAPlantedLink) {
    TemporaryFolder root;
    fs::create_directory(root / "elsewhere");
    fs::create_directory_symlink(root / "elsewhere", root / "planted");
    try {
        FileManager::createPrivateDirectory(root / "planted");
        FAIL() << "followed the link";
    } catch (const FileError& error) {
        EXPECT_EQ(error.errorNumber(), ELOOP);
        EXPECT_NE(error.description().find("planted"), std::string::npos);
    }
    ::chmod((root / "elsewhere").c_str(), 0755);
    EXPECT_THROW(FileManager::createPrivateDirectory(root / "planted"), FileError);
    EXPECT_EQ(modeOf(root / "elsewhere"), 0755u);  // the link's target was not touched

    std::ofstream(root / "file") << "x";
    EXPECT_THROW(FileManager::createPrivateDirectory(root / "file"), FileError);
}

TEST(FileManager, PrivateDirectoryCreatesOrTightens) {
    TemporaryFolder root;
    FileManager::createPrivateDirectory(root / "a/b/c");
    EXPECT_EQ(modeOf(root / "a/b/c"), 0700u);
    EXPECT_EQ(modeOf(root / "a"), 0700u);
    ::chmod((root / "a/b/c").c_str(), 0777);
    FileManager::createPrivateDirectory(root / "a/b/c");
    EXPECT_EQ(modeOf(root / "a/b/c"), 0700u);
}

TEST(FileManager, AtomicWriteReplacesWholeFileWithItsMode) {
    TemporaryFolder root;
    const fs::path file = root / "out.json";
    FileManager::writeAtomically(file, "first", 0600);
    EXPECT_EQ(readFile(file), "first");
    EXPECT_EQ(modeOf(file), 0600u);
    FileManager::writeAtomically(file, "second", 0644);
    EXPECT_EQ(readFile(file), "second");
    EXPECT_EQ(modeOf(file), 0644u);
    size_t entries = 0;
    for (auto it = fs::directory_iterator(root.path()); it != fs::directory_iterator(); ++it) ++entries;
    EXPECT_EQ(entries, 1u);
    EXPECT_THROW(FileManager::writeAtomically(root / "missing/out", "x"), FileError);
}

TEST(FileManager, AtomicWriteReplacesALinkInsteadOfFollowingIt) {
    TemporaryFolder root;
    std::ofstream(root / "victim") << "keep";
    fs::create_symlink(root / "victim", root / "link");
    FileManager::writeAtomically(root / "link", "new");
    EXPECT_EQ(readFile(root / "victim"), "keep");
    EXPECT_FALSE(fs::is_symlink(root / "link"));
    EXPECT_EQ(readFile(root / "link"), "new");
}

TEST(FileManager, NewFileRefusesAnythingAlreadyThere) {
    TemporaryFolder root;
    FileManager::writeNewFile(root / "script.sh", "#!/bin/sh\n");
    EXPECT_EQ(modeOf(root / "script.sh"), 0600u);
    std::ofstream(root / "victim") << "keep";
    fs::create_symlink(root / "victim", root / "link");
    fs::create_symlink(root / "nowhere", root / "dangling");
    for (const char* name : {"script.sh", "link", "dangling"}) {
        try {
            FileManager::writeNewFile(root / name, "evil");
            FAIL() << name;
        } catch (const FileError& error) {
            EXPECT_EQ(error.errorNumber(), EEXIST) << name;
        }
    }
    EXPECT_EQ(readFile(root / "victim"), "keep");
    EXPECT_FALSE(fs::exists(root / "nowhere"));
}

TEST(FileManager, AppendReadRemoveAndQuestions) {
    TemporaryFolder root;
    const fs::path log = root / "Parlox.log";
    FileManager::append(log, "one\n");
    FileManager::append(log, "two\n");
    EXPECT_EQ(FileManager::readFile(log), "one\ntwo\n");
    EXPECT_THROW(FileManager::readFile(root / "missing"), FileError);

    EXPECT_TRUE(FileManager::fileExists(log));
    EXPECT_TRUE(FileManager::isRegularFile(log));
    EXPECT_FALSE(FileManager::isDirectory(log));
    EXPECT_FALSE(FileManager::isExecutableFile(log));
    ::chmod(log.c_str(), 0755);
    EXPECT_TRUE(FileManager::isExecutableFile(log));
    EXPECT_FALSE(FileManager::isExecutableFile(root.path()));
    EXPECT_FALSE(FileManager::fileExists(root / "missing"));

    fs::create_directories(root / "tree/a/b");
    std::ofstream(root / "tree/a/b/f") << "x";
    fs::create_directory(root / "outside");
    std::ofstream(root / "outside/keep") << "x";
    fs::create_directory_symlink(root / "outside", root / "tree/link");
    EXPECT_TRUE(FileManager::removeItem(root / "tree"));
    EXPECT_FALSE(fs::exists(root / "tree"));
    EXPECT_TRUE(fs::exists(root / "outside/keep"));
    EXPECT_FALSE(FileManager::removeItem(root / "tree"));
}

}  // namespace
