// kdctl commands of the link itself: one catalogue command, a memory read.
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/cli_session.h"
#include "common/log.h"
#include "link/commands.h"
#include "link/frame_trace.h"

namespace kd::cli {
namespace {

std::optional<CatalogueEntry> LookUp(const std::string& name) {
    if (auto c = FindCommand(name)) return c;
    std::string upper = name;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return FindCommand(upper);
}

struct TCommandArgs {
    CatalogueEntry info{};
    Payload payload;
    std::string shown;
};

TCommandArgs ParseCommand(const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError{"command: no command name given"};
    auto info = LookUp(args[0]);
    if (!info) throw UsageError{"command: unknown command '" + args[0] + "'"};
    if (args.size() - 1 > kMaxRequestPayload / 2)
        throw UsageError{"command: at most 255 payload words"};
    TCommandArgs c;
    c.info = *info;
    for (size_t i = 1; i < args.size(); ++i) {
        long v = ParseNumber(args[i], "payload word");
        if (v < -32768 || v > 65535)
            throw UsageError{"command: payload word out of range (-32768..65535): '" + args[i] +
                             "'"};
        c.payload.W(static_cast<int>(v));
        c.shown += (i > 1 ? ", " : "") + std::to_string(v);
    }
    return c;
}

int RunCommand(CliContext& ctx) {
    TCommandArgs parsed = ParseCommand(ctx.args);
    const CatalogueEntry* info = &parsed.info;
    Payload& payload = parsed.payload;
    const std::string& shown = parsed.shown;
    auto session = OpenSession(ctx);
    WriteLog(kLogAction, "%s(%s)", std::string(info->name).c_str(), shown.c_str());
    std::vector<uint8_t> reply = session->Thread().CommandReply(info->code, payload.Bytes());
    session->Close();
    std::printf("%s\n", HexBytes(reply).c_str());
    return 0;
}

struct TMemReadArgs {
    long mode = kModeWords;
    bool wide = false;
    long address = 0;
    long words = 0;
};

TMemReadArgs ParseMemRead(const std::vector<std::string>& args) {
    TMemReadArgs m;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--mode") {
            if (i + 1 >= args.size()) throw UsageError{"memread: --mode needs a value"};
            m.mode = ParseNumber(args[++i], "mode");
            if (m.mode < 0 || m.mode > 0x3FF)
                throw UsageError{"memread: mode out of range (0..0x3FF)"};
        } else if (a == "--wide") {
            m.wide = true;
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            throw UsageError{"memread: unknown option '" + a + "'"};
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) throw UsageError{"memread: give ADDR and WORDS"};
    m.address = ParseNumber(positional[0], "address");
    m.words = ParseNumber(positional[1], "word count");
    if (m.address < 0 || m.address > 0xFFFFFFFFL)
        throw UsageError{"memread: address out of range (0..0xFFFFFFFF)"};
    if (m.words < 1 || m.words > 1048576)
        throw UsageError{"memread: word count out of range (1..1048576)"};
    const int elem = ModeElementWords(static_cast<uint16_t>(m.mode));
    if (m.words % elem != 0)
        throw UsageError{"memread: the mode reads " + std::to_string(elem) +
                         "-word elements; give a multiple of " + std::to_string(elem) + " words"};
    return m;
}

int RunMemRead(CliContext& ctx) {
    const TMemReadArgs m = ParseMemRead(ctx.args);
    const long mode = m.mode, address = m.address, words = m.words;
    const bool wide = m.wide;
    auto session = OpenSession(ctx);
    session->Thread().WideTransfers = wide;
    WriteLog(kLogPlain, "MemRead(0x%08X, %d)", static_cast<unsigned>(address),
             static_cast<int>(words));
    std::vector<uint16_t> buffer(static_cast<size_t>(words));
    session->Thread().MemRead(buffer.data(), static_cast<uint32_t>(address),
                              static_cast<uint16_t>(mode), static_cast<int>(words));
    session->Close();
    std::string out;
    for (size_t i = 0; i < buffer.size(); ++i) {
        out += Format("%04X", buffer[i]);
        out += (i % 16 == 15 || i + 1 == buffer.size()) ? '\n' : ' ';
    }
    std::fputs(out.c_str(), stdout);
    return 0;
}

}  // namespace

KD_CLI_COMMAND("command", RunCommand, [](const std::vector<std::string>& a) { ParseCommand(a); });
KD_CLI_COMMAND("memread", RunMemRead, [](const std::vector<std::string>& a) { ParseMemRead(a); });

}  // namespace kd::cli
