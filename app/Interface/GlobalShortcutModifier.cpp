#include "app/Interface/GlobalShortcutModifier.hpp"

#include <thread>

#include <QAction>

#include "GlobalKeyBindings/GlobalKeyBindings.hpp"
#include "GlobalKeyBindings/RecorderControl.hpp"
#include "app/Interface/QtKeys.hpp"

namespace GlobalKeyBindings {
namespace {

class ShortcutFollower : public QObject {
public:
    ShortcutFollower(QAction& action, Name name) : QObject(&action), action_(action), name_(std::move(name)) {
        names_ = shortcutByNameDidChange().connect([this](const Name& changed) {
            if (changed.rawValue == name_.rawValue) refresh();
        });
        recording_ = recorderActiveStatusDidChange().connect([this](bool active) {
            recorderActive_ = active;
            refresh();
        });
        refresh();
    }

private:
    void refresh() {
        const auto stored = recorderActive_ ? std::nullopt : getShortcut(name_);
        QtKeys::setShortcut(action_, stored ? QtKeys::keySequence(*stored) : QKeySequence());
    }

    QAction& action_;
    Name name_;
    bool recorderActive_ = false;
    platform::Connection names_;
    platform::Connection recording_;
};

// Reads the stream on a thread of its own and hands each event to the GUI
// thread; stops with its owner.
class StreamListener : public QObject {
public:
    StreamListener(QObject& owner, EventStream stream, std::function<void(EventType)> perform)
        : QObject(&owner), stream_(std::move(stream)) {
        worker_ = std::jthread([this, perform = std::move(perform)](std::stop_token stop) {
            while (auto event = stream_.receive(stop)) {
                const EventType type = *event;
                QMetaObject::invokeMethod(this, [perform, type] { perform(type); }, Qt::QueuedConnection);
            }
        });
    }
    ~StreamListener() override {
        worker_.request_stop();
        worker_.join();
        stream_.cancel();
    }

private:
    EventStream stream_;
    std::jthread worker_;
};

}  // namespace

void globalKeyboardShortcut(QAction& action, const Name& name) { new ShortcutFollower(action, name); }

void onGlobalKeyboardShortcut(QObject& owner, const Name& name, std::function<void(EventType)> perform) {
    new StreamListener(owner, events(name), std::move(perform));
}

void onGlobalKeyboardShortcut(QObject& owner, const Name& name, EventType type, std::function<void()> perform) {
    new StreamListener(owner, events(type, name), [perform = std::move(perform)](EventType) { perform(); });
}

}  // namespace GlobalKeyBindings
