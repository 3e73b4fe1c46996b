#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/App/CommandLineTool.hpp"
#include "app/App/LinuxDesktop.hpp"
#include "app/App/ParloxApp.hpp"
#include "app/Support/Log.hpp"
#include "app/Transcription/EngineTranscriber.hpp"
#include "platform/foundation/Error.hpp"
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
    // No arguments, or switches beginning with "--show" or "--demo": the
    // desktop application, which reads those switches itself.
    try {
        LinuxDesktop::requireDisplay();
    } catch (const platform::Error& error) {
        Log::error(error.description());
        std::fprintf(stderr, "%s\n", error.localizedDescription().c_str());
        return 1;
    }
    return ParloxApp::run(argc, argv, CommandLineTool::arguments(),
                          [] { return LinuxDesktop::services(std::make_shared<EngineTranscriber>()); });
}

}  // namespace Parlox

int main(int argc, char** argv) { return Parlox::main(argc, argv); }
