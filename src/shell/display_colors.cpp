#include "shell/display_colors.h"

#include <sys/stat.h>

#include <cctype>
#include <map>

#include "common/atomic_file.h"
#include "common/kest_error.h"
#include "common/log.h"

namespace kd {

namespace {
std::string Lower(std::string_view s) {
    std::string out(s);
    for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}
std::string_view Trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}
}  // namespace

std::optional<uint32_t> ParseIniInteger(std::string_view text) {
    text = Trim(text);
    if (text.empty()) return std::nullopt;
    bool neg = false;
    if (text[0] == '-' || text[0] == '+') {
        neg = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text[0] == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    uint64_t v = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c)))
            d = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        else
            return std::nullopt;
        v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (v > 0xFFFFFFFFull) return std::nullopt;
    }
    if (base == 10 && v > (neg ? 0x80000000ull : 0x7FFFFFFFull)) return std::nullopt;
    uint32_t r = static_cast<uint32_t>(v);
    return neg ? static_cast<uint32_t>(0u - r) : r;
}

void LoadDisplayColors(std::string_view iniText, TDisplayColors& c) {
    std::map<std::string, std::string> values;  // lower-case key -> value, first wins
    bool inColors = false;
    size_t pos = 0;
    while (pos < iniText.size()) {
        size_t nl = iniText.find('\n', pos);
        std::string_view line = Trim(
            iniText.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos));
        pos = nl == std::string_view::npos ? iniText.size() : nl + 1;
        if (line.empty() || line[0] == ';') continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            inColors = close != std::string_view::npos &&
                       Lower(Trim(line.substr(1, close - 1))) == "colors";
            continue;
        }
        if (!inColors) continue;
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        values.emplace(Lower(Trim(line.substr(0, eq))), std::string(Trim(line.substr(eq + 1))));
    }
    auto read = [&](const std::string& key, uint32_t& out) {
        auto it = values.find(key);
        if (it == values.end()) return;
        if (auto v = ParseIniInteger(it->second)) out = *v;
    };
    read("laser_active_color", c.laser_active_color);
    read("profile_bg_color", c.profile_bg_color);
    read("profile_grid_color", c.profile_grid_color);
    read("profile_line_color", c.profile_line_color);
    read("chart_bg_color", c.chart_bg_color);
    read("chart_grid_color", c.chart_grid_color);
    read("cam_vertical_bg_color", c.cam_vertical_bg_color);
    read("thd_lvl_color", c.thd_lvl_color);
    read("cut_lvl_color", c.cut_lvl_color);
    for (size_t i = 0; i < 4; ++i) {
        read("profile_area_frame_color" + std::to_string(i), c.profile_area_frame_color[i]);
        read("profile_area_body_color" + std::to_string(i), c.profile_area_body_color[i]);
        read("area_font_color" + std::to_string(i), c.area_font_color[i]);
    }
    for (size_t i = 0; i < 6; ++i) {
        read("chart_line_color" + std::to_string(i), c.chart_line_color[i]);
        read("area_sel_color" + std::to_string(i), c.area_sel_color[i]);
    }
}

void LoadDisplayColorsFile(const std::string& path, TDisplayColors& colors) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return;  // no colour file: the built-in colours
    std::string text;
    try {
        text = ReadFileAll(path, kMaxColorFileBytes);
    } catch (const EKestError& e) {
        WriteLog(kLogError, "%s; built-in colours used", e.what());
        return;
    }
    LoadDisplayColors(text, colors);
}

std::string ColorFilePath(const std::string& programPath) {
    size_t slash = programPath.find_last_of('/');
    size_t dot = programPath.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return programPath + ".ini";
    return programPath.substr(0, dot) + ".ini";
}

std::vector<std::string> ColorFileCandidates(const std::string& programPath,
                                             const char* xdgConfigHome, const char* home,
                                             const char* xdgConfigDirs) {
    std::vector<std::string> out;
    const std::string beside = ColorFilePath(programPath);
    out.push_back(beside);
    const std::string name = "kdtrelva/" + beside.substr(beside.find_last_of('/') + 1);
    if (xdgConfigHome && *xdgConfigHome == '/')
        out.push_back(std::string(xdgConfigHome) + "/" + name);
    else if (home && *home)
        out.push_back(std::string(home) + "/.config/" + name);
    std::string dirs = xdgConfigDirs && *xdgConfigDirs ? xdgConfigDirs : "/etc/xdg";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = dirs.substr(start, end - start);
        if (!dir.empty() && dir[0] == '/') out.push_back(dir + "/" + name);  // relative: ignored
        start = end + 1;
    }
    return out;
}

std::string FindColorFile(const std::vector<std::string>& candidates) {
    // A folder (or a FIFO) of that name is no colour file: look further.
    for (const std::string& path : candidates) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return path;
    }
    return {};
}

}  // namespace kd
