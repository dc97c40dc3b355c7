#pragma once
// What the chart frame draws, computed without drawing: value grid, time
// grid, and per channel the newest-value label and the line pieces.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "measure/chart_data.h"
#include "measure/profile_geometry.h"
#include "measure/value_text.h"

namespace kd {

constexpr double kChartMinScale = 0.25;
constexpr double kChartMaxScale = 8.0;
constexpr size_t kChartPolylinePoints = 1000;

struct ChartValueLine {
    int Value = 0;  // micrometres
    int YUp = 0;
    int YDown = 0;
    bool Solid = false;
    std::string UpText;    // "+" + value text
    std::string DownText;  // "-" + value text
};

struct ChartValueGrid {
    std::vector<ChartValueLine> Lines;
    bool Labels = false;  // grid spacing above 9 pixels at zoom 1
};
ChartValueGrid ChartValueGridFor(int height, double vScale, int displUnit);

struct ChartTimeLine {
    int X = 0;
    bool Solid = false;
    bool Labeled = false;
    std::string Text;  // "-1.000": seconds before now
};
std::vector<ChartTimeLine> ChartTimeGridFor(int width, double hScale);

struct ChartChannelPath {
    bool HasLabel = false;
    PixelPoint LabelEnd;  // the label ends at X with its top at Y
    std::string LabelText;
    // Pieces of line, each at most kChartPolylinePoints points; a gap of
    // missing values and a full buffer both start a new piece (a full buffer
    // repeats its last point so that the line stays joined).
    std::vector<std::vector<PixelPoint>> Pieces;
};
// now and the sample times are in days.
ChartChannelPath ChartChannelPathFor(const TChartData& data, int ch, int width, int height,
                                     double hScale, double vScale, double now,
                                     size_t maxPoints = kChartPolylinePoints);

// Collapses runs of points in the same pixel column to the points a line
// through them really needs: the first, the lowest, the highest and the last,
// in their order. The drawn line covers the same pixels; with thousands of
// samples per few hundred columns it has far fewer points.
void CollapseColumns(std::span<const PixelPoint> in, std::vector<PixelPoint>& out);

// The newest-value labels of the shown channels, stacked where they would
// cover one another: given their tops (any order) and the text height,
// returns the tops to draw them at, in the same order. A label goes below
// the one above it; labels pushed past the chart's bottom edge move up again,
// except that of a value below the chart, which stays out of sight.
std::vector<int> StackChartTags(std::span<const int> tops, int textHeight, int chartHeight);

// Pixel position of a sample.
int ChartX(int width, double hScale, double now, double t);
int ChartY(int half, double vScale, int32_t v);

}  // namespace kd
