#include "shell/command_line.h"

#include <algorithm>
#include <cctype>

#include "common/log.h"
#include "shell/shell_state.h"

namespace kd {

namespace {
bool EqualNoCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return i == a.size() && b[i] == '\0';
}

std::optional<int> ParseUnsigned(const std::string& text, int base, long max) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    long v = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        v = v * base + d;
        if (v > max) return std::nullopt;
    }
    return static_cast<int>(v);
}
}  // namespace

bool IsPageCode(int code) {
    return code == kPageMeasure || (code >= kPageTrigger && code <= kPageOutput) ||
           (code >= kPageStoSett && code <= kPageStoProf) || code == kPageCommon;
}

std::optional<int> ParsePageCode(const std::string& text) {
    std::optional<int> code;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        code = ParseUnsigned(text.substr(2), 16, 255);
    else
        code = ParseUnsigned(text, 10, 255);
    if (code && !IsPageCode(*code)) return std::nullopt;
    return code;
}

TStartOptions ParseCommandLine(const std::vector<std::string>& args) {
    TStartOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.empty()) continue;
        if (a[0] != '-') {
            o.File = a;
            continue;
        }
        const bool hasValue = i + 1 < args.size();
        const std::string value = hasValue ? args[i + 1] : std::string();
        if (EqualNoCase(a, "-lang")) {
            o.Lang = value;
        } else if (EqualNoCase(a, "-loc")) {
            o.Loc = value;
        } else if (EqualNoCase(a, "-port")) {
            if (value.empty())
                o.Errors.push_back("-port needs a port name");
            else
                o.Port = value;
        } else if (EqualNoCase(a, "-screenshot")) {
            if (value.empty())
                o.Errors.push_back("-screenshot needs a file name");
            else
                o.Screenshot = value;
        } else if (EqualNoCase(a, "-page")) {
            o.Page = ParsePageCode(value);
            if (!o.Page)
                o.Errors.push_back(
                    "-page needs one of the page codes 0x10, 0x21..0x26, "
                    "0x31..0x33, 0x90 (or the same in decimal), not '" +
                    value + "'");
        } else if (EqualNoCase(a, "-action")) {
            size_t start = 0;
            bool empty = value.empty();
            while (!empty && start <= value.size()) {
                const size_t comma = std::min(value.find(',', start), value.size());
                const std::string name = value.substr(start, comma - start);
                if (name.empty()) empty = true;
                o.Actions.push_back(name);
                start = comma + 1;
            }
            if (empty) o.Errors.push_back("-action needs action names, not '" + value + "'");
        } else if (EqualNoCase(a, "-wait")) {
            auto w = ParseUnsigned(value, 10, 3600000);
            if (!w)
                o.Errors.push_back("-wait needs milliseconds (0..3600000), not '" + value + "'");
            else
                o.WaitMs = *w;
        } else {
            WriteLog(kLogError, "unknown param; %s", a.c_str());
            break;
        }
        ++i;  // the value
    }
    return o;
}

}  // namespace kd
