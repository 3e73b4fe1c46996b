#pragma once

#include <filesystem>
#include <functional>

#include <QLocalServer>
#include <QObject>

#include "platform/foundation/UniqueFd.hpp"

namespace Parlox {

// One application per user and display. The first start holds a lock and
// listens on a local socket; a later start finds the lock taken, asks the
// first one to come forward through the socket, and ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `folder` holds the lock and the socket; `name` tells instances apart
    // (the user and the display).
    SingleInstance(std::filesystem::path folder, std::string name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The folder and name for this user and display.
    static std::filesystem::path defaultFolder();
    static std::string defaultName();

    // True when this process is now the one instance. Otherwise it has told
    // the running one (waiting up to `waitSeconds` for it to listen) and
    // returns false.
    bool start(double waitSeconds = 3.0);

    std::filesystem::path socketPath() const;

Q_SIGNALS:
    // Another start asked this instance to come forward.
    void reopenRequested();

private:
    bool askRunningInstance(double waitSeconds);
    void listen();

    std::filesystem::path folder_;
    std::string name_;
    platform::UniqueFd lockDescriptor_;
    // The socket's address goes through it: held while the server listens.
    platform::UniqueFd folderDescriptor_;
    QLocalServer server_;
};

}  // namespace Parlox
