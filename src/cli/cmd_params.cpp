// kdctl dump / convert: parameter files without a sensor.
#include <cstdio>
#include <string>

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

int Dump(CliContext& ctx) {
    if (ctx.args.size() != 1) throw UsageError{"dump needs exactly one FILE"};
    TMasterStore masters;
    TKestParam param;
    param.Masters = &masters;
    Load(param, ctx.args[0]);
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

int Convert(CliContext& ctx) {
    if (ctx.args.size() != 2) throw UsageError{"convert needs IN and OUT"};
    const std::string& in = ctx.args[0];
    const std::string& out = ctx.args[1];
    // refuse an unusable target before anything is read
    TParamFormat outFormat = FormatOfName(out);
    if (outFormat == TParamFormat::Txt) throw EKestError("TEXT format not implemnt");
    if (outFormat == TParamFormat::Unknown) throw EKestError("unknown ext;" + FileExt(out));
    TMasterStore masters;
    TKestParam param;
    param.Masters = &masters;
    Load(param, in);
    // A text file carries the Sys block and every bank whole (the header words
    // are not part of it and stay zero), so it may become a raw file.
    param.ValidMask = kValidAll;
    param.SaveToFile(out);
    return 0;
}

}  // namespace

KD_CLI_COMMAND("dump", "dump FILE                   every setting of a parameter file by key name",
               Dump);
KD_CLI_COMMAND("convert",
               "convert IN OUT              turn a parameter file into another format "
               "(.kd/.dalo/.vyn text, .bin raw)",
               Convert);

}  // namespace kd::cli
