#include "pages/ui/tp_output.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

#include "common/kest_error.h"
#include "common/log.h"
#include "measure/measure_model.h"
#include "measure/value_text.h"
#include "pages/output_logic.h"
#include "pages/settings_table.h"
#include "pages/ui/page_widgets.h"
#include "pages/ui/setting_controls.h"
#include "shell/mirel_lang.h"

namespace kd {

namespace {
QString Qs(const std::string& s) {
    return QString::fromStdString(s);
}
}  // namespace

TPOutput::TPOutput(TPageContext& ctx, QWidget* parent) : QWidget(parent), ctx_(ctx) {
    setObjectName("POutput");
    resize(680, 390);

    // One block per switching output: a click anywhere on it selects it.
    for (int k = 0; k < 3; ++k) {
        const int x = 12 + 222 * k;
        const std::string n = std::to_string(k + 1);
        OutputShape[k] = MakeLabel(this, ("Output" + n + "Shape").c_str(), "", {x, 6, 210, 58});
        OutputLabel[k] =
            MakeLabel(this, ("Output" + n + "Label").c_str(), Qs("OUT" + n), {x + 8, 10, 80, 20});
        auto* panel = MakeLabel(this, ("Panel" + n).c_str(), "", {x + 6, 32, 198, 28});
        panel->setStyleSheet("background: white; border: 1px solid gray;");
        DisplLabel[k] = MakeLabel(this, ("Displ" + n + "Label").c_str(), "", {x + 8, 33, 140, 26});
        DisplLabel[k]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        UnitLabel[k] = MakeLabel(this, ("Unit" + n + "Label").c_str(), "mm", {x + 152, 33, 50, 26});
        for (QWidget* w :
             {static_cast<QWidget*>(OutputShape[k]), static_cast<QWidget*>(panel),
              static_cast<QWidget*>(OutputLabel[k]), static_cast<QWidget*>(DisplLabel[k]),
              static_cast<QWidget*>(UnitLabel[k])}) {
            w->setProperty("tag", k);
            w->installEventFilter(this);
        }
    }

    // The selected switching output.
    const int lx = 14, cx = 140, ux = 246, bx = 286;
    int y = 74;
    auto row = [&y] { return y += 34; };
    MakeLabel(this, "OutTargetLabel", "Target", {lx, y, 124, 26});
    OutTarget1Combo = MakeCombo(this, "OutTarget1Combo", "", {cx, y, 206, 26});
    row();
    MakeLabel(this, "OffsetLabel", "Offset", {lx, y, 124, 26});
    OffsetEdit = MakeEdit(this, "OffsetEdit", {cx, y, 100, 26});
    UnitOLabel = MakeLabel(this, "UnitOLabel", "mm", {ux, y, 40, 26});
    row();
    MakeLabel(this, "HiLimitLabel", "High Limit", {lx, y, 124, 26});
    HiLimitEdit = MakeEdit(this, "HiLimitEdit", {cx, y, 100, 26});
    UnitULabel = MakeLabel(this, "UnitULabel", "mm", {ux, y, 40, 26});
    ToUpperButton = MakeButton(this, "ToUpperButton", "Current Displ.", {bx, y, 110, 26});
    row();
    MakeLabel(this, "LoLimitLabel", "Low Limit", {lx, y, 124, 26});
    LoLimitEdit = MakeEdit(this, "LoLimitEdit", {cx, y, 100, 26});
    UnitLLabel = MakeLabel(this, "UnitLLabel", "mm", {ux, y, 40, 26});
    ToLowerButton = MakeButton(this, "ToLowerButton", "Current Displ.", {bx, y, 110, 26});
    row();
    MakeLabel(this, "HysteresisLabel", "Hysteresis", {lx, y, 124, 26});
    HysteresisCombo = MakeCombo(this, "HysteresisCombo", "", {cx, y, 100, 26});
    row();
    MakeLabel(this, "OutActLabel", "Output Action", {lx, y, 124, 26});
    OutActCombo =
        MakeCombo(this, "OutActCombo", "Normal,OneShot,OffDelay,Ready,Strobe", {cx, y, 140, 26});
    row();
    OutputTimeLabel = MakeLabel(this, "OutputTimeLabel", "Output Time", {lx, y, 124, 26});
    OutputTimeEdit = MakeEdit(this, "OutputTimeEdit", {cx, y, 100, 26});
    OutputTimeEdit->setToolTip("0.1 ... 204.7 [msec]");
    MsecLabel = MakeLabel(this, "MsecLabel", "msec", {ux, y, 40, 26});
    row();
    MakeLabel(this, "OutPolarLabel", "Polarity", {lx, y, 124, 26});
    OutPolarCombo = MakeCombo(this, "OutPolarCombo", "N.O.,N.C.", {cx, y, 100, 26});

    // The analog output.
    const int ax = 404, acx = 490;
    y = 74;
    MakeLabel(this, "AnalogLabel", "Analog", {ax, y, 90, 26});
    Displ4Label = MakeLabel(this, "Displ4Label", "", {acx, y, 110, 26});
    Displ4Label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    UnitALabel = MakeLabel(this, "UnitALabel", "mm", {acx + 116, y, 50, 26});
    row();
    // The current's box is narrower than the value's above it, so that
    // "mA(estimated)" fits beside it on one line.
    DisplALabel = MakeLabel(this, "DisplALabel", "", {acx, y, 80, 26});
    DisplALabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    mALabel = MakeLabel(this, "mALabel", "mA", {acx + 86, y, 50, 26});
    UnitMALabel =
        MakeLabel(this, "UnitMALabel", "mA(estimated)", {acx + 86, y, 680 - acx - 88, 26});
    for (QLabel* l : {Displ4Label, DisplALabel})
        l->setStyleSheet("background: white; border: 1px solid gray;");
    row();
    MakeLabel(this, "AnaTargetLabel", "Target", {ax, y, 90, 26});
    AnaTarget1Combo = MakeCombo(this, "AnaTarget1Combo", "", {acx, y, 162, 26});
    row();
    MakeLabel(this, "Ana20mALabel", "20mA", {ax, y, 90, 26});
    Ana20mAEdit = MakeEdit(this, "Ana20mAEdit", {acx, y, 76, 26});
    UnitAULabel = MakeLabel(this, "UnitAULabel", "mm", {acx + 80, y, 28, 26});
    To20mAButton = MakeButton(this, "To20mAButton", "Current Displ.", {acx + 110, y, 70, 26});
    row();
    MakeLabel(this, "Ana4mALabel", "4mA", {ax, y, 90, 26});
    Ana4mAEdit = MakeEdit(this, "Ana4mAEdit", {acx, y, 76, 26});
    UnitALLabel = MakeLabel(this, "UnitALLabel", "mm", {acx + 80, y, 28, 26});
    To4mAButton = MakeButton(this, "To4mAButton", "Current Displ.", {acx + 110, y, 70, 26});
    row();
    row();
    SendButton = MakeButton(this, "CommSendButton", "Send Bank", {ax, y, 254, 28});
    row();
    for (int k = 0; k < 3; ++k) {
        ZeroSetButton[k] = new QToolButton(this);
        ZeroSetButton[k]->setObjectName(("ZeroSetButton" + std::to_string(k + 1)).c_str());
        ZeroSetButton[k]->setGeometry(ax + 86 * k, y, 82, 28);
    }

    // Handlers: while the page fills itself they do nothing.
    connect(OutTarget1Combo, &QComboBox::activated, this, [this](int i) {
        Guarded([this, i] {
            ChooseList(OutTarget1Combo, selectedOut_, "Ch", i);
            ShowParams();
            if (RefreshMeasure) RefreshMeasure();
        });
    });
    connect(AnaTarget1Combo, &QComboBox::activated, this, [this](int i) {
        Guarded([this, i] {
            ChooseList(AnaTarget1Combo, 3, "Ch", i);
            ShowParams();
            if (RefreshMeasure) RefreshMeasure();
        });
    });
    connect(OutActCombo, &QComboBox::activated, this, [this](int i) {
        Guarded([this, i] {
            ChooseList(OutActCombo, selectedOut_, "Action", i);
            UpdateTimeVisibility(i);
            if (RefreshMeasure) RefreshMeasure();
        });
    });
    connect(OutPolarCombo, &QComboBox::activated, this, [this](int i) {
        Guarded([this, i] { ChooseList(OutPolarCombo, selectedOut_, "Polar", i); });
    });
    connect(HysteresisCombo, &QComboBox::activated, this, [this](int i) {
        Guarded([this, i] { ChooseList(HysteresisCombo, selectedOut_, "Hys", i); });
    });
    connect(OffsetEdit, &QLineEdit::textChanged, this,
            [this] { Guarded([this] { OffsetChanged(); }); });
    connect(HiLimitEdit, &QLineEdit::textChanged, this,
            [this] { Guarded([this] { LimitChanged(HiLimitEdit, selectedOut_, "ULimit"); }); });
    connect(LoLimitEdit, &QLineEdit::textChanged, this,
            [this] { Guarded([this] { LimitChanged(LoLimitEdit, selectedOut_, "LLimit"); }); });
    connect(Ana20mAEdit, &QLineEdit::textChanged, this,
            [this] { Guarded([this] { LimitChanged(Ana20mAEdit, 3, "ULimit"); }); });
    connect(Ana4mAEdit, &QLineEdit::textChanged, this,
            [this] { Guarded([this] { LimitChanged(Ana4mAEdit, 3, "LLimit"); }); });
    connect(OutputTimeEdit, &QLineEdit::textChanged, this,
            [this] { Guarded([this] { TimeChanged(); }); });
    connect(ToUpperButton, &QPushButton::clicked, this,
            [this] { Guarded([this] { ToLimitClick(true); }); });
    connect(ToLowerButton, &QPushButton::clicked, this,
            [this] { Guarded([this] { ToLimitClick(false); }); });
    connect(To20mAButton, &QPushButton::clicked, this,
            [this] { Guarded([this] { ToAnalogClick(true); }); });
    connect(To4mAButton, &QPushButton::clicked, this,
            [this] { Guarded([this] { ToAnalogClick(false); }); });
    connect(SendButton, &QPushButton::clicked, this,
            [this] { ctx_.Services.TriggerAction("CommSendBank"); });

    Timer1.setInterval(100);
    connect(&Timer1, &QTimer::timeout, this, [this] { Guarded([this] { Timer1Timer(); }); });
    ColourShapes();
}

void TPOutput::Guarded(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        ctx_.Services.HandleException(e);
    }
}

std::string TPOutput::Key(std::string_view field) const {
    return OutputKey(selectedOut_, field);
}

std::string TPOutput::UnitOf(int channel) const {
    return OutputSourceText(channel, ModeTextsOf(ctx_), TContextKeys(ctx_)).Unit;
}

int TPOutput::OffsetOf(int channel) const {
    return channel >= 0 && channel <= 5 ? ctx_.GetBank(OffsetKeyOf(channel)) : 0;
}

bool TPOutput::eventFilter(QObject* o, QEvent* e) {
    if (e->type() == QEvent::MouseButtonPress) {
        const QVariant tag = o->property("tag");
        if (tag.isValid()) Guarded([this, tag] { SelectOutput(tag.toInt()); });
    }
    return QWidget::eventFilter(o, e);
}

void TPOutput::ColourShapes() {
    for (int k = 0; k < 3; ++k)
        OutputShape[k]->setStyleSheet(k == selectedOut_
                                          ? "background: aqua; border: 1px solid gray;"
                                          : "background: silver; border: 1px solid gray;");
}

void TPOutput::SelectOutput(int o) {
    if (o == selectedOut_ || o < 0 || o > 2) return;
    selectedOut_ = o;
    selectedCh_ = ctx_.GetBank(Key("Ch"));
    ColourShapes();
    ShowParams();
    WriteLog(kLogPlain, "set curr OUTPUT%d", o);
}

void TPOutput::ChooseList(QComboBox* list, int o, const char* field, int index) {
    (void)list;
    if (updating_) return;
    const TSetting* row = FindSettingByKey(OutputKey(o, field));
    if (!row) return;
    ChooseSetting(*row, ctx_, index);
}

void TPOutput::UpdateTimeVisibility(int action) {
    const bool shown = OutputTimeShown(action);
    OutputTimeEdit->setVisible(shown);
    OutputTimeLabel->setVisible(shown);
    MsecLabel->setVisible(shown);
}

void TPOutput::ShowParams() {
    struct TUpdating {
        bool& f;
        bool before;
        ~TUpdating() { f = before; }
    } guard{updating_, updating_};
    updating_ = true;
    const uint16_t soft = ctx_.State.SensorVersion.Soft;
    const bool estimated = CurrentLabelEstimated(soft);
    UnitMALabel->setVisible(estimated);
    mALabel->setVisible(!estimated);
    // Channel lists: the base caption and the channel's source.
    const MeasModeTexts texts = ModeTextsOf(ctx_);
    const TContextKeys keys(ctx_);
    const std::vector<std::string> outNames =
        ctx_.Lists.OutTargetNames.size() >= 6
            ? ctx_.Lists.OutTargetNames
            : ParseCommaList("Area1,Area2,Area3,Area4,Calc1,Calc2");
    std::vector<std::string> anaNames = ParseCommaList(
        ctx_.Translate("AnaTargetCombo.Items", "Area1,Area2,Area3,Area4,Calc1,Calc2"));
    if (anaNames.size() < 6) anaNames = outNames;
    auto fill = [&](QComboBox* combo, const std::vector<std::string>& names) {
        QSignalBlocker block(combo);
        while (combo->count() < 6) combo->addItem("");
        for (int i = 0; i < 6; ++i)
            combo->setItemText(i, Qs(names[static_cast<size_t>(i)] + SourceText(i, texts, keys)));
    };
    fill(OutTarget1Combo, outNames);
    fill(AnaTarget1Combo, anaNames);
    selectedCh_ = ctx_.GetBank(Key("Ch"));
    const int anaCh = ctx_.GetBank("Ana.Ch");
    {
        QSignalBlocker a(OutTarget1Combo), b(AnaTarget1Combo);
        OutTarget1Combo->setCurrentIndex(selectedCh_ <= 5 ? selectedCh_ : -1);
        AnaTarget1Combo->setCurrentIndex(anaCh <= 5 ? anaCh : -1);
    }
    const QString unit = Qs(UnitOf(selectedCh_));
    for (QLabel* l : {UnitOLabel, UnitULabel, UnitLLabel}) l->setText(unit);
    const QString aUnit = Qs(UnitOf(anaCh));
    for (QLabel* l : {UnitALabel, UnitAULabel, UnitALLabel}) l->setText(aUnit);
    for (int k = 0; k < 3; ++k) UnitLabel[k]->setText(Qs(UnitOf(ctx_.GetBank(OutputKey(k, "Ch")))));

    offsetVal_ = OffsetOf(selectedCh_);
    OffsetEdit->setText(Qs(FormatValue(offsetVal_, std::min(ctx_.Display.DisplDecimal, 2),
                                       UnitULabel->text().toStdString())));
    SetEditValid(OffsetEdit, true);
    RefreshLimits();

    const int action = ctx_.GetBank(Key("Action"));
    {
        QSignalBlocker a(OutActCombo), b(OutPolarCombo);
        OutActCombo->setCurrentIndex(action < OutActCombo->count() ? action : -1);
        OutPolarCombo->setCurrentIndex(ctx_.GetBank(Key("Polar")));
    }
    OutputTimeEdit->setText(QString::number(ctx_.GetBank(Key("Time")) * 0.1, 'f', 1));
    SetEditValid(OutputTimeEdit, ParseOutputTime(OutputTimeEdit->text().toStdString()).has_value());
    UpdateTimeVisibility(action);

    QSignalBlocker h(HysteresisCombo);
    HysteresisCombo->clear();
    for (int v : HysteresisValues(soft))
        HysteresisCombo->addItem(Qs(HysteresisText(v, ctx_.Display.DisplUnit)));
    HysteresisCombo->setCurrentIndex(ctx_.GetBank(Key("Hys")));
}

void TPOutput::RefreshLimits() {
    struct TUpdating {
        bool& f;
        bool before;
        ~TUpdating() { f = before; }
    } guard{updating_, updating_};
    updating_ = true;
    selectedCh_ = ctx_.GetBank(Key("Ch"));
    offsetVal_ = OffsetOf(selectedCh_);
    const int u = ctx_.GetBank(Key("ULimit")), l = ctx_.GetBank(Key("LLimit"));
    const int dec = ctx_.Display.DisplDecimal;
    const std::string unit = UnitULabel->text().toStdString();
    const int id = FindSettingByKey(Key("ULimit"))->KeyId;
    const double lo = ctx_.Image.GetBankMin(id), hi = ctx_.Image.GetBankMax(id);
    HiLimitEdit->setText(Qs(FormatValue(int64_t{u} + offsetVal_, dec, unit)));
    SetEditValid(HiLimitEdit, lo <= u && u <= hi && l < u);
    LoLimitEdit->setText(Qs(FormatValue(int64_t{l} + offsetVal_, dec, unit)));
    SetEditValid(LoLimitEdit, lo <= l && l <= hi && u > l);
    const int a = OffsetOf(ctx_.GetBank("Ana.Ch"));
    const int au = ctx_.GetBank("Ana.ULimit"), al = ctx_.GetBank("Ana.LLimit");
    Ana20mAEdit->setText(Qs(FormatValue(int64_t{au} + a, dec, UnitAULabel->text().toStdString())));
    Ana4mAEdit->setText(Qs(FormatValue(int64_t{al} + a, dec, UnitALLabel->text().toStdString())));
    SetEditValid(Ana20mAEdit, au >= al);
    SetEditValid(Ana4mAEdit, au >= al);
    const QString hint = Qs(LimitHint(lo, hi, offsetVal_));
    HiLimitEdit->setToolTip(hint);
    LoLimitEdit->setToolTip(hint);
}

void TPOutput::LimitChanged(QLineEdit* edit, int o, const char* field) {
    if (updating_) return;
    // The row converts the text as the page shows it: in the channel's unit,
    // the channel's offset taken off.
    const TSetting* row = FindSettingByKey(OutputKey(o, field));
    SetEditValid(edit, EnterSettingText(*row, ctx_, edit->text().toStdString()).Valid());
}

void TPOutput::OffsetChanged() {
    if (updating_) return;
    // The offset goes out with the selected output's number.
    TSetting row = *FindSettingByKey(OffsetKeyOf(selectedCh_));
    row.Number = selectedOut_;
    row.NumberOf = nullptr;
    row.Check = nullptr;
    const TSettingOutcome r = EnterSettingText(row, ctx_, OffsetEdit->text().toStdString());
    SetEditValid(OffsetEdit, r.Valid());
    if (r.Result == TSettingOutcome::Stored) RefreshLimits();
}

void TPOutput::TimeChanged() {
    if (updating_) return;
    const TSettingOutcome r = EnterSettingText(*FindSettingByKey(Key("Time")), ctx_,
                                               OutputTimeEdit->text().toStdString());
    SetEditValid(OutputTimeEdit, r.Valid());
}

void TPOutput::ToLimitClick(bool upper) {
    const int32_t v = ctx_.Live.Outputs[static_cast<size_t>(selectedOut_)];
    if (v == kNoValue) return;
    QLineEdit* edit = upper ? HiLimitEdit : LoLimitEdit;
    QLabel* unit = upper ? UnitULabel : UnitLLabel;
    edit->setText(Qs(FormatValue(v, ctx_.Display.DisplDecimal, unit->text().toStdString())));
}

void TPOutput::ToAnalogClick(bool upper) {
    const int anaCh = ctx_.GetBank("Ana.Ch");
    int32_t v = kNoValue;
    if (AnalogTeachFromChannel(ctx_.State.SensorVersion.Soft))
        v = anaCh >= 0 && anaCh <= 5 ? ctx_.Live.Channels[static_cast<size_t>(anaCh)] : kNoValue;
    else
        v = ctx_.Live.Outputs[3];
    if (v == kNoValue) return;
    QLineEdit* edit = upper ? Ana20mAEdit : Ana4mAEdit;
    QLabel* unit = upper ? UnitAULabel : UnitALLabel;
    edit->setText(Qs(FormatValue(v, ctx_.Display.DisplDecimal, unit->text().toStdString())));
}

void TPOutput::Timer1Timer() {
    if (ctx_.State.CurrentPage != kPageOutput || !isVisible()) return;
    const int dec = ctx_.Display.DisplDecimal;
    for (int k = 0; k < 3; ++k) {
        int32_t v = ctx_.Live.Outputs[static_cast<size_t>(k)];
        if (OutputValueHidden(ctx_.GetBank(OutputKey(k, "Action")))) v = kNoValue;
        const QString text = Qs(FormatValue(v, dec, UnitLabel[k]->text().toStdString()));
        if (DisplLabel[k]->text() != text) DisplLabel[k]->setText(text);
    }
    const uint16_t soft = ctx_.State.SensorVersion.Soft;
    const int anaCh = ctx_.GetBank("Ana.Ch");
    int32_t shown = kNoValue;
    int32_t current = 24000;
    if (AnalogCurrentMeasured(soft)) {
        current = ctx_.Live.AnalogCurrent;
        shown = ctx_.Live.Outputs[3];
    } else {
        shown =
            anaCh >= 0 && anaCh <= 5 ? ctx_.Live.Channels[static_cast<size_t>(anaCh)] : kNoValue;
        // The analog output's own channel offset, as its 20 mA / 4 mA edits show it.
        const int a = OffsetOf(anaCh);
        current = EstimatedCurrent(shown, int64_t{ctx_.GetBank("Ana.ULimit")} + a,
                                   int64_t{ctx_.GetBank("Ana.LLimit")} + a);
    }
    const QString ma = QString::number(current * 0.001, 'f', 3);
    if (DisplALabel->text() != ma) DisplALabel->setText(ma);
    const QString v = Qs(FormatValue(shown, dec, UnitALabel->text().toStdString()));
    if (Displ4Label->text() != v) Displ4Label->setText(v);
}

void TPOutput::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    ctx_.Services.UpdateActions();
    Timer1.start();
    Guarded([this] { Timer1Timer(); });
}

void TPOutput::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    Timer1.stop();
}

}  // namespace kd
