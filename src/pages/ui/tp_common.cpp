#include "pages/ui/tp_common.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSignalBlocker>
#include <algorithm>

#include "common/log.h"
#include "pages/ui/page_widgets.h"

namespace kd {

namespace {
constexpr const char* kBaudItems =
    "9600bps,19200bps,38.4kbps,57.6kbps,115.2kbps,230.4kbps,460.8kbps,921.6kbps,2Mbps,4Mbps";
}  // namespace

TBankCopyDlg::TBankCopyDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("BankCopyDlg");
    setWindowTitle("Bank Copy");
    setModal(true);
    resize(420, 130);
    MakeLabel(this, "CopyLabel1", "Copy bank", {12, 16, 90, 26});
    FromCombo = MakeCombo(this, "FromCombo", "1:,2:,3:,4:,5:,6:,7:,8:", {104, 16, 110, 26});
    MakeLabel(this, "CopyLabel3", "", {218, 16, 40, 26});
    MakeLabel(this, "Label1", "", {12, 50, 10, 26});
    MakeLabel(this, "CopyLabel2", "to", {12, 50, 90, 26});
    ToCombo = MakeCombo(this, "ToCombo", "1:,2:,3:,4:,5:,6:,7:,8:,All Banks", {104, 50, 110, 26});
    MakeLabel(this, "CopyLabel4", "", {218, 50, 190, 26});
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->setGeometry(12, 90, 396, 32);
    box->button(QDialogButtonBox::Ok)->setObjectName("OKButton");
    box->button(QDialogButtonBox::Cancel)->setObjectName("CancelButton");
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

TPCommon::TPCommon(TPageContext& ctx, TBankOps ops, QWidget* parent)
    : QWidget(parent), ctx_(ctx), ops_(std::move(ops)), controls_(ctx) {
    setObjectName("PCommon");
    resize(800, 470);
    const int lx = 24, cx = 180, w = 200;
    int y = 104;
    MakeLabel(this, "CommSettingsLabel", "Comm. Settings", {lx - 8, y - 30, 300, 24});
    MakeLabel(this, "PortLabel", "Port", {lx, y, 150, 26});
    PortCombo = MakeCombo(this, "PortCombo", "", {cx, y, w, 26});
    PortCombo->setEditable(true);
    PortCombo->setInsertPolicy(QComboBox::NoInsert);
    y += 34;
    MakeLabel(this, "BaudrateLabel", "Baudrate", {lx, y, 150, 26});
    BaudComboX = MakeCombo(this, "BaudComboX", kBaudItems, {cx, y, w, 26});
    BaudComboX->setEditable(true);
    BaudComboX->setInsertPolicy(QComboBox::NoInsert);
    y += 34;
    MakeLabel(this, "VersionLabel", "Version", {lx, y, 150, 26});
    VersionEdit = new QLineEdit("------------", this);
    VersionEdit->setObjectName("VersionEdit");
    VersionEdit->setReadOnly(true);
    VersionEdit->setGeometry(cx, y, w, 26);
    y += 44;
    MakeLabel(this, "DisplaySettingsLabel", "Display Settings", {lx - 8, y, 300, 24});
    y += 30;
    MakeLabel(this, "UnitLabel", "Unit", {lx, y, 150, 26});
    DisplUnitCombo = MakeCombo(this, "DisplUnitCombo", "mm,um", {cx, y, w, 26});
    y += 34;
    MakeLabel(this, "PrecisionLabel", "Resolution", {lx, y, 150, 26});
    PrecisionCombo = MakeCombo(this, "PrecisionCombo", "1mm,0.1mm,0.01mm,0.001mm", {cx, y, w, 26});
    y += 34;
    MakeLabel(this, "LanguageLabel", "Language", {lx, y, 150, 26});
    LanguageCombo = MakeCombo(this, "LanguageCombo",
                              "OS language,en:English,ja:Japanese,cn:Chinese Simplified,ko:Korean",
                              {cx, y, w, 26});

    // The sensor's system settings and the bank operations.
    const int rx = 420, rcx = 580;
    y = 104;
    MakeLabel(this, "SysSettingsLabel", "System Settings", {rx - 8, y - 30, 300, 24});
    MakeLabel(this, "SysDirLabel", "Axis Direction", {rx, y, 156, 26});
    SysDirCombo = MakeCombo(this, "SysDirCombo", "NEAR +,FAR +", {rcx, y, 190, 26});
    y += 34;
    MakeLabel(this, "BCHG_MTHLabel", "Bank Switch", {rx, y, 156, 26});
    BCHG_MTHCombo = MakeCombo(this, "BCHG_MTHCombo", "Body,Comm.", {rcx, y, 190, 26});
    y += 34;
    MakeLabel(this, "GPIO_ONTLabel", "Output ON", {rx, y, 156, 26});
    GPIO_ONTCombo = MakeCombo(this, "GPIO_ONTCombo", "Inside,Outside", {rcx, y, 190, 26});
    y += 44;
    MakeLabel(this, "BankOpLabel", "Bank Operation", {rx - 8, y, 300, 24});
    y += 30;
    auto action = [this](const char* name, const char* caption, std::function<void()> run) {
        auto* a = new QAction(caption, this);
        a->setObjectName(name);
        actions_.push_back(a);
        connect(a, &QAction::triggered, this, [this, run] { Guarded(run); });
        return a;
    };
    auto button = [this](const char* name, QAction* a, QRect g) {
        auto* b = new QPushButton(a->text(), this);
        b->setObjectName(name);
        b->setGeometry(g);
        connect(b, &QPushButton::clicked, a, &QAction::trigger);
        connect(a, &QAction::changed, b, [a, b] { b->setEnabled(a->isEnabled()); });
        return b;
    };
    BankCopyButton =
        button("BankCopyButton", action("BankCopy", "Bank Copy", [this] { BankCopyExecute(); }),
               {rx, y, 350, 30});
    y += 36;
    BankClearButton =
        button("BankClearButton", action("BankClear", "Bank Clear", [this] { BankClearExecute(); }),
               {rx, y, 350, 30});
    y += 36;
    FactInitButton = button("FactInitButton",
                            action("FactInit", "Factory Preset", [this] { FactInitExecute(); }),
                            {rx, y, 350, 30});
    y = 424;
    SettingsButton = new QPushButton("Settings", this);
    SettingsButton->setObjectName("SettingsButton");
    SettingsButton->setGeometry(lx, y, 170, 32);
    connect(SettingsButton, &QPushButton::clicked, this,
            [this] { ctx_.Services.TriggerAction("SettingTrigger"); });
    DataLogButton = new QPushButton("Data Storage", this);
    DataLogButton->setObjectName("DataLogButton");
    DataLogButton->setGeometry(lx + 180, y, 170, 32);
    connect(DataLogButton, &QPushButton::clicked, this,
            [this] { ctx_.Services.TriggerAction("ViewDataLog"); });

    BankCopyDlg = new TBankCopyDlg(this);
    BankCopyDlg->setWindowFlag(Qt::Dialog);

    // Port and baud: chosen from the list, or typed and taken with Enter.
    PortCombo->installEventFilter(this);
    BaudComboX->installEventFilter(this);
    PortCombo->view()->installEventFilter(this);
    connect(PortCombo, &QComboBox::activated, this,
            [this] { Guarded([this] { PortComboClick(); }); });
    connect(BaudComboX, &QComboBox::activated, this,
            [this] { Guarded([this] { BaudComboXClick(); }); });
    connect(DisplUnitCombo, &QComboBox::activated, this,
            [this](int i) { Guarded([this, i] { DisplUnitComboClick(i); }); });
    connect(PrecisionCombo, &QComboBox::activated, this,
            [this](int i) { Guarded([this, i] { PrecisionComboClick(i); }); });
    connect(LanguageCombo, &QComboBox::activated, this,
            [this] { Guarded([this] { LanguageComboSelect(); }); });
    controls_.Bind(SysDirCombo);
    controls_.Bind(BCHG_MTHCombo);
    controls_.Bind(GPIO_ONTCombo);

    // The stored port and baud rate become the link's.
    PortCombo->setEditText(QString::fromStdString(ctx_.Worker.PortName()));
    if (const int baud = ParseBaudText(ctx_.Settings.BaudRate); baud > 0 && ops_.SetBaud)
        ops_.SetBaud(baud);
    DisplUnitCombo->setCurrentIndex(ctx_.Display.DisplUnit);
    UpdateActions();
}

QAction* TPCommon::Action(const char* name) const {
    for (QAction* a : actions_)
        if (a->objectName() == name) return a;
    return nullptr;
}

void TPCommon::Guarded(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        ctx_.Services.HandleException(e);
    }
}

bool TPCommon::eventFilter(QObject* o, QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            if (o == PortCombo) {
                Guarded([this] { PortComboClick(); });
                return true;
            }
            if (o == BaudComboX) {
                Guarded([this] { BaudComboXClick(); });
                return true;
            }
        }
    } else if (e->type() == QEvent::Show && o == PortCombo->view()) {
        Guarded([this] { PortComboDropDown(); });
    } else if (e->type() == QEvent::MouseButtonPress && o == PortCombo) {
        Guarded([this] { PortComboDropDown(); });
    }
    return QWidget::eventFilter(o, e);
}

void TPCommon::PortComboDropDown() {
    const QString text = PortCombo->currentText();
    QSignalBlocker block(PortCombo);
    PortCombo->clear();
    // Every serial device of the system, with what it says it is and the
    // USB serial number where it has one; the port's name in the item's data.
    QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    std::sort(ports.begin(), ports.end(), [](const QSerialPortInfo& a, const QSerialPortInfo& b) {
        return a.portName() < b.portName();
    });
    for (const QSerialPortInfo& p : ports) {
        QString item = p.portName();
        if (!p.description().isEmpty()) item += "  " + p.description();
        if (!p.serialNumber().isEmpty()) item += "  [" + p.serialNumber() + "]";
        PortCombo->addItem(item, p.portName());
    }
    PortCombo->addItem("SIM", QString("SIM"));
    // The list is as wide as its longest entry.
    int widest = PortCombo->width();
    const QFontMetrics fm(PortCombo->view()->font());
    for (int i = 0; i < PortCombo->count(); ++i)
        widest = std::max(widest, fm.horizontalAdvance(PortCombo->itemText(i)) + 32);
    PortCombo->view()->setMinimumWidth(widest);
    PortCombo->setEditText(text);
}

void TPCommon::PortComboClick() {
    // A listed entry names its port in its data; a typed name stands as it is.
    QString name = PortCombo->currentText().trimmed();
    const int i = PortCombo->findText(PortCombo->currentText());
    if (i >= 0 && PortCombo->itemData(i, Qt::UserRole).isValid())
        name = PortCombo->itemData(i, Qt::UserRole).toString();
    PortCombo->setEditText(name);
    ctx_.Worker.SetPortName(name.toStdString());
    WriteLog(kLogPlain, "port chnaged: %s", name.toStdString().c_str());
}

void TPCommon::BaudComboXClick() {
    const std::string text = BaudComboX->currentText().toStdString();
    ctx_.Settings.BaudRate = text;
    const int baud = ParseBaudText(text);
    if (baud <= 0 || !ops_.SetBaud) return;
    const int now = ops_.SetBaud(baud);
    WriteLog(kLogPlain, "baudrate changed: %dbps", now);
}

void TPCommon::DisplUnitComboClick(int index) {
    ctx_.Display.DisplUnit = static_cast<uint8_t>(std::clamp(index, 0, 1));
    PrecisionCombo->setEnabled(ctx_.Display.DisplUnit == 0);
    ctx_.Services.RefreshAll();
}

void TPCommon::PrecisionComboClick(int index) {
    ctx_.Display.DisplDecimal = std::clamp(index, 0, 3);
    ctx_.Services.RefreshAll();
}

void TPCommon::LanguageComboSelect() {
    if (SelectLanguage) SelectLanguage(LanguageCombo->currentText().toStdString());
}

void TPCommon::SetLanguageText(const std::string& code) {
    // The entry whose code matches, else the code as the text.
    for (int i = 0; i < LanguageCombo->count(); ++i) {
        const QString item = LanguageCombo->itemText(i);
        if (item.section(':', 0, 0) == QString::fromStdString(code) && item.contains(':')) {
            LanguageCombo->setCurrentIndex(i);
            return;
        }
    }
    if (code.empty()) LanguageCombo->setCurrentIndex(0);
}

void TPCommon::ShowParams() {
    if (ctx_.State.LinkState != 0)
        VersionEdit->setText(QString::fromStdString(VersionText(ctx_.State.SensorVersion)));
    controls_.ShowAll();
    {
        QSignalBlocker a(PrecisionCombo), b(DisplUnitCombo);
        PrecisionCombo->setCurrentIndex(std::clamp(ctx_.Display.DisplDecimal, 0, 3));
        DisplUnitCombo->setCurrentIndex(ctx_.Display.DisplUnit);
    }
    PrecisionCombo->setEnabled(ctx_.Display.DisplUnit == 0);
}

void TPCommon::UpdateActions() {
    const bool linked = ctx_.State.LinkState != 0;
    for (QAction* a : actions_) a->setEnabled(linked);
}

void TPCommon::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    WriteLog(kLogPlain, "Common Show");
    BaudComboX->setEditText(QString::fromStdString(ctx_.Settings.BaudRate));
    ShowParams();
    UpdateActions();
}

void TPCommon::BankCopyExecute() {
    if (ctx_.State.LinkState == 0) return;
    BankCopyDlg->FromCombo->setCurrentIndex(std::clamp(ctx_.CurrentBank(), 0, 7));
    const int r = ExecDialog ? ExecDialog(*BankCopyDlg) : BankCopyDlg->exec();
    if (r != QDialog::Accepted) return;
    kd::BankCopyExecute(ops_, BankCopyDlg->ToCombo->currentIndex(),
                        BankCopyDlg->FromCombo->currentIndex());
}

void TPCommon::BankClearExecute() {
    if (ctx_.State.LinkState == 0) return;
    kd::BankClearExecute(ctx_, ops_);
}

void TPCommon::FactInitExecute() {
    if (ctx_.State.LinkState == 0) return;
    kd::FactInitExecute(ctx_, ops_);
}

}  // namespace kd
