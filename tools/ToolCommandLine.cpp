#include "tools/ToolCommandLine.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>

namespace parlox::tools {
namespace {

const ToolOption* findOption(const ToolUsage& tool, const std::string& name) {
    for (const auto& option : tool.options) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

bool asksForHelp(const std::vector<std::string>& arguments) {
    for (const auto& argument : arguments) {
        if (argument == "--") return false;
        if (argument == "-h" || argument == "--help") return true;
    }
    return false;
}

std::string usageText(const std::string& program, const ToolUsage& tool) {
    return "usage: " + program + " " + tool.synopsis + "\n" + tool.description;
}

long long integer(const std::string& option, const std::string& value, long long minimum) {
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(value.c_str(), &end, 10);
    if (value.empty() || !end || *end || errno == ERANGE || parsed < minimum) {
        throw UsageError("bad value for " + option + ": " + value);
    }
    return parsed;
}

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments, const ToolUsage& tool) {
    ParsedCommandLine line;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            line.positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const ToolOption* option = findOption(tool, argument);
        if (!option) throw UsageError("unknown option " + argument);
        if (!option->takesValue) {
            line.options.emplace_back(argument, "");
            continue;
        }
        if (i + 1 >= arguments.size()) throw UsageError(argument + " needs a value");
        line.options.emplace_back(argument, arguments[++i]);
    }
    if (line.positional.size() != tool.positionalCount) {
        throw UsageError("expected " + std::to_string(tool.positionalCount) + " argument" +
                         (tool.positionalCount == 1 ? "" : "s") + ", got " + std::to_string(line.positional.size()));
    }
    return line;
}

int runTool(int argc, char** argv, const ToolUsage& tool, const std::function<int(const ParsedCommandLine&)>& body) {
    const std::string program = std::filesystem::path(argc > 0 ? argv[0] : "tool").filename().string();
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (asksForHelp(arguments)) {
        std::fputs(usageText(program, tool).c_str(), stdout);
        return 0;
    }
    try {
        return body(parseCommandLine(arguments, tool));
    } catch (const UsageError& error) {
        std::fprintf(stderr, "%s: %s\n%s", program.c_str(), error.what(), usageText(program, tool).c_str());
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), error.what());
        return 1;
    }
}

long long positiveInteger(const std::string& option, const std::string& value) { return integer(option, value, 1); }

long long nonNegativeInteger(const std::string& option, const std::string& value) {
    return integer(option, value, 0);
}

}  // namespace parlox::tools
