#include "storage/ui/tp_sto_sett.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <algorithm>

#include "common/log.h"
#include "link/commands.h"
#include "pages/storage_logic.h"
#include "pages/ui/page_widgets.h"
#include "params/param_key.h"
#include "storage/storage_link.h"

namespace kd {

namespace {

int Be(const std::vector<uint8_t>& r) {
    int v = 0;
    for (uint8_t b : r) v = (v << 8) | b;
    return v;
}

}  // namespace

TPStoSett::TPStoSett(TPageContext& ctx, QWidget* parent)
    : QWidget(parent), ctx_(ctx), controls_(ctx) {
    setObjectName("PStoSett");
    resize(680, 400);
    auto* bevel = new QFrame(this);
    bevel->setObjectName("Bevel1");
    bevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bevel->setGeometry(0, 0, 680, 400);

    QGroupBox* group = MakeGroup(this, "StrGroup", "Storage", {16, 70, 648, 276});
    TRowLayout rows(group, 28, 34, 130, 170);
    rows.Label("StrBufLabel", "No.of Data");
    StrBufEdit = rows.Edit("StrBufEdit", "1 ... 65535");
    auto* info1 = new QLabel("Data Storage: 1..65535 / Profile Storage: 1..8000", group);
    info1->setObjectName("StrBufInfoLabel");
    info1->setGeometry(250, rows.Y() + 4, 390, 20);
    rows.Next();
    rows.Label("StrSttLabel", "Start cond.");
    StrSttCombo = rows.Combo("StrSttCombo", "Continue,Hold in,Measure,Alarm,UP limit,LOW limit");
    rows.Next();
    StrStlLabel = rows.Label("StrStlLabel", "Start pos");
    StrStlEdit = rows.Edit("StrStlEdit", "-10000 ... 10000");
    auto* info2 = new QLabel("Data Storage: -10000..+10000 / Profile Storage: -2000..+2000", group);
    info2->setObjectName("StrStlInfoLabel");
    info2->setGeometry(250, rows.Y() + 4, 390, 20);
    rows.Next();
    StrStcLabel = rows.Label("StrStcLabel", "Start target");
    StrStcCombo = rows.Combo("StrStcCombo", "Area1,Area2,Area3,Area4,Calc1,Calc2");
    rows.Next();
    StrThdLabel = rows.Label("StrThdLabel", "Threshold");
    StrThdEdit = rows.Edit("StrThdEdit", "-999.999 ... 999.999");
    StrThdUnitLabel = rows.Unit("StrThdUnitLabel", "mm");
    rows.Next();
    rows.Label("StrSmpLabel", "Intermittent");
    StrSmpEdit = rows.Edit("StrSmpEdit", "0 ... 8191");
    rows.Next();
    rows.Label("StrRptLabel", "Repeat");
    const int rptY = rows.Y();
    StrRpt0 = rows.Combo("StrRpt0", "ON,OFF");
    StrRpt1 = new QComboBox(group);
    StrRpt1->setObjectName("StrRpt1");
    StrRpt1->addItems({"ON", "OFF", "Pause"});
    StrRpt1->setGeometry(StrRpt0->geometry());
    (void)rptY;

    // The three page buttons.
    const char* const buttons[3][3] = {{"SettBtn", "Setting", "ViewDataLog"},
                                       {"DataRunBtn", "Data", "ViewDataLogRun"},
                                       {"ProfRunBtn", "Profile", "ViewProfLogRun"}};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QPushButton(buttons[i][1], this);
        b->setObjectName(buttons[i][0]);
        b->setGeometry(16 + i * 130, 354, 120, 32);
        const std::string action = buttons[i][2];
        connect(b, &QPushButton::clicked, this,
                [this, action] { ctx_.Services.TriggerAction(action); });
    }

    controls_.Bind(StrBufEdit);
    controls_.Bind(StrSttCombo, [this](const TSettingOutcome&) { UpdateEnabling(); });
    controls_.Bind(StrStlEdit);
    controls_.Bind(StrStcCombo, [this](const TSettingOutcome&) {
        // The threshold is shown in the new target's unit.
        controls_.Show(StrThdEdit);
        UpdateEnabling();
    });
    controls_.Bind(StrSmpEdit);
    controls_.Bind(StrRpt0, [this](const TSettingOutcome& o) {
        if (o.Valid()) ctx_.State.StorageRepeat = o.Value;
    });
    controls_.Bind(StrRpt1, [this](const TSettingOutcome& o) {
        if (o.Valid()) ctx_.State.StorageRepeat = o.Value;
    });
    controls_.Bind(StrThdEdit);
    UpdateEnabling();
}

std::string TPStoSett::ThresholdUnit() const {
    return StorageThresholdUnit(ctx_);
}

void TPStoSett::FillTargetItems() {
    static const char* const kDefaults[6] = {"Area1", "Area2", "Area3", "Area4", "Calc1", "Calc2"};
    QSignalBlocker block(StrStcCombo);
    for (int i = 0; i < 6 && i < StrStcCombo->count(); ++i) {
        // The list name without the description of an earlier refresh.
        QString base = StrStcCombo->itemData(i).toString();
        if (base.isEmpty()) {
            base = StrStcCombo->itemText(i);
            if (base.isEmpty()) base = kDefaults[i];
            StrStcCombo->setItemData(i, base);
        }
        StrStcCombo->setItemText(
            i, QString::fromStdString(StorageTargetItem(ctx_, i, base.toStdString())));
    }
}

void TPStoSett::UpdateEnabling() {
    const int s = StrSttCombo->currentIndex();
    StrStlLabel->setEnabled(true);
    StrStlEdit->setEnabled(true);
    StrStcLabel->setEnabled(s > 1);
    StrStcCombo->setEnabled(s > 1);
    StrThdLabel->setEnabled(s > 3);
    StrThdEdit->setEnabled(s > 3);
    StrThdUnitLabel->setText(QString::fromStdString(ThresholdUnit()));
}

void TPStoSett::ShowParams() {
    loading_ = true;
    const bool two = TwoStateRepeat(ctx_.State.SensorVersion);
    StrRpt0->setVisible(two);
    StrRpt1->setVisible(!two);
    FillTargetItems();
    controls_.ShowAll();
    ctx_.State.StorageRepeat = ctx_.Image.GetSys(two ? pk::StrRpt : pk::StrRpt3);
    UpdateEnabling();
    loading_ = false;
}

void TPStoSett::ResetDefaults() {
    // Part of making a new image: the image's changed flags stay as they were.
    const bool sensor = ctx_.Image.SensorModified, file = ctx_.Image.FileModified;
    WriteStorageSettings(ctx_.Image, ctx_.State.SensorVersion, TStorageSettings{});
    ctx_.Image.SetSensorModified(sensor);
    ctx_.Image.SetFileModified(file);
    ShowParams();
}

void TPStoSett::ReadBack() {
    struct Q {
        uint16_t code;
        int key;
    };
    const bool two = TwoStateRepeat(ctx_.State.SensorVersion);
    const Q queries[] = {{cmd::GET_STR_BUF, pk::StrBuf},
                         {cmd::GET_STR_STT, pk::StrStt},
                         {cmd::GET_STR_STL, pk::StrStl},
                         {cmd::GET_STR_STC, pk::StrStc},
                         {cmd::GET_STR_THD, pk::StrThd},
                         {cmd::GET_STR_SMP, pk::StrSmp},
                         {cmd::GET_STR_RPT, two ? pk::StrRpt : pk::StrRpt3}};
    loading_ = true;
    try {
        for (const Q& q : queries) {
            int v = Be(ctx_.Worker.Command(q.code));
            if (q.key == pk::StrStl) v = int16_t(v);
            ctx_.Image.SetSys(q.key, v);
        }
    } catch (...) {
        ShowParams();
        loading_ = false;
        throw;
    }
    ShowParams();
}

}  // namespace kd
