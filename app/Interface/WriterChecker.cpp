#include "app/Interface/WriterChecker.hpp"

#include <QCoreApplication>
#include <QMetaObject>

#include "app/Interface/WritingSettings.hpp"
#include "platform/concurrency/Task.hpp"

namespace Parlox {
namespace {

// Hands `deliver` to the GUI thread's event loop.
void onGuiThread(std::function<void()> deliver) {
    if (auto* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(deliver), Qt::QueuedConnection);
}

class BackgroundChecker final : public WriterChecker {
public:
    void setup(WriterProvider provider, SetupDone done) override {
        platform::Task::runOnThread([provider, done = std::move(done)] {
            auto result = WriterCheck::setup(provider);
            onGuiThread([done, result] { done(result); });
        });
    }
    void run(WriterProvider provider, RunDone done) override {
        platform::Task::runOnThread([provider, done = std::move(done)] {
            auto result = WriterCheck::run(provider);
            onGuiThread([done, result] { done(result); });
        });
    }
    void locate(WriterProvider provider, LocateDone done) override {
        platform::Task::runOnThread([provider, done = std::move(done)] {
            auto path = WritingSettings::toolPath(provider);
            onGuiThread([done, path] { done(path); });
        });
    }
};

}  // namespace

std::shared_ptr<WriterChecker> WriterChecker::background() { return std::make_shared<BackgroundChecker>(); }

}  // namespace Parlox
