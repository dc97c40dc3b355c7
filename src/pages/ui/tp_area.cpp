#include "pages/ui/tp_area.h"

#include <algorithm>

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>

#include "common/kest_error.h"
#include "common/log.h"
#include "link/comm_error.h"
#include "link/commands.h"
#include "measure/profile_geometry.h"
#include "measure/ui/colors.h"
#include "measure/ui/profile_frame.h"
#include "measure/value_text.h"
#include "pages/area_settings.h"
#include "pages/ui/page_widgets.h"
#include "pages/ui/setting_controls.h"

namespace kd {

namespace {
constexpr const char* kEdgeFields[4] = {"Left", "Top", "Right", "Bottom"};
constexpr const char* kEdgeEdits[4] = {"AreaLeftEdit", "AreaTopEdit", "AreaRightEdit",
                                       "AreaBottomEdit"};
constexpr const char* kEdgeHints[4] = {
    "-14_998 ... +14_742 [um], step2", "-27_998 ... +27_742 [um], step2",
    "-14_742 ... +14_998 [um], step2", "-27_742 ... +27_998 [um], step2"};
constexpr const char* kEdgeLabels[4][2] = {
    {"LeftLabel", "Left"}, {"TopLabel", "Top"}, {"RightLabel", "Right"}, {"BottomLabel", "Bottom"}};

QString Css(uint32_t c) {
    return ColorRef(c).name();
}
}  // namespace

void TAreaShape::mousePressEvent(QMouseEvent* e) {
    QFrame::mousePressEvent(e);
    if (e->button() == Qt::LeftButton && OnPress) OnPress(Tag);
}

TPArea::TPArea(TPageContext& ctx, ProfileShared& shared, QWidget* parent)
    : QWidget(parent), ctx_(ctx), shared_(shared) {
    setObjectName("PArea");
    resize(680, 390);

    // The area selector: four swatches on a band in the edited area's colour.
    Shape5 = new QFrame(this);
    Shape5->setObjectName("Shape5");
    Shape5->setGeometry(8, 8, 222, 44);
    for (int n = 0; n < 4; ++n) {
        auto* s = new TAreaShape(this, n);
        s->setObjectName(QString("AreaShape%1").arg(n + 1));
        s->setGeometry(14 + 54 * n, 12, 48, 36);
        s->OnPress = [this](int tag) { Guarded([this, tag] { SelectArea(tag); }); };
        auto* l = new QLabel(QString::number(n + 1), s);
        l->setObjectName(QString("Label%1").arg(n + 1));
        l->setGeometry(0, 0, 48, 36);
        l->setAlignment(Qt::AlignCenter);
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        QFont f = l->font();
        f.setBold(true);
        f.setPointSize(f.pointSize() + 3);
        l->setFont(f);
        l->setStyleSheet(QString("color: %1; background: transparent;")
                             .arg(Css(ctx_.Colors.area_font_color[static_cast<size_t>(n)])));
        AreaShape[static_cast<size_t>(n)] = s;
    }

    // The hidden function list whose items the string table sets.
    MeasModeCombo = new QComboBox(this);
    MeasModeCombo->setObjectName("MeasModeCombo");
    MeasModeCombo->addItems(QString("Average,Peak Height,Bottom Height,Width,Peak Position,"
                                    "Bottom Position,Edge Position,Edge Count,Tilt,Size,Length,"
                                    "Diameter,Inflect")
                                .split(','));
    MeasModeCombo->hide();
    auto* measModeLabel = new QLabel("Measure Mode", this);
    measModeLabel->setObjectName("MeasModeLabel");
    measModeLabel->hide();

    TRowLayout rows(this, 62, 34, 96, 124);
    rows.Label("AreaModeLabel", "Function");
    AreaModeCombo = rows.Combo("AreaModeCombo", "");
    rows.Next();
    // One of the three extra controls at a time, on one row.
    PosDirLabel = rows.Label("PosDirLabel", "Edge Direction");
    PosDirCombo = rows.Combo("PosDirCombo", "Left,Right");
    AreaDirLabel = rows.Label("AreaDirLabel", "Direction");
    AreaDirCombo = rows.Combo("AreaDirCombo", "Up,Down");
    InflectLabel = rows.Label("InflectLabel", "Inflect Threshold");
    InflEdit = rows.Edit("InflEdit", "-255 ... +255");
    rows.Next();
    rows.Label("OrgOffsetLabel", "Correction");
    OrgOffsetCombo = rows.Combo("OrgOffsetCombo", "OFF,ON");
    rows.Next();
    TRowLayout rect(this, rows.Y(), 32, 96, 90);
    for (int e = 0; e < 4; ++e) {
        rect.Label(kEdgeLabels[e][0], kEdgeLabels[e][1]);
        RectEdit[static_cast<size_t>(e)] = rect.Edit(kEdgeEdits[e], kEdgeHints[e]);
        if (e == 0) UnitLabel = rect.Unit("UnitLabel", "mm");
        rect.Next();
    }
    ViewMasterCheck = new QCheckBox("View Master", this);
    ViewMasterCheck->setObjectName("ViewMasterCheck");
    ViewMasterCheck->setGeometry(12, rect.Y() + 2, 210, 24);
    ViewMasterCheck->setChecked(ctx_.Settings.AreaViewMaster);

    // The frame: every area, the corrected copies, the master, dragging.
    frame_ = new TProfileFrame(shared_, &ctx_, this);
    frame_->setObjectName("ProfileFrame");
    frame_->setGeometry(246, 8, 426, 336);
    frame_->ShowAreas = true;
    frame_->ShowShiftedAreas = true;
    frame_->EditAreas = true;
    frame_->ShowMaster = ViewMasterCheck->isChecked();
    ProfileColors pc;
    for (size_t n = 0; n < 4; ++n) pc.AreaSel[n] = ctx_.Colors.area_sel_color[n];
    pc.AreaFont = ctx_.Colors.area_font_color;
    pc.ProfileLine = ctx_.Colors.profile_line_color;
    frame_->SetColors(pc);
    if (UsableSavedScale({ctx_.Settings.AreaScaleX, ctx_.Settings.AreaScaleY})) {
        frame_->SetScaleX(ctx_.Settings.AreaScaleX);
        frame_->SetScaleY(ctx_.Settings.AreaScaleY);
        fitted_ = true;
    }
    frame_->OnAreaSelect = [this] {
        Guarded([this] {
            if (frame_->SelectedArea() >= 0) SelectArea(frame_->SelectedArea());
        });
    };
    frame_->OnAreaChanged = [this] { Guarded([this] { ShowParams(); }); };

    // Live profiles.
    recvProf_ = new QAction("Refresh", this);
    recvProf_->setObjectName("RecvProf");
    recvProf_->setCheckable(true);
    recvProf_->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    RefreshRepeatButton = ActionButton(this, "RefreshRepeatButton", recvProf_, {246, 350, 40, 32});
    auto* refreshLabel = new QLabel("Refresh", this);
    refreshLabel->setObjectName("ProfRefreshLabel");
    refreshLabel->setGeometry(292, 350, 200, 32);
    // The action's own toggling is undone: the handler decides the state.
    connect(recvProf_, &QAction::triggered, this, [this] {
        {
            QSignalBlocker b(recvProf_);
            recvProf_->setChecked(!recvProf_->isChecked());
        }
        Guarded([this] { RecvProfExecute(); });
    });

    // The plot's context menu selects an area too (one that lies under
    // another is hard to reach with the pointer).
    AreaPopupMenu = new QMenu("Select Area", this);
    AreaPopupMenu->setObjectName("AreaPopupMenu");
    auto* areaItems = new QActionGroup(AreaPopupMenu);
    for (int n = 0; n < 4; ++n) {
        QAction* a = AreaPopupMenu->addAction(QString("Area%1").arg(n + 1));
        a->setObjectName(QString("AreaPopupArea%1").arg(n + 1));
        a->setCheckable(true);
        a->setChecked(n == area_);
        areaItems->addAction(a);
        connect(a, &QAction::triggered, this, [this, n] { Guarded([this, n] { SelectArea(n); }); });
    }
    frame_->ExtraMenu = AreaPopupMenu;

    // The controls of the edited area.
    auto choose = [this](QComboBox* list, const char* field, std::function<void(int)> after) {
        connect(list, &QComboBox::activated, this, [this, field, after](int p) {
            Guarded([this, field, after, p] {
                if (loading_) return;
                const TSettingOutcome o = ChooseSetting(Row(field), ctx_, p);
                if (!o.Valid()) WriteLog(kLogError, "%s: %s", Row(field).Key, o.Why.c_str());
                if (o.Valid() && after) after(p);
            });
        });
    };
    choose(AreaModeCombo, "Func", [this](int p) { FuncChanged(p); });
    choose(AreaDirCombo, "Dir", {});
    choose(PosDirCombo, "SDR", {});
    choose(OrgOffsetCombo, "Cmp", [this](int) { frame_->Redraw(); });
    connect(InflEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        Guarded([this, text] {
            if (loading_) return;
            SetEditValid(InflEdit, EditSetting(Row("Infl"), ctx_, text.toStdString()).Valid());
        });
    });
    for (int e = 0; e < 4; ++e)
        connect(RectEdit[static_cast<size_t>(e)], &QLineEdit::textChanged, this,
                [this, e] { Guarded([this, e] { AreaEditChange(e); }); });
    connect(ViewMasterCheck, &QCheckBox::toggled, this, [this](bool on) {
        frame_->ShowMaster = on;
        ctx_.Settings.AreaViewMaster = on;
        frame_->Redraw();
    });
    ShapesFor(area_);
    UpdateActions();
}

TPArea::~TPArea() {
    // A running poll must not call back into a page that is gone.
    if (Polling()) ctx_.Worker.RequestAbort();
}

void TPArea::Guarded(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        ctx_.Services.HandleException(e);
    }
}

const TSetting& TPArea::Row(const char* field) const {
    const TSetting* s = FindSettingByKey(AreaKey(area_, field));
    if (!s) throw EKestError("no setting " + AreaKey(area_, field));
    return *s;
}

void TPArea::RefillFunctions() {
    QSignalBlocker b(AreaModeCombo);
    AreaModeCombo->clear();
    const int n = std::min(MeasModeCombo->count(), AreaFunctionCount(ctx_.State.SensorVersion));
    for (int i = 0; i < n; ++i) AreaModeCombo->addItem(MeasModeCombo->itemText(i));
}

void TPArea::UpdateVisibility(int func) {
    const bool dir = func == 9 || func == 11;
    AreaDirLabel->setVisible(dir);
    AreaDirCombo->setVisible(dir);
    PosDirLabel->setVisible(func == 6);
    PosDirCombo->setVisible(func == 6);
    InflectLabel->setVisible(func == kFuncInflect);
    InflEdit->setVisible(func == kFuncInflect);
}

void TPArea::FillArea() {
    const bool was = loading_;
    loading_ = true;
    auto setList = [this](QComboBox* list, const char* field) {
        QSignalBlocker b(list);
        const std::optional<int> v = ShownValue(Row(field), ctx_);
        list->setCurrentIndex(v && *v < list->count() ? *v : -1);
    };
    setList(AreaModeCombo, "Func");
    UpdateVisibility(ctx_.GetBank(AreaKey(area_, "Func")));
    for (int e = 0; e < 4; ++e) {
        const int v = ctx_.GetBank(AreaKey(area_, kEdgeFields[e]));
        RectEdit[static_cast<size_t>(e)]->setText(QString::fromStdString(AreaEdgeText(ctx_, v)));
        SetEditValid(RectEdit[static_cast<size_t>(e)], true);
    }
    setList(OrgOffsetCombo, "Cmp");
    setList(AreaDirCombo, "Dir");
    setList(PosDirCombo, "SDR");
    const int infl = ctx_.GetBank(AreaKey(area_, "Infl"));
    InflEdit->setText(infl >= 1 ? QString("+%1").arg(infl) : QString::number(infl));
    SetEditValid(InflEdit, true);
    loading_ = was;
}

void TPArea::ShowParams() {
    loading_ = true;
    struct TDone {
        bool& F;
        ~TDone() { F = false; }
    } done{loading_};
    UnitLabel->setText(QString::fromStdString(AreaUnit(ctx_)));
    RefillFunctions();
    frame_->MidLineMask = 0;
    for (int n = 0; n < 4; ++n) {
        const int l = ctx_.GetBank(AreaKey(n, "Left")), t = ctx_.GetBank(AreaKey(n, "Top")),
                  r = ctx_.GetBank(AreaKey(n, "Right")), b = ctx_.GetBank(AreaKey(n, "Bottom"));
        WriteLog(kLogPlain, "ref area%d (%d, %d, %d, %d)", n, l, t, r, b);
        frame_->SetArea(n, l, t, r, b);
        if (IsMidLineFunction(ctx_.GetBank(AreaKey(n, "Func")))) frame_->MidLineMask |= 1u << n;
    }
    FillArea();
    frame_->Deselect();
    frame_->Redraw();
}

void TPArea::ShapesFor(int n) {
    for (int i = 0; i < 4; ++i) {
        TAreaShape* s = AreaShape[static_cast<size_t>(i)];
        const bool edited = i == n;
        s->setStyleSheet(
            QString("QFrame#%1 { background: %2; border: %3px solid %4; "
                    "border-radius: 8px; }")
                .arg(s->objectName(), Css(ctx_.Colors.area_sel_color[static_cast<size_t>(i)]))
                .arg(edited ? 2 : 1)
                .arg(edited ? "black" : "gray"));
        if (!edited) s->lower();
    }
    Shape5->setStyleSheet(
        QString("QFrame#Shape5 { background: %1; border-radius: 10px; }")
            .arg(Css(ctx_.Colors.area_sel_color[static_cast<size_t>(std::clamp(n, 0, 3))])));
    Shape5->lower();
    AreaShape[static_cast<size_t>(std::clamp(n, 0, 3))]->raise();
}

void TPArea::SelectArea(int n) {
    if (n < 0 || n >= 4 || n == area_) return;
    frame_->SelectArea(n);
    area_ = n;
    ShapesFor(n);
    if (QAction* item = AreaPopupMenu->actions().value(n)) item->setChecked(true);
    FillArea();
    // The function list's handler for the area's function, with nothing
    // written or sent: results reset, the other pages refill.
    FuncChanged(ctx_.GetBank(AreaKey(n, "Func")));
    frame_->update();
    WriteLog(kLogPlain, "set curr AREA%d", n);
}

void TPArea::FuncChanged(int p) {
    shared_.AreaResults.fill(kNoResult);
    UpdateVisibility(p);
    if (IsMidLineFunction(p))
        frame_->MidLineMask |= 1u << area_;
    else
        frame_->MidLineMask &= ~(1u << area_);
    if (OnFunctionChanged) OnFunctionChanged();
    frame_->Redraw();
}

void TPArea::AreaEditChange(int edge) {
    if (loading_) return;
    std::array<int, 4> v{};
    for (size_t e = 0; e < 4; ++e) {
        const std::optional<int> um = ParseAreaEdge(ctx_, RectEdit[e]->text().toStdString());
        if (!um) {
            // Half-typed text ("-", "3.") stores nothing and waits.
            SetEditValid(RectEdit[static_cast<size_t>(edge)], false);
            return;
        }
        v[e] = *um;
    }
    SetEditValid(RectEdit[static_cast<size_t>(edge)], true);
    const TAreaRectResult r = ApplyAreaRect(ctx_, area_, v[0], v[1], v[2], v[3]);
    frame_->SetArea(area_, r.Held.x0, r.Held.y0, r.Held.x1, r.Held.y1);
    const int held[4] = {r.Held.x0, r.Held.y0, r.Held.x1, r.Held.y1};
    loading_ = true;
    for (int e = 0; e < 4; ++e)
        if (e != edge)
            RectEdit[static_cast<size_t>(e)]->setText(
                QString::fromStdString(AreaEdgeText(ctx_, held[e])));
    loading_ = false;
    frame_->Redraw();
}

bool TPArea::Polling() const {
    return recvProf_->isChecked();
}

void TPArea::RecvProfExecute() {
    if (ctx_.Worker.TaskRunning()) {
        ctx_.Worker.RequestAbort();
        recvProf_->setChecked(false);
        WriteLog(kLogRed, "ABORT");
        return;
    }
    ReadSensorMaster(ctx_, ctx_.State.CurrentBank, false);
    recvProf_->setChecked(true);
    ctx_.Worker.RequestProfiles([this] { Guarded([this] { TakeProfile(); }); });
    WriteLog(kLogAction, "PROFILE ONCE");
}

void TPArea::StopRepeat() {
    if (!Polling()) return;
    ctx_.Worker.RequestAbort();
    recvProf_->setChecked(false);
    WriteLog(kLogRed, "ABORT");
}

void TPArea::Enter() {
    if (Polling() && ctx_.State.LinkState != 0) {
        ctx_.Worker.RequestProfiles([this] { Guarded([this] { TakeProfile(); }); });
        WriteLog(kLogAction, "PROFILE ONCE");
    }
    frame_->Redraw();
}

void TPArea::TakeOverProfile(int pointCount) {
    if (pointCount > 0) frame_->PointCount = pointCount;
    frame_->Redraw();
}

void TPArea::SetPointCount(int pointCount) {
    frame_->PointCount = pointCount;
    frame_->SetProfileFromSensor(true);
    frame_->Redraw();
}

void TPArea::TakeProfile() {
    if (!Polling() || ctx_.State.CurrentPage != kPageArea) {
        // Left or stopped meanwhile: this poll ends here.
        if (ctx_.State.CurrentPage != kPageArea) ctx_.Worker.RequestAbort();
        return;
    }
    const int n = ctx_.Worker.ProfileCount();
    const std::span<const uint16_t> words = ctx_.Worker.ProfileWords();
    if (n < 0 || n > kProfileBufferPoints || 2 * static_cast<size_t>(n) > words.size())
        throw EKestError(Format("illegal prof_size;%d", n));
    ProfilePointsFromWords(words.first(2 * static_cast<size_t>(n)), shared_.ProfileBuffer);
    frame_->PointCount = n;
    frame_->SetProfileFromSensor(true);
    std::optional<std::vector<uint8_t>> r;
    try {
        // A missed correction is asked again with the next profile.
        r = ctx_.Worker.Query(cmd::GET_PROF_CORR, {}, 1);
    } catch (const ECommErrData&) {
    } catch (const ELinkBusy&) {
    }
    if (r && r->size() >= 6) {
        auto word = [&](size_t i) {
            return static_cast<int16_t>(((*r)[2 * i] << 8) | (*r)[2 * i + 1]);
        };
        frame_->OffsetZ = 2 * word(0);
        frame_->OffsetX = 2 * word(1);
        frame_->CorrectionValue3 = word(2);
    }
    frame_->Redraw();
}

void TPArea::UpdateActions() {
    const bool linked = ctx_.State.LinkState != 0;
    if (linked != lastEnabled_ || recvProf_->isEnabled() != linked) {
        recvProf_->setEnabled(linked);
        WriteLog(kLogPlain, "Action %s.Enabled=%d", "RecvProf", linked ? 1 : 0);
        lastEnabled_ = linked;
    }
}

void TPArea::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!fitted_) {
        fitted_ = true;
        frame_->FitToWindowClick();
    }
    ViewMasterCheck->setVisible(true);
    UpdateActions();
}

}  // namespace kd
