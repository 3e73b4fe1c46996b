#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// The command line shared by the developer tools: their usage on --help,
// refusal of what they do not know, and one way to report failures.
namespace parlox::tools {

struct ToolOption {
    std::string name;  // "--mels"
    bool takesValue = false;
};

struct ToolUsage {
    std::string synopsis;     // what follows the program name on the usage line
    std::string description;  // lines printed after the usage line, each ending in "\n"
    std::vector<ToolOption> options;
    std::size_t positionalCount = 0;  // exactly this many arguments that are not options
};

struct ParsedCommandLine {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;  // in the order given; "" for a flag
};

// A command line the tool cannot use; the message says what is wrong.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads the arguments after the program name. "--" ends the options, so a
// folder may start with a dash. Throws UsageError for an unknown option, an
// option without its value or a wrong count of other arguments.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments, const ToolUsage& tool);

// Runs a tool: "-h" or "--help" before any "--" prints the usage on standard
// output and exits 0 without doing anything else. A UsageError, from the
// parser or from `body`, prints the problem and the usage on standard error
// (exit 2); any other exception from `body` prints its message (exit 1).
// Otherwise `body`'s exit status.
int runTool(int argc, char** argv, const ToolUsage& tool, const std::function<int(const ParsedCommandLine&)>& body);

// The option's value as a whole number above zero, else UsageError.
long long positiveInteger(const std::string& option, const std::string& value);
// The same for zero and above.
long long nonNegativeInteger(const std::string& option, const std::string& value);

}  // namespace parlox::tools
