#pragma once
// The camera page's rules that need no window: the camera window between the
// image, the view and the sensor, dragging it on the 16-pixel grid, the size
// of the picture to fetch and its quarter turn into the view, the line
// positions of the stripe, the intensity section and its band, the zoom
// ladder, the sampling text, the camera mode's read-back and the automatic
// exposure.
//
// View coordinates: the sensor image is 800 x 800 pixels; view x runs
// mirrored against the sensor's columns (view x = 800 - column), and the
// sensor delivers its picture turned by a quarter against the view.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/commands.h"
#include "link/kest_thread.h"
#include "shell/page_context.h"

namespace kd::camera {

constexpr int kSensorPixels = 800;
constexpr int kGrid = 16;        // the window moves and is sent in these steps
constexpr int kGrabMargin = 10;  // view pixels around an edge that grab it
constexpr int kSectionBytes = 1024;

// A rectangle in view pixels, right and bottom exclusive.
struct TViewRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const TViewRect&) const = default;
};

// The camera window of the current bank (CamLeft, CamTop, CamWidth, CamHeight).
TViewRect WindowOfImage(const TPageContext& ctx);
// The window the sensor reports (GET_CAM_RECT).
TViewRect WindowOfSensor(const CamRect& r);
// Entirely outside the picture: springs back on release.
bool OutsidePicture(const TViewRect& r);
// The sensor window for a dragged view window: on the 16-pixel grid, still
// covering the dragged part that lies on the sensor, and on the sensor.
CamRect SensorWindowFor(const TViewRect& r);

// EdgeCode of a view point against the window: 1 left, 2 right, 4 top,
// 8 bottom, 15 inside, 0 beyond the margin.
int GrabCode(const TViewRect& window, int x, int y);

// One drag of the window: from the window at the press, by the pointer's
// movement in display pixels at the given scales.
struct TWindowDrag {
    TViewRect Window;   // at the press
    TViewRect Live;     // follows the pointer
    TViewRect Snapped;  // moves in steps of 16
    int Code = 0;
    void Start(const TViewRect& window, int code);
    void Move(int dxPixels, int dyPixels, double scaleX, double scaleY);
};

// The picture the sensor delivers for a window: as wide as the window is
// high and as high as it is wide, both halved in Fast mode (CamMode 2).
struct TPictureSize {
    int Height = 0;
    int Width = 0;
};
TPictureSize PictureSizeFor(const TViewRect& window, int camMode);

// The worker's picture turned back into the view, w x h (the window's size):
// view pixel (x, y) shows the source's column y and row w - 1 - x, a smaller
// picture stretched to fill. Grey and colour pictures keep their format.
TBitmap TurnIntoView(const TBitmap& src, int w, int h);

// Stripe positions of the second array in view pixels (entries after its
// two-word header, two words each in 1/64 pixel; at most 1024).
struct TLinePoint {
    double x = 0, y = 0;
};
std::vector<TLinePoint> LinePositions(std::span<const uint16_t> second, int count,
                                      int headColOffset, int headRowOffset);

// The band of the section: the brightest row at or above the threshold, and
// the rows above and below where the intensity falls under the reject level.
struct TSectionPeak {
    int Value = 0;  // 0: no row reaches the threshold
    int Level = 0;
    int Upper = 0;  // the row above the band (0 at the top)
    int Lower = 0;  // the row below it (the row count at the bottom)
};
TSectionPeak FindPeak(std::span<const uint8_t> section, int measureLimit, int lowIntensity);
// The intensity of every row of a view picture in one of its columns.
std::vector<uint8_t> SectionOf(const TBitmap& picture, int column);

// The zoom ladder: the next scale up and down.
double ZoomUp(double scale);
double ZoomDown(double scale);
constexpr double kMinScale = 0.125;
constexpr double kMaxScale = 8.0;

// The list position of the camera mode keys, and the keys of a position.
int CameraModePosition(int camMode, int camNR);
void StoreCameraMode(TPageContext& ctx, int position);

// GET_SMP_RATE: the sampling period in 5 us steps; "Sampling Rate 1.23msec".
uint16_t ReadSamplingPeriod(TPageWorker& worker);
std::string SamplingText(const std::string& caption, uint16_t period);

// Automatic exposure: RUN_AE, GET_AE_STATE polled until the sensor is done
// (at most 9999 ms; `between` runs between two polls and may end the polling
// by returning false), then the exposure settings read back into the image:
// the HDR shutter through the edit rule (sent again in step with the
// sensor), the others only into the image; the camera mode keys become
// Hi-res (CamMode 0, CamNR 0) while the list shows the mode read. A value
// that its key cannot hold is not stored: its edit shows it in red.
struct TAeResult {
    bool Finished = false;  // the sensor said it was done
    int ElapsedMs = 0;
    int Position = -1;  // camera mode list position read back, -1 none
    int Gain = -1;      // gain list position read back, -1 none
    // What the sensor reported for the four edits (us, levels).
    int Shutter = 0, HdrShutter = 0, Threshold = 0, Reject = 0;
};
TAeResult RunAutoExposure(TPageContext& ctx, const std::function<bool()>& between);

// The camera mask: 128 x 128 pixels over the 800 x 800 view, a pixel masked
// where its first colour byte (blue) is nonzero. As the sensor takes it:
// 2048 bytes row after row from the top, eight pixels a byte with the first
// pixel in the most significant bit.
constexpr int kMaskPixels = 128;
constexpr int kMaskBytes = kMaskPixels * kMaskPixels / 8;
constexpr uint32_t kMaskAddress = 0xD000;
// `blue` holds the first colour byte of every mask pixel, row after row.
std::vector<uint8_t> MaskBits(std::span<const uint8_t> blue);
// MEM_WRITE of the 1024 words to 0xD000, then MASK_WRITE, each logged; a
// failure of the link is logged "MASK_WRITE ret ..." and not thrown.
void WriteCameraMask(TPageContext& ctx, std::span<const uint8_t> bits);

}  // namespace kd::camera
