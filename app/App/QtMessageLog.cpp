#include "app/App/QtMessageLog.hpp"

#include <QtGlobal>
#include <QString>

#include "app/Support/Log.hpp"

namespace Parlox {
namespace {

void toLog(QtMsgType type, const QMessageLogContext&, const QString& message) {
    const std::string text = "Qt: " + message.toStdString();
    if (type == QtCriticalMsg || type == QtFatalMsg) Log::error(text);
    else if (type != QtDebugMsg) Log::info(text);
}

}  // namespace

void QtMessageLog::install() { qInstallMessageHandler(toLog); }

}  // namespace Parlox
