#include "app/App/ParloxApp.hpp"

#include <cstdio>

#include <QApplication>

#include "app/App/AppDelegate.hpp"
#include "app/App/LaunchAction.hpp"
#include "app/App/QtApplication.hpp"
#include "app/App/QtMainQueue.hpp"
#include "app/App/QtMessageLog.hpp"
#include "app/App/SingleInstance.hpp"
#include "app/Support/Log.hpp"
#include "platform/foundation/Error.hpp"

namespace Parlox {

int ParloxApp::run(int argc, char** argv, const std::vector<std::string>& arguments,
                   const std::function<AppServices()>& makeServices) {
    const auto application = makeApplicationWithoutGlibLoop<QApplication>(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Parlox"));
    QtMessageLog::install();

    SingleInstance instance(SingleInstance::defaultFolder(), SingleInstance::defaultName());
    if (!instance.start()) return 0;
    QtMainQueue mainQueue;

    AppServices services;
    try {
        services = makeServices();
    } catch (const platform::Error& error) {
        Log::error(error.description());
        std::fprintf(stderr, "%s\n", error.localizedDescription().c_str());
        return 1;
    }
    AppDelegate delegate(std::move(services));
    QObject::connect(&instance, &SingleInstance::reopenRequested, &delegate,
                     [&delegate] { delegate.applicationShouldHandleReopen(); });
    delegate.applicationDidFinishLaunching(arguments, LoginLaunch::detect());
    const int status = QApplication::exec();
    Log::flush();
    return status;
}

}  // namespace Parlox
