#include "app/Interface/WriterActions.hpp"

#include "platform/concurrency/MainQueue.hpp"
#include "platform/concurrency/Task.hpp"

namespace Parlox {

namespace {

void tellIf(const WriterProvider::ByHand& byHand, const WriterActions::Tell& tell) {
    if (byHand && tell) tell(*byHand);
}

}  // namespace

WriterActions WriterActions::system() {
    return {
        [](WriterProvider provider, Tell tell) { tellIf(provider.openInstall(), tell); },
        [](WriterProvider provider, Tell tell) {
            platform::Task::runOnThread([provider, tell] {
                auto byHand = provider.openLogin();
                if (byHand) platform::MainQueue::post([byHand, tell] { tellIf(byHand, tell); });
            });
        },
        [](Tell tell) { tellIf(WriterProvider::openURL(WriterProvider::claudeUpgradePage), tell); },
    };
}

}  // namespace Parlox
