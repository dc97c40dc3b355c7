#include "shell/config_store.h"

#include <gtest/gtest.h>

namespace kd {
namespace {

TEST(ConfigLoad, EmptyStoreKeepsDefaults) {
    TMemoryConfigStore store;
    TShellSettings s;
    LoadMainSettings(store, s);
    LoadPageSettings(store, s);
    EXPECT_FALSE(s.Loc.has_value());
    EXPECT_FALSE(s.Main.WindowState.has_value());
    EXPECT_EQ(s.ChMask, 0x3F);
    EXPECT_EQ(s.DisplUnit, 0);
    EXPECT_EQ(s.DisplDecimal, 3);
    EXPECT_EQ(s.BaudRate, "2Mbps");
}

TEST(ConfigLoad, NormalWindowReadsGeometry) {
    TMemoryConfigStore store;
    store.WriteInt("Main", "WindowState", 0);
    store.WriteInt("Main", "Left", 10);
    store.WriteInt("Main", "Top", 20);
    store.WriteInt("Main", "Width", 900);
    store.WriteInt("Main", "Height", 600);
    store.WriteString("Main", "loc", "ko");
    TShellSettings s;
    LoadMainSettings(store, s);
    EXPECT_TRUE(s.Main.HasGeometry);
    EXPECT_EQ(s.Main.Left, 10);
    EXPECT_EQ(s.Main.Height, 600);
    EXPECT_EQ(s.Loc, "ko");
}

TEST(ConfigLoad, MaximisedWindowDoesNotReadGeometry) {
    TMemoryConfigStore store;
    store.WriteInt("Main", "WindowState", 2);
    store.WriteInt("Main", "Left", 10);
    store.WriteInt("Main", "Top", 20);
    store.WriteInt("Main", "Width", 900);
    store.WriteInt("Main", "Height", 600);
    TShellSettings s;
    LoadMainSettings(store, s);
    EXPECT_EQ(s.Main.WindowState, 2);
    EXPECT_FALSE(s.Main.HasGeometry);
}

TEST(ConfigLoad, GeometryWithAHoleIsNotUsed) {
    TMemoryConfigStore store;
    store.WriteInt("Main", "WindowState", 0);
    store.WriteInt("Main", "Left", 10);
    store.WriteInt("Main", "Top", 20);
    store.WriteInt("Main", "Width", 900);
    TShellSettings s;
    LoadMainSettings(store, s);
    EXPECT_FALSE(s.Main.HasGeometry);
}

TEST(ConfigLoad, ValuesOfTheWrongTypeOrRangeKeepDefaults) {
    TMemoryConfigStore store;
    store.WriteString("View", "DisplUnit", "one");
    store.WriteInt("View", "DisplDecimal", 7);
    store.WriteInt("AdjChart", "ChMask", 0x1C5);
    store.WriteDouble("Area", "ScaleX", -2.0);
    store.WriteString("Area", "ScaleY", "big");
    TShellSettings s;
    LoadMainSettings(store, s);
    LoadPageSettings(store, s);
    EXPECT_EQ(s.DisplUnit, 0);
    EXPECT_EQ(s.DisplDecimal, 3);
    EXPECT_EQ(s.ChMask, 0x05);  // only the six channel bits
    EXPECT_EQ(s.AreaScaleX, 1.0);
    EXPECT_EQ(s.AreaScaleY, 1.0);
}

TEST(ConfigLoad, DisplaySettingsAndPageGroups) {
    TMemoryConfigStore store;
    store.WriteInt("View", "DisplUnit", 1);
    store.WriteInt("View", "DisplDecimal", 0);
    store.WriteDouble("Profile", "ScaleX", 0.25);
    store.WriteInt("Area", "ViewMaster", 0);
    store.WriteString("Comm", "PortName", "ttyUSB1");
    TShellSettings s;
    LoadMainSettings(store, s);
    LoadPageSettings(store, s);
    EXPECT_EQ(s.DisplUnit, 1);
    EXPECT_EQ(s.DisplDecimal, 0);
    EXPECT_EQ(s.ProfileScaleX, 0.25);
    EXPECT_FALSE(s.AreaViewMaster);
    EXPECT_EQ(s.PortName, "ttyUSB1");
}

TEST(ConfigSave, MaximisedWritesOnlyStateAndLocInMain) {
    TMemoryConfigStore store;
    TShellSettings s;
    s.Main.WindowState = 2;
    SaveSettings(store, s, "ja");
    EXPECT_EQ(store.ReadInt("Main", "WindowState"), 2);
    EXPECT_EQ(store.ReadString("Main", "loc"), "ja");
    EXPECT_FALSE(store.Has("Main", "Left"));
    EXPECT_FALSE(store.Has("Main", "Height"));
}

TEST(ConfigSave, RoundTripOfEveryGroup) {
    TMemoryConfigStore store;
    TShellSettings s;
    s.Main.WindowState = 0;
    s.Main.Left = 5;
    s.Main.Top = 6;
    s.Main.Width = 1000;
    s.Main.Height = 700;
    s.ChMask = 0x21;
    s.DisplUnit = 1;
    s.DisplDecimal = 2;
    s.CameraScaleX = 0.5;
    s.CameraHighQuality = true;
    s.AreaScaleY = 3.25;
    s.PortName = "ttyS0";
    s.BaudRate = "115.2kbps";
    SaveSettings(store, s, "cn");
    for (const char* g : {"Main", "AdjChart", "Camera", "Profile", "Area", "Comm", "View"})
        EXPECT_TRUE(store.HasGroup(g)) << g;
    EXPECT_EQ(store.ReadDouble("Camera", "ScaleX"), 0.5);  // doubles stay doubles
    EXPECT_FALSE(store.ReadInt("Camera", "ScaleX").has_value());
    TShellSettings r;
    LoadMainSettings(store, r);
    LoadPageSettings(store, r);
    EXPECT_EQ(r.Loc, "cn");
    EXPECT_EQ(r.Main.Width, 1000);
    EXPECT_EQ(r.ChMask, 0x21);
    EXPECT_EQ(r.DisplUnit, 1);
    EXPECT_EQ(r.DisplDecimal, 2);
    EXPECT_TRUE(r.CameraHighQuality);
    EXPECT_EQ(r.AreaScaleY, 3.25);
    EXPECT_EQ(r.PortName, "ttyS0");
    EXPECT_EQ(r.BaudRate, "115.2kbps");
    EXPECT_EQ(store.ReadInt("Camera", "WithProfile"), 1);  // flags are integers 0 or 1
}

}  // namespace
}  // namespace kd
