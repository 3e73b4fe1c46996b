#include "app/Interface/WriterActions.hpp"

#include "platform/concurrency/Task.hpp"

namespace Parlox {

WriterActions WriterActions::system() {
    return {
        [](WriterProvider provider) { provider.openInstall(); },
        [](WriterProvider provider) { platform::Task::runOnThread([provider] { provider.openLogin(); }); },
        [] { WriterProvider::openURL(WriterProvider::claudeUpgradePage); },
    };
}

}  // namespace Parlox
