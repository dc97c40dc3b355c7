#include "shell/mirel_lang.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>

#include "common/atomic_file.h"
#include "common/kest_error.h"

namespace kd {

namespace {

std::string Lower(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

std::optional<int> ParseDecimal(std::string_view s) {
    std::string t = Trim(s);
    if (t.empty() || t.size() > 9) return std::nullopt;
    int v = 0;
    size_t i = 0;
    bool neg = false;
    if (t[0] == '-' || t[0] == '+') {
        neg = t[0] == '-';
        i = 1;
    }
    if (i >= t.size()) return std::nullopt;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9') return std::nullopt;
        v = v * 10 + (t[i] - '0');
    }
    return neg ? -v : v;
}

constexpr std::string_view kBom = "\xEF\xBB\xBF";

}  // namespace

TMirelLang TMirelLang::FromText(std::string_view text) {
    TMirelLang t;
    if (text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string_view line =
            text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? text.size() : nl + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        std::string name(line.substr(0, eq));
        std::string key = Lower(name);
        if (t.index_.count(key)) continue;
        t.index_.emplace(key, t.entries_.size());
        t.entries_.emplace_back(std::move(name), std::string(line.substr(eq + 1)));
    }
    if (const std::string* cs = t.Find("charset")) {
        if (auto v = ParseDecimal(*cs)) t.charset_ = *v;
    }
    return t;
}

std::optional<TMirelLang> TMirelLang::FromResource(std::string_view prefix, std::string code) {
    (void)prefix;  // every built-in table carries the one prefix "StringTable"
    code = Trim(code);
    if (code.empty() || code == "??") code = IsoLanguageOf(SystemLocaleName());
    std::string_view text = BuiltinStringTable(Lower(code));
    if (text.empty()) return std::nullopt;
    return FromText(text);
}

TMirelLang TMirelLang::FromFile(const std::string& path) {
    std::string bytes = ReadFileAll(path, kMaxStringTableBytes);
    return FromText(DecodeStringTable(bytes));
}

const std::string* TMirelLang::Find(std::string_view name) const {
    auto it = index_.find(Lower(name));
    if (it == index_.end()) return nullptr;
    return &entries_[it->second].second;
}

std::string TMirelLang::Translate(std::string_view name, std::string_view def) const {
    const std::string* v = Find(name);
    if (!v) return std::string(def);
    return ExpandLineBreaks(*v);
}

std::string ExpandLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    constexpr std::string_view kMark = "#13#10";
    size_t pos = 0;
    while (true) {
        size_t m = text.find(kMark, pos);
        if (m == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, m - pos));
        out.append("\r\n");
        pos = m + kMark.size();
    }
    return out;
}

std::vector<std::string> ParseCommaList(std::string_view s) {
    std::vector<std::string> items;
    size_t i = 0;
    const size_t n = s.size();
    while (i < n && IsBlank(s[i])) ++i;
    while (i < n) {
        std::string item;
        if (s[i] == '"') {
            ++i;
            while (i < n) {
                if (s[i] == '"') {
                    if (i + 1 < n && s[i + 1] == '"') {
                        item.push_back('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item.push_back(s[i++]);
            }
        } else {
            while (i < n && s[i] != ',' && !IsBlank(s[i])) item.push_back(s[i++]);
        }
        items.push_back(std::move(item));
        while (i < n && IsBlank(s[i])) ++i;
        if (i < n && s[i] == ',') {
            ++i;
            if (i >= n) items.emplace_back();  // a final comma gives a final empty item
            while (i < n && IsBlank(s[i])) ++i;
        }
    }
    return items;
}

bool IsValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int len;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + static_cast<size_t>(len) > s.size()) return false;
        for (int k = 1; k < len; ++k) {
            auto cc = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += static_cast<size_t>(len);
    }
    return true;
}

std::optional<int> FindCharsetEntry(std::string_view bytes) {
    // Entry names are ASCII in every supported code page, and a line begins
    // after LF, which no double-byte code page uses as a trail byte.
    size_t pos = 0;
    if (bytes.substr(0, kBom.size()) == kBom) pos = kBom.size();
    while (pos < bytes.size()) {
        size_t nl = bytes.find('\n', pos);
        std::string_view line =
            bytes.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? bytes.size() : nl + 1;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        if (Lower(line.substr(0, eq)) != "charset") continue;
        return ParseDecimal(line.substr(eq + 1));  // the first entry counts
    }
    return std::nullopt;
}

const char* CodePageOfCharset(int charset) {
    switch (charset) {
        case 128:
            return "CP932";  // Shift-JIS with the Windows additions
        case 129:
            return "CP949";  // Hangul
        case 134:
            return "GBK";  // GB2312 and its Windows superset
        default:
            return "CP1252";  // 0, 1 and anything else: Western
    }
}

std::string DecodeCodePage(std::string_view bytes, const char* codePage) {
    iconv_t cd = iconv_open("UTF-8", codePage);
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw EKestError(std::string("no converter for ") + codePage);
    std::string out;
    std::string in(bytes);
    char* inp = in.data();
    size_t inLeft = in.size();
    std::array<char, 4096> buf{};
    while (inLeft > 0) {
        char* outp = buf.data();
        size_t outLeft = buf.size();
        size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
        out.append(buf.data(), buf.size() - outLeft);
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG) continue;
            // An invalid or truncated sequence: mark it and go on after one byte.
            out.append("\xEF\xBF\xBD");
            ++inp;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

std::string DecodeStringTable(std::string_view bytes) {
    if (bytes.substr(0, kBom.size()) == kBom) bytes.remove_prefix(kBom.size());
    if (IsValidUtf8(bytes)) return std::string(bytes);
    int charset = FindCharsetEntry(bytes).value_or(1);
    return DecodeCodePage(bytes, CodePageOfCharset(charset));
}

std::string SystemLocaleName() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) return v;
    }
    return "C";
}

std::string IsoLanguageOf(std::string_view systemLocale) {
    std::string lang;
    for (char c : systemLocale) {
        if (!std::isalpha(static_cast<unsigned char>(c))) break;
        lang.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    if (lang.empty() || lang == "c" || lang == "posix") return "en";
    return lang;
}

std::string LocaleCodeFromSystem(std::string_view systemLocale) {
    std::string lang = IsoLanguageOf(systemLocale);
    if (lang == "ja") return "ja";
    if (lang == "zh") {
        // Simplified Chinese: mainland China and Singapore, or the Hans script.
        std::string l = Lower(systemLocale);
        if (l.find("hant") != std::string::npos) return "en";
        if (l.find("hans") != std::string::npos || l.find("_cn") != std::string::npos ||
            l.find("_sg") != std::string::npos || l == "zh")
            return "cn";
        return "en";
    }
    return "en";
}

}  // namespace kd
