#include <cstdio>
#include <string>
#include <vector>

#include "app/App/CommandLineTool.hpp"
#include "app/Interface/ApplicationWindows.hpp"
#include "platform/process/Subprocess.hpp"

namespace Parlox {

int main(int argc, char** argv) {
    std::vector<std::string> all(argv, argv + argc);
    CommandLineTool::setArguments(all.size() > 1 ? std::vector<std::string>(all.begin() + 1, all.end())
                                                 : std::vector<std::string>());
    // A writing tool that stops reading its input must not end us.
    platform::process::ignoreSigpipe();
    if (CommandLineTool::isCommandLine(CommandLineTool::arguments())) {
        std::setvbuf(stdout, nullptr, _IOLBF, 0);
        CommandLineTool::run(all);
    }
    // "--show-welcome" and "--show-settings" open their window.
    if (ApplicationWindows::asksForWindow(CommandLineTool::arguments()))
        return ApplicationWindows::runWindowOnly(argc, argv, CommandLineTool::arguments());
    // The desktop application starts here once it is part of the build; until
    // then a launch without a command says how to use the command line.
    for (const auto& line : CommandLineTool::usageLines()) std::printf("%s\n", line.c_str());
    return 2;
}

}  // namespace Parlox

int main(int argc, char** argv) { return Parlox::main(argc, argv); }
