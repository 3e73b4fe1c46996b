#include "app/Interface/ApplicationActivation.hpp"

#include <QGuiApplication>
#include <QPointer>

namespace Parlox {

ApplicationActivation::ApplicationActivation() : QObject(QCoreApplication::instance()) {
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive) announce();
        });
}

ApplicationActivation& ApplicationActivation::shared() {
    // Owned by the application object, and made again for a new one.
    static QPointer<ApplicationActivation> instance;
    if (!instance) instance = new ApplicationActivation();
    return *instance;
}

void ApplicationActivation::announce() { Q_EMIT becameActive(); }

}  // namespace Parlox
