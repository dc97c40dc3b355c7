#include <gtest/gtest.h>

#include "measure/kest_param_access.h"
#include "measure/value_text.h"

using namespace kd;

TEST(KestParamAccess, KeysByNameInTheSelectedBank) {
    TKestParam image;
    image.LoadDefaultImage();
    image.SetSys(pk::Bank, 2);
    TKestParamAccess access(image);
    EXPECT_EQ(access.CurrentBank(), 2);
    access.SetBank("A1.Left", 1000);
    EXPECT_EQ(image.GetBank(2, pk::AreaLeft(1)), 1000);
    EXPECT_NE(image.GetBank(1, pk::AreaLeft(1)), 1000);
    EXPECT_EQ(access.GetBank("A1.Left"), 1000);
    image.SetBank(2, pk::Op1Op, 1);
    EXPECT_EQ(access.GetBank("Op1.Op"), 1);
    image.SetSys(pk::AxisDir, 1);
    EXPECT_EQ(access.GetSys("AxisDir"), 1);
    // A Sys name is not a bank key and the other way round.
    EXPECT_EQ(access.GetBank("AxisDir"), 0);
    EXPECT_EQ(access.GetSys("A1.Left"), 0);
    EXPECT_EQ(access.GetBank("NoSuchKey"), 0);
    access.SetBank("NoSuchKey", 5);  // ignored
    IParamAccess::Limits l = access.KeyLimits("VCorrect");
    EXPECT_EQ(l.Min, -7500);
    EXPECT_EQ(l.Max, 7500);
    EXPECT_EQ(access.KeyWordIndex("C1.ZAdj"), image.BankWordIndex(2, pk::ChZAdj(1)));
    EXPECT_EQ(access.KeyWordIndex("Nothing"), -1);
}

TEST(KestParamAccess, SourceTextsFromTheImage) {
    TKestParam image;
    image.LoadDefaultImage();
    image.SetSys(pk::Bank, 0);
    image.SetBank(0, pk::AreaFunc(1), 1);
    image.SetBank(0, pk::AreaFunc(2), 3);
    image.SetBank(0, pk::Op1A, 0);
    image.SetBank(0, pk::Op1B, 1);
    image.SetBank(0, pk::Op1Op, 0);
    TKestParamAccess access(image);
    MeasModeTexts t;
    t.Shorts = {"ave", "p_hgt", "b_hgt", "width"};
    EXPECT_EQ(SourceText(4, t, access), " [A1:p_hgt + A2:width]");
}
