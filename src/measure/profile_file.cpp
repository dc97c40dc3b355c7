#include "measure/profile_file.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "common/atomic_file.h"
#include "common/kest_error.h"
#include "common/log.h"

namespace kd {

std::string ProfileFileText(std::span<const ProfilePoint> points) {
    std::string out = "#KEST profile\r\n";
    out.reserve(out.size() + points.size() * 14);
    for (const ProfilePoint& p : points) {
        if (p.X != kMissing) out += std::to_string(p.X);
        out += ',';
        if (p.Z != kMissing) out += std::to_string(p.Z);
        out += "\r\n";
    }
    return out;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

namespace {
bool IsBlank(char c) {
    return c != '\0' && static_cast<unsigned char>(c) <= ' ';
}
}  // namespace

std::vector<std::string> SplitCommaText(std::string_view line) {
    // A NUL ends the line, as it would end a C string.
    if (size_t nul = line.find('\0'); nul != std::string_view::npos) line = line.substr(0, nul);
    std::vector<std::string> fields;
    size_t p = 0;
    const size_t n = line.size();
    while (p < n && IsBlank(line[p])) ++p;
    while (p < n) {
        std::string field;
        if (line[p] == '"') {
            ++p;
            while (p < n) {
                if (line[p] == '"') {
                    if (p + 1 < n && line[p + 1] == '"') {
                        field += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                field += line[p++];
            }
        } else {
            size_t s = p;
            while (p<n&& static_cast<unsigned char>(line[p])> ' ' && line[p] != ',') ++p;
            field.assign(line.substr(s, p - s));
        }
        fields.push_back(std::move(field));
        while (p < n && IsBlank(line[p])) ++p;
        if (p < n && line[p] == ',') {
            if (p + 1 == n) fields.emplace_back();
            do ++p;
            while (p < n && IsBlank(line[p]));
        }
    }
    return fields;
}

namespace {

int16_t FieldValue(const std::string& f) {
    const char* b = f.data();
    const char* e = f.data() + f.size();
    if (b != e && *b == '+') ++b;  // a plus sign is allowed, as in the sensor tools
    long v = 0;
    auto [ptr, ec] = std::from_chars(b, e, v);
    if (b == e || ec != std::errc() || ptr != e) return kMissing;
    // Out-of-range values would wrap to a wrong coordinate: treat as missing.
    if (v < -32768 || v > 32767) return kMissing;
    return static_cast<int16_t>(v);
}

}  // namespace

int ReadProfileText(std::string_view text, std::span<ProfilePoint> buffer) {
    std::vector<std::string_view> lines = SplitLines(text);
    size_t limit = std::min<size_t>(lines.size(), kProfileFileMaxLines);
    // Read into a copy so that a refused file leaves the buffer as it was.
    std::vector<ProfilePoint> read;
    read.reserve(std::min(limit, buffer.size()));
    for (size_t i = 0; i < limit; ++i) {
        std::string_view line = lines[i];
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields = SplitCommaText(line);
        if (fields.size() != 2) throw EKestError("not profile file");
        if (read.size() < buffer.size())
            read.push_back({FieldValue(fields[0]), FieldValue(fields[1])});
    }
    std::copy(read.begin(), read.end(), buffer.begin());
    return static_cast<int>(read.size());
}

void SaveProfileFile(const std::string& path, std::span<const ProfilePoint> points) {
    WriteFileAtomic(path, ProfileFileText(points));
    WriteLog(kLogPlain, "save profile '%s'", path.c_str());
}

int LoadProfileFile(const std::string& path, std::span<ProfilePoint> buffer) {
    int n = ReadProfileText(ReadFileAll(path, kMaxProfileFileBytes), buffer);
    WriteLog(kLogPlain, "load profile '%s'", path.c_str());
    return n;
}

std::string MeasureProfileText(std::span<const ProfilePoint> points) {
    std::string out;
    out.reserve(points.size() * 20);
    char buf[64];
    for (const ProfilePoint& p : points) {
        std::snprintf(buf, sizeof buf, "%8.3f, %8.3f\r\n", p.X * 0.001, p.Z * 0.001);
        out += buf;
    }
    return out;
}

}  // namespace kd
