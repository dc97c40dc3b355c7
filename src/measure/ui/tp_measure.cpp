#include "measure/ui/tp_measure.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QToolButton>

#include "common/kest_error.h"
#include "common/log.h"
#include "measure/ui/colors.h"
#include "measure/ui/profile_frame.h"

namespace kd {

namespace {
// The main window keeps its connect, title and bank panels over the top
// 66 pixels of the page area.
constexpr int kBlockTop = 70;
constexpr int kBlockHeight = 90;
constexpr int kLeft = 14;
// The page is laid out for the 800 x 480 client area; the plot grows with a
// larger one and the rows under it follow the bottom edge, always inside the
// outlines, which keep a margin to the window's edges.
constexpr int kDesignWidth = 800;
constexpr int kDesignHeight = 480;
constexpr int kPlotLeft = 352, kPlotTop = 68;
constexpr int kPlotWidth = 440;
constexpr int kPlotHeight = kDesignHeight - 142;
constexpr int kRowsTop = kPlotTop + kPlotHeight + 4;  // first row under the plot
constexpr int kPageButtonsTop = kDesignHeight - 34;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect g) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setGeometry(g);
    return l;
}

void SetFontColor(QLabel* l, uint32_t colorRef) {
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, ColorRef(colorRef));
    l->setPalette(p);
}

void SetFill(QFrame* f, uint32_t colorRef) {
    QPalette p = f->palette();
    p.setColor(QPalette::Window, ColorRef(colorRef));
    f->setPalette(p);
}
}  // namespace

TPMeasure::TPMeasure(TPageContext& ctx, ProfileShared& shared, QWidget* parent)
    : QWidget(parent), ctx_(ctx), model_(std::make_unique<TMeasureModel>(ctx, shared)) {
    setObjectName("PMeasure");
    resize(kDesignWidth, kDesignHeight);

    // One block per output: caption, source, value on a black panel, unit,
    // gauge and zero-set button; the analog block shows the current instead.
    static const char* const kOutNames[4] = {"Output1Label", "Output2Label", "Output3Label",
                                             "AnalogOutLabel"};
    static const char* const kOutCaptions[4] = {"OUTPUT1", "OUTPUT2", "OUTPUT3", "ANALOG OUT"};
    QFont valueFont = font();
    valueFont.setPixelSize(30);
    valueFont.setBold(true);
    QFont captionFont = font();
    captionFont.setBold(true);
    for (int n = 0; n < 4; ++n) {
        const int top = kBlockTop + n * kBlockHeight;
        QLabel* cap = MakeLabel(this, kOutNames[n], kOutCaptions[n], {kLeft, top, 110, 18});
        cap->setFont(captionFont);
        const std::string sn = "Source" + std::to_string(n + 1) + "Label";
        source_[static_cast<size_t>(n)] =
            MakeLabel(this, sn.c_str(), "", {kLeft + 112, top, 210, 18});
        auto* panel = new QFrame(this);
        panel->setObjectName(QString("DisplPanel%1").arg(n + 1));
        panel->setAutoFillBackground(true);
        SetFill(panel, 0x000000);
        panel->setGeometry(kLeft, top + 18, 200, 44);
        const std::string dn = "Displ" + std::to_string(n + 1) + "Label";
        QLabel* d = MakeLabel(panel, dn.c_str(), "", {4, 2, 192, 40});
        d->setFont(valueFont);
        d->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        SetFontColor(d, kJudgeLime);
        displ_[static_cast<size_t>(n)] = d;
        const std::string un = n < 3 ? "Unit" + std::to_string(n + 1) + "Label" : "UnitALabel";
        unit_[static_cast<size_t>(n)] =
            MakeLabel(this, un.c_str(), "mm", {kLeft + 204, top + 36, 40, 22});
        if (n < 3) {
            auto* back = new QFrame(this);
            back->setObjectName(QString("GaugeBack%1").arg(n + 1));
            back->setAutoFillBackground(true);
            back->setGeometry(kLeft + 60, top + 70, 80, 6);
            SetFill(back, kJudgeLime);
            gaugeBack_[static_cast<size_t>(n)] = back;
            auto* ptr = new QFrame(this);
            ptr->setObjectName(QString("GaugePointer%1").arg(n + 1));
            ptr->setAutoFillBackground(true);
            ptr->setFrameShape(QFrame::Box);
            ptr->setGeometry(kLeft + 60, top + 68, 7, 10);
            SetFill(ptr, kJudgeLime);
            ptr->hide();
            gaugePointer_[static_cast<size_t>(n)] = ptr;
        }
    }
    const int aTop = kBlockTop + 3 * kBlockHeight + 66;
    displA_ = MakeLabel(this, "DisplALabel", "", {kLeft + 20, aTop, 100, 22});
    QFont aFont = font();
    aFont.setPixelSize(18);
    aFont.setBold(true);
    displA_->setFont(aFont);
    displA_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    mALabel_ = MakeLabel(this, "mALabel", "mA", {kLeft + 124, aTop, 110, 22});
    unitMALabel_ = MakeLabel(this, "UnitMALabel", "mA(estimated)", {kLeft + 124, aTop, 110, 22});
    unitMALabel_->hide();
    // Hidden captions the source texts are made of; localisation sets them.
    areaLabel_ = MakeLabel(this, "AreaLabel", "Area", {0, 0, 0, 0});
    areaLabel_->hide();
    aLabel_ = MakeLabel(this, "ALabel", "A", {0, 0, 0, 0});
    aLabel_->hide();

    // Actions and their buttons.
    for (int k = 0; k < 3; ++k) {
        const std::string an = "ZeroSetToggle" + std::to_string(k + 1);
        QAction* a = MakeAction(an.c_str(), "Zero Set", true);
        connect(a, &QAction::triggered, this, [this, k, a] {
            // The model decides the state; the button shows it.
            a->setChecked(model_->ZeroSetChecked[static_cast<size_t>(k)]);
            Guarded([this, k] { model_->ZeroSetToggle(k); });
            a->setChecked(model_->ZeroSetChecked[static_cast<size_t>(k)]);
        });
        const std::string bn = "ZeroSetButton" + std::to_string(k + 1);
        zeroButtons_[static_cast<size_t>(k)] =
            MakeButton(bn.c_str(), a, {kLeft + 250, kBlockTop + k * kBlockHeight + 22, 76, 34});
    }

    const int px = kPlotLeft, py = kPlotTop;
    frame_ = new TProfileFrame(shared, &ctx, this);
    frame_->setGeometry(px, py, kPlotWidth, kPlotHeight);
    frame_->ShowAreas = true;
    frame_->ShowAreaLabels = true;
    frame_->EditAreas = false;

    const int by = kRowsTop;
    QAction* once = MakeAction("RefOnce", "Once", false);
    connect(once, &QAction::triggered, this, [this] { Guarded([this] { model_->RefOnce(); }); });
    MakeButton("RefreshOneceButton", once, {px, by, 70, 28});
    QAction* rep = MakeAction("RefRepeat", "Repeat", true);
    connect(rep, &QAction::triggered, this, [this] { Guarded([this] { model_->RefRepeat(); }); });
    repeatButton_ = MakeButton("RefreshRepeatButton", rep, {px + 74, by, 70, 28});
    QAction* save = MakeAction("SaveProfile", "Save", false);
    connect(save, &QAction::triggered, this, [this] {
        const QString filter =
            QString::fromStdString(ctx_.Translate("filter_csv", "CSV file")) + "(*.csv);;" +
            QString::fromStdString(ctx_.Translate("filter_all", "all files")) + "(*.*)";
        QFileDialog dlg(this, QString(), "*.csv", filter);
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setDefaultSuffix("csv");
        if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
            SaveProfileTo(dlg.selectedFiles().first().toStdString());
    });
    MakeButton("SaveButton", save, {px + 148, by, 70, 28});

    MakeLabel(this, "SamplingLabel", "sampling", {px + 222, by + 5, 74, 20})
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    sampleEdit_ = new QLineEdit(this);
    sampleEdit_->setObjectName("SampleEdit");
    sampleEdit_->setReadOnly(true);
    sampleEdit_->setAlignment(Qt::AlignRight);
    sampleEdit_->setGeometry(px + 298, by + 3, 60, 22);
    MakeLabel(this, "MsecLabel", "msec", {px + 362, by + 5, 40, 20});

    const int cy = by + 30;
    QAction* hold = MakeAction("HoldToggle", "Hold", true);
    connect(hold, &QAction::triggered, this,
            [this, hold] { Guarded([this, hold] { model_->HoldToggle(hold->isChecked()); }); });
    MakeButton("HoldButton", hold, {px, cy, 70, 28});
    holdInd_ = MakeLabel(this, "HoldInd", "", {px + 74, cy + 7, 14, 14});
    holdInd_->setStyleSheet("background: black; border-radius: 7px;");
    QAction* trig = MakeAction("TriggerToggle", "Trigger", true);
    connect(trig, &QAction::triggered, this,
            [this, trig] { Guarded([this, trig] { model_->TriggerToggle(trig->isChecked()); }); });
    MakeButton("TriggerButton", trig, {px + 94, cy, 70, 28});
    QAction* reset = MakeAction("Reset", "Reset", false);
    connect(reset, &QAction::triggered, this, [this] { Guarded([this] { model_->Reset(); }); });
    MakeButton("BitBtn1", reset, {px + 168, cy, 70, 28});
    // Laser switch, its indicator and the profile load button exist but stay hidden.
    QAction* laser = MakeAction("LaserToggle", "Laser", true);
    connect(laser, &QAction::triggered, this,
            [this, laser] { Guarded([this, laser] { model_->LaserToggle(laser->isChecked()); }); });
    MakeButton("LaserButton", laser, {px + 242, cy, 60, 28})->hide();
    laserInd_ = MakeLabel(this, "LaserInd", "", {px + 306, cy + 7, 14, 14});
    laserInd_->hide();
    MakeButton("ProfLoadButton", frame_->LoadProfileAction(), {px + 324, cy, 60, 28})->hide();

    // Page buttons to the other page groups.
    struct Page {
        const char* name;
        const char* caption;
        std::function<void()> go;
    };
    const Page pages[3] = {
        {"SettingsButton", "Settings", [this] { ctx_.Services.TriggerAction("SettingTrigger"); }},
        {"DataLogButton", "Data Storage", [this] { ctx_.Services.TriggerAction("ViewDataLog"); }},
        {"CommonButton", "Common Setup", [this] { ctx_.Services.TriggerAction("CommSettings1"); }}};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QToolButton(this);
        b->setObjectName(pages[i].name);
        b->setText(pages[i].caption);
        b->setGeometry(kLeft + i * 112, kPageButtonsTop, 106, 24);
        connect(b, &QToolButton::clicked, this, [this, go = pages[i].go] { Guarded(go); });
    }

    for (int n = 0; n < 4; ++n)
        displ_[static_cast<size_t>(n)]->setText(
            QString::fromStdString(model_->InitialValueText(n)));

    for (QObject* o : children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w && w != frame_ && ((w->x() >= px && w->y() >= by - 2) || w->y() >= kPageButtonsTop))
            bottomAnchored_.emplace_back(w, w->pos());
    }
    model_->OnPlotChanged = [this] { ApplyPlot(); };
    timer_ = new QTimer(this);
    timer_->setObjectName("MeasTimer");
    timer_->setInterval(100);
    connect(timer_, &QTimer::timeout, this, [this] { Guarded([this] { MeasTimerTimer(); }); });
    timer_->start();
    ApplyEnabled();
}

TPMeasure::~TPMeasure() = default;

QAction* TPMeasure::MakeAction(const char* name, const QString& caption, bool checkable) {
    auto* a = new QAction(caption, this);
    a->setObjectName(name);
    a->setCheckable(checkable);
    actions_.push_back(a);
    return a;
}

QToolButton* TPMeasure::MakeButton(const char* name, QAction* a, QRect geometry) {
    auto* b = new QToolButton(this);
    b->setObjectName(name);
    b->setDefaultAction(a);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setGeometry(geometry);
    return b;
}

QAction* TPMeasure::Action(const char* name) const {
    for (QAction* a : actions_)
        if (a->objectName() == name) return a;
    return nullptr;
}

void TPMeasure::Guarded(const std::function<void()>& f) {
    // No exception leaves an event handler: log it as the program's handler does.
    try {
        f();
    } catch (const std::exception& e) {
        ctx_.Services.HandleException(e);
    }
    Action("RefRepeat")->setChecked(model_->RefRepeatChecked);
    ApplyEnabled();
}

void TPMeasure::ApplyPlot() {
    const MeasurePlotState& p = model_->Plot;
    frame_->PointCount = p.PointCount;
    frame_->OffsetX = p.OffsetX;
    frame_->OffsetZ = p.OffsetZ;
    frame_->CorrectionValue3 = p.CorrectionValue3;
    frame_->MidLineMask = p.MidLineMask;
    frame_->SetProfileFromSensor(true);
    frame_->Redraw();
}

void TPMeasure::ApplyEnabled() {
    model_->UpdateEnabled();
    for (QAction* a : actions_)
        if (a->objectName() != "SaveProfile")
            a->setEnabled(model_->Enabled(a->objectName().toStdString()));
}

void TPMeasure::RefreshFromImage() {
    model_->AreaCaption = areaLabel_->text().toStdString();
    model_->ACaption = aLabel_->text().toStdString();
    model_->RefreshFromImage();
    mALabel_->setVisible(model_->ShowMeasuredCurrent);
    unitMALabel_->setVisible(!model_->ShowMeasuredCurrent);
    for (size_t n = 0; n < 4; ++n) {
        unit_[n]->setText(QString::fromStdString(model_->UnitTexts[n]));
        if (!model_->SourceTexts[n].empty())
            source_[n]->setText(QString::fromStdString(model_->SourceTexts[n]));
    }
}

void TPMeasure::StartRepeat() {
    Guarded([this] { model_->StartRepeat(); });
}
void TPMeasure::RestartRepeat() {
    Guarded([this] { model_->RestartRepeat(); });
}
void TPMeasure::StopRepeat() {
    Guarded([this] { model_->StopRepeat(); });
}

void TPMeasure::SetIndicator(const char* name, uint32_t colorRef) {
    QLabel* ind = std::string_view(name) == "HoldInd"    ? holdInd_
                  : std::string_view(name) == "LaserInd" ? laserInd_
                                                         : nullptr;
    if (!ind) return;
    const QColor c = ColorRef(colorRef);
    ind->setStyleSheet(QString("background: %1; border-radius: 7px;").arg(c.name()));
}

void TPMeasure::SetZeroSetState(int k, bool on) {
    if (k < 0 || k > 2) return;
    model_->ZeroSetChecked[static_cast<size_t>(k)] = on;
    Action(("ZeroSetToggle" + std::to_string(k + 1)).c_str())->setChecked(on);
}

void TPMeasure::SetScales(double scaleX, double scaleY) {
    frame_->SetScaleX(scaleX);
    frame_->SetScaleY(scaleY);
}

void TPMeasure::SaveProfileTo(const std::string& path) {
    // The plot may also hold a profile loaded from a file: save what it shows.
    model_->Plot.PointCount = frame_->PointCount;
    try {
        model_->SaveProfile(path);
    } catch (const std::exception& e) {
        ctx_.Services.ReportFileFailure(true, path, e.what());
    }
}

void TPMeasure::MeasTimerTimer() {
    if (OnTick) OnTick();
    ApplyEnabled();
    std::array<GaugeGeometry, 3> gauges{};
    for (size_t n = 0; n < 3; ++n) gauges[n] = {gaugeBack_[n]->x(), gaugeBack_[n]->width()};
    std::optional<MeasureView> v = model_->Tick(gauges);
    if (!v) return;
    frame_->SetSensorProfileStale(v->Stale);
    for (size_t n = 0; n < 3; ++n) {
        const OutputView& o = v->Outputs[n];
        SetFontColor(displ_[n], o.Color);
        SetFill(gaugeBack_[n], o.Color);
        SetFill(gaugePointer_[n], o.Color);
        if (o.PointerVisible) {
            gaugePointer_[n]->move(o.PointerLeft, gaugePointer_[n]->y());
            gaugePointer_[n]->show();
        } else {
            gaugePointer_[n]->hide();
        }
        displ_[n]->setText(QString::fromStdString(o.Text));
    }
    displA_->setText(QString::fromStdString(v->CurrentText));
    displ_[3]->setText(QString::fromStdString(v->AnalogValueText));
    SetFontColor(displA_, v->AnalogColor);
    SetFontColor(displ_[3], v->AnalogColor);
    Action("LaserToggle")->setChecked(v->Laser);
    Action("HoldToggle")->setChecked(v->Hold);
    Action("TriggerToggle")->setChecked(v->Trigger);
    sampleEdit_->setText(QString::fromStdString(v->SampleText));
}

void TPMeasure::resizeEvent(QResizeEvent*) {
    const int dw = std::max(width() - kDesignWidth, -200);
    const int dh = std::max(height() - kDesignHeight, -200);
    frame_->setGeometry(kPlotLeft, kPlotTop, kPlotWidth + dw, kPlotHeight + dh);
    for (auto& [w, pos] : bottomAnchored_) w->move(pos.x(), pos.y() + dh);
}

void TPMeasure::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    frame_->Redraw();
    ApplyEnabled();
}

QRect TPMeasure::ValuesOutline() const {
    return QRect(4, 64, 340, height() - 104);
}

QRect TPMeasure::PlotOutline() const {
    return QRect(348, 64, width() - 352, height() - 68);
}

void TPMeasure::paintEvent(QPaintEvent*) {
    // The page's outline figure: chamfered frames around the values and the plot.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 2));
    auto chamfer = [&](QRect r, int c) {
        QPainterPath path;
        path.moveTo(r.left() + c, r.top());
        path.lineTo(r.right() - c, r.top());
        path.lineTo(r.right(), r.top() + c);
        path.lineTo(r.right(), r.bottom() - c);
        path.lineTo(r.right() - c, r.bottom());
        path.lineTo(r.left() + c, r.bottom());
        path.lineTo(r.left(), r.bottom() - c);
        path.lineTo(r.left(), r.top() + c);
        path.closeSubpath();
        p.drawPath(path);
    };
    chamfer(ValuesOutline(), 12);
    chamfer(PlotOutline(), 12);
}

}  // namespace kd
