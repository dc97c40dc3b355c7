#include "app/session_wiring.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QTimer>
#include <cstdlib>

#include "common/kest_error.h"
#include "common/log.h"
#include "shell/ui/debug_form.h"
#include "shell/ui/dialogs.h"
#include "shell/ui/kest_trel.h"
#include "sim/sim_sensor.h"

namespace kd {

// ---------------------------------------------------------------- SIM port

TSimPort::TSimPort() = default;

TSimPort::~TSimPort() {
    if (sim_) sim_->Stop();
}

std::string TSimPort::Resolve(const std::string& name) {
    if (name != kSimPortName) return name;
    if (!sim_) {
        sim_ = std::make_unique<kdsim::SimSensor>(kdsim::DemoSimOptions(std::getenv("KDSIM_ARGS")));
    }
    return sim_->Start();  // the path; a running sensor keeps its own
}

void WatchReturningPort(QObject& owner, TKestSession& session) {
    auto* timer = new QTimer(&owner);
    timer->setInterval(1000);
    QObject::connect(timer, &QTimer::timeout, &owner, [&session] {
        if (session.LostPort.Path.empty()) return;
        try {
            session.WatchLostPort();
        } catch (const std::exception& e) {
            WriteLog(kLogError, "%s", e.what());
        }
    });
    timer->start();
}

TKestSession& TDeferredWorkflow::Get() {
    if (!Target) throw EKestError("the session workflows are not ready yet");
    return *Target;
}

// ---------------------------------------------------------------- host

namespace {

QString Qs(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

// 0x00BBGGRR to a style sheet colour.
QString ColorName(int bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF).name();
}

constexpr int kLampOn = 0x000080FF;  // orange

}  // namespace

TTrelSessionHost::TTrelSessionHost(TKestTrel& window) : w_(window) {
    ShowMessage = [this](const std::string& caption, const std::string& text) {
        w_.MessageBox(Qs(caption), Qs(text));
    };
}

bool TTrelSessionHost::Confirm(const std::string& text) {
    if (!w_.OkCancelDlg) return false;  // no dialog, no silent overwrite
    w_.OkCancelDlg->Label1->setText(Qs(text));
    return w_.ExecDialog(*w_.OkCancelDlg) == QDialog::Accepted;
}

void TTrelSessionHost::Message(const std::string& caption, const std::string& text) {
    if (ShowMessage) ShowMessage(caption, text);
}

void TTrelSessionHost::Notify(const std::string& caption, const std::string& text) {
    ShowNotice(&w_, Qs(caption), Qs(text));
}

void TTrelSessionHost::BeginWait() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
void TTrelSessionHost::EndWait() {
    QApplication::restoreOverrideCursor();
}

std::string TTrelSessionHost::Translate(const std::string& name, const std::string& def) {
    return w_.Lang ? w_.Lang->Translate(name, def) : def;
}

bool TTrelSessionHost::Sync() const {
    return w_.DebugForm && w_.DebugForm->Sync->isChecked();
}
void TTrelSessionHost::SetSync(bool on) {
    if (w_.DebugForm) w_.DebugForm->Sync->setChecked(on);
}
bool TTrelSessionHost::Displ() const {
    return !w_.DebugForm || w_.DebugForm->Displ->isChecked();
}

void TTrelSessionHost::ShowStatusWord(uint16_t status) {
    if (!w_.DebugForm) return;
    const QString text = Qs(Format("%04X", status));
    if (w_.DebugForm->Edit1->text() != text) w_.DebugForm->Edit1->setText(text);
}

void TTrelSessionHost::SetBankSelector(int bank) {
    w_.SetBankSelector(bank);
}

bool TTrelSessionHost::BankListDropped() const {
    return w_.BankCombo->view() && w_.BankCombo->view()->isVisible();
}

void TTrelSessionHost::RefreshPages() {
    auto refresh = [this](int code) {
        if (TPageHooks* p = w_.Page(code); p && p->ShowParams) p->ShowParams();
    };
    for (int code : {kPageMeasure, kPageTrigger, kPageCamera, kPageProfile, kPageArea,
                     kPageOperation, kPageOutput, kPageCommon})
        refresh(code);
    Call(RefreshEepGridHook);
    for (int code : {kPageStoDispl, kPageStoProf, kPageStoSett}) refresh(code);
    Call(RefreshMeasurePlotHook);
}

void TTrelSessionHost::ShowPage(int code) {
    w_.ShowPage(code);
}
void TTrelSessionHost::UpdateActions() {
    w_.UpdateActions();
}
void TTrelSessionHost::LinkStateChanged(int state) {
    w_.SetLinkState(state);
}

void TTrelSessionHost::ShowConnected(bool connected) {
    w_.ConnectButton->setVisible(!connected);
    w_.SendButton->setVisible(connected);
    w_.RecvButton->setVisible(connected);
    w_.DisConnectButton->setVisible(connected);
}

void TTrelSessionHost::SetTargetLabel(const std::string& text, int color) {
    w_.TargetLabel->setText(Qs(text));
    w_.TargetLabel->setStyleSheet("color: " + ColorName(color) + ";");
}

void TTrelSessionHost::SaveRegistry() {
    w_.SaveRegistry();
}
void TTrelSessionHost::SetFileName(const std::string& name) {
    w_.SetFileName(name);
}

void TTrelSessionHost::SetOutputLamp(int output, bool on) {
    if (output < 0 || output > 2 || !w_.OutputShapes[static_cast<size_t>(output)]) return;
    // Every tick reports the lamps; restyling a widget is costly, so only a change does.
    QWidget* lamp = w_.OutputShapes[static_cast<size_t>(output)];
    const QString style =
        "background: " + (on ? ColorName(kLampOn) : QString("black")) + "; border-radius: 8px;";
    if (lamp->styleSheet() != style) lamp->setStyleSheet(style);
}

void TTrelSessionHost::SetLaserIndicator(bool on) {
    if (LaserIndicatorHook) LaserIndicatorHook(on);
}
void TTrelSessionHost::SetHoldIndicator(bool on) {
    if (HoldIndicatorHook) HoldIndicatorHook(on);
}
void TTrelSessionHost::SetZeroToggle(int output, bool on) {
    if (ZeroToggleHook) ZeroToggleHook(output, on);
}
void TTrelSessionHost::ChartValue(int channel, int32_t value) {
    if (ChartValueHook) ChartValueHook(channel, value);
}
void TTrelSessionHost::ChartAdvance(bool drawOperation) {
    if (ChartAdvanceHook) ChartAdvanceHook(drawOperation);
}

}  // namespace kd
