// kdctl's command registry and the parsing of its command line.
#include <cerrno>
#include <cstdlib>

#include "cli/cli.h"

namespace kd::cli {

std::vector<CommandInfo>& Registry() {
    static std::vector<CommandInfo> r;
    return r;
}

const CommandInfo* FindCliCommand(const std::string& name) {
    for (const CommandInfo& c : Registry())
        if (c.name == name) return &c;
    return nullptr;
}

long ParseNumber(const std::string& text, const std::string& what) {
    if (text.empty()) throw UsageError{"missing " + what};
    errno = 0;
    char* end = nullptr;
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    long v = std::strtol(hex ? text.c_str() + 2 : text.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || (hex && text.size() == 2) ||
        (!hex && (text[0] == ' ' || text[0] == '+')) ||
        (hex && (text[2] == '-' || text[2] == '+' || text[2] == ' ')))
        throw UsageError{"bad " + what + ": '" + text + "'"};
    return v;
}

ParsedCommandLine ParseCliArgs(const std::vector<std::string>& argv) {
    ParsedCommandLine p;
    CliContext& ctx = p.ctx;
    size_t i = 0;
    auto needValue = [&](const std::string& opt) -> std::string {
        if (i + 1 >= argv.size()) throw UsageError{opt + " needs a value"};
        return argv[++i];
    };
    for (; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (a == "--port") {
            ctx.port = needValue(a);
            if (ctx.port.empty()) throw UsageError{"--port needs a port name"};
        } else if (a == "--baud") {
            long b = ParseNumber(needValue(a), "baud rate");
            if (b < 9600 || b > 4000000)
                throw UsageError{"baud rate out of range (9600..4000000): " + std::to_string(b)};
            ctx.baud = static_cast<int>(b);
        } else if (a == "--verbose") {
            ctx.verbose = true;
        } else if (a == "--trace") {
            ctx.trace = needValue(a);
            if (ctx.trace.empty()) throw UsageError{"--trace needs a file name"};
        } else if (a == "--help" || a == "-h") {
            p.help = true;
            return p;
        } else if (a == "--version") {
            p.version = true;
            return p;
        } else if (!a.empty() && a[0] == '-' && a.size() > 1) {
            throw UsageError{"unknown option '" + a + "'"};
        } else {
            break;
        }
    }
    if (i >= argv.size()) throw UsageError{"no command given"};
    const std::string& name = argv[i++];
    if (name == "help") {
        p.help = true;
        if (i + 1 < argv.size()) throw UsageError{"help takes one command name"};
        if (i < argv.size()) {
            p.helpCommand = FindCliCommand(argv[i]);
            if (!p.helpCommand) throw UsageError{"unknown command '" + argv[i] + "'"};
        }
        return p;
    }
    for (; i < argv.size(); ++i) ctx.args.push_back(argv[i]);
    p.command = FindCliCommand(name);
    if (!p.command) throw UsageError{"unknown command '" + name + "'"};
    if (p.command->check) p.command->check(ctx.args);
    return p;
}

}  // namespace kd::cli
