#include "pages/ui/tp_operation.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
#include <cmath>

#include "common/kest_error.h"
#include "common/log.h"
#include "measure/measure_access.h"
#include "measure/measure_model.h"
#include "measure/ui/chart_frame.h"
#include "measure/ui/colors.h"
#include "measure/value_text.h"
#include "pages/area_settings.h"
#include "pages/ui/page_widgets.h"
#include "pages/ui/setting_controls.h"

namespace kd {

namespace {
constexpr const char* kCheckNames[6][2] = {
    {"Area1Check", "Area1Label"}, {"Area2Check", "Area2Label"}, {"Area3Check", "Area3Label"},
    {"Area4Check", "Area4Label"}, {"Ope1Check", "Ope1Label"},   {"Ope2Check", "Ope2Label"}};
constexpr const char* kCheckCaptions[6] = {"Area1", "Area2", "Area3", "Area4", "Calc1", "Calc2"};
}  // namespace

TPOperation::TPOperation(TPageContext& ctx, TChartData* chart, QWidget* parent)
    : QWidget(parent), ctx_(ctx) {
    setObjectName("POperation");
    resize(680, 390);

    TRowLayout rows(this, 14, 36, 70, 150);
    rows.Label("AdjTargetLabel", "Target");
    AdjTargetCombo = rows.Combo("AdjTargetCombo", "Area1,Area2,Area3,Area4,Calc1,Calc2");
    AdjTargetCombo->setFixedWidth(150);
    rows.Next();
    // The calculation's operands on the row of the averaging count.
    CalcTarget1Combo = new QComboBox(this);
    CalcTarget1Combo->setObjectName("CalcTarget1Combo");
    CalcTarget1Combo->addItems({"Area1", "Area2", "Area3", "Area4", ""});
    OperatorCombo = new QComboBox(this);
    OperatorCombo->setObjectName("OperatorCombo");
    OperatorCombo->addItems({"+", "-"});
    CalcTarget2Combo = new QComboBox(this);
    CalcTarget2Combo->setObjectName("CalcTarget2Combo");
    CalcTarget2Combo->addItems({"Area1", "Area2", "Area3", "Area4"});
    CalcTarget1Combo->setGeometry(12, rows.Y(), 112, 26);
    OperatorCombo->setGeometry(128, rows.Y(), 44, 26);
    CalcTarget2Combo->setGeometry(176, rows.Y(), 112, 26);
    AverageLabel = rows.Label("AverageLabel", "Ave");
    AverageEdit = rows.Edit("AverageEdit", "1 ... 1023");
    AverageTimesLabel = rows.Unit("AverageTimesLabel", "times");
    rows.Next();
    rows.Label("HoldLabel", "Hold");
    HoldCombo = rows.Combo("HoldCombo", "None,Sample,Peak,Bottom");
    rows.Next();
    rows.Label("SpanLabel", "Span");
    SpanEdit = rows.Edit("SpanEdit", "x0.001 ... 1.999");
    rows.Next();
    AreaLabel = new QLabel("Area", this);
    AreaLabel->setObjectName("AreaLabel");
    AreaLabel->hide();

    // The live value of the chosen channel.
    auto* valueBox = new QFrame(this);
    valueBox->setObjectName("ValuePanel");
    valueBox->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    valueBox->setGeometry(12, rows.Y() + 6, 290, 56);
    valueBox->setStyleSheet("QFrame#ValuePanel { background: black; }");
    DisplLabel = new QLabel("-.---", valueBox);
    DisplLabel->setObjectName("DisplLabel");
    DisplLabel->setGeometry(6, 4, 210, 48);
    DisplLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QFont f = DisplLabel->font();
    f.setPointSize(f.pointSize() + 10);
    f.setBold(true);
    DisplLabel->setFont(f);
    DisplLabel->setStyleSheet("color: #00FF00;");
    UnitOLabel = new QLabel("mm", valueBox);
    UnitOLabel->setObjectName("UnitOLabel");
    UnitOLabel->setGeometry(222, 4, 64, 48);
    UnitOLabel->setStyleSheet("color: #00FF00;");

    // The chart and its channels.
    ChartFrame1 = new TChartFrame(this);
    ChartFrame1->setObjectName("ChartFrame1");
    ChartFrame1->setGeometry(312, 8, 360, 300);
    ChartFrame1->Data = chart;
    ChartColors cc;
    cc.Background = ctx_.Colors.chart_bg_color;
    cc.Grid = ctx_.Colors.chart_grid_color;
    cc.Lines = ctx_.Colors.chart_line_color;
    ChartFrame1->SetColors(cc);
    auto* chartLabel = new QLabel("Chart", this);
    chartLabel->setObjectName("ChartDispLabel");
    chartLabel->setGeometry(312, 314, 80, 22);
    for (int ch = 0; ch < 6; ++ch) {
        const int x = 312 + 120 * (ch % 3), y = 336 + 26 * (ch / 3);
        auto* swatch = new QFrame(this);
        swatch->setObjectName(QString("Shape%1").arg(ch + 1));
        swatch->setGeometry(x, y + 4, 14, 14);
        swatch->setStyleSheet(
            QString("QFrame { background: %1; border: 1px solid gray; }")
                .arg(ColorRef(ctx_.Colors.area_sel_color[static_cast<size_t>(ch)]).name()));
        auto* box = new QCheckBox(this);
        box->setObjectName(kCheckNames[ch][0]);
        box->setProperty("tag", ch);
        box->setGeometry(x + 18, y, 22, 22);
        auto* label = new QLabel(kCheckCaptions[ch], this);
        label->setObjectName(kCheckNames[ch][1]);
        label->setGeometry(x + 40, y, 76, 22);
        ChannelCheck[static_cast<size_t>(ch)] = box;
        connect(box, &QCheckBox::toggled, this, [this, ch](bool on) {
            // AreaCheckClick: the chart draws the channel or leaves it out.
            if (on)
                ChartFrame1->ChMask |= 1u << ch;
            else
                ChartFrame1->ChMask &= ~(1u << ch);
            ChartFrame1->Refresh();
        });
    }

    // Handlers.
    connect(AdjTargetCombo, &QComboBox::activated, this,
            [this](int i) { Guarded([this, i] { SelectTarget(i); }); });
    connect(AverageEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        Guarded([this, text] {
            if (loading_ || target_ > 3) return;
            SetEditValid(AverageEdit,
                         EditSetting(Row("AverageEdit"), ctx_, text.toStdString()).Valid());
        });
    });
    connect(SpanEdit, &QLineEdit::textChanged, this,
            [this](const QString& text) { Guarded([this, text] { SpanEditChange(text); }); });
    connect(HoldCombo, &QComboBox::activated, this,
            [this](int i) { Guarded([this, i] { ChooseSetting(Row("HoldCombo"), ctx_, i); }); });
    connect(CalcTarget1Combo, &QComboBox::activated, this,
            [this](int i) { Guarded([this, i] { CalcChanged("CalcTarget1Combo", i); }); });
    connect(OperatorCombo, &QComboBox::activated, this,
            [this](int i) { Guarded([this, i] { CalcChanged("OperatorCombo", i); }); });
    connect(CalcTarget2Combo, &QComboBox::activated, this,
            [this](int i) { Guarded([this, i] { CalcChanged("CalcTarget2Combo", i); }); });

    MeasTimer.setInterval(100);
    connect(&MeasTimer, &QTimer::timeout, this, [this] { Guarded([this] { MeasTimerTimer(); }); });
    MeasTimer.start();
}

void TPOperation::Guarded(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        ctx_.Services.HandleException(e);
    }
}

const TSetting& TPOperation::Row(const char* control) const {
    const std::string name = Format("%s#%d", control, target_);
    const TSetting* s = FindSettingByControl(name);
    if (!s) throw EKestError("no setting for " + name);
    return *s;
}

int TPOperation::OperandArea() const {
    if (target_ <= 3) return target_;
    return ctx_.GetBank(target_ == 4 ? "Op1.A" : "Op2.A");
}

void TPOperation::UpdateUnit() {
    const MeasModeTexts texts = ModeTextsOf(ctx_);
    const TContextKeys keys(ctx_);
    UnitOLabel->setText(QString::fromStdString(ModeUnit(AreaMode(OperandArea(), keys), texts)));
}

void TPOperation::SelectTarget(int ch) {
    if (ch < 0 || ch > 5 || ch == target_) return;
    target_ = ch;
    AdjTargetCombo->setCurrentIndex(ch);
    ShowParams();
}

void TPOperation::CalcTarget1ComboDropDown() {
    const QStringList names = AreaFunctionNames ? AreaFunctionNames() : QStringList{};
    for (QComboBox* list : {CalcTarget1Combo, CalcTarget2Combo}) {
        QSignalBlocker b(list);
        for (int i = 0; i < 4 && i < list->count(); ++i) {
            const int f = ctx_.GetBank(AreaKey(i, "Func"));
            const QString what = f >= 0 && f < names.size() ? names[f] : QString("mode%1").arg(f);
            list->setItemText(i, QString("%1%2:%3").arg(AreaLabel->text()).arg(i + 1).arg(what));
        }
    }
}

void TPOperation::ShowParams() {
    loading_ = true;
    struct TDone {
        bool& F;
        ~TDone() { F = false; }
    } done{loading_};
    const MeasModeTexts texts = ModeTextsOf(ctx_);
    const TContextKeys keys(ctx_);
    {
        QSignalBlocker b(AdjTargetCombo);
        static const char* const kDefaults[4] = {"Area1", "Area2", "Area3", "Area4"};
        for (int i = 0; i < 4 && i < AdjTargetCombo->count(); ++i) {
            // The caption without a suffix of an earlier refresh.
            QString base = AdjTargetCombo->itemData(i).toString();
            if (base.isEmpty()) {
                base = AdjTargetCombo->itemText(i);
                if (base.isEmpty()) base = kDefaults[i];
                AdjTargetCombo->setItemData(i, base);
            }
            AdjTargetCombo->setItemText(i,
                                        base + QString::fromStdString(SourceText(i, texts, keys)));
        }
        AdjTargetCombo->setCurrentIndex(target_);
    }
    UpdateUnit();
    const bool calc = target_ >= 4;
    for (QWidget* w :
         std::initializer_list<QWidget*>{CalcTarget1Combo, OperatorCombo, CalcTarget2Combo})
        w->setVisible(calc);
    for (QWidget* w : std::initializer_list<QWidget*>{AverageEdit, AverageLabel, AverageTimesLabel})
        w->setVisible(!calc);
    auto setList = [this](QComboBox* list, const char* control) {
        QSignalBlocker b(list);
        const std::optional<int> v = ShownValue(Row(control), ctx_);
        list->setCurrentIndex(v && *v < list->count() ? *v : -1);
    };
    if (calc) {
        setList(OperatorCombo, "OperatorCombo");
        setList(CalcTarget1Combo, "CalcTarget1Combo");
        setList(CalcTarget2Combo, "CalcTarget2Combo");
    } else {
        AverageEdit->setText(QString::number(ctx_.GetBank(AreaKey(target_, "Ave"))));
        SetEditValid(AverageEdit, true);
    }
    const int span = StoredValue(Row("SpanEdit"), ctx_);
    SpanEdit->setText(QString::number(span * 0.001, 'f', 3));
    SetEditValid(SpanEdit, true);
    setList(HoldCombo, "HoldCombo");
    CalcTarget1ComboDropDown();
}

void TPOperation::CalcChanged(const char* control, int index) {
    if (target_ < 4) return;
    if (std::string_view(control) == "CalcTarget1Combo" && index > 3) return;  // the empty item
    const TSettingOutcome o = ChooseSetting(Row(control), ctx_, index);
    if (!o.Valid()) return;
    UpdateUnit();
    if (OnCalcChanged) OnCalcChanged();
    ShowParams();
}

void TPOperation::SpanEditChange(const QString& text) {
    if (loading_) return;
    bool ok = false;
    double number = QLocale().toDouble(text, &ok);
    if (!ok) number = text.toDouble(&ok);
    if (!ok || !std::isfinite(number) || std::fabs(number) > 1e6) {
        SetEditValid(SpanEdit, false);
        return;
    }
    const int raw = static_cast<int>(std::trunc(number * 1000 + 0.5));
    SetEditValid(SpanEdit, EditSettingValue(Row("SpanEdit"), ctx_, raw).Valid());
}

void TPOperation::MeasTimerTimer() {
    if (ctx_.State.CurrentPage != kPageOperation || !isVisible()) return;
    const int32_t v = ctx_.Live.Channels[static_cast<size_t>(target_)];
    DisplLabel->setText(QString::fromStdString(
        FormatValue(v, ctx_.Display.DisplDecimal, UnitOLabel->text().toStdString())));
    for (QCheckBox* b : ChannelCheck) b->update();
}

void TPOperation::SetChartMask(uint32_t mask) {
    ChartFrame1->ChMask = mask & 0x3F;
    for (int ch = 0; ch < 6; ++ch) {
        QSignalBlocker b(ChannelCheck[static_cast<size_t>(ch)]);
        ChannelCheck[static_cast<size_t>(ch)]->setChecked((mask >> ch) & 1u);
    }
    ChartFrame1->Refresh();
}

uint32_t TPOperation::ChartMask() const {
    return ChartFrame1->ChMask;
}

void TPOperation::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    SetChartMask(ChartFrame1->ChMask);
    Guarded([this] { ShowParams(); });
}

}  // namespace kd
