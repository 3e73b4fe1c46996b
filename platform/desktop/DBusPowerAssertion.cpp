#include "platform/desktop/DBusPowerAssertion.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <unistd.h>

#include "platform/desktop/DesktopError.hpp"
#include "platform/desktop/X11Desktop.hpp"
#include "platform/log/SystemLog.hpp"

namespace platform::desktop {

namespace {

const char* const kApplication = "Parlox";

const SystemLogger& log() {
    static const SystemLogger logger("Parlox", "keep-awake");
    return logger;
}

QDBusMessage screenSaverCall(const char* method) {
    return QDBusMessage::createMethodCall("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                                          "org.freedesktop.ScreenSaver", method);
}

}  // namespace

DBusPowerAssertion::DBusPowerAssertion() = default;

DBusPowerAssertion::~DBusPowerAssertion() {
    std::vector<uint32_t> ids;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, held] : held_) ids.push_back(id);
    }
    for (uint32_t id : ids) release(id);
}

uint32_t DBusPowerAssertion::preventDisplaySleep(const std::string& reason) {
    Held held;
    std::string why;
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        QDBusMessage call = screenSaverCall("Inhibit");
        call << QString(kApplication) << QString::fromStdString(reason);
        const QDBusReply<uint> reply = session.call(call, QDBus::Block, 3000);
        if (reply.isValid()) held.cookie = reply.value();
        else why = "screen saver: " + reply.error().message().toStdString();
    } else {
        why = "no session bus";
    }
    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                           "org.freedesktop.login1.Manager", "Inhibit");
        call << QString("idle") << QString(kApplication) << QString::fromStdString(reason) << QString("block");
        const QDBusReply<QDBusUnixFileDescriptor> reply = system.call(call, QDBus::Block, 3000);
        if (reply.isValid() && reply.value().isValid()) held.lockFd.reset(::dup(reply.value().fileDescriptor()));
        else why += "; logind: " + reply.error().message().toStdString();
    } else {
        why += "; no system bus";
    }
    if (!held.cookie && !held.lockFd) throw DesktopError(DesktopError::Kind::refused, why);
    std::lock_guard lock(mutex_);
    const uint32_t id = ++next_;
    held_[id] = std::move(held);
    return id;
}

void DBusPowerAssertion::release(uint32_t assertion) {
    Held held;
    {
        std::lock_guard lock(mutex_);
        auto it = held_.find(assertion);
        if (it == held_.end()) return;
        held = std::move(it->second);
        held_.erase(it);
    }
    if (held.cookie) {
        QDBusMessage call = screenSaverCall("UnInhibit");
        call << *held.cookie;
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 3000);
        if (reply.type() == QDBusMessage::ErrorMessage)
            log().error("Screen saver UnInhibit: " + reply.errorMessage().toStdString());
    }
}

double DBusPowerAssertion::idleSeconds() {
    try {
        X11Desktop desktop;
        return desktop.idleSeconds().value_or(0);
    } catch (const DesktopError&) {
        return 0;
    }
}

}  // namespace platform::desktop
