#include "platform/desktop/DBusNotifier.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include "platform/concurrency/MainQueue.hpp"
#include "platform/log/SystemLog.hpp"

namespace platform::desktop {

namespace {

const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";
const char* const kInterface = "org.freedesktop.Notifications";

const SystemLogger& log() {
    static const SystemLogger logger("Parlox", "notifications");
    return logger;
}

QDBusMessage call(const char* method) { return QDBusMessage::createMethodCall(kService, kPath, kInterface, method); }

}  // namespace

// Receives the server's signals (Qt delivers D-Bus signals to slots).
class NotificationSignals : public QObject {
    Q_OBJECT
public:
    explicit NotificationSignals(DBusNotifier* owner) : owner_(owner) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.connect(kService, kPath, kInterface, "ActionInvoked", this, SLOT(actionInvoked(uint, QString)));
        bus.connect(kService, kPath, kInterface, "NotificationClosed", this, SLOT(notificationClosed(uint, uint)));
    }

public slots:
    void actionInvoked(uint id, const QString&) { owner_->invoked(id); }
    void notificationClosed(uint id, uint) { owner_->closed(id); }

private:
    DBusNotifier* owner_;
};

DBusNotifier::DBusNotifier() : signals_(std::make_unique<NotificationSignals>(this)) {}

DBusNotifier::~DBusNotifier() = default;

void DBusNotifier::requestAuthorization(AuthorizationHandler handler) {
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call("GetServerInformation"), QDBus::Block, 3000);
    const bool granted = reply.type() == QDBusMessage::ReplyMessage;
    if (!granted) log().error("No notification server: " + reply.errorMessage().toStdString());
    if (handler) handler(granted);
}

void DBusNotifier::post(const Notification& notification) {
    uint32_t replaces = 0;
    {
        std::lock_guard lock(mutex_);
        if (auto it = delivered_.find(notification.identifier); it != delivered_.end()) replaces = it->second;
    }
    QDBusMessage message = call("Notify");
    QVariantMap hints;
    hints.insert("desktop-entry", QString("parlox"));
    message << QString("Parlox") << replaces << QString() << QString::fromStdString(notification.title)
            << QString::fromStdString(notification.body) << QStringList{"default", "Abrir"} << hints << int(-1);
    const QDBusReply<uint> reply = QDBusConnection::sessionBus().call(message, QDBus::Block, 3000);
    if (!reply.isValid()) {
        log().error("Notification not shown: " + reply.error().message().toStdString());
        return;
    }
    std::lock_guard lock(mutex_);
    delivered_[notification.identifier] = reply.value();
}

void DBusNotifier::removeDelivered(const std::string& identifier) {
    uint32_t id = 0;
    {
        std::lock_guard lock(mutex_);
        auto it = delivered_.find(identifier);
        if (it == delivered_.end()) return;
        id = it->second;
        delivered_.erase(it);
    }
    QDBusMessage message = call("CloseNotification");
    message << id;
    QDBusConnection::sessionBus().call(message, QDBus::Block, 3000);
}

void DBusNotifier::setResponseHandler(ResponseHandler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void DBusNotifier::invoked(uint32_t id) {
    std::string identifier;
    ResponseHandler handler;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [name, delivered] : delivered_)
            if (delivered == id) identifier = name;
        handler = handler_;
    }
    if (identifier.empty() || !handler) return;
    MainQueue::post([handler, identifier] { handler(identifier); });
}

void DBusNotifier::closed(uint32_t id) {
    std::lock_guard lock(mutex_);
    for (auto it = delivered_.begin(); it != delivered_.end(); ++it) {
        if (it->second == id) {
            delivered_.erase(it);
            return;
        }
    }
}

}  // namespace platform::desktop

#include "DBusNotifier.moc"
