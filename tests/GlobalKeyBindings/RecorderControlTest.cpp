#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Fixture.hpp"
#include "GlobalKeyBindings/Localization.hpp"
#include "GlobalKeyBindings/RecorderControl.hpp"

namespace GlobalKeyBindings {
namespace {

using testing::BindingsTest;
using testing::kOptionSpace;
using testing::kPlain;
using testing::kToggle;
using Json = nlohmann::json;

// A field that behaves as the real one does: ending the editing takes the
// focus away at once, the clear button empties the text, and alerts answer
// with a scripted button.
class FakeField : public RecorderControl::Host {
public:
    RecorderControl* control = nullptr;
    std::string text;
    std::string placeholder;
    bool caretVisible = true;
    bool inWindow = true;
    bool focused = false;
    int beeps = 0;
    int endEditingCalls = 0;
    std::vector<RecorderControl::Alert> alerts;
    int alertAnswer = 0;
    std::vector<MenuItem> menu;

    void setText(const std::string& t) override { text = t; }
    void setPlaceholder(const std::string& t) override { placeholder = t; }
    void setCaretVisible(bool visible) override { caretVisible = visible; }
    void endEditing() override {
        ++endEditingCalls;
        if (!focused) return;
        focused = false;
        control->editingDidEnd();
        control->afterEditingEnded(false);
    }
    void makeFirstResponder() override { focus(); }
    void beep() override { ++beeps; }
    void pressClearButton() override {
        text.clear();
        control->textDidChange(text);
    }
    int runAlert(const RecorderControl::Alert& alert) override {
        alerts.push_back(alert);
        return alertAnswer;
    }
    std::vector<MenuItem> applicationMenu() const override { return menu; }
    bool isInWindow() const override { return inWindow; }

    bool focus() {
        if (focused) return true;
        focused = control->becomeFirstResponder();
        return focused;
    }
};

KeyEvent keyDown(Key key, ModifierFlags flags = {}) { return {KeyEvent::Type::keyDown, key.rawValue, flags}; }

class RecorderTest : public BindingsTest {
protected:
    void SetUp() override {
        BindingsTest::SetUp();
        declare(kToggle);
        activity = recorderActiveStatusDidChange().connect([this](bool active) { announced.push_back(active); });
    }

    std::unique_ptr<RecorderControl> make(FakeField& field, const Name& name) {
        auto control = std::make_unique<RecorderControl>(field, name, [this](const std::optional<Shortcut>& s) {
            changes.push_back(s);
        });
        field.control = control.get();
        return control;
    }

    Json stored(const Name& name) { return defaults->object(userDefaultsKey(name)).value_or(Json()); }

    std::vector<std::optional<Shortcut>> changes;
    std::vector<bool> announced;
    platform::Connection activity;
};

TEST_F(RecorderTest, ShowsTheStoredShortcutAndFollowsChangesMadeElsewhere) {
    FakeField field;
    auto control = make(field, kToggle);
    EXPECT_EQ(field.text, "Alt+Espacio");
    EXPECT_EQ(field.placeholder, localizedString("record_shortcut"));

    setShortcut(Shortcut(Key::k, ModifierFlags::command), kToggle);
    EXPECT_EQ(field.text, "Super+K");
    setShortcut(Shortcut(Key::j, ModifierFlags::command), kPlain);
    EXPECT_EQ(field.text, "Super+K");

    control->setShortcutName(kPlain);
    EXPECT_EQ(field.text, "Super+J");
}

TEST_F(RecorderTest, RecordingPausesTheHotKeysUntilItEnds) {
    FakeField field;
    auto control = make(field, kToggle);
    ASSERT_TRUE(field.focus());
    EXPECT_TRUE(isPaused());
    EXPECT_TRUE(control->isRecording());
    EXPECT_EQ(RecorderControl::activeRecorder(), control.get());
    EXPECT_EQ(field.placeholder, localizedString("press_shortcut"));
    EXPECT_FALSE(field.caretVisible);

    EXPECT_EQ(control->handleKeyDown(keyDown(Key::escape)), RecorderControl::Disposition::swallow);
    EXPECT_FALSE(isPaused());
    EXPECT_FALSE(control->isRecording());
    EXPECT_EQ(RecorderControl::activeRecorder(), nullptr);
    EXPECT_EQ(field.placeholder, localizedString("record_shortcut"));
    EXPECT_TRUE(field.caretVisible);
    EXPECT_EQ(announced, (std::vector<bool>{true, false}));
    EXPECT_EQ(stored(kToggle), Json(encodeShortcut(kOptionSpace)));
    EXPECT_TRUE(changes.empty());
}

TEST_F(RecorderTest, AFieldOutsideAnyWindowRefusesTheFocus) {
    FakeField field;
    field.inWindow = false;
    auto control = make(field, kToggle);
    EXPECT_FALSE(field.focus());
    EXPECT_FALSE(isPaused());
    EXPECT_TRUE(announced.empty());
}

// One row per key press: what is stored afterwards, whether the system beeps
// and whether the recording goes on.
TEST_F(RecorderTest, KeyPressesAreTakenOrRefusedByTheirModifiers) {
    struct Row {
        const char* what;
        KeyEvent event;
        std::optional<Shortcut> stored;
        bool beeps;
        bool stillRecording;
        RecorderControl::Disposition disposition;
    };
    const Shortcut ctrlAltK(Key::k, ModifierFlags::control | ModifierFlags::option);
    const Shortcut f5(Key::f5, ModifierFlags());
    const Shortcut shiftF5(Key::f5, ModifierFlags::shift);
    using D = RecorderControl::Disposition;
    const std::vector<Row> rows{
        {"lone A", keyDown(Key::a), kOptionSpace, true, true, D::swallow},
        {"shift A", keyDown(Key::a, ModifierFlags::shift), kOptionSpace, true, true, D::swallow},
        {"caps lock A", keyDown(Key::a, ModifierFlags::capsLock), kOptionSpace, true, true, D::swallow},
        {"lone arrow with fn", keyDown(Key::upArrow, ModifierFlags::function), kOptionSpace, true, true, D::swallow},
        {"fn delete is a key press", keyDown(Key::delete_, ModifierFlags::function), kOptionSpace, true, true,
         D::swallow},
        {"lone F5", keyDown(Key::f5), f5, false, false, D::swallow},
        {"shift F5", keyDown(Key::f5, ModifierFlags::shift), shiftF5, false, false, D::swallow},
        {"fn F5 drops fn", keyDown(Key::f5, ModifierFlags::function), f5, false, false, D::swallow},
        {"ctrl alt K", keyDown(Key::k, ModifierFlags::control | ModifierFlags::option), ctrlAltK, false, false,
         D::swallow},
        {"ctrl alt K with num lock", keyDown(Key::k, ModifierFlags::control | ModifierFlags::option |
                                                         ModifierFlags::numericPad),
         ctrlAltK, false, false, D::swallow},
        {"tab", keyDown(Key::tab), kOptionSpace, false, false, D::pass},
        {"escape", keyDown(Key::escape), kOptionSpace, false, false, D::swallow},
        {"ctrl escape is a shortcut", keyDown(Key::escape, ModifierFlags::control),
         Shortcut(Key::escape, ModifierFlags::control), false, false, D::swallow},
        {"a modifier change alone", {KeyEvent::Type::flagsChanged, 0, ModifierFlags::command}, kOptionSpace, false,
         true, D::swallow},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        setShortcut(kOptionSpace, kToggle);
        changes.clear();
        FakeField field;
        auto control = make(field, kToggle);
        ASSERT_TRUE(field.focus());
        EXPECT_EQ(control->handleKeyDown(row.event), row.disposition);
        EXPECT_EQ(getShortcut(kToggle), row.stored);
        EXPECT_EQ(field.beeps, row.beeps ? 1 : 0);
        EXPECT_EQ(control->isRecording(), row.stillRecording);
        EXPECT_EQ(isPaused(), row.stillRecording);
        const bool took = row.stored != kOptionSpace;
        EXPECT_EQ(changes.size(), took ? 1u : 0u);
        if (took) {
            EXPECT_EQ(field.text, row.stored->presentableDescription());
            EXPECT_EQ(stored(kToggle), Json(encodeShortcut(*row.stored)));
        }
        control->endRecording();
    }
}

TEST_F(RecorderTest, DeleteClearsTheShortcutAndRecordingGoesOn) {
    struct Row {
        const Name& name;
        Json after;
    };
    setShortcut(Shortcut(Key::j, ModifierFlags::command), kPlain);
    for (const Row& row : {Row{kToggle, Json(false)}, Row{kPlain, Json()}}) {
        SCOPED_TRACE(row.name.rawValue);
        changes.clear();
        FakeField field;
        auto control = make(field, row.name);
        ASSERT_TRUE(field.focus());
        EXPECT_EQ(control->handleKeyDown(keyDown(Key::delete_)), RecorderControl::Disposition::swallow);
        EXPECT_EQ(stored(row.name), row.after);
        EXPECT_FALSE(getShortcut(row.name));
        EXPECT_EQ(changes, (std::vector<std::optional<Shortcut>>{std::nullopt}));
        EXPECT_EQ(field.text, "");
        EXPECT_TRUE(control->isRecording());

        // An empty field has no clear button: the key changes nothing.
        EXPECT_EQ(control->handleKeyDown(keyDown(Key::deleteForward)), RecorderControl::Disposition::swallow);
        EXPECT_EQ(changes.size(), 1u);
        EXPECT_EQ(stored(row.name), row.after);
        control->endRecording();
    }
}

TEST_F(RecorderTest, ConflictsFollowThePolicy) {
    const Shortcut cmdQ(Key::q, ModifierFlags::command);
    const Shortcut cmdShiftA(Key::a, ModifierFlags::command | ModifierFlags::shift);
    system->shortcuts = {{static_cast<int>(cmdQ.carbonKeyCode), static_cast<int>(cmdQ.carbonModifiers)}};
    const std::vector<MenuItem> menu{{"Ventana", "", {}, {{"Ajustes…", "A", ModifierFlags::command, {}}}}};
    const std::string menuTitle = localizedFormat("keyboard_shortcut_used_by_menu_item", "Ajustes…");
    const std::string systemTitle = localizedString("keyboard_shortcut_used_by_system");
    const std::vector<std::string> warnButtons{localizedString("ok"), localizedString("force_use_shortcut")};

    struct Row {
        const char* what;
        ConflictPolicy policy;
        Shortcut typed;
        int answer;
        std::optional<RecorderControl::Alert> alert;
        bool stored;
    };
    using B = ConflictBehavior;
    const std::vector<Row> rows{
        {"menu item, block", ConflictPolicy::defaultPolicy, cmdShiftA, 0, RecorderControl::Alert{menuTitle, {}, {}},
         false},
        {"menu item, warn, forced", {B::warn, B::warn, B::block}, cmdShiftA, 1,
         RecorderControl::Alert{menuTitle, {}, warnButtons}, true},
        {"menu item, allow", ConflictPolicy::allowAll, cmdShiftA, 0, std::nullopt, true},
        {"system, warn, ok", ConflictPolicy::defaultPolicy, cmdQ, 0,
         RecorderControl::Alert{systemTitle, localizedString("keyboard_shortcuts_can_be_changed"), warnButtons},
         false},
        {"system, warn, forced", ConflictPolicy::defaultPolicy, cmdQ, 1,
         RecorderControl::Alert{systemTitle, localizedString("keyboard_shortcuts_can_be_changed"), warnButtons},
         true},
        {"system, block", {B::block, B::block, B::block}, cmdQ, 0,
         RecorderControl::Alert{systemTitle, localizedString("keyboard_shortcuts_can_be_changed"), {}}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        setShortcut(kOptionSpace, kToggle);
        changes.clear();
        announced.clear();
        FakeField field;
        field.menu = menu;
        field.alertAnswer = row.answer;
        auto control = make(field, kToggle);
        control->conflictPolicy = row.policy;
        ASSERT_TRUE(field.focus());
        EXPECT_EQ(control->handleKeyDown(keyDown(row.typed.key(), row.typed.modifiers())),
                  RecorderControl::Disposition::swallow);
        EXPECT_EQ(getShortcut(kToggle), row.stored ? row.typed : kOptionSpace);
        EXPECT_EQ(changes.size(), row.stored ? 1u : 0u);
        ASSERT_EQ(field.alerts.size(), row.alert ? 1u : 0u);
        if (row.alert) {
            EXPECT_EQ(field.alerts[0], *row.alert);
            // The alert ends the recording; afterwards the field records anew.
            EXPECT_EQ(announced.size(), row.stored ? 4u : 3u);
        }
        EXPECT_EQ(control->isRecording(), !row.stored);
        control->endRecording();
    }
}

TEST_F(RecorderTest, RecordingTheCurrentShortcutSkipsTheMenuCheckButStoresAgain) {
    const Shortcut cmdK(Key::k, ModifierFlags::command);
    setShortcut(cmdK, kToggle);
    changed.clear();
    FakeField field;
    field.menu = {{"Buscar", "k", ModifierFlags::command, {}}};
    auto control = make(field, kToggle);
    ASSERT_TRUE(field.focus());
    control->handleKeyDown(keyDown(Key::k, ModifierFlags::command));
    EXPECT_TRUE(field.alerts.empty());
    EXPECT_EQ(changes, (std::vector<std::optional<Shortcut>>{cmdK}));
    EXPECT_EQ(changed, (std::vector<std::string>{"toggleRecording"}));
}

TEST_F(RecorderTest, TheCallersValidationCanRefuseAShortcut) {
    FakeField field;
    auto control = make(field, kToggle);
    control->validateShortcut = [](const Shortcut& s) {
        return s.key() == Key::k ? ValidationResult::disallow("Ese no") : ValidationResult::allow();
    };
    ASSERT_TRUE(field.focus());
    control->handleKeyDown(keyDown(Key::k, ModifierFlags::control));
    ASSERT_EQ(field.alerts.size(), 1u);
    EXPECT_EQ(field.alerts[0], (RecorderControl::Alert{"Ese no", std::nullopt, {}}));
    EXPECT_EQ(getShortcut(kToggle), kOptionSpace);
    EXPECT_TRUE(control->isRecording());

    control->handleKeyDown(keyDown(Key::j, ModifierFlags::control));
    EXPECT_EQ(getShortcut(kToggle), Shortcut(Key::j, ModifierFlags::control));
}

TEST_F(RecorderTest, BindingModeKeepsTheValueOutOfTheDefaults) {
    FakeField field;
    auto control = std::make_unique<RecorderControl>(
        field, std::optional<Shortcut>(), [this](const std::optional<Shortcut>& s) { changes.push_back(s); });
    field.control = control.get();
    EXPECT_EQ(field.text, "");
    ASSERT_TRUE(field.focus());
    control->handleKeyDown(keyDown(Key::k, ModifierFlags::command));
    EXPECT_EQ(control->shortcut(), Shortcut(Key::k, ModifierFlags::command));
    EXPECT_EQ(field.text, "Super+K");
    EXPECT_EQ(changes.size(), 1u);
    EXPECT_EQ(defaults->dictionaryRepresentation(), Json::object({{userDefaultsKey(kToggle),
                                                                   encodeShortcut(kOptionSpace)}}));

    // Setting the value from outside shows it without calling back.
    control->setShortcut(Shortcut(Key::j, ModifierFlags::command));
    EXPECT_EQ(field.text, "Super+J");
    EXPECT_EQ(changes.size(), 1u);
    control->setShortcutName(kToggle);
    EXPECT_EQ(field.text, "Super+J");
}

TEST_F(RecorderTest, ClicksFarOutsideEndTheRecordingAndAlwaysGoOn) {
    FakeField field;
    auto control = make(field, kToggle);
    ASSERT_TRUE(field.focus());
    using D = RecorderControl::Disposition;
    EXPECT_EQ(control->handleMouseUp(-3, 25, 130, 24), D::pass);
    EXPECT_EQ(control->handleMouseUp(133, -2, 130, 24), D::pass);
    EXPECT_TRUE(control->isRecording());
    EXPECT_EQ(control->handleMouseUp(60, 27.5, 130, 24), D::pass);
    EXPECT_FALSE(control->isRecording());
    EXPECT_FALSE(isPaused());
}

TEST_F(RecorderTest, TheLastRecorderToStartKeepsTheHotKeysPaused) {
    FakeField first, second;
    auto a = make(first, kToggle);
    auto b = make(second, kPlain);
    ASSERT_TRUE(first.focus());
    ASSERT_TRUE(second.focus());
    EXPECT_EQ(RecorderControl::activeRecorder(), b.get());
    first.endEditing();
    EXPECT_TRUE(isPaused());
    EXPECT_EQ(announced, (std::vector<bool>{true, true}));
    second.endEditing();
    EXPECT_FALSE(isPaused());
    EXPECT_EQ(announced, (std::vector<bool>{true, true, false}));
}

TEST_F(RecorderTest, LeavingTheWindowOrBeingDestroyedEndsTheRecording) {
    {
        FakeField field;
        auto control = make(field, kToggle);
        ASSERT_TRUE(field.focus());
        control->didMoveToWindow(false);
        EXPECT_FALSE(isPaused());
        EXPECT_EQ(announced.back(), false);
    }
    {
        FakeField field;
        auto control = make(field, kToggle);
        ASSERT_TRUE(field.focus());
        control->windowDidResignKey();
        EXPECT_FALSE(isPaused());
        EXPECT_FALSE(field.focused);
    }
    FakeField field;
    auto control = make(field, kToggle);
    ASSERT_TRUE(field.focus());
    control.reset();
    EXPECT_FALSE(isPaused());
    EXPECT_EQ(RecorderControl::activeRecorder(), nullptr);
    EXPECT_EQ(announced.back(), false);
}

TEST_F(RecorderTest, EditingThatResumesAtOnceKeepsRecording) {
    FakeField field;
    auto control = make(field, kToggle);
    ASSERT_TRUE(field.focus());
    control->editingDidEnd();
    EXPECT_TRUE(field.caretVisible);
    control->afterEditingEnded(true);
    EXPECT_FALSE(field.caretVisible);
    EXPECT_TRUE(control->isRecording());
    EXPECT_TRUE(isPaused());
}

}  // namespace
}  // namespace GlobalKeyBindings
