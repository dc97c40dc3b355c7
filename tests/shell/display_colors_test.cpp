#include "shell/display_colors.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace kd {
namespace {

TEST(IniInteger, Forms) {
    EXPECT_EQ(ParseIniInteger("255"), 255u);
    EXPECT_EQ(ParseIniInteger(" $00FF00 "), 0x00FF00u);
    EXPECT_EQ(ParseIniInteger("0x10"), 16u);
    EXPECT_EQ(ParseIniInteger("-1"), 0xFFFFFFFFu);
    EXPECT_FALSE(ParseIniInteger("red").has_value());
    EXPECT_FALSE(ParseIniInteger("").has_value());
    EXPECT_FALSE(ParseIniInteger("$").has_value());
    EXPECT_FALSE(ParseIniInteger("12 34").has_value());
    EXPECT_FALSE(ParseIniInteger("4294967296").has_value());
    EXPECT_FALSE(ParseIniInteger("$1FFFFFFFF").has_value());
}

TEST(ColorFile, ReadsKeysOfTheColorsSection) {
    TDisplayColors c;
    LoadDisplayColors(
        "[Other]\r\nchart_bg_color=1\r\n[Colors]\r\nchart_bg_color=255\r\nArea_Sel_Color5=$"
        "123456\r\n"
        "chart_line_color0=100\r\nprofile_area_frame_color3=7\r\n",
        c);
    EXPECT_EQ(c.chart_bg_color, 255u);
    EXPECT_EQ(c.area_sel_color[5], 0x123456u);
    EXPECT_EQ(c.chart_line_color[0], 100u);
    EXPECT_EQ(c.profile_area_frame_color[3], 7u);
    EXPECT_EQ(c.chart_line_color[1], 0x0021C9D9u);  // untouched default
}

TEST(ColorFile, BadValuesKeepDefaults) {
    TDisplayColors c;
    LoadDisplayColors(
        "[Colors]\nchart_bg_color=black\nthd_lvl_color=\ncut_lvl_color=$xyz\narea_font_color9=1\n",
        c);
    EXPECT_EQ(c.chart_bg_color, 0u);
    EXPECT_EQ(c.thd_lvl_color, 0x00FFA933u);
    EXPECT_EQ(c.cut_lvl_color, 0x003336FFu);
    EXPECT_EQ(c.area_font_color[3], 0x00D92121u);
}

TEST(ColorFile, MissingFileKeepsEveryDefault) {
    TDisplayColors c;
    LoadDisplayColorsFile("/nonexistent/kdtrelva.ini", c);
    TDisplayColors d;
    EXPECT_EQ(c.profile_line_color, d.profile_line_color);
    EXPECT_EQ(c.area_sel_color, d.area_sel_color);
}

TEST(ColorFile, NameBesideTheProgram) {
    EXPECT_EQ(ColorFilePath("/opt/kd/bin/kdtrelva"), "/opt/kd/bin/kdtrelva.ini");
    EXPECT_EQ(ColorFilePath("/opt/kd/kdtrelva.exe"), "/opt/kd/kdtrelva.ini");
    EXPECT_EQ(ColorFilePath("/opt/kd.d/kdtrelva"), "/opt/kd.d/kdtrelva.ini");
}

// Beside the program, then the user's folder, then the system's; the first
// that exists is read.
TEST(ColorFile, LookedUpBesideTheProgramThenUserThenSystem) {
    using V = std::vector<std::string>;
    EXPECT_EQ(ColorFileCandidates("/usr/bin/kdtrelva", nullptr, "/home/op", nullptr),
              (V{"/usr/bin/kdtrelva.ini", "/home/op/.config/kdtrelva/kdtrelva.ini",
                 "/etc/xdg/kdtrelva/kdtrelva.ini"}));
    EXPECT_EQ(ColorFileCandidates("/usr/bin/kdtrelva", "/cfg", "/home/op", "/a::rel:/b"),
              (V{"/usr/bin/kdtrelva.ini", "/cfg/kdtrelva/kdtrelva.ini", "/a/kdtrelva/kdtrelva.ini",
                 "/b/kdtrelva/kdtrelva.ini"}));
    EXPECT_EQ(ColorFileCandidates("/usr/bin/kdtrelva", "relative", "", ""),
              (V{"/usr/bin/kdtrelva.ini", "/etc/xdg/kdtrelva/kdtrelva.ini"}));

    char dir[] = "/tmp/kdcolorsXXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string user = std::string(dir) + "/user.ini", sys = std::string(dir) + "/sys.ini";
    EXPECT_EQ(FindColorFile({"/nonexistent/a.ini", user, sys}), "");
    for (const std::string& f : {user, sys}) std::fclose(std::fopen(f.c_str(), "w"));
    EXPECT_EQ(FindColorFile({"/nonexistent/a.ini", user, sys}), user);
    // Only regular files: a folder of the name is passed over.
    EXPECT_EQ(FindColorFile({dir, user}), user);
    std::remove(user.c_str());
    EXPECT_EQ(FindColorFile({"/nonexistent/a.ini", user, sys}), sys);
    std::remove(sys.c_str());
    ::rmdir(dir);
}

}  // namespace
}  // namespace kd
