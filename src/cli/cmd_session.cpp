// kdctl commands of the session workflows: version, receive, send,
// write-eeprom, bank-copy, watch and profile. Each connects through the whole
// Connect workflow (version check, system mode, sampling period, receive all)
// and then runs the workflow the desktop program runs for the same action.
// Banks are numbered 1..8 here, as the operator sees them.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli.h"
#include "cli/cli_session.h"
#include "cli/cli_workflow.h"
#include "common/atomic_file.h"
#include "common/clock.h"
#include "common/kest_error.h"
#include "common/log.h"
#include "link/commands.h"
#include "params/param_files.h"
#include "shell/session/kest_session.h"

namespace kd::cli {
namespace {

// A bank as the operator numbers it (1..8) to the program's 0..7.
int ParseBank(const std::string& text, const std::string& what) {
    const long v = ParseNumber(text, what);
    if (v < 1 || v > kBankCount) throw UsageError{what + " out of range (1..8): '" + text + "'"};
    return static_cast<int>(v - 1);
}

void CheckParamFileName(const std::string& cmd, const std::string& name) {
    const TParamFormat f = FormatOfName(name);
    if (f != TParamFormat::Text && f != TParamFormat::Raw)
        throw UsageError{cmd + ": give a parameter file ending in .kd, .dalo, .vyn or .bin: '" +
                         name + "'"};
}

void CheckVersion(const std::vector<std::string>& args) {
    if (!args.empty()) throw UsageError{"version: no arguments expected"};
}

int RunVersion(CliContext& ctx) {
    CheckVersion(ctx.args);
    TCliWorkflow w(ctx);
    w.Connect();
    w.Close();
    const TSensorVersion& v = w.state.SensorVersion;
    std::printf("%02X:%02X:%02X\n%u\n", v.Fpga, v.Bios, v.Soft, w.session.SamplingPeriod);
    return 0;
}

void CheckReceive(const std::vector<std::string>& args) {
    if (args.size() != 1) throw UsageError{"receive: give one FILE"};
    CheckParamFileName("receive", args[0]);
}

int RunReceive(CliContext& ctx) {
    CheckReceive(ctx.args);
    TCliWorkflow w(ctx);
    w.Connect();
    w.session.FileSaveAs(ctx.args[0]);
    w.Close();
    return 0;
}

void CheckSend(const std::vector<std::string>& args) {
    if (args.size() != 1) throw UsageError{"send: give one FILE"};
    CheckParamFileName("send", args[0]);
}

int RunSend(CliContext& ctx) {
    CheckSend(ctx.args);
    {
        // A file that cannot be read stops before the sensor is touched.
        TKestParam probe;
        TMasterStore probeMasters;
        probe.Masters = &probeMasters;
        probe.LoadFromFile(ctx.args[0]);
        // Nor does one that lacks blocks: zeros are never written to a sensor.
        if (probe.MissingBlocks != 0)
            throw EKestError(IncompleteFileMessage(ctx.args[0], probe.MissingBlocks) +
                             "; nothing was sent to the sensor");
    }
    TCliWorkflow w(ctx);
    w.Connect();
    w.session.FileOpen(ctx.args[0]);
    w.Close();
    return 0;
}

// The bank of --bank (0..7), -1 for all banks.
int ParseWriteEeprom(const std::vector<std::string>& args) {
    int bank = -1;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--bank") {
            if (i + 1 >= args.size()) throw UsageError{"write-eeprom: --bank needs a value"};
            bank = ParseBank(args[++i], "bank");
        } else {
            throw UsageError{"write-eeprom: unexpected argument '" + args[i] + "'"};
        }
    }
    return bank;
}

int RunWriteEeprom(CliContext& ctx) {
    const int bank = ParseWriteEeprom(ctx.args);
    TCliWorkflow w(ctx);
    w.Connect();
    w.session.WriteToEeprom(bank);
    w.Close();
    return 0;
}

// FROM (0..7) and TO (0..7, or 8 for all banks).
std::pair<int, int> ParseBankCopy(const std::vector<std::string>& args) {
    if (args.size() != 2) throw UsageError{"bank-copy: give FROM and TO (or all)"};
    const int from = ParseBank(args[0], "bank-copy: FROM");
    const int to = args[1] == "all" ? kBankCount : ParseBank(args[1], "bank-copy: TO");
    return {from, to};
}

int RunBankCopy(CliContext& ctx) {
    const auto [from, to] = ParseBankCopy(ctx.args);
    TCliWorkflow w(ctx);
    w.Connect();
    w.session.BankCopy(to, from);
    w.Close();
    return 0;
}

std::atomic<bool> stopWatch{false};
extern "C" void StopWatchSignal(int) {
    stopWatch = true;
}

std::string ValueText(int32_t v) {
    return v == kNoValue32 ? "-" : std::to_string(v);
}

// The tick count of --count, -1 for no end.
long ParseWatch(const std::vector<std::string>& args) {
    long count = -1;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--count") {
            if (i + 1 >= args.size()) throw UsageError{"watch: --count needs a value"};
            count = ParseNumber(args[++i], "count");
            if (count < 1) throw UsageError{"watch: --count must be 1 or more"};
        } else {
            throw UsageError{"watch: unexpected argument '" + args[i] + "'"};
        }
    }
    return count;
}

int RunWatch(CliContext& ctx) {
    const long count = ParseWatch(ctx.args);
    TCliWorkflow w(ctx);
    w.Connect();
    stopWatch = false;
    auto oldInt = std::signal(SIGINT, StopWatchSignal);
    auto oldTerm = std::signal(SIGTERM, StopWatchSignal);
    long ticks = 0, failed = 0;
    while (!stopWatch && (count < 0 || ticks < count)) {
        // A silent sensor is probed twice a second; no lines in between.
        if (w.state.LinkState == 1) SleepMs(w.session.NextProbeInMs());
        if (!w.session.Tick()) break;  // the port closed under us
        if (!w.session.LostPort.Path.empty()) break;
        ++ticks;
        if (w.state.LinkState != 2) ++failed;
        const TLiveValues& l = w.live;
        std::string line = "ch=";
        for (size_t i = 0; i < l.Channels.size(); ++i)
            line += (i ? "," : "") + ValueText(l.Channels[i]);
        line += " out=";
        for (size_t i = 0; i < l.Outputs.size(); ++i)
            line += (i ? "," : "") + ValueText(l.Outputs[i]);
        line += " ana=" + ValueText(l.AnalogCurrent);
        line += Format(" status=%04X link=%d\n", w.session.StatusWord, w.state.LinkState);
        std::fputs(line.c_str(), stdout);
        std::fflush(stdout);
        SleepMs(1);
    }
    std::signal(SIGINT, oldInt);
    std::signal(SIGTERM, oldTerm);
    w.Close();
    if (!w.session.LostPort.Path.empty())
        throw EKestError("lost the port " + w.session.LostPort.Path);
    if (count > 0 && ticks < count)
        throw EKestError(Format("watch: stopped after %ld of %ld polling ticks", ticks, count));
    if (failed > 0)
        throw EKestError(Format("watch: %ld of %ld polling ticks failed", failed, ticks));
    return 0;
}

void CheckProfile(const std::vector<std::string>& args) {
    if (args.size() != 1) throw UsageError{"profile: give one FILE"};
}

int RunProfile(CliContext& ctx) {
    CheckProfile(ctx.args);
    TCliWorkflow w(ctx);
    w.Connect();
    TKestThread& t = w.link->Thread();
    const std::vector<uint8_t> r = t.CommandReply(cmd::GET_PROF_ADDR);
    if (r.size() < 4) throw ECommErrShort("GET_PROF_ADDR: short reply");
    const uint32_t address =
        (uint32_t{r[0]} << 24) | (uint32_t{r[1]} << 16) | (uint32_t{r[2]} << 8) | r[3];
    std::vector<uint16_t> words(kProfileBufferWords);
    const int count = t.FetchProfile(address, words, 1);
    w.Close();
    if (count < 0 || 2 * static_cast<size_t>(count) + 2 > words.size())
        throw EKestError(Format("illegal profile size; %d", count));
    std::string text = "#KEST profile\r\n";
    for (int i = 0; i < count; ++i) {
        const auto x = static_cast<int16_t>(words[2 + 2 * static_cast<size_t>(i)]);
        const auto z = static_cast<int16_t>(words[3 + 2 * static_cast<size_t>(i)]);
        text += (x == kNoValue16 ? std::string() : std::to_string(x)) + "," +
                (z == kNoValue16 ? std::string() : std::to_string(z)) + "\r\n";
    }
    WriteFileAtomic(ctx.args[0], text);
    WriteLog(kLogAction, "save profile '%s'", ctx.args[0].c_str());
    return 0;
}

}  // namespace

KD_CLI_COMMAND("version", RunVersion, CheckVersion);
KD_CLI_COMMAND("receive", RunReceive, CheckReceive);
KD_CLI_COMMAND("send", RunSend, CheckSend);
KD_CLI_COMMAND("write-eeprom", RunWriteEeprom,
               [](const std::vector<std::string>& a) { ParseWriteEeprom(a); });
KD_CLI_COMMAND("bank-copy", RunBankCopy,
               [](const std::vector<std::string>& a) { ParseBankCopy(a); });
KD_CLI_COMMAND("watch", RunWatch, [](const std::vector<std::string>& a) { ParseWatch(a); });
KD_CLI_COMMAND("profile", RunProfile, CheckProfile);

}  // namespace kd::cli
