#include "pages/ui/tp_profile.h"

#include <QAction>
#include <QActionGroup>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

#include "common/kest_error.h"
#include "common/log.h"
#include "link/commands.h"
#include "measure/profile_geometry.h"
#include "measure/ui/profile_frame.h"
#include "pages/ui/page_widgets.h"

namespace kd {

namespace {
// The three correction lines: key, action, its button and the log word.
struct TLineInfo {
    const char* Key;
    const char* Action;
    const char* Button;
    const char* Caption;
    const char* LogWord;
};
constexpr TLineInfo kLines[3] = {
    {"HCorrect", "XAdjust", "HOffsetButton", "X-Adjust", "xadj"},
    {"VCorrect", "ZAdjust", "VOffsetButton", "Z-Adjust", "zadj"},
    {"TiltCorPos", "RollAdjust", "TiltOffsetButton", "Roll Adjust", "aadj"},
};

}  // namespace

TPProfile::TPProfile(TPageContext& ctx, ProfileShared& shared, QWidget* parent)
    : QWidget(parent), ctx_(ctx), shared_(shared), controls_(ctx) {
    setObjectName("PProfile");
    resize(680, 390);

    // The two groups: WaveForm and correction, one panel at a time.
    PrfWaveButton = new QPushButton("WaveForm", this);
    PrfWaveButton->setObjectName("PrfWaveButton");
    PrfOrigButton = new QPushButton("Area", this);
    PrfOrigButton->setObjectName("PrfOrigButton");
    for (QPushButton* b : {PrfWaveButton, PrfOrigButton}) {
        b->setCheckable(true);
        b->setAutoExclusive(true);
    }
    PrfWaveButton->setGeometry(8, 8, 108, 30);
    PrfOrigButton->setGeometry(120, 8, 108, 30);
    PrfWaveButton->setChecked(true);
    connect(PrfWaveButton, &QPushButton::clicked, this,
            [this] { Guarded([this] { WaveButtonClick(); }); });
    connect(PrfOrigButton, &QPushButton::clicked, this,
            [this] { Guarded([this] { OrigButtonClick(); }); });

    WavePanel = new QFrame(this);
    WavePanel->setObjectName("WavePanel");
    WavePanel->setGeometry(8, 46, 222, 150);
    TRowLayout wave(WavePanel, 6, 40, 96, 104);
    wave.Label("ModeLabel", "Target");
    ModeCombo = wave.Combo("ModeCombo", "Hi-reso,Gap/Trans,Semi-trans");
    wave.Next();
    wave.Label("AlmCountLabel", "Alarm Limit");
    AlmCountCombo = wave.Combo("AlmCountCombo", "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,HOLD");
    wave.Next();
    wave.Label("SmoothLabel", "Smooth");
    SmoothCombo = wave.Combo("SmoothCombo", "1,2,4,8,16,32,64,128");
    WavePanel->hide();

    AdjPanel = new QFrame(this);
    AdjPanel->setObjectName("AdjPanel");
    AdjPanel->setGeometry(8, 46, 222, 336);
    TRowLayout adj(AdjPanel, 6, 40, 96, 104);
    adj.Label("OffsetFlowLabel", "Correct Method");
    OffsetFlowCombo = adj.Combo("OffsetFlowCombo", "None,Right,Left,Right-Up,Left-Up,Up");
    adj.Next();
    adj.Label("TiltCorrectLabel", "Tilt Correct");
    TiltCorrectCombo = adj.Combo("TiltCorrectCombo", "OFF,ON");

    // The correction line buttons: one line at a time, all may be up.
    auto* lines = new QActionGroup(this);
    lines->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    std::array<QToolButton*, 3> lineButtons{};
    for (int i = 0; i < 3; ++i) {
        QAction* a = MakeAction(kLines[i].Action, kLines[i].Caption, true);
        lines->addAction(a);
        adjust_[static_cast<size_t>(i)] = a;
        lineButtons[static_cast<size_t>(i)] = ActionButton(
            AdjPanel, kLines[i].Button, a, {12, 92 + 36 * i, 200, 30}, Qt::ToolButtonTextOnly);
        connect(a, &QAction::toggled, this,
                [this, i](bool down) { Guarded([this, i, down] { AdjustToggled(i + 1, down); }); });
    }
    HOffsetButton = lineButtons[0];
    VOffsetButton = lineButtons[1];
    TiltOffsetButton = lineButtons[2];

    QAction* reg = MakeAction("Register", "Register", false);
    RegisterButton =
        ActionButton(AdjPanel, "RegisterButton", reg, {12, 210, 200, 30}, Qt::ToolButtonTextOnly);
    connect(reg, &QAction::triggered, this, [this] { Guarded([this] { RegisterExecute(); }); });
    QAction* master = MakeAction("RecvMaster", "Read Master", false);
    RecvMasterButton = ActionButton(AdjPanel, "RecvMasterButton", master, {12, 246, 200, 30},
                                    Qt::ToolButtonTextOnly);
    connect(master, &QAction::triggered, this,
            [this] { Guarded([this] { RecvMasterExecute(); }); });
    MasterChangeLabel = new QLabel("Correction was changed.\nRegistration is required.", AdjPanel);
    MasterChangeLabel->setObjectName("MasterChangeLabel");
    MasterChangeLabel->setGeometry(12, 282, 206, 48);
    MasterChangeLabel->setWordWrap(true);
    MasterChangeLabel->setStyleSheet("color: red;");
    MasterChangeLabel->hide();

    // The profile frame on which the lines are dragged; its own flags stay off.
    frame_ = new TProfileFrame(shared_, &ctx_, this);
    frame_->setObjectName("ProfileFrame1");
    frame_->setGeometry(238, 8, 434, 336);
    if (UsableSavedScale({ctx_.Settings.AreaScaleX, ctx_.Settings.AreaScaleY})) {
        frame_->SetScaleX(ctx_.Settings.AreaScaleX);
        frame_->SetScaleY(ctx_.Settings.AreaScaleY);
        fitted_ = true;
    }
    frame_->OnMouseUp = [this](Qt::MouseButton) { Guarded([this] { FrameMouseUp(); }); };

    QAction* once = MakeAction("RecvProf", "Refresh", false);
    once->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    CamRefreshButton =
        ActionButton(this, "CamRefreshButton", once, {238, 350, 40, 32}, Qt::ToolButtonTextOnly);
    CamRefreshButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
    auto* refreshLabel = new QLabel("Refresh", this);
    refreshLabel->setObjectName("ProfRefreshLabel");
    refreshLabel->setGeometry(284, 350, 200, 32);
    connect(once, &QAction::triggered, this, [this] { Guarded([this] { RecvProfExecute(); }); });

    // The settings table's rows and what the page adds after them.
    controls_.Bind(ModeCombo);
    controls_.Bind(AlmCountCombo);
    controls_.Bind(SmoothCombo);
    controls_.Bind(OffsetFlowCombo, [this](const TSettingOutcome& o) {
        if (o.Result == TSettingOutcome::Stored) SetNotice(true);
    });
    controls_.Bind(TiltCorrectCombo, [this](const TSettingOutcome& o) {
        if (o.Result != TSettingOutcome::Stored) return;
        adjust_[2]->setEnabled(o.Value != 0);
        if (o.Value == 0) {
            adjust_[2]->setChecked(false);
            frame_->LineMode = 0;
            frame_->Redraw();
        }
        SetNotice(true);
    });
    UpdateActions();
}

QAction* TPProfile::MakeAction(const char* name, const QString& caption, bool checkable) {
    auto* a = new QAction(caption, this);
    a->setObjectName(name);
    a->setCheckable(checkable);
    actions_.push_back(a);
    return a;
}

QAction* TPProfile::Action(const char* name) const {
    for (QAction* a : actions_)
        if (a->objectName() == name) return a;
    return nullptr;
}

void TPProfile::Guarded(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        ctx_.Services.HandleException(e);
    }
}

void TPProfile::ShowParams() {
    controls_.ShowAll();
    adjust_[2]->setEnabled(ctx_.GetBank("TiltCorrect") != 0);
    frame_->Redraw();
}

void TPProfile::UpdateActions() {
    const bool linked = ctx_.State.LinkState != 0;
    for (const char* name : {"RecvMaster", "Register", "RecvProf"})
        Action(name)->setEnabled(linked);
}

void TPProfile::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!fitted_) {
        // Without saved scales the plot first fills the frame.
        fitted_ = true;
        frame_->FitToWindowClick();
    }
    WriteLog(kLogPlain, "Profile; FormShow");
    Guarded([this] {
        if (PrfWaveButton->isChecked())
            WaveButtonClick();
        else
            OrigButtonClick();
    });
    UpdateActions();
}

void TPProfile::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    // Hiding ends line editing.
    for (QAction* a : adjust_) a->setChecked(false);
    frame_->LineMode = 0;
}

void TPProfile::WaveButtonClick() {
    AdjPanel->hide();
    WavePanel->show();
    for (QAction* a : adjust_) a->setChecked(false);
    WriteLog(kLogPlain, "Profile::WaveForm");
}

void TPProfile::OrigButtonClick() {
    AdjPanel->show();
    WavePanel->hide();
    WriteLog(kLogPlain, "Profile::AreaAdj");
}

void TPProfile::AdjustToggled(int mode, bool down) {
    const TLineInfo& line = kLines[mode - 1];
    if (down) {
        frame_->LineMode = mode;
        frame_->LinePos = ctx_.GetBank(line.Key);
        WriteLog(kLogPlain, "%s %d", line.LogWord, frame_->LinePos);
    } else if (frame_->LineMode == mode) {
        frame_->LineMode = 0;  // another line may have taken over already
    }
    frame_->Redraw();
}

void TPProfile::FrameMouseUp() {
    const int mode = frame_->LineMode;
    if (mode < 1 || mode > 3) return;
    const TSetting* row = FindSettingByKey(kLines[mode - 1].Key);
    const TSettingOutcome o = ChooseSetting(*row, ctx_, frame_->LinePos);
    if (o.Result == TSettingOutcome::Stored) SetNotice(true);
    if (!o.Valid()) WriteLog(kLogError, "%s %d: %s", row->Key, o.Value, o.Why.c_str());
    frame_->Redraw();
}

void TPProfile::SetNotice(bool shown) {
    if (MasterChangeLabel->isVisibleTo(AdjPanel) != shown) MasterChangeLabel->setVisible(shown);
}

void TPProfile::RecvProfExecute() {
    if (ctx_.Worker.TaskRunning()) {
        ctx_.Worker.RequestAbort();
        WriteLog(kLogRed, "ABORT");
        return;
    }
    ctx_.Worker.RequestProfiles([this] { Guarded([this] { TakeProfile(); }); });
    WriteLog(kLogAction, "PROFILE ONCE");
}

void TPProfile::TakeProfile() {
    {
        // One profile only, also when taking it fails.
        struct TStop {
            TPageWorker& W;
            ~TStop() { W.RequestAbort(); }
        } stop{ctx_.Worker};
        const int n = ctx_.Worker.ProfileCount();
        const std::span<const uint16_t> words = ctx_.Worker.ProfileWords();
        if (n < 0 || n > kProfileBufferPoints || 2 * static_cast<size_t>(n) > words.size())
            throw EKestError(Format("illegal prof_size;%d", n));
        ProfilePointsFromWords(words.first(2 * static_cast<size_t>(n)), shared_.ProfileBuffer);
        frame_->PointCount = n;
        if (OnProfileFetched) OnProfileFetched(n);
        frame_->Redraw();
    }
}

void TPProfile::RegisterExecute() {
    ctx_.Worker.Command(cmd::SET_PROF_MST);
    WriteLog(kLogAction, "SET_PROF_MST");
    RecvProfExecute();
    ReadSensorMaster(ctx_, ctx_.State.CurrentBank, false);
    SetNotice(false);
    frame_->Redraw();
}

void TPProfile::RecvMasterExecute() {
    const int bank = ctx_.State.CurrentBank;
    ReadSensorMaster(ctx_, bank, true);
    WriteLog(kLogAction, "RecvMaster; bank%d: %d points", bank,
             ctx_.Masters.MasterCount[static_cast<size_t>(std::clamp(bank, 0, kBankCount - 1))]);
    frame_->Redraw();
}

}  // namespace kd
