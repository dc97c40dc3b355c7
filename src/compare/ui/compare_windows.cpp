#include "compare/ui/compare_windows.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QUrl>
#include <QVBoxLayout>

#include "common/log.h"
#include "compare/compare_apply.h"
#include "shell/session/kest_session.h"
#include "shell/session/settings_backup.h"
#include "shell/ui/apply_locale.h"
#include "shell/ui/kest_trel.h"

namespace kd {

namespace {

const QColor kTint(0xE0, 0xD0, 0xFF);  // 00FFD0E0 as 0x00BBGGRR

QString Cell(const QTableWidget* g, int r, int c) {
    const QTableWidgetItem* it = g->item(r, c);
    return it ? it->text() : QString();
}

QString ValuePart(const QString& s) {
    const int tab = s.indexOf('\t');
    return tab < 0 ? s : s.left(tab);
}

int BankOfColumn(int c) {
    return (c - 2) / 2;
}

// The grid of the comparison window: tints, bold marks, units beside the
// values, the Sys rows only in the selected pair, group lines.
class TFilerDelegate : public QStyledItemDelegate {
  public:
    explicit TFilerDelegate(TFilerForm& form) : QStyledItemDelegate(&form), form_(form) {}
    void paint(QPainter* p, const QStyleOptionViewItem& opt,
               const QModelIndex& idx) const override {
        const QTableWidget* g = form_.Grid();
        const int r = idx.row(), c = idx.column();
        const TCompareRow& row = CompareRows()[static_cast<size_t>(r)];
        const bool firstOfGroup = r == 0 || QString(CompareRows()[static_cast<size_t>(r - 1)].Group)
                                                    .compare(row.Group, Qt::CaseInsensitive) != 0;
        p->save();
        QRect rect = opt.rect;
        const bool selected = opt.state & QStyle::State_Selected;
        p->fillRect(rect, selected ? opt.palette.highlight() : opt.palette.base());
        QString text = idx.data().toString();
        if (c >= 2 && IsSysRow(row) && BankOfColumn(c) != BankOfColumn(form_.SelectedColumn()))
            text.clear();
        if (c < 2) {
            p->setPen(opt.palette.text().color());
            p->drawText(rect.adjusted(3, 0, -3, 0),
                        Qt::AlignVCenter | (c == 0 ? Qt::AlignRight : Qt::AlignLeft), text);
        } else if (!text.isEmpty()) {
            const bool fileSide = (c % 2) == 0;
            rect.adjust(fileSide ? 1 : 0, 0, fileSide ? 0 : -1, 0);
            const QString value = ValuePart(text);
            const QString other = ValuePart(Cell(g, r, fileSide ? c + 1 : c - 1));
            if (!selected && value.compare(other, Qt::CaseInsensitive) != 0)
                p->fillRect(rect, kTint);
            const QString mark = ValuePart(Cell(g, r, form_.SelectedColumn()));
            QFont f = opt.font;
            f.setBold(value.compare(mark, Qt::CaseInsensitive) == 0);
            p->setFont(f);
            p->setPen(selected ? opt.palette.highlightedText().color()
                               : opt.palette.text().color());
            const QString unit = text.indexOf('\t') >= 0 ? text.mid(text.indexOf('\t') + 1) : "";
            const QFontMetrics fm(f);
            if (!row.List || row.Kind != 0) {
                const int e = rect.right() - (fileSide ? 10 : 20);
                const int sep = value.indexOf('.');
                int x;
                if (sep >= 0)
                    x = e - 45 - fm.horizontalAdvance(value.left(sep + 1));
                else
                    x = e - 20 - fm.horizontalAdvance(value);
                p->drawText(
                    QPoint(x, rect.top() + (rect.height() + fm.ascent() - fm.descent()) / 2),
                    value);
                if (!unit.isEmpty()) {
                    QFont uf = opt.font;
                    uf.setPointSize(8);
                    p->setFont(uf);
                    const QFontMetrics um(uf);
                    const int base = rect.top() + (rect.height() + um.ascent() - um.descent()) / 2;
                    if (unit == "mm2") {
                        p->drawText(QPoint(e - 19, base), "mm");
                        QFont sf = uf;
                        sf.setPointSize(7);
                        p->setFont(sf);
                        p->drawText(
                            QPoint(e - 19 + um.horizontalAdvance("mm"), base - um.ascent() / 2),
                            "2");
                    } else {
                        p->drawText(QPoint(e - 19, base), unit);
                    }
                }
            } else {
                const int free = rect.width() - fm.horizontalAdvance(value);
                const int x = rect.left() + free * (fileSide ? 2 : 1) / 3;
                p->drawText(QRect(x, rect.top(), rect.right() - x, rect.height()),
                            Qt::AlignVCenter | Qt::AlignLeft, value);
            }
        }
        if (firstOfGroup) {
            p->setPen(opt.palette.text().color());
            p->drawLine(opt.rect.topLeft(), opt.rect.topRight());
        }
        p->restore();
    }

  private:
    TFilerForm& form_;
};

// The header: a white line before every bank pair, the current banks framed
// (blue for the file, red for the sensor).
class TFilerHeader : public QHeaderView {
  public:
    TFilerHeader(QWidget* parent, std::function<int(int)> frame)
        : QHeaderView(Qt::Horizontal, parent), frame_(std::move(frame)) {
        setSectionsClickable(true);
    }

  protected:
    void paintSection(QPainter* p, const QRect& rect, int logical) const override {
        QHeaderView::paintSection(p, rect, logical);
        p->save();
        if (const int f = frame_(logical)) {
            p->setPen(QPen(f == 1 ? Qt::blue : Qt::red, 2));
            p->drawRoundedRect(rect.adjusted(3, 2, -3, -2), 4, 4);
        }
        if (logical >= 2 && logical % 2 == 0) {
            p->setPen(Qt::white);
            p->drawLine(rect.topLeft(), rect.bottomLeft());
        }
        p->restore();
    }

  private:
    std::function<int(int)> frame_;
};

// The EEPROM grid's cells: bold when equal to the selected column's word,
// aqua where the word changed since the refresh before.
class TEepDelegate : public QStyledItemDelegate {
  public:
    TEepDelegate(QTableWidget* grid, const std::vector<QStringList>* prev)
        : QStyledItemDelegate(grid), grid_(grid), prev_(prev) {}
    void paint(QPainter* p, const QStyleOptionViewItem& opt,
               const QModelIndex& idx) const override {
        const int r = idx.row(), c = idx.column();
        const QString text = idx.data().toString();
        p->save();
        const bool selected = opt.state & QStyle::State_Selected;
        QColor back = opt.palette.base().color();
        if (c > 0 && static_cast<size_t>(r) < prev_->size() &&
            (*prev_)[static_cast<size_t>(r)].size() > c &&
            (*prev_)[static_cast<size_t>(r)][c] != text)
            back = Qt::cyan;
        p->fillRect(opt.rect, selected ? opt.palette.highlight().color() : back);
        QFont f = opt.font;
        const int sel = grid_->currentColumn();
        f.setBold(c > 0 && sel > 0 && Cell(grid_, r, sel).compare(text, Qt::CaseInsensitive) == 0);
        p->setFont(f);
        p->setPen(selected ? opt.palette.highlightedText().color() : opt.palette.text().color());
        p->drawText(opt.rect.adjusted(0, 2, -2, 0), Qt::AlignRight | Qt::AlignTop, text);
        p->restore();
    }

  private:
    QTableWidget* grid_;
    const std::vector<QStringList>* prev_;
};

}  // namespace

// ---------------------------------------------------------------- TFilerForm

TFilerForm::TFilerForm(TKestTrel& window, TKestSession& session, TSessionHost& host)
    : QWidget(&window, Qt::Window), window_(window), session_(session), host_(host) {
    setObjectName("FilerForm");
    setWindowTitle("Parameter Comparing");
    setAcceptDrops(true);
    file_.Masters = &fileMasters_;
    file_.SensorImage = &window_.Image();
    file_.ModeUnit = [this](int func) {
        return window_.Image().ModeUnit ? window_.Image().ModeUnit(func) : "?";
    };

    auto* panel = new QWidget(this);
    panel->setObjectName("Panel1");
    auto* row = new QHBoxLayout(panel);
    auto* open = new QPushButton("Compare File ...", panel);
    open->setObjectName("CompareFileButton");
    open->setShortcut(QKeySequence("Ctrl+O"));
    auto* findLabel = new QLabel("&Find:", panel);
    findLabel->setObjectName("FindLabel");
    find_ = new QLineEdit(panel);
    find_->setObjectName("FindTextEdit");
    findLabel->setBuddy(find_);
    auto* refresh = new QPushButton("refresh", panel);
    refresh->setObjectName("RefreshButton");
    write_ = new QPushButton("Write to sensor", panel);
    write_->setObjectName("WriteButton");
    auto* backups = new QPushButton("Backups ...", panel);
    backups->setObjectName("BackupsButton");
    row->addWidget(open);
    row->addWidget(findLabel);
    row->addWidget(find_, 1);
    row->addWidget(refresh);
    row->addWidget(write_);
    row->addWidget(backups);

    grid_ = new QTableWidget(kCompareRowCount, 18, this);
    grid_->setObjectName("ParamGrid");
    grid_->setHorizontalHeader(new TFilerHeader(grid_, [this](int c) {
        if (c < 2) return 0;
        const bool fileSide = c % 2 == 0;
        const TKestParam& img = fileSide ? file_ : window_.Image();
        if (img.NotLoaded) return 0;
        return BankOfColumn(c) == img.GetSys(pk::Bank) ? (fileSide ? 1 : 2) : 0;
    }));
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setDefaultSectionSize(20);
    grid_->setColumnWidth(0, 80);  // wide enough for the longest group caption
    grid_->setColumnWidth(1, 125);
    for (int c = 2; c < 18; ++c) grid_->setColumnWidth(c, 105);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid_->setItemDelegate(new TFilerDelegate(*this));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel);
    layout->addWidget(grid_, 1);
    resize(65 + 125 + 4 * 2 * 105 + 24, 640);
    setMinimumWidth(width() / 2);

    connect(open, &QPushButton::clicked, this, [this] {
        const QString name = window_.FileNameDialog
                                 ? window_.FileNameDialog("Parameter File Compare", false)
                                 : QString();
        if (name.isEmpty()) return;
        LoadCompareFile(name.toStdString());
        RefreshCompare();
    });
    connect(refresh, &QPushButton::clicked, this, [this] { RefreshCompare(); });
    connect(write_, &QPushButton::clicked, this, [this] { WriteChosen(); });
    connect(backups, &QPushButton::clicked, this, [this] { ShowBackups(); });
    connect(grid_, &QTableWidget::currentCellChanged, this, [this](int r, int c, int, int) {
        if (c >= 2 && c != selCol_) {
            selCol_ = c;
            grid_->viewport()->update();
        }
        findRow_ = r;
        findCol_ = c;
    });
    connect(grid_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int c) {
        if (c >= 2) grid_->selectColumn(c);
    });
    connect(grid_->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
        // bank pairs stay together: never a sensor column at the left edge
        static int last = 0;
        if (v % 2 == 1) grid_->horizontalScrollBar()->setValue(v > last ? v + 1 : v - 1);
        last = grid_->horizontalScrollBar()->value();
    });
    connect(find_, &QLineEdit::textEdited, this, [this](const QString& t) { FindNext(t, false); });
    connect(find_, &QLineEdit::returnPressed, this, [this] { FindNext(find_->text(), true); });
    connect(grid_, &QTableWidget::itemSelectionChanged, this, [this] { UpdateWriteButton(); });

    if (window_.Lang) ApplyLocale(this, *window_.Lang);
    RefreshCompare();
}

TCompareTexts TFilerForm::Texts() const {
    TCompareTexts t;
    t.Translate = [this](std::string_view n, std::string_view d) {
        return window_.Translate(std::string(n), std::string(d));
    };
    t.DisplUnit = window_.Display.DisplUnit;
    t.DisplDecimal = window_.Display.DisplDecimal;
    return t;
}

void TFilerForm::LoadCompareFile(const std::string& name) {
    fileName_ = name;
    file_.LoadFromFile(name);
    const QString base = QString::fromStdString(name).section('/', -1);
    for (int j = 0; j < kBankCount; ++j)
        grid_->setHorizontalHeaderItem(2 + 2 * j, new QTableWidgetItem(base));
}

void TFilerForm::RefreshCompare() {
    const TCompareTexts texts = Texts();
    const auto banks = ParseCommaList(
        window_.Translate("FromCombo.Items", "Bank1,Bank2,Bank3,Bank4,Bank5,Bank6,Bank7,Bank8"));
    grid_->setHorizontalHeaderItem(0, new QTableWidgetItem(""));
    grid_->setHorizontalHeaderItem(1, new QTableWidgetItem(""));
    for (int j = 0; j < kBankCount; ++j) {
        if (!grid_->horizontalHeaderItem(2 + 2 * j))
            grid_->setHorizontalHeaderItem(2 + 2 * j, new QTableWidgetItem(""));
        grid_->setHorizontalHeaderItem(
            3 + 2 * j,
            new QTableWidgetItem(static_cast<size_t>(j) < banks.size()
                                     ? QString::fromStdString(banks[static_cast<size_t>(j)])
                                     : QString("Bank%1").arg(j + 1)));
    }
    const TKestParam* sensor = window_.State.SensorVersion.Fpga != 0 ? &window_.Image() : nullptr;
    const auto& rows = CompareRows();
    for (int r = 0; r < kCompareRowCount; ++r) {
        const TCompareRow& row = rows[static_cast<size_t>(r)];
        const bool first = r == 0 || QString(rows[static_cast<size_t>(r - 1)].Group)
                                             .compare(row.Group, Qt::CaseInsensitive) != 0;
        grid_->setItem(r, 0,
                       new QTableWidgetItem(
                           first ? QString::fromStdString(CompareGroupText(row, texts)) : ""));
        grid_->setItem(r, 1,
                       new QTableWidgetItem(QString::fromStdString(CompareLabelText(row, texts))));
        for (int j = 0; j < kBankCount; ++j) {
            std::string s, f;
            try {
                s = CompareCellText(row, sensor, sensor, j, texts);
            } catch (const std::exception&) {
                s = "?";
            }
            try {
                f = CompareCellText(row, &file_, sensor ? sensor : &file_, j, texts);
            } catch (const std::exception&) {
                f = "?";
            }
            // blocks the file lacked hold no settings
            if (file_.MissingBlocks & (IsSysRow(row) ? kValidSys : (1u << j))) f.clear();
            grid_->setItem(r, 2 + 2 * j, new QTableWidgetItem(QString::fromStdString(f)));
            grid_->setItem(r, 3 + 2 * j, new QTableWidgetItem(QString::fromStdString(s)));
        }
    }
    grid_->viewport()->update();
    grid_->horizontalHeader()->viewport()->update();
    UpdateWriteButton();
}

bool TFilerForm::FindNext(const QString& text, bool fromBelow) {
    if (text.isEmpty()) return false;
    const QString needle = text.toUpper();
    const int rows = kCompareRowCount, cols = 18;
    int r = findRow_ >= 0 ? findRow_ : std::max(grid_->currentRow(), 0);
    int c = findCol_ >= 1 ? findCol_ : std::max(grid_->currentColumn(), 1);
    if (fromBelow) ++r;
    // walk down the column, then on to the next one, wrapping around
    for (int steps = 0; steps <= rows * cols; ++steps) {
        if (r >= rows) {
            r = 0;
            if (++c >= cols) c = 1;
        }
        QString t = Cell(grid_, r, c);
        t.remove('\t');
        if (t.toUpper().contains(needle)) {
            findRow_ = r;
            findCol_ = c;
            grid_->setCurrentCell(r, c);
            return true;
        }
        ++r;
    }
    findRow_ = findCol_ = -1;
    ++Beeps;
    QApplication::beep();
    return false;
}

std::vector<std::pair<int, int>> TFilerForm::ChosenCells() const {
    std::vector<std::pair<int, int>> out;
    for (const QTableWidgetItem* it : grid_->selectedItems()) {
        const int c = it->column(), r = it->row();
        if (c < 2) continue;
        const bool sys = IsSysRow(CompareRows()[static_cast<size_t>(r)]);
        if (sys && BankOfColumn(c) != BankOfColumn(selCol_)) continue;  // shown empty there
        out.emplace_back(r, sys ? -1 : BankOfColumn(c));
    }
    return out;
}

void TFilerForm::UpdateWriteButton() {
    write_->setEnabled(window_.State.LinkState != 0 && host_.Sync() && !file_.NotLoaded &&
                       !grid_->selectedItems().isEmpty());
}

void TFilerForm::WriteChosen() {
    UpdateWriteButton();
    if (!write_->isEnabled()) return;
    const auto cells = ChosenCells();
    auto chosen = [&cells](int r, int b) {
        return std::find(cells.begin(), cells.end(), std::make_pair(r, b)) != cells.end();
    };
    const auto changes = PlanApply(file_, window_.Image(), chosen);
    const TCompareTexts texts = Texts();
    if (changes.empty()) {
        host_.Message("", window_.Translate("compare_nothing",
                                            "The chosen settings are the same in the sensor."));
        return;
    }
    const std::string list = ChangeListText(changes, file_, window_.Image(), texts);
    if (!host_.Confirm(window_.Translate("compare_write_confirm",
                                         "These settings are written to the sensor:") +
                       "\r\n" + list))
        return;
    try {
        const TApplyResult r = ApplyChanges(session_, *window_.Thread(), window_.Image(), changes);
        host_.Message("", window_.Translate("compare_write_done", "Written and checked.") + "\r\n" +
                              r.Backup);
    } catch (const std::exception& e) {
        WriteLog(kLogError, "%s", e.what());
        host_.Message("", e.what());
    }
    RefreshCompare();
}

void TFilerForm::ShowBackups() {
    std::vector<TBackupEntry> list;
    try {
        list = ListBackups(session_.BackupDir.empty() ? DefaultBackupDir() : session_.BackupDir);
    } catch (const std::exception& e) {
        host_.Message("", e.what());
        return;
    }
    QDialog dlg(this);
    dlg.setObjectName("BackupsDlg");
    dlg.setWindowTitle(QString::fromStdString(window_.Translate("BackupsDlg.Caption", "Backups")));
    auto* lw = new QListWidget(&dlg);
    for (const auto& e : list)
        lw->addItem(QString::fromStdString(e.DateTime + "   " + e.Reason + "   " + e.Version));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, &dlg);
    connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    auto* l = new QVBoxLayout(&dlg);
    l->addWidget(lw);
    l->addWidget(buttons);
    dlg.resize(480, 360);
    if (dlg.exec() != QDialog::Accepted || lw->currentRow() < 0) return;
    LoadCompareFile(list[static_cast<size_t>(lw->currentRow())].Path);
    RefreshCompare();
}

void TFilerForm::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void TFilerForm::dropEvent(QDropEvent* e) {
    e->acceptProposedAction();
    for (const QUrl& url : e->mimeData()->urls()) {
        try {
            LoadCompareFile(url.toLocalFile().toStdString());
        } catch (const std::exception& ex) {
            WriteLog(kLogError, "%s", ex.what());
        }
        RefreshCompare();
    }
}

// -------------------------------------------------------------- TEepGridForm

TEepGridForm::TEepGridForm(QWidget* parent) : QWidget(parent, Qt::Tool) {
    setObjectName("EepGridForm");
    setWindowTitle("dbg:eepgrid");
    SysGrid = new QTableWidget(32, 2, this);
    SysGrid->setObjectName("SysGrid");
    SysGrid->setHorizontalHeaderLabels({"Sys", "value"});
    BankGrid = new QTableWidget(kBankWords, 9, this);
    BankGrid->setObjectName("BankGrid");
    QStringList heads{"Bank"};
    for (int n = 0; n < kBankCount; ++n) heads << QString("B%1").arg(n + 1);
    BankGrid->setHorizontalHeaderLabels(heads);
    for (QTableWidget* g : {SysGrid, BankGrid}) {
        g->verticalHeader()->hide();
        g->verticalHeader()->setDefaultSectionSize(16);
        g->horizontalHeader()->setDefaultSectionSize(60);  // "B1(curr)*" fits
        g->setColumnWidth(0, 80);
        g->setEditTriggers(QAbstractItemView::NoEditTriggers);
        connect(g, &QTableWidget::currentCellChanged, g, [g] { g->viewport()->update(); });
    }
    SysGrid->setItemDelegate(new TEepDelegate(SysGrid, &SysPrev));
    BankGrid->setItemDelegate(new TEepDelegate(BankGrid, &BankPrev));
    CheckBox1 = new QCheckBox("StayOnTop", this);
    CheckBox1->setObjectName("CheckBox1");
    Button1 = new QPushButton("Refresh", this);
    Button1->setObjectName("Button1");
    connect(CheckBox1, &QCheckBox::toggled, this, [this](bool on) {
        setWindowFlag(Qt::WindowStaysOnTopHint, on);
        if (isVisible()) show();
    });
    auto* left = new QWidget(this);
    auto* ll = new QVBoxLayout(left);
    ll->setContentsMargins(0, 0, 0, 0);
    ll->addWidget(SysGrid, 1);
    ll->addWidget(CheckBox1);
    ll->addWidget(Button1);
    auto* split = new QSplitter(this);
    split->addWidget(left);
    split->addWidget(BankGrid);
    split->setStretchFactor(1, 1);
    auto* l = new QHBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(split);
    resize(80 + 60 + 80 + 8 * 60 + 40, 560);
}

void TEepGridForm::RefreshGrid(const TKestParam& image) {
    auto snapshot = [](QTableWidget* g) {
        std::vector<QStringList> rows;
        for (int r = 0; r < g->rowCount(); ++r) {
            QStringList l;
            for (int c = 0; c < g->columnCount(); ++c) l << Cell(g, r, c);
            rows.push_back(l);
        }
        return rows;
    };
    if (SysGrid->item(0, 0)) {
        SysPrev = snapshot(SysGrid);
        BankPrev = snapshot(BankGrid);
    }
    auto hex = [](int v, int digits) {
        return QString("%1").arg(v, digits, 16, QChar('0')).toUpper();
    };
    for (int w = 0; w < 32; ++w) {
        SysGrid->setItem(w, 0, new QTableWidgetItem("0x" + hex(w, 3)));
        SysGrid->setItem(w, 1, new QTableWidgetItem(hex(image.Word(w), 4)));
    }
    const int current = image.GetSys(pk::Bank);
    for (int n = 0; n < kBankCount; ++n) {
        QString h = QString("B%1").arg(n + 1);
        if (n == current) h += "(curr)";
        if (!(image.ValidMask & (1u << n))) h += "*";
        BankGrid->setHorizontalHeaderItem(n + 1, new QTableWidgetItem(h));
    }
    for (int i = 0; i < kBankWords; ++i) {
        BankGrid->setItem(i, 0, new QTableWidgetItem("0x" + hex(i, 3) + "," + QString::number(i)));
        for (int n = 0; n < kBankCount; ++n)
            BankGrid->setItem(i, n + 1,
                              new QTableWidgetItem(hex(image.Word(BankStartWord(n) + i), 4)));
    }
    SysGrid->viewport()->update();
    BankGrid->viewport()->update();
}

// ----------------------------------------------------------- TCompareWindows

TCompareWindows::TCompareWindows(TKestTrel& window, TKestSession& session, TSessionHost& host,
                                 std::function<void()>& refreshEepGridHook) {
    Filer = new TFilerForm(window, session, host);
    Filer->hide();
    EepGrid = new TEepGridForm(&window);
    EepGrid->hide();
    if (window.Lang) ApplyLocale(EepGrid, *window.Lang);
    TFilerForm* filer = Filer;
    TEepGridForm* grid = EepGrid;
    TKestTrel* w = &window;
    window.ShowCompare = [filer](const std::string& file) {
        if (!file.empty()) filer->LoadCompareFile(file);
        filer->show();
        filer->raise();
        filer->RefreshCompare();
    };
    window.ShowEepGrid = [grid, w] {
        grid->show();
        grid->raise();
        grid->RefreshGrid(w->Image());
    };
    QObject::connect(grid->Button1, &QPushButton::clicked, grid,
                     [grid, w] { grid->RefreshGrid(w->Image()); });
    refreshEepGridHook = [grid, filer, w] {
        if (grid->isVisible()) grid->RefreshGrid(w->Image());
        if (filer->isVisible()) filer->RefreshCompare();
    };
}

}  // namespace kd
