#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include <QObject>

namespace Parlox {

// The four tabs of the settings window, in toolbar order.
class SettingsTab {
public:
    enum Value { general, writing, voice, permissions };

    constexpr SettingsTab(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }

    static constexpr std::array<Value, 4> allCases() { return {general, writing, voice, permissions}; }
    // "general", "writing", "voice", "permissions"; also the toolbar item ids
    // and the words "--show-settings" accepts.
    std::string rawValue() const;
    // Exactly the four raw values; none for any other text.
    static std::optional<SettingsTab> fromRawValue(std::string_view raw);
    static std::optional<SettingsTab> from_string(std::string_view raw) { return fromRawValue(raw); }

    // "General", "Redacción", "Voz", "Requisitos".
    std::string title() const;
    // The pictogram of the toolbar item.
    std::string symbol() const;
    // The page's height in points: 600 (770 while "keepAwakeUnlocked" is
    // true, read at each call), 720, 360, 370. The width is always 660.
    int contentHeight() const;
    static constexpr int contentWidth = 660;

private:
    Value value_;
};

// The selected settings tab, shared by the settings window and its toolbar
// and kept for the whole run (it starts at general).
class SettingsTabs : public QObject {
    Q_OBJECT
public:
    explicit SettingsTabs(QObject* parent = nullptr) : QObject(parent) {}

    SettingsTab tab() const { return tab_; }
    // Announces only a different tab.
    void setTab(SettingsTab tab);

Q_SIGNALS:
    void tabChanged(Parlox::SettingsTab::Value tab);

private:
    SettingsTab tab_ = SettingsTab::general;
};

}  // namespace Parlox
