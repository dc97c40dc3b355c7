#include "pages/camera_logic.h"

#include <algorithm>
#include <cmath>

#include "common/clock.h"
#include "common/kest_error.h"
#include "common/log.h"
#include "link/comm_error.h"
#include "pages/settings_table.h"

namespace kd::camera {

namespace {

int RoundDown(int v, int step) {
    return v >= 0 ? v / step * step : -((-v + step - 1) / step * step);
}

int Word(const std::vector<uint8_t>& reply) {
    if (reply.size() < 2) throw ECommErrShort("short reply");
    return (reply[0] << 8) | reply[1];
}

// Stores a read-back value when the key takes it, as its edit would.
void StoreInRange(TPageContext& ctx, const char* key, int value) {
    const TSetting* s = FindSettingByKey(key);
    if (!s) return;
    if (s->Kind == TSettingKind::List) {
        if (value < 0 || value >= s->Items) return;
    } else {
        const TSettingRange r = RangeOf(*s);
        if (value < r.Min || value > r.Max) return;
    }
    ctx.SetBank(key, value);
}

}  // namespace

TViewRect WindowOfImage(const TPageContext& ctx) {
    const int left = ctx.GetBank("CamLeft"), top = ctx.GetBank("CamTop");
    const int width = ctx.GetBank("CamWidth"), height = ctx.GetBank("CamHeight");
    return {kSensorPixels - left - width, top, kSensorPixels - left, top + height};
}

TViewRect WindowOfSensor(const CamRect& r) {
    return {kSensorPixels - r.left - r.width, r.top, kSensorPixels - r.left, r.top + r.height};
}

bool OutsidePicture(const TViewRect& r) {
    return r.right < 0 || r.left >= kSensorPixels || r.bottom < 0 || r.top >= kSensorPixels;
}

CamRect SensorWindowFor(const TViewRect& r) {
    int x = kSensorPixels - r.right, y = r.top;
    int w = r.right - r.left, h = r.bottom - r.top;
    if (x < 0) {
        w += x;
        x = 0;
    }
    if (y < 0) {
        h += y;
        y = 0;
    }
    w += x % kGrid + kGrid - 1;
    h += y % kGrid + kGrid - 1;
    x = RoundDown(x, kGrid);
    y = RoundDown(y, kGrid);
    // The sensor takes a window that lies on it and is at least one step
    // large: a window hanging over the far edges is cut there.
    x = std::min(x, kSensorPixels - kGrid);
    y = std::min(y, kSensorPixels - kGrid);
    w = std::clamp(RoundDown(std::min(w, kSensorPixels), kGrid), kGrid, kSensorPixels - x);
    h = std::clamp(RoundDown(std::min(h, kSensorPixels), kGrid), kGrid, kSensorPixels - y);
    return CamRect{x, y, h, w};
}

int GrabCode(const TViewRect& window, int x, int y) {
    TViewRect w{std::max(window.left, 0), std::max(window.top, 0),
                std::min(window.right, kSensorPixels), std::min(window.bottom, kSensorPixels)};
    if (x < w.left - kGrabMargin || x > w.right + kGrabMargin || y < w.top - kGrabMargin ||
        y > w.bottom + kGrabMargin)
        return 0;
    int code = 0;
    if (y < w.top + kGrabMargin)
        code |= 4;
    else if (y > w.bottom - kGrabMargin)
        code |= 8;
    if (x < w.left + kGrabMargin)
        code |= 1;
    else if (x > w.right - kGrabMargin)
        code |= 2;
    return code == 0 ? 15 : code;
}

void TWindowDrag::Start(const TViewRect& window, int code) {
    Window = Live = Snapped = window;
    Code = code;
}

void TWindowDrag::Move(int dxPixels, int dyPixels, double scaleX, double scaleY) {
    const int dx = static_cast<int>(std::trunc(dxPixels / scaleX));
    const int dy = static_cast<int>(std::trunc(dyPixels / scaleY));
    const int sx = static_cast<int>(std::trunc(dxPixels / (scaleX * kGrid))) * kGrid;
    const int sy = static_cast<int>(std::trunc(dyPixels / (scaleY * kGrid))) * kGrid;
    if (Code == 15) {
        Live = {Window.left + dx, Window.top + dy, Window.right + dx, Window.bottom + dy};
        Snapped = {Window.left + sx, Window.top + sy, Window.right + sx, Window.bottom + sy};
        return;
    }
    // An edge follows only while it stays on its side of the opposite one.
    auto edges = [this](TViewRect& r, int ddx, int ddy) {
        if ((Code & 1) && Window.left + ddx < r.right) r.left = Window.left + ddx;
        if ((Code & 2) && Window.right + ddx > r.left) r.right = Window.right + ddx;
        if ((Code & 4) && Window.top + ddy < r.bottom) r.top = Window.top + ddy;
        if ((Code & 8) && Window.bottom + ddy > r.top) r.bottom = Window.bottom + ddy;
    };
    edges(Live, dx, dy);
    edges(Snapped, sx, sy);
}

TPictureSize PictureSizeFor(const TViewRect& window, int camMode) {
    TPictureSize s{window.Width(), window.Height()};
    if (camMode == 2) {
        s.Height /= 2;
        s.Width /= 2;
    }
    return s;
}

TBitmap TurnIntoView(const TBitmap& src, int w, int h) {
    TBitmap out;
    out.bytesPerPixel = src.bytesPerPixel == 3 ? 3 : 1;
    if (w <= 0 || h <= 0 || src.width <= 0 || src.height <= 0 ||
        src.pixels.size() < static_cast<size_t>(src.width) * src.height * src.bytesPerPixel)
        return out;
    out.width = w;
    out.height = h;
    out.pixels.assign(static_cast<size_t>(w) * h * out.bytesPerPixel, 0);
    const int bpp = out.bytesPerPixel;
    std::vector<int> rowOf(static_cast<size_t>(w));
    for (int x = 0; x < w; ++x)
        rowOf[static_cast<size_t>(x)] =
            static_cast<int>(static_cast<int64_t>(w - 1 - x) * src.height / w);
    for (int y = 0; y < h; ++y) {
        const int col = static_cast<int>(static_cast<int64_t>(y) * src.width / h);
        uint8_t* dst = out.pixels.data() + static_cast<size_t>(y) * w * bpp;
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = src.pixels.data() +
                               (static_cast<size_t>(rowOf[static_cast<size_t>(x)]) * src.width +
                                static_cast<size_t>(col)) *
                                   src.bytesPerPixel;
            std::copy(p, p + bpp, dst + static_cast<size_t>(x) * bpp);
        }
    }
    return out;
}

std::vector<TLinePoint> LinePositions(std::span<const uint16_t> second, int count,
                                      int headColOffset, int headRowOffset) {
    std::vector<TLinePoint> out;
    if (second.size() < 2 || count <= 0) return out;
    const size_t n =
        std::min<size_t>({static_cast<size_t>(count), size_t{1024}, (second.size() - 2) / 2});
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        const double a = second[2 + 2 * i] / 64.0, b = second[3 + 2 * i] / 64.0;
        out.push_back({headColOffset * 8 - a + kSensorPixels, b - headRowOffset * 8});
    }
    return out;
}

TSectionPeak FindPeak(std::span<const uint8_t> section, int measureLimit, int lowIntensity) {
    TSectionPeak p;
    const int n = static_cast<int>(section.size());
    int row = -1;
    for (int i = 0; i < n; ++i)
        if (section[static_cast<size_t>(i)] >= measureLimit &&
            (row < 0 || section[static_cast<size_t>(i)] > section[static_cast<size_t>(row)]))
            row = i;
    if (row < 0) return p;
    p.Value = section[static_cast<size_t>(row)];
    p.Level = lowIntensity * p.Value / 100;
    int up = row, down = row;
    while (up > 0 && section[static_cast<size_t>(up - 1)] >= p.Level) --up;
    while (down < n - 1 && section[static_cast<size_t>(down + 1)] >= p.Level) ++down;
    p.Upper = up > 0 ? up - 1 : 0;
    p.Lower = down < n - 1 ? down + 1 : n;
    return p;
}

std::vector<uint8_t> SectionOf(const TBitmap& picture, int column) {
    if (picture.bytesPerPixel != 1 && picture.bytesPerPixel != 3)
        throw EKestError("CopySectionX; unsupported PixelFormat");
    std::vector<uint8_t> out;
    if (column < 0 || column >= picture.width) return out;
    const int rows = std::min(picture.height, kSectionBytes);
    out.resize(static_cast<size_t>(rows));
    for (int y = 0; y < rows; ++y)
        out[static_cast<size_t>(y)] =
            picture.pixels[(static_cast<size_t>(y) * picture.width + static_cast<size_t>(column)) *
                           picture.bytesPerPixel];
    return out;
}

namespace {
constexpr std::array<float, 22> kZoomLadder = {
    0.25f, 0.3f,  0.3325f, 0.3525f, 0.375f, 0.42f, 0.4725f, 0.5f, 0.6f,  0.665f, 0.705f,
    0.75f, 0.84f, 0.945f,  1.0f,    1.2f,   1.33f, 1.41f,   1.5f, 1.68f, 1.89f,  2.0f};
}

double ZoomUp(double scale) {
    for (float v : kZoomLadder)
        if (v > scale) return v;
    return kZoomLadder.back();
}

double ZoomDown(double scale) {
    for (auto it = kZoomLadder.rbegin(); it != kZoomLadder.rend(); ++it)
        if (*it < scale) return *it;
    return kZoomLadder.front();
}

int CameraModePosition(int camMode, int camNR) {
    if (camNR) return 3;
    return camMode == 1 ? 2 : camMode == 2 ? 1 : 0;
}

void StoreCameraMode(TPageContext& ctx, int position) {
    static constexpr int kMode[] = {0, 2, 1, 0};
    if (position < 0 || position > 3) return;
    ctx.SetBank("CamMode", kMode[position]);
    ctx.SetBank("CamNR", position == 3 ? 1 : 0);
}

uint16_t ReadSamplingPeriod(TPageWorker& worker) {
    return static_cast<uint16_t>(Word(worker.Command(cmd::GET_SMP_RATE)));
}

std::string SamplingText(const std::string& caption, uint16_t period) {
    return Format("%s %.2fmsec", caption.c_str(), period * 5 * 0.001);
}

std::vector<uint8_t> MaskBits(std::span<const uint8_t> blue) {
    std::vector<uint8_t> bits(kMaskBytes, 0);
    const size_t n = std::min(blue.size(), static_cast<size_t>(kMaskPixels * kMaskPixels));
    for (size_t i = 0; i < n; ++i)
        if (blue[i] != 0) bits[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    return bits;
}

void WriteCameraMask(TPageContext& ctx, std::span<const uint8_t> bits) {
    if (bits.size() < static_cast<size_t>(kMaskBytes)) throw EKestError("camera mask: short");
    std::vector<uint16_t> words(kMaskBytes / 2);
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = static_cast<uint16_t>(bits[2 * i] << 8 | bits[2 * i + 1]);
    std::string head;
    for (size_t i = 0; i < 10; ++i) head += Format("%02X", bits[i]);
    try {
        ctx.Worker.MemWrite(words.data(), kMaskAddress, kModeWrite, static_cast<int>(words.size()));
        WriteLog(kLogAction, "MEM_WRITE(0x%X, %dwords) <- %s...", kMaskAddress,
                 static_cast<int>(words.size()), head.c_str());
        ctx.Worker.Command(cmd::MASK_WRITE);
        WriteLog(kLogAction, "MASK_WRIT()");
    } catch (const ECommError& e) {
        WriteLog(kLogError, "MASK_WRITE ret %s", e.what());
    }
}

TAeResult RunAutoExposure(TPageContext& ctx, const std::function<bool()>& between) {
    TAeResult res;
    WriteLog(kLogAction, "RUN_AE");
    ctx.Worker.Command(cmd::RUN_AE);
    const uint32_t start = TickMs();
    while (TickMs() - start <= 9999) {
        try {
            const int state = Word(ctx.Worker.Command(cmd::GET_AE_STATE));
            SleepMs(10);
            if ((state & 0x08) == 0) {
                res.Finished = true;
                res.ElapsedMs = static_cast<int>(TickMs() - start);
                WriteLog(kLogAction, "AE; %dmsec", res.ElapsedMs);
                break;
            }
        } catch (const ECommError& e) {
            WriteLog(kLogError, "AE: %s", e.what());
            SleepMs(10);
        }
        if (between && !between()) break;
    }
    SleepMs(100);
    // The settings the sensor chose, into the image.
    res.Shutter = Word(ctx.Worker.Command(cmd::GET_SHUTT0)) * 5;
    StoreInRange(ctx, "Shutter", res.Shutter);
    res.HdrShutter = Word(ctx.Worker.Command(cmd::GET_SHUTT1)) * 5;
    if (const TSetting* s = FindSettingByKey("HDRShutter"))
        EditSetting(*s, ctx, std::to_string(res.HdrShutter));
    const int position = Word(ctx.Worker.Command(cmd::GET_CAM_FUNC)) & 0xFF;
    res.Position = position <= 3 ? position : -1;
    const int gain = Word(ctx.Worker.Command(cmd::GET_SNS)) & 0xFF;
    res.Gain = gain < 11 ? gain : -1;
    StoreInRange(ctx, "Gain", gain);
    // The exposure was worked out for the Hi-res mode.
    StoreCameraMode(ctx, 0);
    res.Threshold = Word(ctx.Worker.Command(cmd::GET_CUT_LVL));
    StoreInRange(ctx, "MeasureLimit", res.Threshold);
    res.Reject = Word(ctx.Worker.Command(cmd::GET_THD_LVL));
    StoreInRange(ctx, "LowIntensity", res.Reject);
    return res;
}

}  // namespace kd::camera
