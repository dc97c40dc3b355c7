#include <gtest/gtest.h>

#include "common/kest_error.h"
#include "fake_keys.h"
#include "measure/value_text.h"

using namespace kd;
using kd::test::EnglishTexts;
using kd::test::FakeKeys;

TEST(FormatValue, NoValueMarkByUnitAndDecimals) {
    EXPECT_EQ(FormatValue(kNoValue, 3, "mm"), "-.---");
    EXPECT_EQ(FormatValue(kNoValue, 3, "mm", ','), "-,---");
    EXPECT_EQ(FormatValue(kNoValue, 0, "mm"), "-");
    EXPECT_EQ(FormatValue(kNoValue, 1, "deg."), "-.-");
    EXPECT_EQ(FormatValue(kNoValue, 3, "um"), "---");
    EXPECT_EQ(FormatValue(kNoValue, 3, "UM2"), "---");
    EXPECT_EQ(FormatValue(kNoValue, 2, ""), "-.--");
}

TEST(FormatValue, RangeLimitsOfShownValues) {
    EXPECT_EQ(FormatValue(0x0FFFFFFF, 0, "um"), "268435455");
    EXPECT_EQ(FormatValue(0x10000000, 0, "um"), "---");
    EXPECT_EQ(FormatValue(-0x10000000, 0, "um"), "-268435456");
    EXPECT_EQ(FormatValue(-0x10000001, 3, "mm"), "-.---");
    EXPECT_EQ(FormatValue(INT32_MIN, 3, "mm"), "-.---");
}

TEST(FormatValue, UnitsAndDecimals) {
    EXPECT_EQ(FormatValue(1234, 2, "mm"), "1.23");
    EXPECT_EQ(FormatValue(1234, 2, "mm", ','), "1,23");
    EXPECT_EQ(FormatValue(1234, 2, "um"), "1234");
    EXPECT_EQ(FormatValue(1234, 2, "Um"), "1234");
    EXPECT_EQ(FormatValue(5, 3, "um2"), "5000");
    EXPECT_EQ(FormatValue(-1500, 3, "mm"), "-1.500");
    EXPECT_EQ(FormatValue(0, 3, "mm"), "0.000");
    EXPECT_EQ(FormatValue(1234, 0, "mm"), "1");
    EXPECT_EQ(FormatValue(7, 3, "deg."), "0.007");
    EXPECT_EQ(FormatValue(12345, 1, "mm2"), "12.3");
}

TEST(FormatValue, LargeValuesDoNotOverflowOrExceedEightDigits) {
    // um2 multiplies by 1000: beyond 32 bits.
    EXPECT_EQ(FormatValue(0x0FFFFFFF, 3, "um2"), "268435455000");
    // 268435.455 has nine digits: shown with eight, the last decimal as zero.
    EXPECT_EQ(FormatValue(0x0FFFFFFF, 3, "mm"), "268435.460");
    EXPECT_EQ(FormatValue(123456789, 3, "mm"), "123456.790");
    EXPECT_EQ(FormatValue(99999999, 3, "mm"), "99999.999");
    EXPECT_EQ(FormatValue(99999999, 2, "mm"), "100000.00");
    EXPECT_EQ(FormatValue(12345678, 3, "mm"), "12345.678");
}

TEST(FormatValue, NegativeRoundingToZeroHasNoSign) {
    EXPECT_EQ(FormatValue(-1, 2, "mm"), "0.00");
    EXPECT_EQ(FormatValue(-1, 0, "mm"), "0");
    EXPECT_EQ(FormatValue(-10, 2, "mm"), "-0.01");
}

TEST(ParseValue, UnitsAndTruncation) {
    EXPECT_EQ(ParseValue("1.2345", "mm"), 1234);
    EXPECT_EQ(ParseValue("-1.2345", "mm"), -1234);
    EXPECT_EQ(ParseValue("1234.9", "um"), 1234);
    EXPECT_EQ(ParseValue("-1234.9", "UM"), -1234);
    EXPECT_EQ(ParseValue("5999", "um2"), 5);
    EXPECT_EQ(ParseValue(" 2 ", "deg."), 2000);
    EXPECT_EQ(ParseValue("1e1", "mm"), 10000);
    EXPECT_EQ(ParseValue("1,5", "mm", ','), 1500);
}

// What FormatValue shows reads back as the same value, although most shown
// decimals have no exact binary form.
TEST(ParseValue, ShownValuesReadBackExactly) {
    for (int32_t v : {32666, -32666, 1, 999, 4095, 8191, 123457, -9999999, 99999999, 1000001}) {
        EXPECT_EQ(ParseValue(FormatValue(v, 3, "mm"), "mm"), v) << v;
        EXPECT_EQ(ParseValue(FormatValue(v, 3, "mm", ','), "mm", ','), v) << v;
    }
    EXPECT_EQ(ParseValue("32.6669", "mm"), 32666);  // still truncated toward zero
    EXPECT_EQ(ParseValue("-0.0019", "mm"), -1);
}

TEST(ParseValue, BadTextRaisesConversionError) {
    for (const char* t : {"", "abc", "1.2.3", "1,5", "--1", ".", "1e", "1 2", "inf", "nan"}) {
        EXPECT_THROW(ParseValue(t, "mm"), EKestError) << t;
    }
    try {
        ParseValue("x1", "mm");
        FAIL();
    } catch (const EKestError& e) {
        EXPECT_STREQ(e.what(), "'x1' is not a valid floating point value");
    }
}

TEST(ParseValue, ResultBeyond32BitsIsRefused) {
    EXPECT_THROW(ParseValue("3000000", "mm"), EKestError);
    EXPECT_EQ(ParseValue("2147483.647", "mm"), 2147483647);
    EXPECT_THROW(ParseValue("1e300", "um"), EKestError);
}

TEST(ParseValueMm, Units) {
    EXPECT_DOUBLE_EQ(ParseValueMm("1500", "um"), 1.5);
    EXPECT_DOUBLE_EQ(ParseValueMm("2000000", "um2"), 2.0);
    EXPECT_DOUBLE_EQ(ParseValueMm("1.25", "mm"), 1.25);
    EXPECT_THROW(ParseValueMm("mm", "mm"), EKestError);
}

TEST(ModeTexts, UnitsShortNamesAndListEnds) {
    MeasModeTexts t = EnglishTexts();
    EXPECT_EQ(ModeUnit(0, t), "mm");
    EXPECT_EQ(ModeUnit(7, t), "");
    EXPECT_EQ(ModeUnit(8, t), "deg.");
    EXPECT_EQ(ModeUnit(9, t), "mm2");
    EXPECT_EQ(ModeUnit(13, t), "?");
    EXPECT_EQ(ModeUnit(-1, t), "?");
    EXPECT_EQ(ModeShort(0, t), "ave");
    EXPECT_EQ(ModeShort(12, t), "infl");
    EXPECT_EQ(ModeShort(13, t), "???");
    EXPECT_EQ(ModeShort(-5, t), "???");
    t.Units.clear();
    EXPECT_EQ(ModeUnit(0, t), "?");
}

TEST(ModeTexts, MicrometreDisplayExceptEdgePositionAndDiameter) {
    MeasModeTexts t = EnglishTexts();
    t.DisplUnit = 1;
    EXPECT_EQ(ModeUnit(0, t), "um");
    EXPECT_EQ(ModeUnit(10, t), "um");
    EXPECT_EQ(ModeUnit(6, t), "mm");
    EXPECT_EQ(ModeUnit(11, t), "mm");
    EXPECT_EQ(ModeUnit(9, t), "mm2");
    EXPECT_EQ(ModeUnit(8, t), "deg.");
    t.Units[1] = "MM";
    EXPECT_EQ(ModeUnit(1, t), "um");
}

TEST(SourceText, AreasAndCalculations) {
    MeasModeTexts t = EnglishTexts();
    FakeKeys k;
    k.Bank = {{"A1.Func", 0}, {"A2.Func", 1}, {"A3.Func", 3}, {"A4.Func", 20}, {"Op1.A", 0},
              {"Op1.B", 2},   {"Op1.Op", 1},  {"Op2.A", 1},   {"Op2.B", 3},    {"Op2.Op", 0}};
    EXPECT_EQ(SourceText(0, t, k), ": ave");
    EXPECT_EQ(SourceText(2, t, k), ": width");
    EXPECT_EQ(SourceText(3, t, k), ": ???");
    EXPECT_EQ(SourceText(4, t, k), " [A1:ave - A3:width]");
    EXPECT_EQ(SourceText(5, t, k), " [A2:p_hgt + A4:???]");
    k.Bank["Op2.Op"] = 2;
    EXPECT_EQ(SourceText(5, t, k), " [A2:p_hgt ? A4:???]");
    k.Bank["Op2.B"] = 4;
    EXPECT_EQ(SourceText(5, t, k), "?");
    k.Bank["Op1.A"] = -1;
    EXPECT_EQ(SourceText(4, t, k), "?");
    EXPECT_EQ(SourceText(6, t, k), "?");
    t.ALabel = "B";
    k.Bank["Op1.A"] = 1;
    EXPECT_EQ(SourceText(4, t, k), " [B2:p_hgt - B3:width]");
}

TEST(SourceText, OutputSourceLabelsOfTheMeasurementPage) {
    MeasModeTexts t = EnglishTexts();
    FakeKeys k;
    k.Bank = {{"A1.Func", 0}, {"A2.Func", 8}, {"Op1.A", 1}, {"Op1.B", 0},
              {"Op1.Op", 0},  {"Op2.A", 5},   {"Op2.B", 0}};
    OutputSource s = OutputSourceText(0, t, k);
    EXPECT_TRUE(s.HasSource);
    EXPECT_EQ(s.Source, "Area1:ave");
    EXPECT_EQ(s.Unit, "mm");
    s = OutputSourceText(4, t, k);
    EXPECT_TRUE(s.HasSource);
    EXPECT_EQ(s.Source, "[A2:tilt + A1:ave]");
    EXPECT_EQ(s.Unit, "deg.");  // unit of operand A's area
    s = OutputSourceText(5, t, k);
    EXPECT_FALSE(s.HasSource);
    EXPECT_EQ(s.Unit, "?");
    s = OutputSourceText(9, t, k);
    EXPECT_FALSE(s.HasSource);
}
