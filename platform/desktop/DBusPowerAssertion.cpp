#include "platform/desktop/DBusPowerAssertion.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <fcntl.h>

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

DBusPowerAssertion::DBusPowerAssertion(std::string loginBusAddress) : loginBusAddress_(std::move(loginBusAddress)) {}

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
    QDBusConnection system = loginBusAddress_.empty()
                                 ? QDBusConnection::systemBus()
                                 : QDBusConnection::connectToBus(QString::fromStdString(loginBusAddress_), "parlox-login");
    if (system.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                           "org.freedesktop.login1.Manager", "Inhibit");
        call << QString("idle") << QString(kApplication) << QString::fromStdString(reason) << QString("block");
        const QDBusReply<QDBusUnixFileDescriptor> reply = system.call(call, QDBus::Block, 3000);
        // Our copy closes on exec: the lock must end with the release, not
        // live on in a program started meanwhile.
        if (reply.isValid() && reply.value().isValid())
            held.lockFd.reset(::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0));
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
    const std::lock_guard lock(idleMutex_);
    try {
        if (!idleDisplay_) idleDisplay_ = std::make_unique<X11Desktop>();
        return idleDisplay_->idleSeconds().value_or(0);
    } catch (const DesktopError&) {
        return 0;
    }
}

}  // namespace platform::desktop
