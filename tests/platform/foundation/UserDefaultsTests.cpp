#include "platform/foundation/JsonFileUserDefaults.hpp"
#include "platform/foundation/UserDefaults.hpp"
#include "platform/foundation/fake/InMemoryUserDefaults.hpp"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "tests/support/ReadFile.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace {

using parlox::testing::readFile;
using parlox::testing::TemporaryFolder;

using namespace platform;
using Json = nlohmann::json;
namespace fs = std::filesystem;

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// Both backends must behave the same through the base interface.
enum class Backend { file, memory };

class DefaultsContract : public ::testing::TestWithParam<Backend> {
protected:
    std::unique_ptr<UserDefaults> make() {
        if (GetParam() == Backend::file)
            return std::make_unique<JsonFileUserDefaults>(folder_ / "Parlox/defaults.json");
        return std::make_unique<InMemoryUserDefaults>();
    }
    TemporaryFolder folder_;
};

TEST_P(DefaultsContract, AbsentFalseAndStringStayApart) {
    auto defaults = make();
    defaults->set("GlobalKeyBindings_off", false);
    defaults->set("GlobalKeyBindings_on", R"({"carbonKeyCode":49,"carbonModifiers":2048})");

    EXPECT_FALSE(defaults->object("GlobalKeyBindings_none").has_value());
    EXPECT_EQ(defaults->object("GlobalKeyBindings_off"), Json(false));
    EXPECT_EQ(defaults->object("GlobalKeyBindings_on"),
              Json(R"({"carbonKeyCode":49,"carbonModifiers":2048})"));

    EXPECT_EQ(defaults->optionalBool("GlobalKeyBindings_off"), false);
    EXPECT_FALSE(defaults->optionalBool("GlobalKeyBindings_on").has_value());
    EXPECT_FALSE(defaults->optionalBool("GlobalKeyBindings_none").has_value());
    EXPECT_FALSE(defaults->string("GlobalKeyBindings_off").has_value());
    EXPECT_TRUE(defaults->string("GlobalKeyBindings_on").has_value());
    EXPECT_FALSE(defaults->string("GlobalKeyBindings_none").has_value());
}

struct ReadCase {
    const char* name;
    Json stored;  // null: key absent
    bool boolean;     // boolean(key, true)
    int64_t integer;  // integer(key, -1)
    double number;    // doubleValue(key, 6)
    std::optional<std::string> text;
};

const ReadCase kReads[] = {
    {"absent", nullptr, true, -1, 6, std::nullopt},
    {"false", false, false, 0, 0, std::nullopt},
    {"true", true, true, 1, 1, std::nullopt},
    {"zero", 0, false, 0, 0, "0"},
    {"double", 10.5, true, 10, 10.5, "10.5"},
    {"negative", -3.9, true, -3, -3.9, "-3.9"},
    {"numericString", "3", true, 3, 3, "3"},
    {"yesString", "YES", true, -1, 6, "YES"},
    {"noString", "no", false, -1, 6, "no"},
    {"otherString", "claude", true, -1, 6, "claude"},
    {"array", Json::array({1, 2}), true, -1, 6, std::nullopt},
    {"object", Json{{"a", 1}}, true, -1, 6, std::nullopt},
    {"huge", 1e300, true, -1, 1e300, "1e+300"},
};

TEST_P(DefaultsContract, TypedReadsFallBackForWhatTheyCannotRead) {
    for (const auto& c : kReads) {
        SCOPED_TRACE(c.name);
        auto defaults = make();
        if (!c.stored.is_null()) defaults->set("k", c.stored);
        EXPECT_EQ(defaults->boolean("k", true), c.boolean);
        EXPECT_EQ(defaults->integer("k", -1), c.integer);
        EXPECT_DOUBLE_EQ(defaults->doubleValue("k", 6), c.number);
        EXPECT_EQ(defaults->string("k"), c.text);
    }
}

TEST_P(DefaultsContract, RegisteredDefaultsAnswerOnlyForAbsentKeys) {
    auto defaults = make();
    defaults->registerDefaults({{"doneSeconds", 6.0}, {"soundsEnabled", true}});
    EXPECT_DOUBLE_EQ(defaults->doubleValue("doneSeconds"), 6.0);
    defaults->set("soundsEnabled", false);
    EXPECT_FALSE(defaults->boolean("soundsEnabled", true));
    defaults->remove("soundsEnabled");
    EXPECT_TRUE(defaults->boolean("soundsEnabled", false));
    auto all = defaults->dictionaryRepresentation();
    EXPECT_EQ(all["doneSeconds"], 6.0);
}

TEST_P(DefaultsContract, NullRemoves) {
    auto defaults = make();
    defaults->set("codexPath", "/usr/bin/x");
    defaults->set("codexPath", nullptr);
    EXPECT_FALSE(defaults->object("codexPath").has_value());
}

TEST_P(DefaultsContract, EachRealChangeIsAnnouncedOnce) {
    auto defaults = make();
    std::vector<std::string> one, all;
    auto watchOne = defaults->observe("doneSeconds", [&](const std::string& key) { one.push_back(key); });
    auto watchAll = defaults->observeAll([&](const std::string& key) { all.push_back(key); });

    defaults->set("doneSeconds", 3.0);
    defaults->set("doneSeconds", 3.0);   // unchanged
    defaults->set("doneSeconds", 3);     // the same number
    defaults->set("provider", "claude");
    defaults->remove("missing");         // nothing to remove
    defaults->remove("doneSeconds");
    defaults->remove("doneSeconds");

    EXPECT_EQ(one, (std::vector<std::string>{"doneSeconds", "doneSeconds"}));
    EXPECT_EQ(all, (std::vector<std::string>{"doneSeconds", "provider", "doneSeconds"}));

    watchOne.cancel();
    EXPECT_FALSE(watchOne.isActive());
    defaults->set("doneSeconds", 10.0);
    EXPECT_EQ(one.size(), 2u);
    EXPECT_EQ(all.size(), 4u);
}

TEST_P(DefaultsContract, ObserverSeesTheNewValueAndMayStopOthers) {
    auto defaults = make();
    std::optional<Json> seen;
    UserDefaults::Observation second;
    int secondCalls = 0;
    auto first = defaults->observe("k", [&](const std::string& key) {
        seen = defaults->object(key);
        second.cancel();  // stopped during the same announcement
    });
    second = defaults->observe("k", [&](const std::string&) { ++secondCalls; });
    defaults->set("k", "v");
    EXPECT_EQ(seen, Json("v"));
    EXPECT_EQ(secondCalls, 0);
}

TEST_P(DefaultsContract, DroppedObservationStopsAndOutlivingTheStoreIsSafe) {
    int calls = 0;
    UserDefaults::Observation kept;
    {
        auto defaults = make();
        {
            auto temporary = defaults->observe("k", [&](const std::string&) { ++calls; });
        }
        kept = defaults->observe("k", [&](const std::string&) { ++calls; });
        defaults->set("k", 1);
    }
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(kept.isActive());
    kept.cancel();
}

INSTANTIATE_TEST_SUITE_P(UserDefaults, DefaultsContract,
                         ::testing::Values(Backend::file, Backend::memory),
                         [](const auto& info) {
                             return std::string(info.param == Backend::file ? "file" : "memory");
                         });

// File backend

TEST(JsonFileUserDefaults, PersistsAcrossInstancesAsOneJsonObject) {
    TemporaryFolder folder;
    const fs::path file = folder / "config/Parlox/defaults.json";
    {
        JsonFileUserDefaults defaults(file);
        defaults.set("GlobalKeyBindings_toggleRecording",
                     R"({"carbonKeyCode":49,"carbonModifiers":2048})");
        defaults.set("GlobalKeyBindings_cancel", false);
        defaults.set("doneSeconds", 10.0);
        defaults.set("personalInstructions", "Escribe claro.\nSin emojis.");
    }
    JsonFileUserDefaults reopened(file);
    EXPECT_EQ(reopened.object("GlobalKeyBindings_cancel"), Json(false));
    EXPECT_EQ(reopened.string("GlobalKeyBindings_toggleRecording"),
              R"({"carbonKeyCode":49,"carbonModifiers":2048})");
    EXPECT_DOUBLE_EQ(reopened.doubleValue("doneSeconds"), 10.0);
    EXPECT_EQ(reopened.string("personalInstructions"), "Escribe claro.\nSin emojis.");

    Json onDisk = Json::parse(readFile(file));
    ASSERT_TRUE(onDisk.is_object());
    EXPECT_EQ(onDisk.size(), 4u);
    EXPECT_EQ(onDisk["GlobalKeyBindings_cancel"], false);

    struct stat info{};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(file.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(JsonFileUserDefaults, WriteLeavesNoTemporaryFileBehind) {
    TemporaryFolder folder;
    const fs::path file = folder / "defaults.json";
    JsonFileUserDefaults defaults(file);
    for (int i = 0; i < 20; ++i) defaults.set("n", i);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"defaults.json"});
    EXPECT_EQ(Json::parse(readFile(file))["n"], 19);
}

TEST(JsonFileUserDefaults, ReadersNeverSeeAHalfWrittenFile) {
    TemporaryFolder folder;
    const fs::path file = folder / "defaults.json";
    JsonFileUserDefaults writer(file);
    writer.set("big", std::string(200000, 'a'));
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0}, broken{0};
    std::thread reader([&] {
        while (!stop) {
            const std::string text = readFile(file);
            if (!Json::accept(text)) ++broken;
            ++reads;
        }
    });
    for (int i = 0; i < 30; ++i)
        writer.set("big", std::string(200000 + i * 1000, static_cast<char>('a' + i % 26)));
    stop = true;
    reader.join();
    EXPECT_GT(reads, 0);
    EXPECT_EQ(broken, 0);
}

TEST(JsonFileUserDefaults, HandEditIsPickedUpOnTheNextRead) {
    TemporaryFolder folder;
    const fs::path file = folder / "defaults.json";
    JsonFileUserDefaults defaults(file);
    defaults.set("provider", "chatgpt");
    EXPECT_EQ(defaults.string("provider"), "chatgpt");
    // A different size guarantees the change is seen even on a coarse clock.
    writeText(file, R"({"provider": "claude", "timeout": 90})");
    EXPECT_EQ(defaults.string("provider"), "claude");
    EXPECT_DOUBLE_EQ(defaults.doubleValue("timeout", 45), 90);
    // A write keeps the hand-edited keys.
    defaults.set("codexModel", "m");
    Json onDisk = Json::parse(readFile(file));
    EXPECT_EQ(onDisk["timeout"], 90);
    EXPECT_EQ(onDisk["provider"], "claude");
}

TEST(JsonFileUserDefaults, SynchronizeAnnouncesOutsideChanges) {
    TemporaryFolder folder;
    const fs::path file = folder / "defaults.json";
    JsonFileUserDefaults defaults(file);
    defaults.set("a", 1);
    defaults.set("b", 2);
    std::vector<std::string> changed;
    auto watch = defaults.observeAll([&](const std::string& key) { changed.push_back(key); });
    writeText(file, R"({"a": 1, "c": 3})");
    defaults.synchronize();
    std::sort(changed.begin(), changed.end());
    EXPECT_EQ(changed, (std::vector<std::string>{"b", "c"}));
}

TEST(JsonFileUserDefaults, CorruptFileReadsEmptyAndIsKeptAsideOnTheNextWrite) {
    TemporaryFolder folder;
    const fs::path file = folder / "defaults.json";
    const std::string garbage = "{\"provider\": \"claude\",,, oops";
    writeText(file, garbage);

    JsonFileUserDefaults defaults(file);
    EXPECT_FALSE(defaults.object("provider").has_value());
    EXPECT_FALSE(defaults.lastError().empty());
    // Reading does not touch the file.
    EXPECT_EQ(readFile(file), garbage);

    defaults.set("provider", "chatgpt");
    EXPECT_EQ(readFile(folder / "defaults.json.bad"), garbage);
    EXPECT_EQ(Json::parse(readFile(file)), Json({{"provider", "chatgpt"}}));

    // A second bad file does not overwrite the first one set aside.
    writeText(file, "[1, 2, 3]");
    EXPECT_FALSE(defaults.object("provider").has_value());
    defaults.set("x", true);
    EXPECT_EQ(readFile(folder / "defaults.json.bad"), garbage);
    EXPECT_EQ(readFile(folder / "defaults.json.bad.2"), "[1, 2, 3]");
}

TEST(JsonFileUserDefaults, UnreadableFileIsKeptAsideToo) {
    TemporaryFolder folder;
    fs::create_directories(folder / "defaults.json");  // exists, cannot be read as a file
    std::ofstream(folder / "defaults.json/inside") << "x";
    JsonFileUserDefaults defaults(folder / "defaults.json");
    EXPECT_FALSE(defaults.object("k").has_value());
    EXPECT_FALSE(defaults.lastError().empty());
    defaults.set("k", 1);
    EXPECT_TRUE(fs::exists(folder / "defaults.json.bad/inside"));
    EXPECT_EQ(Json::parse(readFile(folder / "defaults.json")), Json({{"k", 1}}));
}

TEST(JsonFileUserDefaults, EmptyOrMissingFileIsEmptyAndNotCorrupt) {
    TemporaryFolder folder;
    JsonFileUserDefaults missing(folder / "nothing/defaults.json");
    EXPECT_TRUE(missing.dictionaryRepresentation().empty());
    EXPECT_FALSE(fs::exists(folder / "nothing"));

    writeText(folder / "empty.json", "");
    JsonFileUserDefaults empty(folder / "empty.json");
    empty.set("a", 1);
    EXPECT_FALSE(fs::exists(folder / "empty.json.bad"));
    EXPECT_EQ(empty.integer("a"), 1);
}

TEST(JsonFileUserDefaults, UnwritableLocationKeepsTheValueInMemory) {
    TemporaryFolder folder;
    writeText(folder / "blocker", "a file where a folder should be");
    JsonFileUserDefaults defaults(folder / "blocker/defaults.json");
    defaults.set("k", "v");
    EXPECT_EQ(defaults.string("k"), "v");
    EXPECT_FALSE(defaults.lastError().empty());
    defaults.set("k2", "w");  // a later failing write keeps the earlier value too
    EXPECT_EQ(defaults.string("k"), "v");
    EXPECT_EQ(defaults.string("k2"), "w");
}

TEST(JsonFileUserDefaults, WriteKeepsAnEditThatLooksUnchanged) {
    // An edit of the same size within one clock tick, in place: nothing in
    // the file's stat tells it apart. A write must still build on it.
    TemporaryFolder folder;
    const fs::path file = folder / "defaults.json";
    JsonFileUserDefaults defaults(file);
    defaults.set("provider", "aaaaaa");
    EXPECT_EQ(defaults.string("provider"), "aaaaaa");
    struct stat before{};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    std::string text = readFile(file);
    text.replace(text.find("aaaaaa"), 6, "claude");
    std::ofstream(file, std::ios::trunc) << text;  // same inode, same size
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);

    defaults.set("timeout", 60);
    EXPECT_EQ(Json::parse(readFile(file)), Json({{"provider", "claude"}, {"timeout", 60}}));
    EXPECT_EQ(defaults.string("provider"), "claude");
}

TEST(JsonFileUserDefaults, InvalidUtf8InAStringIsStoredRepaired) {
    TemporaryFolder folder;
    const fs::path file = folder / "defaults.json";
    JsonFileUserDefaults defaults(file);
    defaults.set("personalInstructions", std::string("bad \xFF byte"));
    JsonFileUserDefaults reopened(file);
    EXPECT_EQ(reopened.string("personalInstructions"), "bad \xEF\xBF\xBD byte");
}

TEST(JsonFileUserDefaults, LinkedFileStaysALink) {
    TemporaryFolder folder;
    writeText(folder / "dotfiles/parlox.json", R"({"provider": "claude"})");
    fs::create_directories(folder / "config");
    fs::create_symlink(folder / "dotfiles/parlox.json", folder / "config/defaults.json");
    JsonFileUserDefaults defaults(folder / "config/defaults.json");
    EXPECT_EQ(defaults.string("provider"), "claude");
    defaults.set("timeout", 60);
    EXPECT_TRUE(fs::is_symlink(folder / "config/defaults.json"));
    EXPECT_EQ(Json::parse(readFile(folder / "dotfiles/parlox.json")),
              Json({{"provider", "claude"}, {"timeout", 60}}));
    // The next read sees its own write, not a stale copy.
    JsonFileUserDefaults again(folder / "config/defaults.json");
    EXPECT_EQ(again.integer("timeout"), 60);
    defaults.set("timeout", 61);
    EXPECT_EQ(again.integer("timeout"), 61);
}

TEST(JsonFileUserDefaults, CorruptLinkedFileIsKeptAsideBesideItsTarget) {
    TemporaryFolder folder;
    const fs::path target = folder.writeFile("dotfiles/parlox.json", "{ roto");
    fs::create_directories(folder / "config");
    fs::create_symlink(target, folder / "config/defaults.json");
    JsonFileUserDefaults defaults(folder / "config/defaults.json");
    defaults.set("timeout", 60);
    EXPECT_TRUE(fs::is_symlink(folder / "config/defaults.json"));
    EXPECT_EQ(readFile(folder / "dotfiles/parlox.json.bad"), "{ roto");
    EXPECT_EQ(Json::parse(readFile(target)), Json({{"timeout", 60}}));
}

TEST(JsonFileUserDefaults, FifoInPlaceOfTheFileIsNotReadButKeptAside) {
    TemporaryFolder folder;
    const fs::path file = folder / "defaults.json";
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    JsonFileUserDefaults defaults(file);
    EXPECT_FALSE(defaults.object("k").has_value());  // would block reading the fifo
    EXPECT_FALSE(defaults.lastError().empty());
    defaults.set("k", 1);
    EXPECT_TRUE(fs::is_fifo(folder / "defaults.json.bad"));
    EXPECT_EQ(Json::parse(readFile(file)), Json({{"k", 1}}));
}

TEST(JsonFileUserDefaults, TwoInstancesOnOneFileDoNotLoseWrites) {
    TemporaryFolder folder;
    const fs::path file = folder / "defaults.json";
    JsonFileUserDefaults first(file), second(file);
    std::thread a([&] {
        for (int i = 0; i < 50; ++i) first.set(std::string("a") + std::to_string(i), i);
    });
    std::thread b([&] {
        for (int i = 0; i < 50; ++i) second.set(std::string("b") + std::to_string(i), i);
    });
    a.join();
    b.join();
    EXPECT_EQ(Json::parse(readFile(file)).size(), 100u);
}

TEST(UserDefaultsStandard, CanBeSwappedForTests) {
    auto fake = std::make_shared<InMemoryUserDefaults>(Json{{"provider", "claude"}});
    auto old = UserDefaults::setStandard(fake);
    EXPECT_EQ(&UserDefaults::standard(), fake.get());
    EXPECT_EQ(UserDefaults::standard().string("provider"), "claude");
    UserDefaults::setStandard(old);
}

TEST(UserDefaultsStandard, DefaultsToTheConfigFile) {
    TemporaryFolder folder;
    ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
    UserDefaults::setStandard(nullptr);
    UserDefaults::standard().set("soundsEnabled", false);
    EXPECT_EQ(Json::parse(readFile(folder / "Parlox/defaults.json"))["soundsEnabled"], false);
    UserDefaults::setStandard(nullptr);
    ::unsetenv("XDG_CONFIG_HOME");
}

TEST(UserDefaultsStandard, ReadersStillRunningDoNotBreakTheExit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            UserDefaults::setStandard(
                std::make_shared<InMemoryUserDefaults>(Json{{"provider", "claude"}}));
            for (int t = 0; t < 2; ++t)
                std::thread([] {
                    while (true) (void)UserDefaults::standard().string("provider");
                }).detach();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
