#include "shell/page_outline.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kd {
namespace {

TEST(PageOutline, NegativeCoordinatesCountFromTheEdges) {
    std::vector<TOutlinePoint> pts = {{10, 10, TCornerKind::Straight, 0},
                                      {-4, 10, TCornerKind::Straight, 0},
                                      {-4, -8, TCornerKind::Straight, 0}};
    auto poly = OutlinePolyline(pts, 800, 480);
    ASSERT_EQ(poly.size(), 3u);
    EXPECT_EQ(poly[1].X, 796);
    EXPECT_EQ(poly[2].Y, 472);
}

TEST(PageOutline, ChamferCutsBothEdges) {
    std::vector<TOutlinePoint> pts = {{0, 0, TCornerKind::Straight, 0},
                                      {100, 0, TCornerKind::Chamfer, 4},
                                      {100, 100, TCornerKind::Straight, 0}};
    auto poly = OutlinePolyline(pts, 800, 480);
    ASSERT_EQ(poly.size(), 4u);
    EXPECT_DOUBLE_EQ(poly[1].X, 96);
    EXPECT_DOUBLE_EQ(poly[1].Y, 0);
    EXPECT_DOUBLE_EQ(poly[2].X, 100);
    EXPECT_DOUBLE_EQ(poly[2].Y, 4);
}

TEST(PageOutline, ArcStaysInsideTheCorner) {
    std::vector<TOutlinePoint> pts = {{0, 0, TCornerKind::Straight, 0},
                                      {100, 0, TCornerKind::Arc, 16},
                                      {100, 100, TCornerKind::Straight, 0}};
    auto poly = OutlinePolyline(pts, 800, 480);
    ASSERT_GT(poly.size(), 5u);
    for (const auto& p : poly) {
        EXPECT_LE(p.X, 100.0);
        EXPECT_GE(p.Y, 0.0);
    }
    EXPECT_DOUBLE_EQ(poly[1].X, 84);  // arc starts 16 before the corner
}

TEST(PageOutline, CornerCutIsLimitedByShortEdges) {
    std::vector<TOutlinePoint> pts = {{0, 0, TCornerKind::Straight, 0},
                                      {10, 0, TCornerKind::Chamfer, 40},
                                      {10, 6, TCornerKind::Straight, 0}};
    auto poly = OutlinePolyline(pts, 800, 480);
    ASSERT_EQ(poly.size(), 4u);
    EXPECT_DOUBLE_EQ(poly[1].X, 7);  // half of the 6-pixel edge
    EXPECT_DOUBLE_EQ(poly[2].Y, 3);
}

TEST(PageOutline, SettingsOutlineIsClosed) {
    auto poly = OutlinePolyline(SettingsOutline(), 800, 480);
    ASSERT_FALSE(poly.empty());
    EXPECT_DOUBLE_EQ(poly.front().X, poly.back().X);
    EXPECT_DOUBLE_EQ(poly.front().Y, poly.back().Y);
    for (const auto& p : poly) {
        EXPECT_GE(p.X, 0);
        EXPECT_LE(p.X, 800);
        EXPECT_GE(p.Y, 0);
        EXPECT_LE(p.Y, 480);
    }
    EXPECT_TRUE(OutlinePolyline({}, 800, 480).empty());
}

}  // namespace
}  // namespace kd
