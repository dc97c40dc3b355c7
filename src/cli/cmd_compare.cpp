// kdctl diff / apply: the comparison of parameter sets as the comparison
// window shows it (English captions), and writing chosen differences of a file
// to the sensor with a backup first and a read-back after.
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/cli_session.h"
#include "cli/cli_workflow.h"
#include "common/kest_error.h"
#include "compare/compare_apply.h"
#include "compare/compare_rows.h"
#include "params/param_files.h"
#include "shell/mirel_lang.h"
#include "shell/session/kest_session.h"

namespace kd::cli {
namespace {

// The English captions and units the comparison window shows.
struct TEnglish {
    TEnglish() : lang(*TMirelLang::FromResource("StringTable", "en")) {
        texts.Translate = [this](std::string_view n, std::string_view d) {
            return lang.Translate(n, d);
        };
        units = ParseCommaList(lang.Translate("MeasMode_units", ""));
    }
    void Attach(TKestParam& p, const TKestParam* sensor) {
        p.SensorImage = sensor;
        p.ModeUnit = [this](int func) { return ModeUnitFromList(units, texts.DisplUnit, func); };
    }
    TMirelLang lang;
    TCompareTexts texts;
    std::vector<std::string> units;
};

void LoadFile(TKestParam& p, const std::string& name) {
    try {
        p.LoadFromFile(name);
    } catch (const EConvertError& e) {
        throw EKestError("'" + name + "': " + e.Detail);
    }
}

// A connected session that has received the sensor's parameters.
struct TSensorLink : TCliWorkflow {
    explicit TSensorLink(const CliContext& ctx) : TCliWorkflow(ctx) { Connect(); }
};

void CheckDiff(const std::vector<std::string>& args) {
    if (args.size() != 2) throw UsageError{"diff needs A and B (a file or --sensor)"};
    if (args[0] == "--sensor") throw UsageError{"diff: A must be a file"};
}

int RunDiff(CliContext& ctx) {
    CheckDiff(ctx.args);
    try {
        TEnglish en;
        TMasterStore mastersA, mastersB;
        TKestParam a, b;
        a.Masters = &mastersA;
        LoadFile(a, ctx.args[0]);
        std::unique_ptr<TSensorLink> sensor;
        const TKestParam* bp = &b;
        if (ctx.args[1] == "--sensor") {
            sensor = std::make_unique<TSensorLink>(ctx);
            bp = &sensor->image;
        } else {
            b.Masters = &mastersB;
            LoadFile(b, ctx.args[1]);
        }
        // the sensor's outputs decide which channel a limit belongs to; without
        // a sensor, B stands in for it
        en.Attach(a, bp);
        if (sensor)
            en.Attach(sensor->image, nullptr);
        else
            en.Attach(b, nullptr);
        const auto diffs = CompareDiffs(a, *bp, *bp, en.texts);
        if (sensor) sensor->link->Close();
        for (uint32_t m : {a.MissingBlocks, bp->MissingBlocks})
            if (m)
                std::fprintf(stderr, "kdctl: warning: %s not compared (missing in a file)\n",
                             MissingBlocksText(m).c_str());
        std::string out;
        for (const auto& d : diffs) out += DiffLine(d, en.texts) + "\n";
        std::fwrite(out.data(), 1, out.size(), stdout);
        return diffs.empty() ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kdctl: %s\n", e.what());
        return 2;
    }
}

struct TApplyArgs {
    std::string file;
    std::set<int> keys;   // empty: every key
    std::set<int> banks;  // empty: every bank and Sys; -1 is Sys
    bool banksGiven = false;
};

std::vector<std::string> SplitComma(const std::string& s) {
    std::vector<std::string> out;
    std::stringstream in(s);
    std::string item;
    while (std::getline(in, item, ','))
        if (!item.empty()) out.push_back(item);
    return out;
}

TApplyArgs ParseApply(const std::vector<std::string>& args) {
    TApplyArgs a;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& s = args[i];
        if (s == "--keys" || s == "--banks") {
            if (i + 1 >= args.size()) throw UsageError{"apply: " + s + " needs a list"};
            for (const std::string& item : SplitComma(args[++i])) {
                if (s == "--keys") {
                    auto ref = FindKeyByName(item);
                    if (!ref) throw UsageError{"apply: unknown key '" + item + "'"};
                    a.keys.insert(ref->Entry->Key);
                } else if (item == "Sys" || item == "sys") {
                    a.banks.insert(-1);
                } else {
                    const long n = ParseNumber(item, "bank");
                    if (n < 1 || n > kBankCount)
                        throw UsageError{"apply: bank out of range (1..8): '" + item + "'"};
                    a.banks.insert(static_cast<int>(n - 1));
                }
            }
            if (s == "--banks") a.banksGiven = true;
        } else if (s.size() > 2 && s.compare(0, 2, "--") == 0) {
            throw UsageError{"apply: unknown option '" + s + "'"};
        } else if (a.file.empty()) {
            a.file = s;
        } else {
            throw UsageError{"apply: give one FILE"};
        }
    }
    if (a.file.empty()) throw UsageError{"apply needs a FILE"};
    const TParamFormat f = FormatOfName(a.file);
    if (f != TParamFormat::Text && f != TParamFormat::Raw)
        throw UsageError{"apply: give a parameter file ending in .kd, .dalo, .vyn or .bin"};
    return a;
}

int RunApply(CliContext& ctx) {
    const TApplyArgs args = ParseApply(ctx.args);
    TEnglish en;
    TMasterStore fileMasters;
    TKestParam file;
    file.Masters = &fileMasters;
    LoadFile(file, args.file);  // a file that cannot be read stops before the sensor is touched
    if (file.MissingBlocks)
        std::fprintf(stderr, "kdctl: warning: %s; those blocks are left as they are\n",
                     IncompleteFileMessage(args.file, file.MissingBlocks).c_str());
    TSensorLink s(ctx);
    en.Attach(s.image, nullptr);
    en.Attach(file, &s.image);
    auto changes = PlanApply(
        file, s.image, [&](int, int bank) { return !args.banksGiven || args.banks.count(bank); });
    // --keys names the settings themselves, the channel offsets among them
    if (!args.keys.empty())
        std::erase_if(changes, [&](const TApplyChange& c) { return !args.keys.count(c.Key); });
    if (changes.empty()) {
        s.link->Close();
        std::printf("nothing to change\n");
        return 0;
    }
    const std::string list = ChangeListText(changes, file, s.image, en.texts);
    const TApplyResult r = ApplyChanges(s.session, s.link->Thread(), s.image, changes, en.texts);
    s.link->Close();
    std::fwrite(list.data(), 1, list.size(), stdout);
    std::printf("backup %s\n", r.Backup.c_str());
    return 0;
}

}  // namespace

KD_CLI_COMMAND("diff", RunDiff, CheckDiff);
KD_CLI_COMMAND("apply", RunApply, [](const std::vector<std::string>& a) { ParseApply(a); });

}  // namespace kd::cli
