#pragma once

#include <memory>

#include <QByteArray>
#include <QtGlobal>

namespace Parlox {

// Makes the application object on Qt's own main loop rather than GLib's.
// The accessibility library hooks the connections it opens to other
// programs into GLib's default main context; a main thread running that
// context takes the replies that a capture waits for on another thread, and
// the capture then gives up on a program that did answer. The switch is
// read when the object is made; programs started later get the environment
// as it was.
template <typename Application>
std::unique_ptr<Application> makeApplicationWithoutGlibLoop(int& argc, char** argv) {
    const bool wasSet = qEnvironmentVariableIsSet("QT_NO_GLIB");
    const QByteArray earlier = qgetenv("QT_NO_GLIB");
    qputenv("QT_NO_GLIB", "1");
    auto application = std::make_unique<Application>(argc, argv);
    if (wasSet)
        qputenv("QT_NO_GLIB", earlier);
    else
        qunsetenv("QT_NO_GLIB");
    return application;
}

}  // namespace Parlox
