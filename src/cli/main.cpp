// kdctl: command-line tool over the program's core.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "common/log.h"
#include "kd_version.h"

namespace kd::cli {

namespace {

constexpr const char* kGlobalUsage =
    "usage: kdctl [--port NAME|SIM] [--baud RATE] [--verbose] [--trace FILE] COMMAND [ARGS]\n"
    "       kdctl help [COMMAND] | --help | --version\n";

constexpr const char* kGlobalOptions =
    "options:\n"
    "  --port NAME|SIM   the serial port (/dev/ttyUSB0, ttyUSB0) or SIM, the simulated sensor\n"
    "                    (default SIM)\n"
    "  --baud RATE       9600..4000000 bit/s (default 2000000)\n"
    "  --verbose         log lines on stderr\n"
    "  --trace FILE      every frame sent and received, into FILE\n"
    "exit status: 0 done, 1 failed, 2 usage error\n";

// One command: its usage line, what it does with its options, an example.
void PrintCommandHelp(const CommandInfo& c) {
    std::printf("%s\n", kGlobalUsage);
    if (const CommandHelp* h = FindCommandHelp(c.name))
        std::printf("%s\n\n%s\n\nexample:\n  %s\n\n", h->usage, h->text, h->example);
    else
        std::printf("%s\n\n", c.name.c_str());
    std::fputs(kGlobalOptions, stdout);
}

void PrintUsage(std::FILE* out) {
    std::fprintf(out, "%scommands:\n", kGlobalUsage);
    std::vector<std::string> names;
    for (const CommandInfo& c : Registry()) names.push_back(c.name);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        const CommandHelp* h = FindCommandHelp(n);
        std::fprintf(out, "  %s\n", h ? h->usage : n.c_str());
    }
}

int Run(int argc, char** argv) {
    ParsedCommandLine parsed = ParseCliArgs(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.version) {
        std::printf("kdctl (KD Trelva) %s\n", KD_VERSION);
        return 0;
    }
    if (parsed.helpCommand) {
        PrintCommandHelp(*parsed.helpCommand);
        return 0;
    }
    if (parsed.help) {
        PrintUsage(stdout);
        std::fputs(kGlobalOptions, stdout);
        return 0;
    }
    CliContext& ctx = parsed.ctx;
    std::unique_ptr<ScopedLogSink> sink;
    if (ctx.verbose)
        sink = std::make_unique<ScopedLogSink>(
            [](int, const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    return parsed.command->fn(ctx);
}

}  // namespace
}  // namespace kd::cli

int main(int argc, char** argv) {
    using namespace kd::cli;
    try {
        return Run(argc, argv);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "kdctl: %s\n", e.message.c_str());
        PrintUsage(stderr);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kdctl: %s\n", e.what());
        return 1;
    }
}
