#include "compare/compare_rows.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/kest_error.h"
#include "measure/value_text.h"
#include "shell/mirel_lang.h"

namespace kd {

namespace {

// Rows in display order. Key names are resolved once; "#21" names the
// three-state storage repeat key, which shares its name with the older form.
std::array<TCompareRow, kCompareRowCount> BuildRows() {
    std::array<TCompareRow, kCompareRowCount> rows{{
        {"INPUT1", "InputGroup", 0, "IN1Label", "In1Combo.Items", 0, TCompareMap::None, 0},
        {"INPUT2", "InputGroup", 0, "IN2Label", "In2Combo.Items", 0, TCompareMap::None, 0},
        {"INPUT3", "InputGroup", 0, "IN3Label", "In3Combo.Items", 0, TCompareMap::None, 0},
        {"InputsPolar", "InputGroup", 0, "ExtPolarLabel", "N.O.,N.C.,unknown", 0,
         TCompareMap::Polarity, 0},
        {"InputFilter", "InputGroup", 0, "TrigFilterLabel", nullptr, 8, TCompareMap::None, 0},
        {"INPUT4", "InputGroup", 0, "IN4Label", "In4Combo.Items", 0, TCompareMap::None, 0},
        {"ZeroTarget", "InputGroup", 0, "ZeroTargetLabel", "ZeroTargetCombo.Items", 0,
         TCompareMap::None, 0},
        {"TrigAction", "Trigger", 0, "TrigModeLabel", "TrigModeCombo.Items", 0,
         TCompareMap::Trigger, 0},
        {"TrigCount", "Trigger", 0, "TrigCountLabel", nullptr, 0, TCompareMap::None, 0},
        {"TrigDelay", "Trigger", 0, "TrigDelayLabel", nullptr, 8, TCompareMap::None, 0},
        {"CamLeft", "CamButton", 0, "cam_left", nullptr, 0, TCompareMap::None, 0},
        {"CamTop", "CamButton", 0, "cam_top", nullptr, 0, TCompareMap::None, 0},
        {"CamWidth", "CamButton", 0, "cam_width", nullptr, 0, TCompareMap::None, 0},
        {"CamHeight", "CamButton", 0, "cam_height", nullptr, 0, TCompareMap::None, 0},
        {"CamModeNR", "CamButton", 0, "CameraModeLabel", "CameraModeCombo.Items", 0,
         TCompareMap::Camera, 0},
        {"Gain", "CamButton", 0, "GainLabel",
         "1.00,1.14,1.33,1.60,2.00,2.29,2.67,3.20,4.00,5.33,8.00", 1, TCompareMap::None, 0},
        {"Shutter", "CamButton", 0, "ShutterLabel", nullptr, 8, TCompareMap::None, 0},
        {"HDRShutter", "CamButton", 0, "HDRShutterLabel", nullptr, 8, TCompareMap::None, 0},
        {"MeasureLimit", "CamButton", 0, "ThresholdLabel", nullptr, 0, TCompareMap::None, 0},
        {"LowIntensity", "CamButton", 0, "RejectLevelLabel", nullptr, 10, TCompareMap::None, 0},
        {"Extract", "ProfButton", 0, "ModeLabel", "ModeCombo.Items", 0, TCompareMap::Extract, 0},
        {"AlarmLimit", "ProfButton", 0, "AlmCountLabel", "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,HOLD",
         1, TCompareMap::None, 0},
        {"Smoothing", "ProfButton", 0, "SmoothLabel", "1,2,4,8,16,32,64,128", 1, TCompareMap::None,
         0},
        {"HCorrect", "ProfButton", 0, "HOffsetButton", nullptr, 2, TCompareMap::None, 0},
        {"VCorrect", "ProfButton", 0, "VOffsetButton", nullptr, 2, TCompareMap::None, 0},
        {"CorrectMethod", "ProfButton", 0, "OffsetFlowLabel", "OffsetFlowCombo.Items", 0,
         TCompareMap::None, 0},
        {"TiltCorrect", "ProfButton", 0, "TiltCorrectLabel", "OFF,ON", 0, TCompareMap::None, 0},
        {"TiltCorPos", "ProfButton", 0, "TiltOffsetButton", nullptr, 2, TCompareMap::None, 0},
        {"A1.Func", "Area1Label", 0, "MeasModeLabel", "MeasModeCombo.Items", 0, TCompareMap::None,
         0},
        {"A1.Infl", "Area1Label", 0, "InflectLabel", nullptr, 0, TCompareMap::None, 0},
        {"A1.Dir", "Area1Label", 0, "AreaDirLabel", "AreaDirCombo.Items", 0, TCompareMap::None, 0},
        {"A1.SDR", "Area1Label", 0, "PosDirLabel", "PosDirCombo.Items", 0, TCompareMap::None, 0},
        {"A1.Left", "Area1Label", 0, "LeftLabel", nullptr, 2, TCompareMap::None, 0},
        {"A1.Top", "Area1Label", 0, "TopLabel", nullptr, 2, TCompareMap::None, 0},
        {"A1.Right", "Area1Label", 0, "RightLabel", nullptr, 2, TCompareMap::None, 0},
        {"A1.Bottom", "Area1Label", 0, "BottomLabel", nullptr, 2, TCompareMap::None, 0},
        {"A1.Cmp", "Area1Label", 0, "OrgOffsetLabel", "OrgOffsetCombo.Items", 0, TCompareMap::None,
         0},
        {"A1.Ave", "Area1Label", 0, "AverageLabel", nullptr, 0, TCompareMap::None, 0},
        {"A1.Hold", "Area1Label", 0, "HoldLabel", "HoldCombo.Items", 0, TCompareMap::None, 0},
        {"C1.Span", "Area1Label", 0, "SpanLabel", nullptr, 11, TCompareMap::None, 0},
        {"A2.Func", "Area2Label", 1, "MeasModeLabel", "MeasModeCombo.Items", 0, TCompareMap::None,
         0},
        {"A2.Infl", "Area2Label", 1, "InflectLabel", nullptr, 0, TCompareMap::None, 0},
        {"A2.Dir", "Area2Label", 1, "AreaDirLabel", "AreaDirCombo.Items", 0, TCompareMap::None, 0},
        {"A2.SDR", "Area2Label", 1, "PosDirLabel", "PosDirCombo.Items", 0, TCompareMap::None, 0},
        {"A2.Left", "Area2Label", 1, "LeftLabel", nullptr, 2, TCompareMap::None, 0},
        {"A2.Top", "Area2Label", 1, "TopLabel", nullptr, 2, TCompareMap::None, 0},
        {"A2.Right", "Area2Label", 1, "RightLabel", nullptr, 2, TCompareMap::None, 0},
        {"A2.Bottom", "Area2Label", 1, "BottomLabel", nullptr, 2, TCompareMap::None, 0},
        {"A2.Cmp", "Area2Label", 1, "OrgOffsetLabel", "OrgOffsetCombo.Items", 0, TCompareMap::None,
         0},
        {"A2.Ave", "Area2Label", 1, "AverageLabel", nullptr, 0, TCompareMap::None, 0},
        {"A2.Hold", "Area2Label", 1, "HoldLabel", "HoldCombo.Items", 0, TCompareMap::None, 0},
        {"C2.Span", "Area2Label", 1, "SpanLabel", nullptr, 11, TCompareMap::None, 0},
        {"A3.Func", "Area3Label", 2, "MeasModeLabel", "MeasModeCombo.Items", 0, TCompareMap::None,
         0},
        {"A3.Infl", "Area3Label", 2, "InflectLabel", nullptr, 0, TCompareMap::None, 0},
        {"A3.Dir", "Area3Label", 2, "AreaDirLabel", "AreaDirCombo.Items", 0, TCompareMap::None, 0},
        {"A3.SDR", "Area3Label", 2, "PosDirLabel", "PosDirCombo.Items", 0, TCompareMap::None, 0},
        {"A3.Left", "Area3Label", 2, "LeftLabel", nullptr, 2, TCompareMap::None, 0},
        {"A3.Top", "Area3Label", 2, "TopLabel", nullptr, 2, TCompareMap::None, 0},
        {"A3.Right", "Area3Label", 2, "RightLabel", nullptr, 2, TCompareMap::None, 0},
        {"A3.Bottom", "Area3Label", 2, "BottomLabel", nullptr, 2, TCompareMap::None, 0},
        {"A3.Cmp", "Area3Label", 2, "OrgOffsetLabel", "OrgOffsetCombo.Items", 0, TCompareMap::None,
         0},
        {"A3.Ave", "Area3Label", 2, "AverageLabel", nullptr, 0, TCompareMap::None, 0},
        {"A3.Hold", "Area3Label", 2, "HoldLabel", "HoldCombo.Items", 0, TCompareMap::None, 0},
        {"C3.Span", "Area3Label", 2, "SpanLabel", nullptr, 11, TCompareMap::None, 0},
        {"A4.Func", "Area4Label", 3, "MeasModeLabel", "MeasModeCombo.Items", 0, TCompareMap::None,
         0},
        {"A4.Infl", "Area4Label", 3, "InflectLabel", nullptr, 0, TCompareMap::None, 0},
        {"A4.Dir", "Area4Label", 3, "AreaDirLabel", "AreaDirCombo.Items", 0, TCompareMap::None, 0},
        {"A4.SDR", "Area4Label", 3, "PosDirLabel", "PosDirCombo.Items", 0, TCompareMap::None, 0},
        {"A4.Left", "Area4Label", 3, "LeftLabel", nullptr, 2, TCompareMap::None, 0},
        {"A4.Top", "Area4Label", 3, "TopLabel", nullptr, 2, TCompareMap::None, 0},
        {"A4.Right", "Area4Label", 3, "RightLabel", nullptr, 2, TCompareMap::None, 0},
        {"A4.Bottom", "Area4Label", 3, "BottomLabel", nullptr, 2, TCompareMap::None, 0},
        {"A4.Cmp", "Area4Label", 3, "OrgOffsetLabel", "OrgOffsetCombo.Items", 0, TCompareMap::None,
         0},
        {"A4.Ave", "Area4Label", 3, "AverageLabel", nullptr, 0, TCompareMap::None, 0},
        {"A4.Hold", "Area4Label", 3, "HoldLabel", "HoldCombo.Items", 0, TCompareMap::None, 0},
        {"C4.Span", "Area4Label", 3, "SpanLabel", nullptr, 11, TCompareMap::None, 0},
        {"Op1.A", "Ope1Label", 4, "", "CalcTarget1Combo.Items", 0, TCompareMap::None, 0},
        {"Op1.Op", "Ope1Label", 4, "", "OperatorCombo.Items", 0, TCompareMap::None, 0},
        {"Op1.B", "Ope1Label", 4, "", "CalcTarget1Combo.Items", 0, TCompareMap::None, 0},
        {"Op1.Hold", "Ope1Label", 4, "HoldLabel", "HoldCombo.Items", 0, TCompareMap::None, 0},
        {"C5.Span", "Ope1Label", 4, "SpanLabel", nullptr, 11, TCompareMap::None, 0},
        {"Op2.A", "Ope2Label", 5, "", "CalcTarget1Combo.Items", 0, TCompareMap::None, 0},
        {"Op2.Op", "Ope2Label", 5, "", "OperatorCombo.Items", 0, TCompareMap::None, 0},
        {"Op2.B", "Ope2Label", 5, "", "CalcTarget1Combo.Items", 0, TCompareMap::None, 0},
        {"Op2.Hold", "Ope2Label", 5, "HoldLabel", "HoldCombo.Items", 0, TCompareMap::None, 0},
        {"C6.Span", "Ope2Label", 5, "SpanLabel", nullptr, 11, TCompareMap::None, 0},
        {"O1.Ch", "Output1Label", 0, "OutTargetLabel", "OutTargetCombo.Items", 0, TCompareMap::None,
         0},
        {nullptr, "Output1Label", 0, "OffsetLabel", nullptr, 6, TCompareMap::None, 0},
        {"O1.ULimit", "Output1Label", 0, "HiLimitLabel", nullptr, 5, TCompareMap::None, 0},
        {"O1.LLimit", "Output1Label", 0, "LoLimitLabel", nullptr, 5, TCompareMap::None, 0},
        {"O1.Hys", "Output1Label", 0, "HysteresisLabel",
         "0,4,8,16,32,50,75,100,150,200,300,500,750,1000,1500,2000", 7, TCompareMap::None, 0},
        {"O1.Action", "Output1Label", 0, "OutActLabel", "OutActCombo.Items", 0, TCompareMap::None,
         0},
        {"O1.Time", "Output1Label", 0, "OutputTimeLabel", nullptr, 9, TCompareMap::None, 0},
        {"O1.Polar", "Output1Label", 0, "OutPolarLabel", "N.O.,N.C.", 0, TCompareMap::None, 0},
        {"O2.Ch", "Output2Label", 1, "OutTargetLabel", "OutTargetCombo.Items", 0, TCompareMap::None,
         0},
        {nullptr, "Output2Label", 1, "OffsetLabel", nullptr, 6, TCompareMap::None, 0},
        {"O2.ULimit", "Output2Label", 1, "HiLimitLabel", nullptr, 5, TCompareMap::None, 0},
        {"O2.LLimit", "Output2Label", 1, "LoLimitLabel", nullptr, 5, TCompareMap::None, 0},
        {"O2.Hys", "Output2Label", 1, "HysteresisLabel",
         "0,4,8,16,32,50,75,100,150,200,300,500,750,1000,1500,2000", 7, TCompareMap::None, 0},
        {"O2.Action", "Output2Label", 1, "OutActLabel", "OutActCombo.Items", 0, TCompareMap::None,
         0},
        {"O2.Time", "Output2Label", 1, "OutputTimeLabel", nullptr, 9, TCompareMap::None, 0},
        {"O2.Polar", "Output2Label", 1, "OutPolarLabel", "N.O.,N.C.", 0, TCompareMap::None, 0},
        {"O3.Ch", "Output3Label", 2, "OutTargetLabel", "OutTargetCombo.Items", 0, TCompareMap::None,
         0},
        {nullptr, "Output3Label", 2, "OffsetLabel", nullptr, 6, TCompareMap::None, 0},
        {"O3.ULimit", "Output3Label", 2, "HiLimitLabel", nullptr, 5, TCompareMap::None, 0},
        {"O3.LLimit", "Output3Label", 2, "LoLimitLabel", nullptr, 5, TCompareMap::None, 0},
        {"O3.Hys", "Output3Label", 2, "HysteresisLabel",
         "0,4,8,16,32,50,75,100,150,200,300,500,750,1000,1500,2000", 7, TCompareMap::None, 0},
        {"O3.Action", "Output3Label", 2, "OutActLabel", "OutActCombo.Items", 0, TCompareMap::None,
         0},
        {"O3.Time", "Output3Label", 2, "OutputTimeLabel", nullptr, 9, TCompareMap::None, 0},
        {"O3.Polar", "Output3Label", 2, "OutPolarLabel", "N.O.,N.C.", 0, TCompareMap::None, 0},
        {"Ana.Ch", "AnalogOutLabel", 3, "AnaTargetLabel", "AnaTargetCombo.Items", 0,
         TCompareMap::None, 0},
        {"Ana.ULimit", "AnalogOutLabel", 3, "20mA", nullptr, 5, TCompareMap::None, 0},
        {"Ana.LLimit", "AnalogOutLabel", 3, "4mA", nullptr, 5, TCompareMap::None, 0},
        {"StrTgt", "StorageTitle", 0, "target", "none,\"Data Storage\",\"Profile Storage\"", 0,
         TCompareMap::None, 0},
        {"StrBuf", "StorageTitle", 0, "StrBufLabel", nullptr, 0, TCompareMap::None, 0},
        {"StrStt", "StorageTitle", 0, "StrSttLabel", "StrSttCombo.Items", 0, TCompareMap::None, 0},
        {"StrStl", "StorageTitle", 0, "StrStlLabel", nullptr, 0, TCompareMap::None, 0},
        {"StrStc", "StorageTitle", 0, "StrStcLabel", "StrStcCombo.Items", 0, TCompareMap::None, 0},
        {"StrThd", "StorageTitle", 0, "StrThdLabel", nullptr, 3, TCompareMap::None, 0},
        {"StrSmp", "StorageTitle", 0, "StrSmpLabel", nullptr, 0, TCompareMap::None, 0},
        {"#21", "StorageTitle", 0, "StrRptLabel", "ON,OFF,Pause", 0, TCompareMap::None, 0},
        {"BankSwitch", "PCSettTitle", 0, "BCHG_MTHLabel", "BCHG_MTHCombo.Items", 0,
         TCompareMap::None, 0},
        {"Bank", "PCSettTitle", 0, "BankLabel", "FromCombo.Items", 0, TCompareMap::None, 0},
        {"GpioOnT", "PCSettTitle", 0, "GPIO_ONTLabel", "GPIO_ONTCombo.Items", 0, TCompareMap::None,
         0},
        {"AxisDir", "PCSettTitle", 0, "SysDirLabel", "SysDirCombo.Items", 0, TCompareMap::None, 0},
    }};
    for (TCompareRow& row : rows) {
        if (!row.KeyName) continue;
        if (row.KeyName[0] == '#') {
            row.Key = std::atoi(row.KeyName + 1);
            continue;
        }
        auto ref = FindKeyByName(row.KeyName);
        if (!ref) throw EKestError(std::string("comparison row without key: ") + row.KeyName);
        row.Key = ref->Entry->Key;
    }
    return rows;
}

std::string Fixed(double value, int decimals, char separator) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    std::string s = buf;
    if (separator != '.')
        for (char& c : s)
            if (c == '.') c = separator;
    return s;
}

std::string WithUnit(std::string value, const std::string& unit) {
    return unit.empty() ? value : value + "\t" + unit;
}

std::string Tr(const TCompareTexts& texts, std::string_view name, std::string_view def) {
    return texts.Translate ? texts.Translate(name, def) : std::string(def);
}

std::string ToUpper(std::string_view s) {
    std::string u(s);
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

}  // namespace

const std::array<TCompareRow, kCompareRowCount>& CompareRows() {
    static const std::array<TCompareRow, kCompareRowCount> rows = BuildRows();
    return rows;
}

bool IsSysRow(const TCompareRow& row) {
    return row.Key >= 1 && row.Key <= 23;
}

int ShownOffsetKey(const TCompareRow& row, const TKestParam& sensor, int bank) {
    if (row.Kind != 5 && row.Kind != 6) return 0;
    const int ch = sensor.GetBank(bank, pk::OutCh(1) + row.Sub);
    return ch < 0 || ch > 5 ? 0 : pk::ChOffset(1) + ch;
}

TCompareRow OffsetRowOf(const TCompareRow& row) {
    for (const TCompareRow& r : CompareRows())
        if (r.Kind == 6 && r.Sub == row.Sub && std::string_view(r.Group) == row.Group) return r;
    return {nullptr, row.Group, row.Sub, "OffsetLabel", nullptr, 6, TCompareMap::None, 0};
}

int MapCompareValue(TCompareMap map, int v) {
    switch (map) {
        case TCompareMap::None:
            return v;
        case TCompareMap::Polarity:
            return (v & 0x55) == 0 ? 0 : (v & 0x55) == 0x55 ? 1 : 2;
        case TCompareMap::Trigger:
            return v == 3 ? 2 : v;
        case TCompareMap::Camera:
            if (v & 0x10) return 3;
            switch (v & 3) {
                case 0:
                    return 0;
                case 1:
                    return 2;
                case 2:
                    return 1;
                default:
                    return -1;
            }
        case TCompareMap::Extract:
            return v == 1 ? 2 : v == 2 ? 1 : 0;
    }
    return v;
}

std::string CompareCellText(const TCompareRow& row, const TKestParam* image,
                            const TKestParam* sensor, int bank, const TCompareTexts& texts) {
    if (!image || image->NotLoaded) return "";
    const TKestParam& chImage = sensor ? *sensor : *image;
    int v = 0;
    if (row.Key >= 24)
        v = image->GetBank(bank, row.Key);
    else if (row.Key >= 1)
        v = image->GetSysSigned(row.Key);  // the start position: -100, not 65436
    v = MapCompareValue(row.Map, v);

    std::vector<std::string> items;
    if (row.List) items = ParseCommaList(Tr(texts, row.List, row.List));
    const char sep = texts.DecimalSeparator;
    if (!items.empty() && v >= 0 && v < static_cast<int>(items.size())) {
        if (row.Kind != 7) return items[static_cast<size_t>(v)];
        const std::string unit = image->GetUnitStr(bank, row.Key);
        const int64_t um = std::atoll(items[static_cast<size_t>(v)].c_str());
        return WithUnit(FormatValue(um, texts.DisplDecimal, unit, sep), unit);
    }
    switch (row.Kind) {
        case 2: {
            std::string sign = v > 0 ? "+" : v < 0 ? "-" : "";
            const int64_t mag = std::llabs(static_cast<long long>(v));
            if (texts.DisplUnit == 1) return WithUnit(sign + std::to_string(mag), "um");
            return WithUnit(sign + Fixed(static_cast<double>(mag) * 0.001, 3, sep), "mm");
        }
        case 3: {
            const std::string unit = image->GetUnitStr(bank, row.Key);
            return WithUnit(FormatValue(v, texts.DisplDecimal, unit, sep), unit);
        }
        case 5:
        case 6: {
            const int offsetKey = ShownOffsetKey(row, chImage, bank);
            if (offsetKey == 0) return std::to_string(v);
            const int offset = image->GetBank(bank, offsetKey);
            const std::string unit = image->GetUnitStr(bank, offsetKey);
            const int decimals =
                row.Kind == 6 ? std::min(texts.DisplDecimal, 2) : texts.DisplDecimal;
            return WithUnit(FormatValue(static_cast<int64_t>(v) + offset, decimals, unit, sep),
                            unit);
        }
        case 8:
            return WithUnit(std::to_string(v), "usec");
        case 9:
            return WithUnit(Fixed(v * 0.1, 1, sep), "msec");
        case 10:
            return WithUnit(std::to_string(v), "%");
        case 11:
            return Fixed(v * 0.001, 3, sep);
        default:
            return std::to_string(v);
    }
}

std::string CompareGroupText(const TCompareRow& row, const TCompareTexts& texts) {
    std::string g = Tr(texts, std::string(row.Group) + ".Caption", row.Group);
    const size_t blank = g.find(' ');
    return blank == std::string::npos ? g : g.substr(0, blank);
}

std::string CompareLabelText(const TCompareRow& row, const TCompareTexts& texts) {
    if (!*row.Label) return "";
    return Tr(texts, std::string(row.Label) + ".Caption", row.Label);
}

bool SameCellText(std::string_view a, std::string_view b) {
    return ToUpper(a) == ToUpper(b);
}

std::vector<TCompareDiff> CompareDiffs(const TKestParam& a, const TKestParam& b,
                                       const TKestParam& sensor, const TCompareTexts& texts) {
    std::vector<TCompareDiff> diffs;
    const auto& rows = CompareRows();
    const uint32_t missing = a.MissingBlocks | b.MissingBlocks;
    for (int r = 0; r < kCompareRowCount; ++r) {
        const TCompareRow& row = rows[static_cast<size_t>(r)];
        const bool sys = IsSysRow(row);
        for (int j = 0; j < kBankCount; ++j) {
            if (sys ? (missing & kValidSys) != 0 : (missing & (1u << j)) != 0) continue;
            std::string ta = CompareCellText(row, &a, &sensor, j, texts);
            std::string tb = CompareCellText(row, &b, &sensor, j, texts);
            if (!SameCellText(ta, tb)) diffs.push_back({r, sys ? -1 : j, ta, tb});
            if (sys) break;
        }
    }
    return diffs;
}

std::string DiffLine(const TCompareDiff& d, const TCompareTexts& texts) {
    const TCompareRow& row = CompareRows()[static_cast<size_t>(d.Row)];
    auto flat = [](std::string s) {
        for (char& c : s)
            if (c == '\t') c = ' ';
        return s;
    };
    std::string label = CompareLabelText(row, texts);
    if (label.empty() && row.KeyName) label = row.KeyName;
    const std::string bank = d.Bank < 0 ? "Sys" : "Bank" + std::to_string(d.Bank + 1);
    return bank + "\t" + CompareGroupText(row, texts) + "\t" + label + "\t" + flat(d.TextA) + "\t" +
           flat(d.TextB);
}

}  // namespace kd
