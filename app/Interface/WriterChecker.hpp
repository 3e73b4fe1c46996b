#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "app/Interface/WriterCheck.hpp"

namespace Parlox {

// Starts writing-tool checks without waiting for them: the tools run on
// threads of their own and each result is handed to `done` on the GUI
// thread. Checks of both tools may be in flight at once.
class WriterChecker {
public:
    using SetupDone = std::function<void(std::optional<WriterCheck>)>;
    using RunDone = std::function<void(WriterCheck)>;
    using LocateDone = std::function<void(std::string)>;

    virtual ~WriterChecker() = default;
    virtual void setup(WriterProvider provider, SetupDone done) = 0;
    virtual void run(WriterProvider provider, RunDone done) = 0;
    // Where the tool was found, as the writing settings show it
    // (WritingSettings::toolPath); locating may run the login shell.
    virtual void locate(WriterProvider provider, LocateDone done) = 0;

    // WriterCheck::setup and WriterCheck::run on worker threads.
    static std::shared_ptr<WriterChecker> background();
};

}  // namespace Parlox
