// Command catalogue, payload builders, transfer modes and rectangle payloads.
#include <gtest/gtest.h>

#include <set>

#include "common/kest_error.h"
#include "link/commands.h"

using namespace kd;
using Bytes = std::vector<uint8_t>;

TEST(Catalogue, NamesAndCodesAreUniqueAndFindEachOther) {
    std::set<std::string_view> names;
    std::set<uint16_t> codes;
    for (const auto& c : CommandCatalogue()) {
        EXPECT_TRUE(names.insert(c.name).second) << c.name;
        EXPECT_TRUE(codes.insert(c.code).second) << c.name;
        ASSERT_TRUE(FindCommand(c.name).has_value());
        EXPECT_EQ(FindCommand(c.name)->code, c.code);
        EXPECT_EQ(CommandName(c.code), c.name);
    }
    EXPECT_EQ(CommandCatalogue().size(), 111u);
}

TEST(Catalogue, SpotChecks) {
    EXPECT_EQ(FindCommand("NULL_CMD")->code, 0x0000);
    EXPECT_EQ(FindCommand("MEM_READ_WIDE")->code, 0x001A);
    EXPECT_EQ(FindCommand("CAM_STARAT")->code, 0x200D);
    EXPECT_EQ(FindCommand("SET_TILTCOR_POS")->code, 0x4019);
    EXPECT_EQ(FindCommand("GET_MEAS")->code, 0x801A);
    EXPECT_EQ(FindCommand("SET_GPIO_IPOLAR")->code, 0xC00A);
    EXPECT_EQ(FindCommand("GET_STR_RPT")->code, 0xC01F);
    EXPECT_EQ(FindCommand("GET_VERSION")->replyBytes, 6);
    EXPECT_EQ(FindCommand("GET_CAM_RECT")->replyBytes, 8);
    EXPECT_FALSE(FindCommand("set_tmd").has_value());
    EXPECT_FALSE(FindCommand("NO_SUCH").has_value());
    EXPECT_EQ(CommandName(0x1234), "cmd1234");
}

TEST(Catalogue, QueryAfterSetPairsHaveCodePlusOneAndTheSettingsWidth) {
    for (const auto& c : CommandCatalogue()) {
        if (c.name.substr(0, 4) != "SET_") continue;
        auto get = FindCommand("GET_" + std::string(c.name.substr(4)));
        if (!get || (c.code >> 8) < 0x20) continue;
        if (c.name == "SET_CAM_RECT") continue;  // its query has four words
        EXPECT_EQ(get->code, c.code + 1) << c.name;
        const int width = c.request == "w" ? 2 : c.request == "l" ? 4 : 0;
        if (width > 0) {
            EXPECT_EQ(get->replyBytes, width) << c.name;
        }
    }
}

TEST(Payload, ShapesAreBigEndianWords) {
    EXPECT_EQ(PayloadB(0x7F), (Bytes{0x00, 0x7F}));
    EXPECT_EQ(PayloadB(255), (Bytes{0x00, 0xFF}));
    EXPECT_EQ(PayloadW(-2), (Bytes{0xFF, 0xFE}));
    EXPECT_EQ(PayloadW(0xABCD), (Bytes{0xAB, 0xCD}));
    EXPECT_EQ(PayloadL(0x12345678), (Bytes{0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(PayloadL(-1), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(PayloadXY(2, 300, true), (Bytes{0x00, 0x02, 0x01, 0x2C}));
    EXPECT_EQ(PayloadXY(1, 3, false), (Bytes{0x00, 0x01, 0x00, 0x03}));
    EXPECT_EQ(Payload().B(1).W(-1).L(2).Size(), 8);
}

TEST(Payload, ValuesOutsideTheirShapeAreRefused) {
    EXPECT_THROW(PayloadB(256), EKestError);
    EXPECT_THROW(PayloadB(-1), EKestError);
    EXPECT_THROW(PayloadW(65536), EKestError);
    EXPECT_THROW(PayloadW(-32769), EKestError);
    EXPECT_THROW(PayloadL(int64_t{1} << 32), EKestError);
    EXPECT_NO_THROW(PayloadW(-32768));
    EXPECT_NO_THROW(PayloadL(0xFFFFFFFFLL));
}

TEST(TransferMode, FieldsAndWireByte) {
    EXPECT_EQ(ModeElementWords(kModeWords), 1);
    EXPECT_EQ(ModeElementWords(kModeMaster), 2);
    EXPECT_EQ(ModeElementWords(0x100), 1);
    EXPECT_EQ(ModeWireByte(kModeWords), 0x11);
    EXPECT_EQ(ModeWireByte(kModeThumb), 0x18);
    EXPECT_EQ(ModeWireByte(kModeWrite), 0x01);  // a zero low byte travels as 1
    EXPECT_EQ(ProfileModeWide(2), 0x112);
    EXPECT_EQ(ProfileModeNormal(1), 0x121);
    EXPECT_EQ(MemReadPayload(0x00012345, 253, kModeWords),
              (Bytes{0x00, 0x01, 0x23, 0x45, 253, 0x11}));
    EXPECT_THROW(MemReadPayload(0, 256, kModeWords), EKestError);
}

TEST(TransferMode, ByteOrderConversion) {
    Bytes b{1, 2, 3, 4, 5, 6, 7, 8};
    ModeConvert(0x011, b.data(), 4);
    EXPECT_EQ(b, (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
    ModeConvert(0x111, b.data(), 4);
    EXPECT_EQ(b, (Bytes{2, 1, 4, 3, 6, 5, 8, 7}));
    ModeConvert(0x200, b.data(), 3);  // an odd word at the end is left alone
    EXPECT_EQ(b, (Bytes{3, 4, 1, 2, 6, 5, 8, 7}));
}

TEST(AreaRectCommand, EdgesAreOrderedClampedAndHalved) {
    AreaRect r = OrderAndClampAreaRect(20000, 500, -20000, -500);
    EXPECT_EQ(r, (AreaRect{-14998, -500, 14998, 500}));
    Bytes p = AreaRectPayload(2, r);
    // area, y0/2, x0/2, y1/2, x1/2
    EXPECT_EQ(p, (Bytes{0x00, 0x02, 0xFF, 0x06, 0xE2, 0xB5, 0x00, 0xFA, 0x1D, 0x4B}));
    // the inner limits of each edge
    EXPECT_EQ(OrderAndClampAreaRect(14990, 27990, 14995, 27995),
              (AreaRect{14934, 27934, 14995, 27995}));
    EXPECT_EQ(OrderAndClampAreaRect(-14990, -28500, -14995, -27999),
              (AreaRect{-14995, -27998, -14934, -27934}));
    // odd negative edges halve toward minus infinity
    EXPECT_EQ(AreaRectPayload(0, AreaRect{-3, -1, 3, 1}),
              (Bytes{0, 0, 0xFF, 0xFF, 0xFF, 0xFE, 0x00, 0x00, 0x00, 0x01}));
}

TEST(CamRectCommand, WordsAndReply) {
    EXPECT_EQ(CamRectPayload(CamRect{0, 0, 480, 640}), (Bytes{0, 0, 0, 0, 0, 60, 0, 80}));
    EXPECT_EQ(CamRectPayload(CamRect{160, 16, 100, 800}), (Bytes{0, 2, 0, 20, 0, 12, 0, 100}));
    Bytes reply{0, 2, 0, 20, 0, 12, 0, 100};
    EXPECT_EQ(CamRectFromReply(reply), (CamRect{160, 16, 96, 800}));
    EXPECT_THROW(CamRectFromReply(Bytes{0, 1}), EKestError);
    EXPECT_THROW(CamRectPayload(CamRect{0, 0, 480, 4000}), EKestError);
}
