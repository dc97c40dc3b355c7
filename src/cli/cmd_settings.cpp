// kdctl get and set: settings as the pages show and take them, over the
// settings table. Each connects through the whole Connect workflow, then
// reads or changes the keys of the sensor's current bank and Sys block
// exactly as the page's control does: the same check, the same image write,
// the same command, payload and log line.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/cli_session.h"
#include "common/kest_error.h"
#include "common/log.h"
#include "pages/settings_table.h"
#include "shell/mirel_lang.h"
#include "shell/session/kest_session.h"

namespace kd::cli {
namespace {

// The services of a page that has no window: the debug window's switches
// are the headless host's.
class TCliServices : public TPageServices {
  public:
    explicit TCliServices(const THeadlessHost& host) : host_(host) {}
    bool Sync() const override { return host_.SyncOn; }
    bool Displ() const override { return host_.DisplOn; }

  private:
    const THeadlessHost& host_;
};

// A connected session with the page context over it.
struct TCliPages {
    explicit TCliPages(const CliContext& ctx)
        : link(OpenSession(ctx)),
          worker(link->Thread()),
          session({link->Thread(), image, masters, state, live, host}),
          services(host),
          context{image, masters, worker, state, live, display, colors, settings, lists, services} {
        image.Masters = &masters;
        image.SensorVersion = &state.SensorVersion;
        state.CurrentPage = kPageMeasure;
        // The units of the channels' values, as the English pages show them.
        if (const std::optional<TMirelLang> en = TMirelLang::FromResource("StringTable", "en")) {
            lists.MeasModeUnits = ParseCommaList(en->Translate("MeasMode_units", ""));
            lists.MeasModeShort = ParseCommaList(en->Translate("MeasMode_short", ""));
        }
    }
    void Connect() {
        if (!session.TryConnect()) throw EKestError(session.LastConnectError);
    }

    std::unique_ptr<CliSession> link;
    TThreadWorker worker;
    TKestParam image;
    TMasterStore masters;
    TShellState state;
    TLiveValues live;
    TDisplaySettings display;
    TDisplayColors colors;
    TShellSettings settings;
    TModeLists lists;
    THeadlessHost host;
    TKestSession session;
    TCliServices services;
    TPageContext context;
};

const TSetting& Row(const std::string& key, const char* cmd) {
    const TSetting* s = FindSettingByKey(key);
    if (!s)
        throw UsageError{std::string(cmd) + ": no setting '" + key + "' (see kdctl get --list)"};
    return *s;
}

// As the page shows it: an edit's text (lengths in millimetres with three
// decimals, the default display), a list's position.
std::string Shown(const TSetting& s, const TPageContext& ctx) {
    return std::string(s.Key) + "=" + SettingText(s, ctx);
}

int RunGet(CliContext& ctx) {
    if (ctx.args.size() == 1 && ctx.args[0] == "--list") {
        // Every key the table holds, with what its control takes.
        for (const TSetting& s : SettingsTable()) {
            const TSettingRange r = RangeOf(s);
            if (s.Kind == TSettingKind::List)
                std::printf("%s list 0..%d (%s)\n", s.Key, s.Items - 1, s.Control);
            else
                std::printf("%s %s %d..%d (%s)\n", s.Key,
                            s.Kind == TSettingKind::Edit ? "edit" : "line", r.Min, r.Max,
                            s.Control);
        }
        return 0;
    }
    if (ctx.args.empty()) throw UsageError{"get: give one or more KEYs (or --list)"};
    std::vector<const TSetting*> rows;
    for (const std::string& key : ctx.args) rows.push_back(&Row(key, "get"));
    TCliPages p(ctx);
    p.Connect();
    for (const TSetting* s : rows) std::printf("%s\n", Shown(*s, p.context).c_str());
    p.link->Close();
    return 0;
}

int RunSet(CliContext& ctx) {
    bool save = false;
    std::vector<std::pair<const TSetting*, std::string>> pairs;
    for (const std::string& a : ctx.args) {
        if (a == "--save") {
            save = true;
            continue;
        }
        const size_t eq = a.find('=');
        if (eq == std::string::npos || eq == 0)
            throw UsageError{"set: give KEY=VALUE, not '" + a + "'"};
        pairs.emplace_back(&Row(a.substr(0, eq), "set"), a.substr(eq + 1));
    }
    if (pairs.empty()) throw UsageError{"set: give one or more KEY=VALUE"};
    TCliPages p(ctx);
    p.Connect();
    int refused = 0;
    for (const auto& [row, value] : pairs) {
        const TSettingOutcome o = ApplySettingText(*row, p.context, value);
        if (!o.Valid()) {
            std::fprintf(stderr, "kdctl: %s=%s refused: %s\n", row->Key, value.c_str(),
                         o.Why.c_str());
            ++refused;
            continue;
        }
        std::printf("%s\n", Shown(*row, p.context).c_str());
    }
    // A script that did not get all it asked for makes nothing permanent.
    if (save && refused == 0) p.session.WriteToEeprom(p.state.CurrentBank);
    p.link->Close();
    if (p.session.SysUpdateFailures > 0)
        throw EKestError("SYS_UPDATE failed: the sensor may use the settings only after a restart");
    return refused > 0 ? 1 : 0;
}

}  // namespace

KD_CLI_COMMAND("get", RunGet);
KD_CLI_COMMAND("set", RunSet);

}  // namespace kd::cli
