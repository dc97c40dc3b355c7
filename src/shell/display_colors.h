#pragma once
// Display colours read from the ini file beside the program (section
// "Colors"); every colour is 0x00BBGGRR, red in the lowest byte.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kd {

struct TDisplayColors {
    uint32_t laser_active_color = 0x000000FF;
    uint32_t profile_bg_color = 0x00FFFFFF;
    uint32_t profile_grid_color = 0x00808080;
    uint32_t profile_line_color = 0x003336FF;
    uint32_t chart_bg_color = 0x00000000;
    uint32_t chart_grid_color = 0x00808080;
    uint32_t cam_vertical_bg_color = 0x00000000;
    uint32_t thd_lvl_color = 0x00FFA933;
    uint32_t cut_lvl_color = 0x003336FF;
    std::array<uint32_t, 4> profile_area_frame_color{0x00215ED9, 0x0021C9D9, 0x0021D952,
                                                     0x00D92121};
    std::array<uint32_t, 4> profile_area_body_color{0x007FAAFF, 0x0079DCF2, 0x007FFF99, 0x00FF9C99};
    std::array<uint32_t, 4> area_font_color{0x00215ED9, 0x0021C9D9, 0x0021D952, 0x00D92121};
    std::array<uint32_t, 6> chart_line_color{0x00215ED9, 0x0021C9D9, 0x0021D952,
                                             0x00D92121, 0x00BA21D9, 0x00D9D921};
    std::array<uint32_t, 6> area_sel_color{0x007FAAFF, 0x0079DCF2, 0x007FFF99,
                                           0x00FF9C99, 0x00EF97FC, 0x00FFFF7F};
};

// Fixed colours, not in the file.
constexpr uint32_t kHoldIndicatorColor = 0x0000FFFF;
constexpr uint32_t kOutputLampColor = 0x000080FF;

// Reads the section "Colors" of an ini text into the table; a missing key or
// a value that is not an integer (decimal, or hexadecimal after "$") keeps
// the default.
void LoadDisplayColors(std::string_view iniText, TDisplayColors& colors);
// A colour file is refused when larger than this.
constexpr size_t kMaxColorFileBytes = size_t{256} << 10;
// Reads the colour file; a missing or unreadable file keeps every default
// (one that exists but cannot be read, is no regular file or is too large is
// named in the log).
void LoadDisplayColorsFile(const std::string& path, TDisplayColors& colors);
// The colour file's name: the program's path with its extension replaced.
std::string ColorFilePath(const std::string& programPath);
// Where the colour file is looked for, first found wins: beside the program,
// then the user's configuration folder ($XDG_CONFIG_HOME or ~/.config, then
// kdtrelva/NAME.ini), then each system folder of $XDG_CONFIG_DIRS (default
// /etc/xdg). Null or empty environment values take their defaults.
std::vector<std::string> ColorFileCandidates(const std::string& programPath,
                                             const char* xdgConfigHome, const char* home,
                                             const char* xdgConfigDirs);
// The first candidate that is a regular file; empty when none is.
std::string FindColorFile(const std::vector<std::string>& candidates);
// An ini integer: optional sign, decimal digits, or "$" and hex digits; must
// fit 32 bits.
std::optional<uint32_t> ParseIniInteger(std::string_view text);

}  // namespace kd
