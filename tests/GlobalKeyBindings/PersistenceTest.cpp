#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Fixture.hpp"
#include "platform/foundation/JsonFileUserDefaults.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace GlobalKeyBindings {
namespace {

using testing::BindingsTest;
using testing::kEscape;
using testing::kOptionSpace;
using testing::kPlain;
using testing::kToggle;
using Json = nlohmann::json;

TEST_F(BindingsTest, DeclaringWritesTheInitialShortcutOnlyIntoAnEmptyKey) {
    declare(kToggle);
    EXPECT_EQ(defaults->object("GlobalKeyBindings_toggleRecording"),
              Json(R"({"carbonKeyCode":49,"carbonModifiers":2048})"));
    EXPECT_TRUE(changed.empty());

    for (const Json& held : {Json(false), Json(true), Json("{broken"), Json(7)}) {
        SCOPED_TRACE(held.dump());
        defaults->set("GlobalKeyBindings_toggleRecording", held);
        declare(kToggle);
        EXPECT_EQ(defaults->object("GlobalKeyBindings_toggleRecording"), held);
    }
}

// One row per transition: the value before, the operation, the value after
// and whether listeners hear of it.
TEST_F(BindingsTest, StoredStatesFollowTheTransitionTable) {
    const std::string encoded = encodeShortcut(kEscape);
    const std::string initial = encodeShortcut(kOptionSpace);
    struct Row {
        const char* what;
        std::optional<Json> before;
        bool withInitial;
        std::function<void(const Name&)> operation;
        std::optional<Json> after;
        bool announced;
    };
    const auto set = [](const Name& n) { setShortcut(kEscape, n); };
    const auto clear = [](const Name& n) { setShortcut(std::nullopt, n); };
    const auto resetName = [](const Name& n) { reset({n}); };
    const std::vector<Row> rows{
        {"set on empty", std::nullopt, false, set, Json(encoded), true},
        {"set over false", Json(false), true, set, Json(encoded), true},
        {"set the same again", Json(encoded), false, set, Json(encoded), true},
        {"clear json with initial", Json(initial), true, clear, Json(false), true},
        {"clear empty with initial", std::nullopt, true, clear, Json(false), true},
        {"clear true with initial", Json(true), true, clear, Json(false), true},
        {"clear false with initial", Json(false), true, clear, Json(false), false},
        {"clear json without initial", Json(encoded), false, clear, std::nullopt, true},
        {"clear garbage without initial", Json("{x"), false, clear, std::nullopt, true},
        {"clear empty without initial", std::nullopt, false, clear, std::nullopt, false},
        {"reset with initial", Json(false), true, resetName, Json(initial), true},
        {"reset without initial", Json(encoded), false, resetName, std::nullopt, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Name name("row", row.withInitial ? std::optional(kOptionSpace) : std::nullopt);
        if (row.before)
            defaults->set("GlobalKeyBindings_row", *row.before);
        else
            defaults->remove("GlobalKeyBindings_row");
        changed.clear();
        row.operation(name);
        EXPECT_EQ(defaults->object("GlobalKeyBindings_row"), row.after);
        EXPECT_EQ(changed, row.announced ? std::vector<std::string>{"row"} : std::vector<std::string>{});
    }
}

TEST_F(BindingsTest, ForeignValuesReadAsMissingAndStayStored) {
    for (const Json& value : {Json(true), Json(3), Json("not json at all"), Json("{\"carbonKeyCode\":1}"),
                              Json::object({{"carbonKeyCode", 49}, {"carbonModifiers", 2048}})}) {
        SCOPED_TRACE(value.dump());
        defaults->set("GlobalKeyBindings_toggleRecording", value);
        EXPECT_EQ(storedShortcut(kToggle).kind, StoredShortcut::Kind::missing);
        EXPECT_FALSE(getShortcut(kToggle));
        EXPECT_TRUE(storedNames().count(kToggle));
        EXPECT_EQ(defaults->object("GlobalKeyBindings_toggleRecording"), value);
    }
    defaults->set("GlobalKeyBindings_toggleRecording", false);
    EXPECT_EQ(storedShortcut(kToggle).kind, StoredShortcut::Kind::disabled);
    defaults->set("GlobalKeyBindings_toggleRecording", encodeShortcut(kEscape));
    EXPECT_EQ(storedShortcut(kToggle), (StoredShortcut{StoredShortcut::Kind::shortcut, kEscape}));
}

TEST_F(BindingsTest, InstancesOfOneNameShareTheStoredValue) {
    const Name withInitial("shared", kOptionSpace);
    const Name other("shared", kEscape);
    const Name bare("shared");
    declare(withInitial);
    declare(other);
    EXPECT_EQ(getShortcut(bare), kOptionSpace);
    EXPECT_EQ(withInitial, bare);
    setShortcut(std::nullopt, withInitial);
    EXPECT_EQ(defaults->object("GlobalKeyBindings_shared"), Json(false));
    setShortcut(std::nullopt, bare);
    EXPECT_FALSE(defaults->object("GlobalKeyBindings_shared"));
}

TEST_F(BindingsTest, ResetAllClearsEveryStoredName) {
    declare(kToggle);
    setShortcut(kEscape, kPlain);
    setShortcut(std::nullopt, Name("cleared", kEscape));
    defaults->set("unrelated", 1);
    changed.clear();
    resetAll();
    EXPECT_TRUE(storedNames().empty());
    EXPECT_FALSE(getShortcut(kToggle));
    EXPECT_FALSE(getShortcut(kPlain));
    EXPECT_EQ(changed.size(), 3u);
    EXPECT_EQ(defaults->object("unrelated"), Json(1));
    declare(kToggle);  // created again
    EXPECT_EQ(getShortcut(kToggle), kOptionSpace);
}

TEST_F(BindingsTest, EmptyRawValueUsesThePrefixAlone) {
    setShortcut(kEscape, Name(""));
    EXPECT_TRUE(defaults->object("GlobalKeyBindings_"));
    EXPECT_EQ(storedNames().count(Name("")), 1u);
}

TEST_F(BindingsTest, NameReadsAndWritesThroughTheFacade) {
    kPlain.setShortcut(kEscape);
    EXPECT_EQ(kPlain.shortcut(), kEscape);
    EXPECT_EQ(Shortcut::named(kPlain), kEscape);
    kPlain.setShortcut(std::nullopt);
    EXPECT_FALSE(Shortcut::named(kPlain));
}

// The three stored states survive a restart in the settings file, and a
// hand-broken value reads as absent.
TEST(Persistence, StatesReloadFromTheSettingsFile) {
    const parlox::testing::TemporaryFolder folder;
    const auto file = folder / "defaults.json";
    const Name toggle("toggleRecording", kOptionSpace);
    const Name cancel("cancel", kEscape);
    const Name custom("custom");
    const Name broken("broken", kEscape);
    auto service = std::make_shared<platform::input::FakeHotKeyService>();
    {
        install({std::make_shared<platform::JsonFileUserDefaults>(file), service, nullptr, nullptr});
        declare(toggle);
        declare(cancel);
        setShortcut(std::nullopt, cancel);
        setShortcut(Shortcut(Key::k, ModifierFlags::command), custom);
        uninstall();
    }
    {
        // A hand edit that is not valid JSON text inside the string value.
        auto json = Json::parse(std::ifstream(file));
        json["GlobalKeyBindings_broken"] = "{\"carbonKeyCode\":";
        std::ofstream(file) << json.dump();
    }
    install({std::make_shared<platform::JsonFileUserDefaults>(file), service, nullptr, nullptr});
    declare(toggle);
    declare(cancel);
    declare(broken);
    EXPECT_EQ(getShortcut(toggle), kOptionSpace);
    EXPECT_EQ(storedShortcut(cancel).kind, StoredShortcut::Kind::disabled);
    EXPECT_EQ(getShortcut(custom), Shortcut(Key::k, ModifierFlags::command));
    EXPECT_EQ(storedShortcut(broken).kind, StoredShortcut::Kind::missing);
    uninstall();
    const auto json = Json::parse(std::ifstream(file));
    EXPECT_EQ(json["GlobalKeyBindings_toggleRecording"], R"({"carbonKeyCode":49,"carbonModifiers":2048})");
    EXPECT_EQ(json["GlobalKeyBindings_cancel"], false);
    EXPECT_EQ(json["GlobalKeyBindings_broken"], "{\"carbonKeyCode\":");
}

}  // namespace
}  // namespace GlobalKeyBindings
