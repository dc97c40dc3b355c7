#include "pages/ui/tp_camera.h"

#include <QAction>
#include <QActionGroup>
#include <QBuffer>
#include <QCheckBox>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <cmath>

#include "common/atomic_file.h"
#include "common/clock.h"
#include "common/kest_error.h"
#include "common/log.h"
#include "link/commands.h"
#include "pages/ui/page_widgets.h"

namespace kd {

using namespace camera;

namespace {

// Windows colour values (0x00BBGGRR) as Qt colours.
QColor Bgr(uint32_t c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

// A paint box that hands its painting and mouse to the page.
class TPaintBox : public QWidget {
  public:
    TPaintBox(QWidget* parent, std::function<void(QPainter&, const QRect&)> paint,
              std::function<void(int, QPoint, bool)> mouse = {})
        : QWidget(parent), paint_(std::move(paint)), mouse_(std::move(mouse)) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(static_cast<bool>(mouse_));
    }

  protected:
    void paintEvent(QPaintEvent* e) override {
        QPainter p(this);
        paint_(p, e->rect());
    }
    void mousePressEvent(QMouseEvent* e) override { Mouse(0, e); }
    void mouseMoveEvent(QMouseEvent* e) override { Mouse(1, e); }
    void mouseReleaseEvent(QMouseEvent* e) override { Mouse(2, e); }

  private:
    void Mouse(int type, QMouseEvent* e) {
        if (!mouse_) return;
        if (type != 1 && e->button() != Qt::LeftButton) return;
        mouse_(type, e->position().toPoint(), (e->buttons() & Qt::LeftButton) != 0);
    }
    std::function<void(QPainter&, const QRect&)> paint_;
    std::function<void(int, QPoint, bool)> mouse_;
};

QLabel* Caption(QWidget* parent, const char* name, const QString& text, QRect g) {
    QLabel* l = MakeLabel(parent, name, text, g);
    l->setWordWrap(true);
    return l;
}

QImage ToImage(const TBitmap& b) {
    if (b.width <= 0 || b.height <= 0) return {};
    if (b.bytesPerPixel == 3) {
        // Blue, green, red in memory.
        QImage img(b.pixels.data(), b.width, b.height, b.width * 3, QImage::Format_BGR888);
        return img.copy();
    }
    QImage img(b.pixels.data(), b.width, b.height, b.width, QImage::Format_Grayscale8);
    return img.copy();
}

QCursor CursorOf(int code) {
    switch (code) {
        case 1:
        case 2:
            return Qt::SizeHorCursor;
        case 4:
        case 8:
            return Qt::SizeVerCursor;
        case 5:
        case 10:
            return Qt::SizeFDiagCursor;
        case 6:
        case 9:
            return Qt::SizeBDiagCursor;
        case 15:
            return Qt::SizeAllCursor;
        default:
            return Qt::ArrowCursor;
    }
}

}  // namespace

TPCamera::TPCamera(TPageContext& ctx, QWidget* parent)
    : QWidget(parent), ctx_(ctx), controls_(ctx), alive_(std::make_shared<bool>(true)) {
    setObjectName("PCamera");
    resize(680, 390);

    // The picture in its scroll box, the section at its right.
    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName("ScrollBox1");
    ScrollBox1->setStyleSheet("QScrollArea { background: #008080; }");
    ScrollBox1->setWidgetResizable(false);
    CamImage = new TPaintBox(
        nullptr, [this](QPainter& p, const QRect& r) { PaintPicture(p, r); },
        [this](int type, QPoint pos, bool held) {
            Guarded([&] { PictureMouse(type, pos, held); });
        });
    CamImage->setObjectName("CamImage");
    CamImage->resize(kSensorPixels, kSensorPixels);
    ScrollBox1->setWidget(CamImage);
    CamSection = new TPaintBox(this, [this](QPainter& p, const QRect&) { PaintSection(p); });
    CamSection->setObjectName("CamSection");
    connect(ScrollBox1->verticalScrollBar(), &QScrollBar::valueChanged, CamSection,
            [this] { CamSection->update(); });

    TTimePanel = new QLabel("Sampling Rate ----msec", ScrollBox1->viewport());
    TTimePanel->setObjectName("TTimePanel");
    TTimePanel->setStyleSheet("QLabel { background: #000080; color: white; padding: 2px; }");

    // Zoom and progress below the picture.
    auto* zoom = new QFrame(this);
    zoom->setObjectName("Panel1");
    zoom->setGeometry(6, 360, 120, 26);
    struct TZoom {
        const char* Name;
        const char* Text;
        bool Up, Vertical;
    };
    const TZoom zooms[] = {{"ZoomUpVert", "\u2195+", true, true},
                           {"ZoomDownVert", "\u2195-", false, true},
                           {"ZoomUpHoriz", "\u2194+", true, false},
                           {"ZoomDownHoriz", "\u2194-", false, false}};
    int zx = 0;
    for (const TZoom& z : zooms) {
        auto* b = new QToolButton(zoom);
        b->setObjectName(z.Name);
        b->setText(QString::fromUtf8(z.Text));
        b->setGeometry(zx, 0, 28, 26);
        zx += 30;
        const bool up = z.Up, vertical = z.Vertical;
        connect(b, &QToolButton::clicked, this,
                [this, up, vertical] { Guarded([&] { Zoom(up, vertical); }); });
    }
    Shape2 = new QFrame(this);
    Shape2->setObjectName("Shape2");
    Shape2->setStyleSheet("background: black;");
    ProgressShape = new QFrame(Shape2);
    ProgressShape->setObjectName("ProgressShape");
    ProgressShape->setStyleSheet("background: #00ff00;");

    // The buttons and the settings at the right.
    const int cx = 478;
    QAction* refresh = MakeAction("CamRefresh", "Refresh", true);
    refresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    CamRefreshButton = ActionButton(this, "CamRefreshButton", refresh, {cx, 6, 40, 32});
    CamRefreshLabel = Caption(this, "CamRefreshLabel", "Refresh", {cx + 46, 6, 150, 32});
    AbortLabel = Caption(this, "AbortLabel", "Stop", {cx + 46, 6, 150, 32});
    AbortLabel->hide();
    connect(refresh, &QAction::triggered, this,
            [this] { Guarded([this] { CamRefreshExecute(); }); });
    HighQualityCheck = new QCheckBox("High Quality", this);
    HighQualityCheck->setObjectName("HighQualityCheck");
    HighQualityCheck->setGeometry(cx, 42, 196, 22);
    WithProfileCheck = new QCheckBox("dbg:with Profile", this);
    WithProfileCheck->setObjectName("WithProfileCheck");
    WithProfileCheck->setChecked(true);
    WithProfileCheck->hide();
    HdrCheck = new QCheckBox("dbg:HDR", this);
    HdrCheck->setObjectName("HdrCheck");
    HdrCheck->hide();

    QAction* ae = MakeAction("RunAE", "Auto Exposure", false);
    ae->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    CamAutoButton = ActionButton(this, "CamAutoButton", ae, {cx, 68, 40, 32});
    Caption(this, "AutoLabel", "Auto Exposure", {cx + 46, 68, 150, 32});
    connect(ae, &QAction::triggered, this, [this] { Guarded([this] { RunAEExecute(); }); });
    QAction* rect = MakeAction("CamRect", "Camera Window", true);
    rect->setIcon(style()->standardIcon(QStyle::SP_TitleBarMaxButton));
    CamRectButton = ActionButton(this, "CamRectButton", rect, {cx, 104, 40, 32});
    Caption(this, "CameraAreaLabel", "Camera Window", {cx + 46, 104, 150, 32});
    connect(rect, &QAction::toggled, this,
            [this](bool down) { Guarded([this, down] { CamRectToggled(down); }); });
    auto* group99 = new QActionGroup(this);
    group99->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    group99->addAction(rect);

    // Caption 96 px (the longest, "HDR Shutter" in Japanese, on one line),
    // edits of 56 px and their unit in the 202 px of the column.
    TRowLayout rows(this, 146, 34, 96, 96);
    // TRowLayout places from its own left; shift the settings to the column.
    auto place = [cx](QWidget* w) { w->move(w->x() + cx - 12, w->y()); };
    const int ex = cx + 104, ew = 56, ux = cx + 162;
    auto edit = [&](const char* name, const char* hint) {
        QLineEdit* e = rows.Edit(name, hint);
        e->setGeometry(ex, rows.Y(), ew, e->height());
        return e;
    };
    place(rows.Label("CameraModeLabel", "Camera Mode"));
    CameraModeCombo = rows.Combo("CameraModeCombo", "Hi-res,Hi-spd,HDR,NR");
    place(CameraModeCombo);
    rows.Next();
    place(rows.Label("GainLabel", "Gain"));
    GainCombo = rows.Combo("GainCombo", "1.00,1.14,1.33,1.60,2.00,2.29,2.67,3.20,4.00,5.33,8.00");
    place(GainCombo);
    rows.Next();
    place(rows.Label("ShutterLabel", "Shutter"));
    ShutterEdit = edit("ShutterEdit", "5 ... 10235 [usec], step5");
    Caption(this, "ShutterLabel2", "usec", {ux, rows.Y(), 38, 26});
    rows.Next();
    HDRPanel = new QFrame(this);
    HDRPanel->setObjectName("HDRPanel");
    HDRPanel->setGeometry(cx, rows.Y(), 200, 30);
    QLabel* hdrLabel = Caption(HDRPanel, "HDRShutterLabel", "HDR Shutter", {0, 0, 100, 26});
    hdrLabel->setWordWrap(false);
    HdrShutterEdit = new QLineEdit(HDRPanel);
    HdrShutterEdit->setObjectName("HdrShutterEdit");
    HdrShutterEdit->setToolTip("5 ... 10235 [usec], step5");
    HdrShutterEdit->setGeometry(ex - cx, 0, ew, 26);
    Caption(HDRPanel, "HDRShutterLabel2", "usec", {ux - cx, 0, 38, 26});
    rows.Next();
    place(rows.Label("ThresholdLabel", "Threshold"));
    ThresholdEdit = edit("ThresholdEdit", "0 ... 255");
    ThresholdShape = new QFrame(this);
    ThresholdShape->setObjectName("ThresholdShape");
    ThresholdShape->setGeometry(ux + 2, rows.Y() + 6, 14, 14);
    rows.Next();
    place(rows.Label("RejectLevelLabel", "Reject Level"));
    RejectLevelEdit = edit("RejectLevelEdit", "0 ... 127 [%]");
    RejectLevelShape = new QFrame(this);
    RejectLevelShape->setObjectName("RejectLevelShape");
    RejectLevelShape->setGeometry(ux + 2, rows.Y() + 6, 14, 14);
    Caption(this, "RejectLevelLabel2", "%", {ux + 20, rows.Y(), 18, 26});

    // Save Image under the settings.
    QAction* save = MakeAction("SaveImage", "Save Image", false);
    save->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    SaveImageButton = ActionButton(this, "SaveImageButton", save, {cx, 352, 40, 32});
    Caption(this, "SaveImageLabel", "Save Image", {cx + 46, 352, 150, 32});
    connect(save, &QAction::triggered, this, [this] { Guarded([this] { SaveImageExecute(); }); });

    // The service tools, shown only from the hidden service menu: the mask
    // painter beside the zoom, the colour pair beside High Quality.
    MaskPanel = new QFrame(this);
    MaskPanel->setObjectName("MaskPanel");
    MaskPanel->setGeometry(132, 358, 214, 28);
    CameraMaskLabel = new QLabel("Mask", MaskPanel);
    CameraMaskLabel->setObjectName("CameraMaskLabel");
    CameraMaskLabel->setGeometry(0, 0, 50, 26);
    QAction* mask = MakeAction("CamMask", "Mask", true);
    mask->setIcon(style()->standardIcon(QStyle::SP_DialogResetButton));
    CamMaskButton = ActionButton(MaskPanel, "CamMaskButton", mask, {52, 0, 28, 26});
    connect(mask, &QAction::toggled, this,
            [this](bool down) { Guarded([this, down] { MaskToggled(down); }); });
    group99->addAction(mask);
    auto brush = [this](const char* name, const char* css, bool erase, int x) {
        auto* b = new QToolButton(MaskPanel);
        b->setObjectName(name);
        b->setGeometry(x, 0, 26, 26);
        b->setStyleSheet(QString("QToolButton { background: %1; border: 2px solid gray; }"
                                 "QToolButton:checked { border: 2px solid white; }")
                             .arg(css));
        b->setCheckable(true);
        b->setAutoExclusive(true);
        connect(b, &QToolButton::clicked, this, [this, erase] { erase_ = erase; });
        return b;
    };
    Image1 = brush("Image1", "#0000ff", false, 84);
    Image1->setToolTip("Paint");
    Image1->setChecked(true);
    Image2 = brush("Image2", "black", true, 112);
    Image2->setToolTip("Erase");
    MaskCombo = new QComboBox(MaskPanel);
    MaskCombo->setObjectName("MaskCombo");
    MaskCombo->addItems({"OFF", "ON"});
    MaskCombo->setGeometry(142, 0, 70, 26);
    connect(MaskCombo, &QComboBox::activated, this,
            [this](int p) { Guarded([this, p] { MaskComboClick(p); }); });
    MaskPanel->hide();
    HdrCheck->setGeometry(cx + 110, 42, 88, 22);
    Mask = QImage(kMaskPixels, kMaskPixels, QImage::Format_RGB32);
    Mask.fill(Qt::black);

    // The table's rows, and what the page adds after them.
    controls_.Bind(CameraModeCombo, [this](const TSettingOutcome& o) {
        if (!o.Valid()) return;
        UpdateHdrPanel(o.Value);
        if (o.Sent) {
            controls_.Show(HdrShutterEdit);
            WriteSampling(true);
        }
    });
    controls_.Bind(GainCombo);
    auto sampling = [this](const TSettingOutcome& o) {
        if (o.Sent) WriteSampling(true);
    };
    controls_.Bind(ShutterEdit, sampling);
    controls_.Bind(HdrShutterEdit, sampling);
    auto section = [this](const TSettingOutcome& o) {
        if (o.Result == TSettingOutcome::Stored) {
            RecomputeSection();
            CamSection->update();
        }
    };
    controls_.Bind(ThresholdEdit, section);
    controls_.Bind(RejectLevelEdit, section);

    timer_ = new QTimer(this);
    timer_->setObjectName("Timer1");
    timer_->setInterval(10);
    connect(timer_, &QTimer::timeout, this, [this] { Guarded([this] { TimerTick(); }); });

    // Saved scales and the quality choice.
    if (ctx_.Settings.CameraScaleX > 0) SetScaleX(ctx_.Settings.CameraScaleX);
    if (ctx_.Settings.CameraScaleY > 0) SetScaleY(ctx_.Settings.CameraScaleY);
    HighQualityCheck->setChecked(ctx_.Settings.CameraHighQuality);
    ViewPicture.width = ViewPicture.height = kSensorPixels;
    ViewPicture.pixels.assign(static_cast<size_t>(kSensorPixels) * kSensorPixels, 0);
    viewImage_ = ToImage(ViewPicture);
    Layout();
    UpdateActions();
}

TPCamera::~TPCamera() {
    *alive_ = false;
    if (fetching_) ctx_.Worker.RequestAbort();
    ctx_.State.CameraLive = false;
}

QAction* TPCamera::MakeAction(const char* name, const QString& caption, bool checkable) {
    auto* a = new QAction(caption, this);
    a->setObjectName(name);
    a->setCheckable(checkable);
    actions_.push_back(a);
    return a;
}

QAction* TPCamera::Action(const char* name) const {
    for (QAction* a : actions_)
        if (a->objectName() == name) return a;
    return nullptr;
}

void TPCamera::Guarded(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        ctx_.Services.HandleException(e);
    }
}

void TPCamera::ShowParams() {
    Window = WindowOfImage(ctx_);
    Drag.Start(Window, 0);
    controls_.ShowAll();
    UpdateHdrPanel(CameraModeCombo->currentIndex());
    {
        QSignalBlocker b(MaskCombo);
        const int m = ctx_.GetBank("CamMask");
        MaskCombo->setCurrentIndex(m >= 0 && m < MaskCombo->count() ? m : -1);
    }
    ThresholdShape->setStyleSheet(
        QString("background: %1;").arg(Bgr(ctx_.Colors.thd_lvl_color).name()));
    RejectLevelShape->setStyleSheet(
        QString("background: %1;").arg(Bgr(ctx_.Colors.cut_lvl_color).name()));
    RecomputeSection();
    CamSection->update();
    CamImage->update();
    if (ctx_.Sync()) WriteSampling(false);
}

void TPCamera::UpdateHdrPanel(int position) {
    HDRPanel->setVisible(position == 2);
}

void TPCamera::Clear() {
    ViewPicture = TBitmap{};
    viewImage_ = QImage();
    Line.clear();
    if (!ctx_.Worker.TaskRunning()) ctx_.Worker.ClearSecondCount();
    Section.clear();
    Peak = {};
    CamImage->update();
    CamSection->update();
}

void TPCamera::UpdateActions() {
    const bool linked = ctx_.State.LinkState != 0;
    Action("CamRefresh")->setEnabled(linked || fetching_);
    Action("RunAE")->setEnabled(linked && !aeRunning_);
}

void TPCamera::Layout() {
    CamImage->resize(static_cast<int>(scaleX_ * kSensorPixels),
                     static_cast<int>(scaleY_ * kSensorPixels));
    const int sectionWidth = 100;
    const int right = 478 - 8;
    ScrollBox1->setGeometry(6, 6, right - sectionWidth - 8, 348);
    const QRect vp = ScrollBox1->viewport()->geometry();
    CamSection->setGeometry(ScrollBox1->x() + ScrollBox1->width() + 2, 6 + vp.top(), sectionWidth,
                            vp.height());
    const int barLeft = service_ ? MaskPanel->x() + MaskPanel->width() + 6 : 132;
    Shape2->setGeometry(barLeft, 368, right - barLeft, 10);
    TTimePanel->adjustSize();
    TTimePanel->move(ScrollBox1->viewport()->width() - TTimePanel->width() - 4,
                     ScrollBox1->viewport()->height() - TTimePanel->height() - 4);
    TTimePanel->raise();
    Drag.Start(Window, 0);
    SetProgress(fetching_ ? ctx_.Worker.Progress() : 100);
    CamImage->update();
    CamSection->update();
}

void TPCamera::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Layout();
}

void TPCamera::SetScaleX(double s) {
    if (s < kMinScale || s > kMaxScale || s == scaleX_) return;
    scaleX_ = s;
    Layout();
}

void TPCamera::SetScaleY(double s) {
    if (s < kMinScale || s > kMaxScale || s == scaleY_) return;
    scaleY_ = s;
    Layout();
}

void TPCamera::Zoom(bool up, bool vertical) {
    if (vertical)
        SetScaleY(up ? ZoomUp(scaleY_) : ZoomDown(scaleY_));
    else
        SetScaleX(up ? ZoomUp(scaleX_) : ZoomDown(scaleX_));
    WriteLog(kLogPlain, "set Scale=%f, %f", scaleX_, scaleY_);
}

void TPCamera::SetProgress(int percent) {
    ProgressShape->setGeometry(0, 0, Shape2->width() * std::clamp(percent, 0, 100) / 100,
                               Shape2->height());
}

void TPCamera::WriteSampling(bool query) {
    if (query)
        period_ = ReadSamplingPeriod(ctx_.Worker);
    else if (period_ == 0)
        period_ = ctx_.Services.SamplingPeriod();
    if (period_ == 0) return;
    TTimePanel->setText(QString::fromStdString(
        SamplingText(ctx_.Translate("CamIntervalLabel.Caption", "Sampling Rate"), period_)));
    TTimePanel->adjustSize();
    Layout();
}

// ---------------------------------------------------------------- fetching

void TPCamera::ShowFetching(bool on) {
    fetching_ = on;
    ctx_.State.CameraLive = on;
    AbortLabel->setVisible(on);
    CamRefreshLabel->setVisible(!on);
    Action("CamRefresh")->setChecked(on);
    if (on)
        ctx_.Services.BeginWait();
    else
        ctx_.Services.EndWait();
    UpdateActions();
}

void TPCamera::CamRefreshExecute() {
    if (fetching_ || ctx_.Worker.TaskRunning()) {
        ctx_.State.CameraLive = false;
        ctx_.Worker.RequestAbort();
        WriteLog(kLogRed, "ABORT");
        if (fetching_) ShowFetching(false);
        Action("CamRefresh")->setChecked(false);
        return;
    }
    ShowFetching(true);
    try {
        ImageWindow = WindowOfImage(ctx_);
        fetchStart_ = TickMs();
        SetProgress(0);
        ImageWindow = WindowOfSensor(ctx_.Worker.GetCamRect());
        const TPictureSize size = PictureSizeFor(ImageWindow, ctx_.GetBank("CamMode"));
        if (size.Height <= 0 || size.Width <= 0 || size.Height > kMaxImageHeight ||
            size.Width > kMaxImageWidth)
            throw EKestError(Format("camera window %dx%d", size.Width, size.Height));
        std::weak_ptr<bool> alive = alive_;
        auto guard = [alive, this](void (TPCamera::*f)()) {
            return [alive, this, f] {
                if (auto a = alive.lock(); a && *a) Guarded([this, f] { (this->*f)(); });
            };
        };
        TTaskCallbacks c;
        c.OnDone = guard(&TPCamera::PictureDone);
        c.OnError = guard(&TPCamera::FetchEnded);
        auto progress = [alive, this] {
            if (auto a = alive.lock(); a && *a) SetProgress(ctx_.Worker.Progress());
        };
        c.OnProgress = progress;
        c.OnBandDone = progress;
        if (HighQualityCheck->isChecked()) {
            if (HdrCheck->isChecked() && CameraModeCombo->currentIndex() == 2)
                ctx_.Worker.RequestImagePair(size.Height, size.Width, c);
            else
                ctx_.Worker.RequestImage(size.Height, size.Width, c);
        } else {
            ctx_.Worker.RequestLiveView(size.Height, size.Width, c);
        }
        if (ctx_.Sync()) WriteSampling(true);
    } catch (...) {
        // A fetch that could not start leaves the page idle.
        if (!ctx_.Worker.TaskRunning()) ShowFetching(false);
        throw;
    }
}

void TPCamera::FetchEnded() {
    ctx_.Worker.RequestAbort();
    if (fetching_) ShowFetching(false);
}

void TPCamera::PictureDone() {
    SetViewPicture(TurnIntoView(ctx_.Worker.Image(), ImageWindow.Width(), ImageWindow.Height()));
    Line = LinePositions(ctx_.Worker.SecondWords(), ctx_.Worker.SecondCount(),
                         ctx_.Image.GetHeader(pk::HeadColOffset),
                         ctx_.Image.GetHeader(pk::HeadRowOffset));
    WriteLog(kLogPlain, "CAM IMAGE; %dmsec", static_cast<int>(TickMs() - fetchStart_));
    // One picture per press, also from the live view.
    ctx_.Worker.RequestAbort();
    if (SectionColumn < ImageWindow.left || SectionColumn >= ImageWindow.right)
        SectionColumn = (ImageWindow.left + ImageWindow.right) / 2;
    RecomputeSection();
    if (Peak.Value != 0) {
        // The stripe where the section crosses it comes into view.
        ScrollBox1->ensureVisible(
            static_cast<int>(SectionColumn * scaleX_),
            static_cast<int>((ImageWindow.top + (Peak.Upper + Peak.Lower) / 2) * scaleY_),
            ScrollBox1->viewport()->width() / 2, ScrollBox1->viewport()->height() / 2);
    }
    if (fetching_) ShowFetching(false);
    SetProgress(100);
    CamImage->update();
    CamSection->update();
}

void TPCamera::SetViewPicture(TBitmap picture) {
    ViewPicture = std::move(picture);
    viewImage_ = ToImage(ViewPicture);
}

void TPCamera::RecomputeSection() {
    if (SectionColumn < ImageWindow.left || SectionColumn >= ImageWindow.right ||
        ViewPicture.width == 0)
        return;
    Section = SectionOf(ViewPicture, SectionColumn - ImageWindow.left);
    Peak = FindPeak(Section, ctx_.GetBank("MeasureLimit"), ctx_.GetBank("LowIntensity"));
}

// ---------------------------------------------------------------- automatic exposure

void TPCamera::RunAEExecute() {
    if (aeRunning_) return;
    aeRunning_ = true;
    aeStop_ = false;
    UpdateActions();
    ctx_.Services.BeginWait();
    struct TEnd {
        TPCamera* P;
        ~TEnd() {
            P->aeRunning_ = false;
            P->ctx_.Services.EndWait();
            P->UpdateActions();
        }
    } end{this};
    const TAeResult r = RunAutoExposure(ctx_, [this] {
        ctx_.Services.ProcessEvents();
        return !aeStop_ && ctx_.Worker.IsOpen();
    });
    controls_.ShowAll();
    {
        // The mode the sensor reports, while the image holds Hi-res.
        QSignalBlocker b(CameraModeCombo);
        CameraModeCombo->setCurrentIndex(r.Position);
    }
    HDRPanel->hide();
    // A value the image did not take shows in its edit, red.
    const std::pair<QLineEdit*, int> read[] = {{ShutterEdit, r.Shutter},
                                               {HdrShutterEdit, r.HdrShutter},
                                               {ThresholdEdit, r.Threshold},
                                               {RejectLevelEdit, r.Reject}};
    for (const auto& [edit, value] : read)
        if (edit->text() != QString::number(value)) edit->setText(QString::number(value));
    RecomputeSection();
    CamSection->update();
    if (ctx_.Sync()) WriteSampling(true);
}

// ---------------------------------------------------------------- window editing

void TPCamera::CamRectToggled(bool down) {
    WriteLog(kLogPlain, "img win(%d, %d, %d, %d)", Window.left, Window.top, Window.right,
             Window.bottom);
    if (!down) Drag.Code = 0;
    Drag.Start(Window, 0);
    CamImage->update();
}

void TPCamera::ReleaseCamRectButton() {
    Action("CamRect")->setChecked(false);
    pressed_ = false;
    if (fetching_) FetchEnded();
}

void TPCamera::PictureMouse(int type, QPoint pos, bool leftHeld) {
    if (Action("CamMask")->isChecked()) {
        if (type == 0 || (type == 1 && leftHeld)) PaintMask(type, pos);
        return;
    }
    const bool editing = Action("CamRect")->isChecked();
    const int vx = static_cast<int>(std::trunc(pos.x() / scaleX_));
    const int vy = static_cast<int>(std::trunc(pos.y() / scaleY_));
    if (!editing) {
        // The section column follows the pointer while the button is held.
        if (type == 1 && !leftHeld) return;
        if (type == 0) CamImage->setCursor(Qt::SizeHorCursor);
        if (type == 2) CamImage->setCursor(Qt::ArrowCursor);
        SectionColumn = vx;
        RecomputeSection();
        CamImage->update();
        CamSection->update();
        return;
    }
    switch (type) {
        case 0:
            pressed_ = true;
            press_ = pos;
            Drag.Start(Window, GrabCode(Window, vx, vy));
            WriteLog(kLogPlain, "MouseDown(%d,%d) side%X)", pos.x(), pos.y(), Drag.Code);
            WriteLog(kLogPlain, "cam rect(%d, %d, %d, %d)", Window.left, Window.top, Window.right,
                     Window.bottom);
            break;
        case 1:
            if (!pressed_ || !leftHeld) {
                hoverCode_ = GrabCode(Window, vx, vy);
                CamImage->setCursor(CursorOf(hoverCode_));
                return;
            }
            if (Drag.Code == 0) return;
            Drag.Move(pos.x() - press_.x(), pos.y() - press_.y(), scaleX_, scaleY_);
            CamImage->update();
            break;
        case 2: {
            if (!pressed_) return;
            pressed_ = false;
            const int code = Drag.Code;
            Drag.Code = 0;
            if (code == 0) return;
            if (OutsidePicture(Drag.Snapped)) {
                Drag.Start(Window, 0);
                CamImage->update();
                return;
            }
            Window = Drag.Snapped;
            WriteLog(kLogPlain, "cam rect(%d, %d, %d, %d)", Window.left, Window.top, Window.right,
                     Window.bottom);
            const CamRect r = SensorWindowFor(Window);
            if (ctx_.Sync()) {
                ctx_.Worker.SetCamRect(r);
                WriteSampling(true);
            }
            ctx_.SetBank("CamLeft", r.left);
            ctx_.SetBank("CamTop", r.top);
            ctx_.SetBank("CamWidth", r.width);
            ctx_.SetBank("CamHeight", r.height);
            CamImage->update();
            break;
        }
        default:
            break;
    }
}

// ---------------------------------------------------------------- save image, mask

void TPCamera::SaveImageExecute() {
    if (ViewPicture.width <= 0 || ViewPicture.height <= 0) return;
    const QString defaultName = "KD_camera_image.bmp";
    const QString path =
        SaveFileName ? SaveFileName(defaultName)
                     : QFileDialog::getSaveFileName(this, Action("SaveImage")->text(), defaultName,
                                                    "Bitmap (*.bmp);;PNG (*.png)");
    if (path.isEmpty()) return;
    SaveImageTo(path);
}

void TPCamera::SaveImageTo(const QString& path) {
    const char* format = path.endsWith(".png", Qt::CaseInsensitive) ? "PNG" : "BMP";
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!ToImage(ViewPicture).save(&buffer, format))
        throw EKestError("camera image: cannot encode " + std::string(format));
    WriteFileAtomic(path.toStdString(),
                    std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    WriteLog(kLogAction, "save image '%s'", path.toStdString().c_str());
}

void TPCamera::ShowServiceTools(bool on) {
    service_ = on;
    MaskPanel->setVisible(on);
    HdrCheck->setVisible(on);
    if (!on) Action("CamMask")->setChecked(false);
    Layout();
}

void TPCamera::PaintMask(int type, QPoint pos) {
    const QPoint m(static_cast<int>(std::trunc(pos.x() / scaleX_ * 0.125)),
                   static_cast<int>(std::trunc(pos.y() / scaleY_ * 0.125)));
    QPainter p(&Mask);
    const QColor c = erase_ ? Qt::black : QColor(0, 0, 255);  // blue: masked
    if (type == 0) {
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawEllipse(m, 5, 5);
    } else {
        p.setPen(QPen(c, 10, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(lastMask_, m);
    }
    lastMask_ = m;
    CamImage->update();
}

void TPCamera::MaskToggled(bool down) {
    CamImage->update();
    if (down || !ctx_.Sync()) return;
    std::vector<uint8_t> blue(static_cast<size_t>(kMaskPixels) * kMaskPixels);
    for (int y = 0; y < kMaskPixels; ++y)
        for (int x = 0; x < kMaskPixels; ++x)
            blue[static_cast<size_t>(y * kMaskPixels + x)] =
                static_cast<uint8_t>(qBlue(Mask.pixel(x, y)));
    WriteCameraMask(ctx_, MaskBits(blue));
}

void TPCamera::MaskComboClick(int position) {
    if (position < 0 || position > 1) return;
    ctx_.SetBank("CamMask", position);
    MaskToggled(false);
}

// ---------------------------------------------------------------- painting

void TPCamera::PaintPicture(QPainter& p, const QRect& clip) {
    const int w = CamImage->width(), h = CamImage->height();
    p.setClipRect(clip);
    p.fillRect(clip, Bgr(0x808000));
    p.setPen(QPen(Qt::black, 2));
    p.drawRect(1, 1, w - 2, h - 2);
    const QRectF target(ImageWindow.left * scaleX_, ImageWindow.top * scaleY_,
                        ImageWindow.Width() * scaleX_, ImageWindow.Height() * scaleY_);
    if (!viewImage_.isNull() && ImageWindow.Width() > 0) {
        // Only the exposed part of the picture is stretched.
        const QRectF shown = target.intersected(QRectF(clip));
        if (!shown.isEmpty()) {
            const QRectF src((shown.left() - target.left()) / scaleX_,
                             (shown.top() - target.top()) / scaleY_, shown.width() / scaleX_,
                             shown.height() / scaleY_);
            p.drawImage(shown, viewImage_, src);
        }
    }
    if (WithProfileCheck->isChecked() && !Line.empty()) {
        QPolygonF poly;
        poly.reserve(static_cast<int>(Line.size()));
        for (const TLinePoint& pt : Line) poly << QPointF(pt.x * scaleX_, pt.y * scaleY_);
        p.setPen(QPen(Bgr(0x000080), 1));
        p.drawPolyline(poly);
        p.setPen(QPen(Qt::red, 1));
        p.drawPoints(poly);
    }
    if (Action("CamMask")->isChecked()) {
        // The mask over the picture while it is painted.
        p.setOpacity(0.5);
        QImage shown = Mask.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < shown.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(shown.scanLine(y));
            for (int x = 0; x < shown.width(); ++x)
                if (qBlue(row[x]) == 0) row[x] = 0;  // unmasked: see-through
        }
        p.drawImage(QRectF(0, 0, kSensorPixels * scaleX_, kSensorPixels * scaleY_), shown);
        p.setOpacity(1.0);
    }
    QPen grid(Bgr(0x808080), 1, Qt::DotLine);
    p.setPen(grid);
    for (int i = 0; i <= 12; ++i) {
        const double v = 16 + 64 * i;
        p.drawLine(QPointF(v * scaleX_, 0), QPointF(v * scaleX_, h));
        p.drawLine(QPointF(0, v * scaleY_), QPointF(w, v * scaleY_));
    }
    const int scroll = ScrollBox1->verticalScrollBar()->value();
    if (scroll != lastScroll_) {
        lastScroll_ = scroll;
        CamSection->update();
    }
    auto clipped = [&](const TViewRect& r) {
        return QRect(std::max(1, static_cast<int>(r.left * scaleX_)),
                     std::max(1, static_cast<int>(r.top * scaleY_)), 0, 0)
            .adjusted(0, 0,
                      std::min(static_cast<int>(kSensorPixels * scaleX_) - 1,
                               static_cast<int>(r.right * scaleX_)) -
                          std::max(1, static_cast<int>(r.left * scaleX_)),
                      std::min(static_cast<int>(kSensorPixels * scaleY_) - 1,
                               static_cast<int>(r.bottom * scaleY_)) -
                          std::max(1, static_cast<int>(r.top * scaleY_)));
    };
    if (Action("CamRect")->isChecked()) {
        p.setPen(QPen(Qt::white, Drag.Code ? 1 : 2));
        p.drawRect(clipped(Drag.Code ? Drag.Live : Window));
        if (Drag.Code) {
            p.setPen(QPen(Qt::white, 1, Qt::DotLine));
            p.drawRect(clipped(Drag.Snapped));
        }
    } else if (SectionColumn >= ImageWindow.left && SectionColumn < ImageWindow.right) {
        // The section column, blinking while the page is idle.
        p.setPen(QPen(blinkRed_ || ctx_.State.CameraLive ? Qt::red : Qt::black, 1, Qt::DotLine));
        const double x = SectionColumn * scaleX_;
        p.drawLine(QPointF(x, ImageWindow.top * scaleY_), QPointF(x, ImageWindow.bottom * scaleY_));
    }
}

void TPCamera::PaintSection(QPainter& p) {
    const int w = CamSection->width(), h = CamSection->height();
    p.fillRect(0, 0, w, h, Bgr(ctx_.Colors.cam_vertical_bg_color));
    const int scroll = ScrollBox1->verticalScrollBar()->value();
    auto rowY = [&](int row) { return (ImageWindow.top + row) * scaleY_ - scroll; };
    if (Peak.Value != 0) {
        // Three pixels wide: a band at the threshold's level still shows on
        // both sides of the threshold line drawn over it.
        p.setPen(QPen(Bgr(ctx_.Colors.cut_lvl_color), 3));
        const double x = Peak.Level * w / 256.0;
        p.drawLine(QPointF(x, rowY(Peak.Upper) - 10), QPointF(x, rowY(Peak.Lower) + 10));
    }
    p.setPen(QPen(Bgr(ctx_.Colors.thd_lvl_color), 1));
    const double tx = w * ctx_.GetBank("MeasureLimit") / 256.0;
    p.drawLine(QPointF(tx, 0), QPointF(tx, h));
    if (Section.empty()) return;
    QPolygonF curve;
    curve << QPointF(0, 0);
    const int first = static_cast<int>(std::trunc(scroll / scaleY_));
    for (int i = 0;; ++i) {
        const double y = i * scaleY_;
        if (y > h) break;
        const int row = first + i - ImageWindow.top;
        const double x = row >= 0 && row < static_cast<int>(Section.size())
                             ? Section[static_cast<size_t>(row)] * w / 256.0
                             : -1.0;
        curve << QPointF(x, y);
    }
    p.setPen(QPen(Bgr(0xFF9696), 2));
    p.drawPolyline(curve);
}

// ---------------------------------------------------------------- timer and visibility

void TPCamera::TimerTick() {
    if (fetching_ && !ctx_.Worker.TaskRunning()) {
        // The task ended without a picture (failed, timed out or aborted elsewhere).
        ShowFetching(false);
        CamImage->update();
        return;
    }
    if (ctx_.State.CameraLive) return;
    const bool red = TickMs() % 300 >= 100;
    if (red != blinkRed_ && !Action("CamRect")->isChecked()) {
        blinkRed_ = red;
        const int x = static_cast<int>(SectionColumn * scaleX_);
        CamImage->update(x - 2, 0, 5, CamImage->height());
    }
}

void TPCamera::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    timer_->start();
    UpdateActions();
    Layout();
}

void TPCamera::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    WriteLog(kLogPlain, "cam hide");
    Action("CamRect")->setChecked(false);
    CamImage->setCursor(Qt::ArrowCursor);
    aeStop_ = true;
    // A fetch does not outlive the page: the polling goes on without it.
    if (fetching_) FetchEnded();
    timer_->stop();
}

}  // namespace kd
