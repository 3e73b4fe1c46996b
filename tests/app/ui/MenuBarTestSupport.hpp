#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QWidget>

#include "app/Overlay/MenuBarSources.hpp"

namespace ui_test {

// A dictation the test sets by hand; records the actions the panel calls.
class FakeDictation final : public Parlox::MenuBarDictation {
public:
    Parlox::DictationController::Phase phaseValue;
    Parlox::Transcriber::State modelValue = Parlox::Transcriber::State::ready();
    bool retryable = false;
    std::optional<ParloxCore::DictationSession> session;
    double seconds = 0;
    std::vector<std::string> calls;

    void update() { changedSignal.emit(); }

    Parlox::DictationController::Phase phase() const override { return phaseValue; }
    Parlox::Transcriber::State model() const override { return modelValue; }
    bool canRetry() const override { return retryable; }
    std::optional<ParloxCore::DictationSession> latestSession() const override { return session; }
    double recordedSeconds(platform::Date) const override { return seconds; }
    void beginRecording() override { calls.push_back("beginRecording"); }
    void finishRecording() override { calls.push_back("finishRecording"); }
    void resume() override { calls.push_back("resume"); }
    void cancel() override { calls.push_back("cancel"); }
    void retry() override { calls.push_back("retry"); }
    void undo(const platform::UUID& id) override { calls.push_back("undo " + id.uuidString()); }
    void revertToPrevious(const platform::UUID& id) override { calls.push_back("revertToPrevious " + id.uuidString()); }
    platform::Signal<>& changed() override { return changedSignal; }

    platform::Signal<> changedSignal;
};

class FakeKeepAwake final : public Parlox::KeepAwakeSwitch {
public:
    bool unlocked = false;
    bool on = false;
    bool isUnlocked() const override { return unlocked; }
    void setUnlocked(bool value) override {
        unlocked = value;
        if (!value) on = false;
        changedSignal.emit();
    }
    bool isOn() const override { return on; }
    void set(bool value) override {
        on = value;
        changedSignal.emit();
    }
    platform::Signal<>& changed() override { return changedSignal; }
    platform::Signal<> changedSignal;
};

// The texts a widget shows, top to bottom then left to right: labels and
// buttons (by their text, or their accessible name when they have none).
inline std::vector<std::string> shownTexts(QWidget& root) {
    struct Item {
        QPoint at;
        std::string text;
    };
    root.show();
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    std::vector<Item> items;
    for (QWidget* w : root.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&root)) continue;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w)) text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            text = button->text().isEmpty() ? button->accessibleName() : button->text();
        else continue;
        items.push_back({w->mapTo(&root, QPoint(0, 0)), text.toStdString()});
    }
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return a.at.y() != b.at.y() ? a.at.y() < b.at.y() : a.at.x() < b.at.x();
    });
    std::vector<std::string> texts;
    for (const Item& item : items) texts.push_back(item.text);
    return texts;
}

inline QAbstractButton* buttonNamed(QWidget& root, const std::string& name) {
    // Rows added to a shown panel appear on the next turn of the loop.
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    for (QAbstractButton* b : root.findChildren<QAbstractButton*>()) {
        const QString text = b->text().isEmpty() ? b->accessibleName() : b->text();
        if (b->isVisibleTo(&root) && text.toStdString() == name) return b;
    }
    return nullptr;
}

}  // namespace ui_test
