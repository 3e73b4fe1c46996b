#pragma once

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "writing/GenerationRequest.hpp"

namespace Parlox {

// The command-line side of the executable: one-shot writing requests
// ("--generate", "--iterate"), timed transcriptions of audio files
// ("--transcribe") and still images of the interface ("--render-windows",
// "--render-overlay");
// anything else prints the usage text.
// Output goes to standard output only, one line per print.
struct CommandLineTool {
    using Print = std::function<void(const std::string& line)>;

    // The program's arguments without the program path, as `main` keeps them.
    static const std::vector<std::string>& arguments();

    // Whether a launch with these arguments (program path excluded) is a
    // command-line run: any first argument that starts with neither "--demo"
    // nor "--show".
    static bool isCommandLine(const std::vector<std::string>& arguments);

    // Runs the full argument list (program path at index 0) and ends the
    // process with the exit status: 0 done, 1 failed, 2 usage. SIGINT,
    // SIGTERM or SIGHUP stop the request (its tool is ended, its folder
    // removed) and end the process with 128 + the signal's number.
    [[noreturn]] static void run(const std::vector<std::string>& args);

    // The same, returning the exit status instead of ending the process. A
    // stop request ends the request, which then prints nothing more.
    static int execute(const std::vector<std::string>& args, const Print& print, std::stop_token stop = {});

    static const std::vector<std::string>& usageLines();

    // The "timeout" setting in seconds; 45 when absent, zero, negative or not a number.
    static double timeoutSetting();

private:
    friend int main(int, char**);
    static void setArguments(std::vector<std::string> arguments);

    static int generate(const std::string& instruction, const std::optional<std::string>& base,
                        const std::optional<ParloxCore::Iteration>& previous, const Print& print,
                        std::stop_token stop);
    // Prepares the speech model, then transcribes each file twice, timing both.
    static int transcribe(const std::vector<std::string>& files, const Print& print, std::stop_token stop);
    // A whole audio file as 16 kHz mono samples. Throws for a file that
    // cannot be read, or that ends before the audio its header announces.
    static std::vector<float> load(const std::string& path);
};

}  // namespace Parlox
