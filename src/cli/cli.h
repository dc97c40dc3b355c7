#pragma once
// kdctl's command registry. Each command lives in its own source file and
// registers itself with KD_CLI_COMMAND; main() parses the global options and
// dispatches by name.
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kd::cli {

struct CliContext {
    std::string port = "SIM";       // --port NAME|SIM
    int baud = 2000000;             // --baud RATE
    bool verbose = false;           // --verbose: log lines on stderr
    std::string trace;              // --trace FILE: every frame in and out
    std::vector<std::string> args;  // the command's own arguments
};

// Raised for a usage error (exit 2); any other error exits 1.
struct UsageError {
    std::string message;
};

using CommandFn = std::function<int(CliContext&)>;
// Checks a command's own arguments without doing anything; throws UsageError.
using CheckFn = std::function<void(const std::vector<std::string>& args)>;

struct CommandInfo {
    std::string name;
    CommandFn fn;
    CheckFn check;  // may be empty: the command checks as it runs
};

std::vector<CommandInfo>& Registry();
const CommandInfo* FindCliCommand(const std::string& name);

struct Registrar {
    Registrar(std::string name, CommandFn fn, CheckFn check = {}) {
        Registry().push_back({std::move(name), std::move(fn), std::move(check)});
    }
};

// What --help says of a command (usage, one line: "NAME ARGS  what it does")
// and what "help COMMAND" adds: a paragraph with its options and an example.
struct CommandHelp {
    const char* name;
    const char* usage;
    const char* text;
    const char* example;
};
std::span<const CommandHelp> CommandHelpTable();
const CommandHelp* FindCommandHelp(std::string_view name);

// Parses a number given in decimal or 0x-hex; throws UsageError naming what.
long ParseNumber(const std::string& text, const std::string& what);

// The command line: the global options, the command and its own arguments,
// all checked (UsageError for anything wrong); nothing is run. help is set
// for --help and for "help [COMMAND]" (helpCommand names the command then),
// version for --version; command is null in both cases.
struct ParsedCommandLine {
    CliContext ctx;
    const CommandInfo* command = nullptr;
    bool help = false;
    const CommandInfo* helpCommand = nullptr;
    bool version = false;
};
ParsedCommandLine ParseCliArgs(const std::vector<std::string>& argv);

}  // namespace kd::cli

#define KD_CLI_CONCAT2(a, b) a##b
#define KD_CLI_CONCAT(a, b) KD_CLI_CONCAT2(a, b)
#define KD_CLI_COMMAND(name, ...) \
    static ::kd::cli::Registrar KD_CLI_CONCAT(kdCliRegistrar_, __LINE__)(name, __VA_ARGS__)
