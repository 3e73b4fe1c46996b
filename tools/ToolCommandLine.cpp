#include "tools/ToolCommandLine.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>

namespace parlox::tools {
namespace {

const OptionSpec* findOption(const ToolSpec& spec, const std::string& name) {
    for (const auto& option : spec.options) {
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

std::string usage(const std::string& program, const ToolSpec& spec) {
    return "usage: " + program + " " + spec.synopsis + "\n" + spec.description;
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

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments, const ToolSpec& spec) {
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
        const OptionSpec* option = findOption(spec, argument);
        if (!option) throw UsageError("unknown option " + argument);
        if (!option->takesValue) {
            line.options.emplace_back(argument, "");
            continue;
        }
        if (i + 1 >= arguments.size()) throw UsageError(argument + " needs a value");
        line.options.emplace_back(argument, arguments[++i]);
    }
    if (line.positional.size() != spec.positionalCount) {
        throw UsageError("expected " + std::to_string(spec.positionalCount) + " argument" +
                         (spec.positionalCount == 1 ? "" : "s") + ", got " + std::to_string(line.positional.size()));
    }
    return line;
}

int runTool(int argc, char** argv, const ToolSpec& spec, const std::function<int(const ParsedCommandLine&)>& body) {
    const std::string program = std::filesystem::path(argc > 0 ? argv[0] : "tool").filename().string();
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (asksForHelp(arguments)) {
        std::fputs(usage(program, spec).c_str(), stdout);
        return 0;
    }
    try {
        return body(parseCommandLine(arguments, spec));
    } catch (const UsageError& error) {
        std::fprintf(stderr, "%s: %s\n%s", program.c_str(), error.what(), usage(program, spec).c_str());
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
