#include "pages/ui/tp_trigger.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "pages/ui/page_widgets.h"

namespace kd {

TPTrigger::TPTrigger(TPageContext& ctx, QWidget* parent)
    : QWidget(parent), ctx_(ctx), controls_(ctx) {
    setObjectName("PTrigger");
    resize(680, 390);
    auto* bevel = new QFrame(this);
    bevel->setObjectName("Bevel1");
    bevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bevel->setGeometry(0, 0, 680, 390);

    // Inputs: one row per control, label left, control right.
    InputGroup = MakeGroup(this, "InputGroup", "Input", {16, 14, 318, 300});
    static const char* const kInNames[4][2] = {{"IN1Label", "IN1Combo"},
                                               {"IN2Label", "IN2Combo"},
                                               {"IN3Label", "IN3Combo"},
                                               {"IN4Label", "IN4Combo"}};
    static const char* const kInItems[4] = {"Bank1,Reset", "Bank2,HOLD", "Bank3,Trigger",
                                            "Zero Set,Laser OFF"};
    TRowLayout rows(InputGroup, 32, 36);
    for (int i = 0; i < 4; ++i) {
        INLabel[i] = rows.Label(kInNames[i][0], QString("Input%1").arg(i + 1));
        INCombo[i] = rows.Combo(kInNames[i][1], kInItems[i]);
        INCombo[i]->setProperty("tag", i);
        rows.Next();
    }
    ZeroTargetLabel = rows.Label("ZeroTargetLabel", "Zero Set Ch.");
    ZeroTargetCombo = rows.Combo("ZeroTargetCombo", "Individual,All,Output1,Output2,Output3");
    rows.Next();
    rows.Label("ExtPolarLabel", "ExtPolar");
    ExtPolarCombo = rows.Combo("ExtPolarCombo", "N.O.,N.C.");
    rows.Next();
    rows.Label("TrigFilterLabel", "TrigFilter");
    TrigFilterEdit = rows.Edit("TrigFilterEdit", "5 ... 1275 [usec], step5");
    rows.Unit("TrigFilterLabel2", "usec");

    // Trigger: the action, and below it the count and the delay.
    TrigGroup = MakeGroup(this, "TrigGroup", "Trigger", {346, 14, 318, 300});
    TRowLayout trig(TrigGroup, 32, 36);
    trig.Label("TrigModeLabel", "Trigger Mode");
    TrigModeCombo = trig.Combo("TrigModeCombo", "Continuous,OneShot,PulseCount");
    TrgExtPanel = new QFrame(TrigGroup);
    TrgExtPanel->setObjectName("TrgExtPanel");
    TrgExtPanel->setGeometry(0, 64, 318, 90);
    TRowLayout ext(TrgExtPanel, 4, 36);
    TrigCountLabel = ext.Label("TrigCountLabel", "Trigger Count");
    TrigCountEdit = ext.Edit("TrigCountEdit", "1 ... 4095");
    TrigCountLabel2 = ext.Unit("TrigCountLabel2", "times");
    ext.Next();
    TrigDelayLabel = ext.Label("TrigDelayLabel", "Trigger Delay");
    TrigDelayEdit = ext.Edit("TrigDelayEdit", "5 ... 20475 [usec], step 5");
    TrigDelayLabel2 = ext.Unit("TrigDelayLabel2", "usec");

    // The table's rows; the page adds what follows a change.
    for (int i = 0; i < 4; ++i)
        controls_.Bind(INCombo[i], [this](const TSettingOutcome&) {
            UpdateVisibility();
            ctx_.Services.UpdateActions();
        });
    controls_.Bind(ZeroTargetCombo);
    controls_.Bind(ExtPolarCombo);
    controls_.Bind(TrigFilterEdit);
    controls_.Bind(TrigModeCombo, [this](const TSettingOutcome&) { UpdateVisibility(); });
    controls_.Bind(TrigCountEdit);
    controls_.Bind(TrigDelayEdit);
    UpdateVisibility();
}

void TPTrigger::ShowParams() {
    controls_.ShowAll();
    UpdateVisibility();
}

void TPTrigger::UpdateVisibility() {
    const bool offset = INCombo[3]->currentIndex() == 0;
    ZeroTargetCombo->setVisible(offset);
    ZeroTargetLabel->setVisible(offset);
    const int mode = TrigModeCombo->currentIndex();
    for (QWidget* w : {static_cast<QWidget*>(TrigCountLabel), static_cast<QWidget*>(TrigCountEdit),
                       static_cast<QWidget*>(TrigCountLabel2)})
        w->setVisible(mode == 2);
    for (QWidget* w : {static_cast<QWidget*>(TrigDelayEdit), static_cast<QWidget*>(TrigDelayLabel),
                       static_cast<QWidget*>(TrigDelayLabel2)})
        w->setVisible(mode > 0);
}

}  // namespace kd
