#include "params/param_text.h"

#include <algorithm>

namespace kd {

namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

// A character at or below the blank: the space, tab and every control character.
bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

std::string_view FirstLine(std::string_view text) {
    return text.substr(0, std::min(text.find_first_of("\r\n"), text.size()));
}

std::optional<std::string> FindValue(std::string_view text, std::string_view name) {
    size_t i = 0;
    while (i < text.size()) {
        size_t start = i;
        while (i < text.size() && text[i] != '\r' && text[i] != '\n') ++i;
        std::string_view line = text.substr(start, i - start);
        size_t eq = line.find('=');
        if (eq != std::string_view::npos && EqualNoCase(line.substr(0, eq), name))
            return std::string(line.substr(eq + 1));
        if (i < text.size() && text[i] == '\r') ++i;
        if (i < text.size() && text[i] == '\n') ++i;
    }
    return std::nullopt;
}

std::vector<std::string> SplitCommaText(std::string_view value, size_t maxTokens) {
    std::vector<std::string> tokens;
    size_t p = 0;
    const size_t n = value.size();
    auto skipBlanks = [&] {
        while (p < n && IsBlank(value[p])) ++p;
    };
    skipBlanks();
    while (p < n && tokens.size() < maxTokens) {
        if (value[p] == '"') {
            size_t close = value.find('"', p + 1);
            size_t end = close == std::string_view::npos ? n : close;
            tokens.emplace_back(value.substr(p + 1, end - p - 1));
            p = close == std::string_view::npos ? n : close + 1;
        } else {
            size_t start = p;
            while (p < n && !IsBlank(value[p]) && value[p] != ',') ++p;
            tokens.emplace_back(value.substr(start, p - start));
        }
        skipBlanks();
        if (p < n && value[p] == ',') {
            // a comma at the end ends an empty token
            if (p + 1 == n && tokens.size() < maxTokens) tokens.emplace_back();
            ++p;
            skipBlanks();
        }
    }
    return tokens;
}

std::optional<uint32_t> HexStrToULong(std::string_view token) {
    size_t i = 0;
    const size_t n = token.size();
    while (i < n && IsCSpace(token[i])) ++i;
    bool negative = false;
    if (i < n && (token[i] == '+' || token[i] == '-')) {
        negative = token[i] == '-';
        ++i;
    }
    // "0x" counts as a prefix only when a digit follows; else the "0" is the number
    if (i + 2 < n && token[i] == '0' && (token[i + 1] == 'x' || token[i + 1] == 'X') &&
        HexDigit(token[i + 2]) >= 0)
        i += 2;
    uint64_t acc = 0;
    bool overflow = false;
    size_t digits = 0;
    for (; i < n; ++i) {
        int d = HexDigit(token[i]);
        if (d < 0) break;
        ++digits;
        if (!overflow) {
            acc = acc * 16 + static_cast<uint64_t>(d);
            if (acc > 0xFFFFFFFFull) overflow = true;
        }
    }
    if (digits == 0) return std::nullopt;
    if (overflow) return 0xFFFFFFFFu;
    auto v = static_cast<uint32_t>(acc);
    return negative ? static_cast<uint32_t>(0u - v) : v;
}

}  // namespace kd
