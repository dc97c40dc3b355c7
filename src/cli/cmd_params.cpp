// kdctl dump / convert: parameter files without a sensor.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "params/kest_param.h"
#include "params/param_files.h"

namespace kd::cli {

namespace {

// Loads a parameter file into param (with a master store attached). A
// conversion error carries no message of its own; say which word failed.
void Load(TKestParam& param, const std::string& name) {
    try {
        param.LoadFromFile(name);
    } catch (const EConvertError& e) {
        throw EKestError("'" + name + "': " + e.Detail);
    }
}

void CheckDump(const std::vector<std::string>& args) {
    if (args.size() != 1) throw UsageError{"dump needs exactly one FILE"};
}

int Dump(CliContext& ctx) {
    CheckDump(ctx.args);
    TMasterStore masters;
    TKestParam param;
    param.Masters = &masters;
    Load(param, ctx.args[0]);
    if (param.MissingBlocks != 0)
        std::fprintf(stderr, "kdctl: warning: %s; shown as zeros\n",
                     IncompleteFileMessage(ctx.args[0], param.MissingBlocks).c_str());
    std::string out;
    for (const TParamKey& k : KeysOf(TKeyBlock::Header))
        out += std::string(k.Name) + "=" + std::to_string(param.GetHeader(k.Key)) + "\n";
    for (const TParamKey& k : KeysOf(TKeyBlock::Sys))
        out += std::string(k.Name) + "=" + std::to_string(param.GetSys(k.Key)) + "\n";
    for (int n = 0; n < kBankCount; ++n)
        for (const TParamKey& k : KeysOf(TKeyBlock::Bank))
            out += "Bank" + std::to_string(n + 1) + "." + k.Name + "=" +
                   std::to_string(param.GetBank(n, k.Key)) + "\n";
    for (int n = 0; n < kBankCount; ++n)
        if (masters.HasMaster(n))
            out += "Master" + std::to_string(n + 1) + "=" + std::to_string(masters.MasterCount[n]) +
                   "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

struct TConvertArgs {
    std::vector<std::string> files;  // IN and OUT
    bool allowIncomplete = false;
};

TConvertArgs ParseConvert(const std::vector<std::string>& args) {
    TConvertArgs c;
    for (const std::string& a : args) {
        if (a == "--allow-incomplete")
            c.allowIncomplete = true;
        else if (a.size() > 2 && a.compare(0, 2, "--") == 0)
            throw UsageError{"convert: unknown option '" + a + "'"};
        else
            c.files.push_back(a);
    }
    if (c.files.size() != 2) throw UsageError{"convert needs IN and OUT"};
    return c;
}

int Convert(CliContext& ctx) {
    const TConvertArgs args = ParseConvert(ctx.args);
    const bool allowIncomplete = args.allowIncomplete;
    const std::string& in = args.files[0];
    const std::string& out = args.files[1];
    // refuse an unusable target before anything is read
    TParamFormat outFormat = FormatOfName(out);
    if (outFormat == TParamFormat::Txt) throw EKestError("TEXT format not implemnt");
    if (outFormat == TParamFormat::Unknown) throw EKestError("unknown ext;" + FileExt(out));
    TMasterStore masters;
    TKestParam param;
    param.Masters = &masters;
    Load(param, in);
    // What the input lacks would become zeros in the output, as if they were settings.
    if (param.MissingBlocks != 0 && !allowIncomplete)
        throw EKestError(IncompleteFileMessage(in, param.MissingBlocks) +
                         "; give --allow-incomplete to convert it with zeros");
    // A text file carries the Sys block and every bank whole (the header words
    // are not part of it and stay zero), so it may become a raw file.
    param.ValidMask = kValidAll;
    param.SaveToFile(out);
    return 0;
}

}  // namespace

KD_CLI_COMMAND("dump", Dump, CheckDump);
KD_CLI_COMMAND("convert", Convert, [](const std::vector<std::string>& a) { ParseConvert(a); });

}  // namespace kd::cli
