#include <gtest/gtest.h>

#include "measure/measure_access.h"
#include "measure/value_text.h"
#include "tests/support/test_context.h"

using namespace kd;

TEST(PageContextKeys, KeysByNameInTheSelectedBank) {
    test::TTestContext t;
    TKestParam& image = t.Image;
    image.LoadDefaultImage();
    image.SetSys(pk::Bank, 2);
    TPageContext& access = t.Ctx;
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
    EXPECT_EQ(access.BankWordIndex("C1.ZAdj"), image.BankWordIndex(2, pk::ChZAdj(1)));
    EXPECT_EQ(access.BankWordIndex("Nothing"), -1);
}

TEST(PageContextKeys, SourceTextsFromTheImage) {
    test::TTestContext t;
    TKestParam& image = t.Image;
    image.LoadDefaultImage();
    image.SetSys(pk::Bank, 0);
    image.SetBank(0, pk::AreaFunc(1), 1);
    image.SetBank(0, pk::AreaFunc(2), 3);
    image.SetBank(0, pk::Op1A, 0);
    image.SetBank(0, pk::Op1B, 1);
    image.SetBank(0, pk::Op1Op, 0);
    TContextKeys access(t.Ctx);
    MeasModeTexts texts;
    texts.Shorts = {"ave", "p_hgt", "b_hgt", "width"};
    EXPECT_EQ(SourceText(4, texts, access), " [A1:p_hgt + A2:width]");
}
