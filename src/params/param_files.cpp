#include "params/param_files.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/atomic_file.h"
#include "common/kest_error.h"
#include "common/log.h"

namespace kd {

namespace {

constexpr const char* kFormatText = "sensor parameters file FMT1";

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

void AppendWords(std::string& out, const std::array<uint8_t, kImageBytes>& image, int first,
                 int count) {
    for (int i = 0; i < count; ++i) {
        int w = first + i;
        out += Format(" %04X", image[2 * w] | (image[2 * w + 1] << 8));
    }
}

// One master record read from a file, applied only when the whole file was read.
struct TStagedMaster {
    int Count = 0;
    std::vector<uint16_t> Words;
};

}  // namespace

std::string MissingBlocksText(uint32_t missing) {
    std::string text;
    auto add = [&text](const std::string& block) { text += (text.empty() ? "" : ", ") + block; };
    if (missing & kValidSys) add("Sys");
    for (int n = 0; n < kBankCount; ++n)
        if (missing & (1u << n)) add("Bank" + std::to_string(n + 1));
    return text;
}

std::string IncompleteFileMessage(const std::string& name, uint32_t missing) {
    return "'" + name + "': file has no " + MissingBlocksText(missing) + " data";
}

std::string FileExt(const std::string& name) {
    size_t slash = name.find_last_of('/');
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return name.substr(dot);
}

TParamFormat FormatOfName(const std::string& name) {
    std::string ext = Lower(FileExt(name));
    if (ext == ".kd" || ext == ".dalo" || ext == ".vyn") return TParamFormat::Text;
    if (ext == ".bin") return TParamFormat::Raw;
    if (ext == ".txt") return TParamFormat::Txt;
    return TParamFormat::Unknown;
}

void ReadBinFile(std::array<uint8_t, kImageBytes>& image, const std::string& name) {
    const std::string mismatch = "load bin file; param file size missmatched";
    std::string data;
    try {
        data = ReadFileAll(name, kImageBytes);
    } catch (const EFileTooLarge&) {
        throw EKestError(mismatch);
    }
    if (data.size() != kImageBytes) throw EKestError(mismatch);
    std::copy(data.begin(), data.end(), image.begin());
}

void WriteBinFile(const std::array<uint8_t, kImageBytes>& image, const std::string& name) {
    WriteFileAtomic(name,
                    std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
}

void TKestParam::ReadTextFile(const std::string& name) {
    ReadText(ReadFileAll(name, kMaxParamFileBytes));
}

void TKestParam::ReadText(std::string_view contents) {
    if (contents.empty()) throw EKestError("KD param file empty");  // no lines at all
    if (FirstLine(contents).find(kFormatText) == std::string_view::npos)
        throw EKestError("KD param file unknown format");

    std::fill(Image.begin() + 2 * kSysWord, Image.end(), uint8_t{0});
    uint32_t missing = 0;

    // Sys and bank words; a token without digits aborts the read, leaving the
    // words stored so far.
    auto readBlock = [&](const std::string& name, int firstWord, int words) -> bool {
        std::optional<std::string> value = FindValue(contents, name);
        if (!value || value->empty()) return false;
        std::vector<std::string> tokens = SplitCommaText(*value, static_cast<size_t>(words));
        if (tokens.size() < static_cast<size_t>(words)) return false;
        for (int i = 0; i < words; ++i) {
            std::optional<uint32_t> v = HexStrToULong(tokens[static_cast<size_t>(i)]);
            if (!v)
                throw EConvertError(Format("bad hexadecimal word '%s' in %s",
                                           tokens[static_cast<size_t>(i)].c_str(), name.c_str()));
            SetWord(firstWord + i, static_cast<uint16_t>(*v & 0xFFFF));
        }
        return true;
    };

    if (!readBlock("Sys.Hexa", kSysWord, kSysWords)) {
        WriteLog(kLogError, " no contains Sys data");
        missing |= kValidSys;
    }

    std::array<TStagedMaster, kBankCount> staged;
    for (int n = 0; n < kBankCount; ++n) {
        if (!readBlock(Format("Bank%d.Hexa", n + 1), BankStartWord(n), kBankWords)) {
            WriteLog(kLogError, " no contains Bank%d data", n + 1);
            missing |= 1u << n;
        }
        if (!Masters) continue;  // only the sensor's image keeps master records
        // one token more than fits tells a line that is too long
        std::vector<std::string> tokens =
            SplitCommaText(FindValue(contents, Format("Master%d.Hexa", n + 1)).value_or(""),
                           TMasterStore::kWords + 1);
        TStagedMaster& m = staged[static_cast<size_t>(n)];
        if (tokens.empty()) continue;  // no line: no master
        if (tokens.size() > static_cast<size_t>(TMasterStore::kWords)) {
            WriteLog(kLogError,
                     "Master%d.Hexa: more than %d words do not fit the master buffer; ignored",
                     n + 1, TMasterStore::kWords);
            continue;
        }
        for (const std::string& t : tokens)
            m.Words.push_back(static_cast<uint16_t>(HexStrToULong(t).value_or(0) & 0xFFFF));
        m.Count = (static_cast<int>(tokens.size()) - 4) / 2;  // toward zero
        // bits 15..5 of word 2 hold the count (up to 2046, so all eleven bits are
        // the count; a record shorter than three words counts as 0)
        int recorded = m.Words.size() > 2 ? m.Words[2] >> 5 : 0;
        if (m.Count != recorded) WriteLog(kLogError, "master size missmatched");
    }
    if (Masters) {
        for (int n = 0; n < kBankCount; ++n) {
            const TStagedMaster& m = staged[static_cast<size_t>(n)];
            std::copy(m.Words.begin(), m.Words.end(), Masters->MasterWords[n].begin());
            Masters->MasterCount[n] = m.Count;
        }
    }
    MissingBlocks = missing;
}

std::string TKestParam::BuildText(const std::tm& now) const {
    std::string out;
    auto line = [&out](const std::string& s) {
        out += s;
        out += "\r\n";
    };
    line(std::string("#KD ") + kFormatText);
    if (SensorVersion && SensorVersion->Known())
        line(Format("#ver%02X:%02X:%02X", SensorVersion->Fpga, SensorVersion->Bios,
                    SensorVersion->Soft));
    line(Format("#datetime %04d/%02d/%02d %02d:%02d:%02d", now.tm_year + 1900, now.tm_mon + 1,
                now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec));
    line("");
    line("[Sys]");
    std::string sys = "Sys.Hexa=";
    AppendWords(sys, Image, kSysWord, kSysWords);
    line(sys);
    line("");
    for (int n = 0; n < kBankCount; ++n) {
        line(Format("[Bank%d]", n + 1));
        std::string bank = Format("Bank%d.Hexa=", n + 1);
        AppendWords(bank, Image, BankStartWord(n), kBankWords);
        line(bank);
        int words = Masters ? Masters->RecordWords(n) : 0;
        if (words > 0) {
            std::string master = Format("Master%d.Hexa=", n + 1);
            for (int i = 0; i < words; ++i)
                master += Format(i ? " %04X" : "%04X", Masters->MasterWords[n][i]);
            line(master);
        }
    }
    line("");
    line("[END]");
    return out;
}

void TKestParam::WriteTextFile(const std::string& name) const {
    std::time_t t = std::time(nullptr);
    std::tm now{};
    localtime_r(&t, &now);
    WriteFileAtomic(name, BuildText(now));
}

void TKestParam::WriteTxtFile(const std::string&) const {
    throw EKestError("TEXT format not implemnt");
}

void TKestParam::LoadFromFile(const std::string& name) {
    switch (FormatOfName(name)) {
        case TParamFormat::Text:
            ReadTextFile(name);
            ValidMask = 0;
            break;
        case TParamFormat::Raw:
            ReadBinFile(Image, name);
            ValidMask = kValidAll;
            MissingBlocks = 0;
            break;
        default:
            throw EKestError("unknown ext;" + FileExt(name));
    }
    NotLoaded = false;
    FileModified = false;
    SensorModified = true;
}

void TKestParam::SaveToFile(const std::string& name) {
    switch (FormatOfName(name)) {
        case TParamFormat::Text:
            WriteTextFile(name);
            break;
        case TParamFormat::Raw:
            if ((ValidMask & kValidWhole) != kValidWhole) throw EKestError("param buffer invalid");
            WriteBinFile(Image, name);
            break;
        case TParamFormat::Txt:
            WriteTxtFile(name);
        case TParamFormat::Unknown:
            throw EKestError("unknown ext;" + FileExt(name));
    }
    FileModified = false;
}

}  // namespace kd
