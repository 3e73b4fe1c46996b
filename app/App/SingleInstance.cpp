#include "app/App/SingleInstance.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include <QLocalSocket>

#include "app/Support/Log.hpp"
#include "platform/foundation/FileManager.hpp"
#include "platform/foundation/Paths.hpp"

namespace Parlox {
namespace {
constexpr char reopenMessage[] = "reopen\n";

platform::UniqueFd openFolder(const std::filesystem::path& folder) {
    return platform::UniqueFd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
}

// A socket's path holds at most 107 bytes, and a runtime or temporary folder
// may be deeper than that. Reached through a descriptor of its folder, the
// socket has a short address wherever the folder is.
QString addressIn(const platform::UniqueFd& folder, const std::filesystem::path& socket) {
    return QString::fromStdString("/proc/self/fd/" + std::to_string(folder.get()) + "/" +
                                  socket.filename().string());
}
}  // namespace

SingleInstance::SingleInstance(std::filesystem::path folder, std::string name, QObject* parent)
    : QObject(parent), folder_(std::move(folder)), name_(std::move(name)) {
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains("reopen")) Q_EMIT reopenRequested();
                socket->disconnectFromServer();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

SingleInstance::~SingleInstance() {
    if (server_.isListening()) {
        server_.close();
        std::error_code ignored;
        std::filesystem::remove(socketPath(), ignored);
    }
}

std::filesystem::path SingleInstance::defaultFolder() { return platform::Paths::temporaryDirectory(); }

std::string SingleInstance::defaultName() {
    std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    for (char& c : display) {
        if (c == ':' || c == '/' || c == '.') c = '_';
    }
    return "parlox-" + std::to_string(::getuid()) + display;
}

std::filesystem::path SingleInstance::socketPath() const { return folder_ / (name_ + ".socket"); }

bool SingleInstance::start(double waitSeconds) {
    std::error_code ignored;
    std::filesystem::create_directories(folder_, ignored);
    const std::filesystem::path lockPath = folder_ / (name_ + ".lock");
    lockDescriptor_.reset(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!lockDescriptor_) {
        // Without a lock file we cannot tell; better run than refuse to start.
        Log::error("No puedo comprobar si Parlox ya está abierta: " + lockPath.string());
        return true;
    }
    if (::flock(lockDescriptor_.get(), LOCK_EX | LOCK_NB) == 0) {
        listen();
        return true;
    }
    lockDescriptor_.reset();
    if (!askRunningInstance(waitSeconds)) Log::error("Parlox ya está abierta, pero no contesta");
    return false;
}

void SingleInstance::listen() {
    // The lock is ours, so a socket file left there is from a run that died.
    std::error_code ignored;
    std::filesystem::remove(socketPath(), ignored);
    folderDescriptor_ = openFolder(folder_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(addressIn(folderDescriptor_, socketPath())))
        Log::error("No puedo escuchar en " + socketPath().string() + ": " + server_.errorString().toStdString());
}

bool SingleInstance::askRunningInstance(double waitSeconds) {
    // The running instance may still be starting: try until it listens.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(waitSeconds);
    const platform::UniqueFd folder = openFolder(folder_);
    do {
        QLocalSocket socket;
        socket.connectToServer(addressIn(folder, socketPath()));
        if (socket.waitForConnected(200)) {
            socket.write(reopenMessage);
            const bool sent = socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return sent;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

}  // namespace Parlox
