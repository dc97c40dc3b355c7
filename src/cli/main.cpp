// kdctl: command-line tool over the program's core.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>

#include "cli/cli.h"
#include "common/log.h"

namespace kd::cli {

std::vector<CommandInfo>& Registry() {
    static std::vector<CommandInfo> r;
    return r;
}

long ParseNumber(const std::string& text, const std::string& what) {
    if (text.empty()) throw UsageError{"missing " + what};
    errno = 0;
    char* end = nullptr;
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    long v = std::strtol(hex ? text.c_str() + 2 : text.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || (hex && text.size() == 2) ||
        (!hex && (text[0] == ' ' || text[0] == '+')))
        throw UsageError{"bad " + what + ": '" + text + "'"};
    return v;
}

namespace {

void PrintUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: kdctl [--port NAME|SIM] [--baud RATE] [--verbose] [--trace FILE] "
                 "COMMAND [ARGS]\ncommands:\n");
    auto cmds = Registry();
    std::sort(cmds.begin(), cmds.end(),
              [](const CommandInfo& a, const CommandInfo& b) { return a.name < b.name; });
    for (auto& c : cmds) std::fprintf(out, "  %s\n", c.usage.c_str());
}

int Run(int argc, char** argv) {
    CliContext ctx;
    int i = 1;
    auto needValue = [&](const std::string& opt) -> std::string {
        if (i + 1 >= argc) throw UsageError{opt + " needs a value"};
        return argv[++i];
    };
    for (; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--port") {
            ctx.port = needValue(a);
        } else if (a == "--baud") {
            long b = ParseNumber(needValue(a), "baud rate");
            if (b < 9600 || b > 4000000)
                throw UsageError{"baud rate out of range (9600..4000000): " + std::to_string(b)};
            ctx.baud = static_cast<int>(b);
        } else if (a == "--verbose") {
            ctx.verbose = true;
        } else if (a == "--trace") {
            ctx.trace = needValue(a);
        } else if (a == "--help" || a == "-h") {
            PrintUsage(stdout);
            return 0;
        } else if (!a.empty() && a[0] == '-' && a.size() > 1) {
            throw UsageError{"unknown option '" + a + "'"};
        } else {
            break;
        }
    }
    if (i >= argc) throw UsageError{"no command given"};
    std::string name = argv[i++];
    for (; i < argc; ++i) ctx.args.emplace_back(argv[i]);
    for (auto& c : Registry()) {
        if (c.name == name) {
            std::unique_ptr<ScopedLogSink> sink;
            if (ctx.verbose)
                sink = std::make_unique<ScopedLogSink>(
                    [](int, const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
            return c.fn(ctx);
        }
    }
    throw UsageError{"unknown command '" + name + "'"};
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
