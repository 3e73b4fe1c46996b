#pragma once

#include <QObject>

namespace Parlox {

// Announces each time the application becomes active, that is, one of its
// windows takes the focus from another application.
class ApplicationActivation : public QObject {
    Q_OBJECT
public:
    // Made on first use, once a GUI application exists.
    static ApplicationActivation& shared();

    // Announces an activation; the toolkit's own notices come through here too.
    void announce();

Q_SIGNALS:
    void becameActive();

private:
    ApplicationActivation();
};

}  // namespace Parlox
