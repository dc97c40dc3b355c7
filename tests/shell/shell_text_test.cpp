#include "shell/shell_text.h"

#include <gtest/gtest.h>

namespace kd {
namespace {

TEST(Caption, Rules) {
    EXPECT_EQ(BuildMainCaption("KD trelva ver1.70", "", false), "KD trelva ver1.70 [untitled]");
    EXPECT_EQ(BuildMainCaption("KD trelva ver1.70", "/home/op/line3.kd", false),
              "KD trelva ver1.70 [line3.kd]");
    EXPECT_EQ(BuildMainCaption("KD trelva ver1.70", "C:\\data\\a.kd", true),
              "KD trelva ver1.70 [a.kd]*");
    EXPECT_EQ(BuildMainCaption("KD trelva ver1.70", "", true), "KD trelva ver1.70 [untitled]*");
}

TEST(HintFilter, Millimetres) {
    EXPECT_EQ(FilterHintText("-32_767 ... +32_767 [um]", 0, "."), "-32.767 ... +32.767 [mm]");
    EXPECT_EQ(FilterHintText("-327_67 ... +327_67 [um]", 0, "."), "-327.67 ... +327.67 [mm]");
    EXPECT_EQ(FilterHintText("-32_767 ... +32_767 [um]", 0, ","), "-32,767 ... +32,767 [mm]");
}

TEST(HintFilter, Micrometres) {
    EXPECT_EQ(FilterHintText("-32_767 ... +32_767 [um]", 1, "."), "-32767 ... +32767 [um]");
}

TEST(HintFilter, HintsWithoutPlaceholderStay) {
    EXPECT_EQ(FilterHintText("5 ... 10235 [usec], step5", 0, "."), "5 ... 10235 [usec], step5");
    EXPECT_EQ(FilterHintText("0 ... 127 [um]", 0, "."), "0 ... 127 [um]");
}

TEST(About, TitleAndVersion) {
    EXPECT_EQ(AboutTitle("KD Trelva"), "KD Trelva");
    EXPECT_EQ(AboutTitle("KD trelva ver1.70"), "KD trelva");
    EXPECT_EQ(AboutVersion("1.70.19.0"), "Version 1.70");
    EXPECT_EQ(AboutVersion("2.5"), "Version 2.05");
    EXPECT_EQ(AboutVersion("x"), "Version 0.00");
}

TEST(PercentS, FirstOccurrenceOnly) {
    EXPECT_EQ(ReplacePercentS("Write to %s sensor unit?", "KD"), "Write to KD sensor unit?");
    EXPECT_EQ(ReplacePercentS("%s %s %d", "KD"), "KD %s %d");
    EXPECT_EQ(ReplacePercentS("none", "KD"), "none");
}

}  // namespace
}  // namespace kd
