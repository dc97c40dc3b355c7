#include "compare/ui/compare_windows.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QSplitter>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "common/log.h"
#include "compare/compare_apply.h"
#include "shell/config_store.h"
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

bool FirstOfGroup(int r) {
    const auto& rows = CompareRows();
    return r == 0 || QString(rows[static_cast<size_t>(r - 1)].Group)
                             .compare(rows[static_cast<size_t>(r)].Group, Qt::CaseInsensitive) != 0;
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
        if (c < 2) return;  // the captions are drawn by the row header
        const TCompareRow& row = CompareRows()[static_cast<size_t>(r)];
        p->save();
        QRect rect = opt.rect;
        const bool selected = opt.state & QStyle::State_Selected;
        p->fillRect(rect, selected ? opt.palette.highlight() : opt.palette.base());
        QString text = idx.data().toString();
        if (IsSysRow(row) && BankOfColumn(c) != BankOfColumn(form_.SelectedColumn())) text.clear();
        if (!text.isEmpty()) {
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
                const int sep = value.indexOf(QChar(form_.DecimalSeparator()));
                // three decimals keep clear of the unit in wider fonts too
                const int sepEnd = std::max(45, fm.horizontalAdvance("000") + 21);
                int x;
                if (sep >= 0)
                    x = e - sepEnd - fm.horizontalAdvance(value.left(sep + 1));
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
        if (FirstOfGroup(r)) {
            p->setPen(opt.palette.text().color());
            p->drawLine(opt.rect.topLeft(), opt.rect.topRight());
        }
        p->restore();
    }

  private:
    TFilerForm& form_;
};

// The two caption columns (group and setting) as the grid's row header, so
// they stay in place while the bank columns scroll; a click on them chooses
// the row in every bank.
class TFilerCaptions : public QHeaderView {
  public:
    explicit TFilerCaptions(QTableWidget* grid) : QHeaderView(Qt::Vertical, grid), grid_(grid) {
        setSectionsClickable(true);
        setHighlightSections(false);
        setSectionResizeMode(QHeaderView::Fixed);
        setDefaultSectionSize(20);
        FitCaptions();
    }
    // The caption columns cannot be sized by hand: they widen to the longest
    // caption of the language in use.
    void FitCaptions() {
        const QFontMetrics fm(font());
        int group = kGroupColumnWidth, label = kLabelColumnWidth;
        for (int r = 0; r < grid_->rowCount(); ++r) {
            group = std::max(group, fm.horizontalAdvance(Cell(grid_, r, 0)) + 8);
            label = std::max(label, fm.horizontalAdvance(Cell(grid_, r, 1)) + 10);
        }
        if (group == groupWidth_ && group + label == width()) return;
        groupWidth_ = group;
        setFixedWidth(group + label);
        emit geometriesChanged();  // the grid lays itself out again
    }

  protected:
    void paintSection(QPainter* p, const QRect& rect, int r) const override {
        p->save();
        p->setClipRect(rect);
        const bool chosen = (grid_->currentRow() == r && grid_->currentColumn() < 2) ||
                            (selectionModel() && selectionModel()->isRowSelected(r, QModelIndex()));
        p->fillRect(rect, chosen ? palette().highlight() : palette().button());
        p->setPen(palette().mid().color());
        const int split = rect.left() + groupWidth_ - 1;
        p->drawLine(split, rect.top(), split, rect.bottom());
        p->drawLine(rect.bottomLeft(), rect.bottomRight());
        p->drawLine(rect.topRight(), rect.bottomRight());
        p->setPen(chosen ? palette().highlightedText().color() : palette().buttonText().color());
        const QRect group(rect.left(), rect.top(), groupWidth_ - 4, rect.height());
        const QRect label(rect.left() + groupWidth_ + 3, rect.top(), rect.width() - groupWidth_ - 5,
                          rect.height());
        const QFontMetrics fm(font());
        p->drawText(group, Qt::AlignVCenter | Qt::AlignRight,
                    fm.elidedText(Cell(grid_, r, 0), Qt::ElideRight, group.width()));
        p->drawText(label, Qt::AlignVCenter | Qt::AlignLeft,
                    fm.elidedText(Cell(grid_, r, 1), Qt::ElideRight, label.width()));
        if (FirstOfGroup(r)) {
            p->setPen(palette().text().color());
            p->drawLine(rect.topLeft(), rect.topRight());
        }
        p->restore();
    }

  private:
    QTableWidget* grid_;
    int groupWidth_ = 0;
};

// The header: the file's name right-aligned over its columns, the bank
// names left-aligned over the sensor's, the current banks framed (blue for
// the file, red for the sensor), a white line before every bank pair.
class TFilerHeader : public QHeaderView {
  public:
    TFilerHeader(QWidget* parent, std::function<int(int)> frame)
        : QHeaderView(Qt::Horizontal, parent), frame_(std::move(frame)) {
        setSectionsClickable(true);
    }

  protected:
    void paintSection(QPainter* p, const QRect& rect, int logical) const override {
        p->save();
        p->setClipRect(rect);
        QStyleOptionHeader opt;
        initStyleOption(&opt);
        initStyleOptionForIndex(&opt, logical);
        opt.rect = rect;
        opt.text.clear();
        style()->drawControl(QStyle::CE_HeaderSection, &opt, p, this);
        const QString caption =
            model() ? model()->headerData(logical, orientation()).toString() : QString();
        const bool fileSide = logical >= 2 && logical % 2 == 0;
        const QFontMetrics fm(font());
        const QString text = fm.elidedText(caption, Qt::ElideRight, rect.width() - 12);
        const int width = fm.horizontalAdvance(text);
        const int left = fileSide ? rect.right() - 6 - width : rect.left() + 6;
        const QRect textRect(left, rect.top(), width, rect.height());
        p->setPen(palette().buttonText().color());
        p->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, text);
        if (const int f = frame_(logical)) {
            p->setPen(QPen(f == 1 ? Qt::blue : Qt::red, 2));
            p->drawRoundedRect(textRect.adjusted(-4, 2, 4, -2), 4, 4);
        }
        if (fileSide) {
            p->setPen(Qt::white);
            p->drawLine(rect.topLeft(), rect.bottomLeft());
        }
        p->restore();
    }

  private:
    std::function<int(int)> frame_;
};

// The EEPROM grid's cells: bold when equal to the selected column's word,
// aqua where the word changed since the refresh before. The first column
// holds the row captions and is drawn as a fixed cell.
class TEepDelegate : public QStyledItemDelegate {
  public:
    TEepDelegate(QTableWidget* grid, const std::vector<QStringList>* prev)
        : QStyledItemDelegate(grid), grid_(grid), prev_(prev) {}
    void paint(QPainter* p, const QStyleOptionViewItem& opt,
               const QModelIndex& idx) const override {
        const int r = idx.row(), c = idx.column();
        const QString text = idx.data().toString();
        p->save();
        if (c == 0) {
            p->fillRect(opt.rect, opt.palette.button());
            p->setPen(opt.palette.buttonText().color());
            p->drawText(opt.rect.adjusted(2, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop, text);
            p->restore();
            return;
        }
        const bool selected = opt.state & QStyle::State_Selected;
        QColor back = opt.palette.base().color();
        if (static_cast<size_t>(r) < prev_->size() && (*prev_)[static_cast<size_t>(r)].size() > c &&
            (*prev_)[static_cast<size_t>(r)][c] != text)
            back = Qt::cyan;
        p->fillRect(opt.rect, selected ? opt.palette.highlight().color() : back);
        QFont f = opt.font;
        // a grid always has a selected column: the first data column until another is chosen
        const int sel = std::max(grid_->currentColumn(), 1);
        f.setBold(Cell(grid_, r, sel).compare(text, Qt::CaseInsensitive) == 0);
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

    auto* openAction = new QAction("Compare File ...", this);
    openAction->setObjectName("FilerOpen1");
    openAction->setShortcut(QKeySequence("Ctrl+O"));
    addAction(openAction);
    auto* backupsAction = new QAction("Backups ...", this);
    backupsAction->setObjectName("FilerBackups1");
    auto* menuBar = new QMenuBar(this);
    menuBar->setObjectName("FilerMenu");
    QMenu* fileMenu = menuBar->addMenu("&File");
    fileMenu->setObjectName("FileMenu");
    fileMenu->addActions({openAction, backupsAction});

    auto* panel = new QWidget(this);
    panel->setObjectName("Panel1");
    auto* row = new QHBoxLayout(panel);
    auto* open = new QPushButton("Compare File ...", panel);
    open->setObjectName("CompareFileButton");
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
    // Columns 0 and 1 hold the captions; the row header shows them in place.
    grid_->setVerticalHeader(new TFilerCaptions(grid_));
    grid_->setColumnHidden(0, true);
    grid_->setColumnHidden(1, true);
    grid_->setColumnWidth(0, kGroupColumnWidth);
    grid_->setColumnWidth(1, kLabelColumnWidth);
    for (int c = 2; c < 18; ++c) grid_->setColumnWidth(c, 105);
    grid_->setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid_->setItemDelegate(new TFilerDelegate(*this));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setMenuBar(menuBar);
    layout->addWidget(panel);
    layout->addWidget(grid_, 1);
    resize(kGroupColumnWidth + kLabelColumnWidth + 4 * 2 * 105 + 24, 640);
    setMinimumWidth(width());

    connect(openAction, &QAction::triggered, this, [this] {
        const QString name = window_.FileNameDialog
                                 ? window_.FileNameDialog("Parameter File Compare", false)
                                 : QString();
        if (name.isEmpty()) return;
        try {
            LoadCompareFile(name.toStdString());
        } catch (const std::exception& e) {
            WriteLog(kLogError, "%s", e.what());
            host_.Message("", e.what());
            return;
        }
        RefreshCompare();
    });
    connect(open, &QPushButton::clicked, openAction, &QAction::trigger);
    connect(backupsAction, &QAction::triggered, this, [this] { ShowBackups(); });
    connect(backups, &QPushButton::clicked, backupsAction, &QAction::trigger);
    connect(refresh, &QPushButton::clicked, this, [this] { RefreshCompare(); });
    connect(write_, &QPushButton::clicked, this, [this] { WriteChosen(); });
    connect(grid_, &QTableWidget::currentCellChanged, this, [this](int r, int c, int, int) {
        if (c >= 2 && c != selCol_) {
            selCol_ = c;
            grid_->viewport()->update();
        }
        findRow_ = r;
        findCol_ = c;
        grid_->verticalHeader()->viewport()->update();
    });
    connect(grid_->horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
        // bank pairs stay together: never a sensor column at the left edge
        if (v % 2 == 1) grid_->horizontalScrollBar()->setValue(v > lastScroll_ ? v + 1 : v - 1);
        lastScroll_ = grid_->horizontalScrollBar()->value();
    });
    connect(find_, &QLineEdit::textEdited, this, [this](const QString& t) { FindNext(t, false); });
    connect(find_, &QLineEdit::returnPressed, this, [this] { FindNext(find_->text(), true); });
    connect(grid_, &QTableWidget::itemSelectionChanged, this, [this] {
        UpdateWriteButton();
        grid_->verticalHeader()->viewport()->update();
    });

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
    t.DecimalSeparator = separator_;
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
                // the sensor's outputs decide the channel, known or not
                f = CompareCellText(row, &file_, &window_.Image(), j, texts);
            } catch (const std::exception&) {
                f = "?";
            }
            // blocks the file lacked hold no settings
            if (file_.MissingBlocks & (IsSysRow(row) ? kValidSys : (1u << j))) f.clear();
            grid_->setItem(r, 2 + 2 * j, new QTableWidgetItem(QString::fromStdString(f)));
            grid_->setItem(r, 3 + 2 * j, new QTableWidgetItem(QString::fromStdString(s)));
        }
    }
    static_cast<TFilerCaptions*>(grid_->verticalHeader())->FitCaptions();
    grid_->viewport()->update();
    grid_->horizontalHeader()->viewport()->update();
    grid_->verticalHeader()->viewport()->update();
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
            // a caption is found in the row header: bring its row into view
            if (c < 2) grid_->scrollTo(grid_->model()->index(r, std::max(grid_->columnAt(0), 2)));
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
        const TApplyResult r =
            ApplyChanges(session_, *window_.Thread(), window_.Image(), changes, texts);
        host_.Message("", window_.Translate("compare_write_done", "Written and checked.") + "\r\n" +
                              r.Backup);
    } catch (const std::exception& e) {
        WriteLog(kLogError, "%s", e.what());
        host_.Message("", e.what());
    }
    RefreshCompare();
}

bool TFilerForm::ShowBackups() {
    std::vector<TBackupEntry> list;
    try {
        list = ListBackups(session_.BackupDir.empty() ? DefaultBackupDir() : session_.BackupDir);
    } catch (const std::exception& e) {
        host_.Message("", e.what());
        return false;
    }
    QDialog dlg(isVisible() ? static_cast<QWidget*>(this) : &window_);
    dlg.setObjectName("BackupsDlg");
    dlg.setWindowTitle("Backups");
    auto* table = new QTreeWidget(&dlg);
    table->setObjectName("BackupList");
    table->setRootIsDecorated(false);
    table->setMinimumSize(480, 300);
    table->setHeaderLabels(
        {QString::fromStdString(window_.Translate("backup_date", "Date")),
         QString::fromStdString(window_.Translate("backup_reason", "Reason")),
         QString::fromStdString(window_.Translate("backup_version", "Version"))});
    for (const auto& e : list)
        table->addTopLevelItem(new QTreeWidgetItem(QStringList{QString::fromStdString(e.DateTime),
                                                               QString::fromStdString(e.Reason),
                                                               QString::fromStdString(e.Version)}));
    table->resizeColumnToContents(0);
    if (!list.empty()) table->setCurrentItem(table->topLevelItem(0));
    auto* open = new QPushButton("Open", &dlg);
    open->setObjectName("BackupOpenButton");
    open->setDefault(true);
    open->setEnabled(!list.empty());
    auto* cancel = new QPushButton("Cancel", &dlg);
    cancel->setObjectName("CancelButton");
    connect(open, &QPushButton::clicked, &dlg, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, &dlg, &QDialog::reject);
    connect(table, &QTreeWidget::itemDoubleClicked, &dlg, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(open);
    buttons->addWidget(cancel);
    auto* l = new QVBoxLayout(&dlg);
    l->addWidget(table, 1);
    l->addLayout(buttons);
    if (window_.Lang) ApplyLocale(&dlg, *window_.Lang);
    const int accepted = window_.ExecDialog ? window_.ExecDialog(dlg) : dlg.exec();
    const int chosen = table->indexOfTopLevelItem(table->currentItem());
    if (accepted != QDialog::Accepted || chosen < 0) return false;
    try {
        LoadCompareFile(list[static_cast<size_t>(chosen)].Path);
    } catch (const std::exception& e) {
        WriteLog(kLogError, "%s", e.what());
        host_.Message("", e.what());
        return false;
    }
    show();
    raise();
    RefreshCompare();
    return true;
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

TEepGridForm::TEepGridForm(QWidget* parent, TConfigStore* store)
    : QWidget(parent, Qt::Tool), store_(store) {
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
        g->horizontalHeader()->setDefaultSectionSize(48);
        // fixed cells: left-aligned, cut at the edge rather than shortened
        g->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        g->horizontalHeader()->setTextElideMode(Qt::ElideNone);
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
    split->setSizes({80 + 48 + 24, 80 + 8 * 48 + 24});
    auto* l = new QHBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(split);
    resize(80 + 48 + 24 + 80 + 8 * 48 + 24 + 8, 560);
}

TEepGridForm::~TEepGridForm() {
    // only the operator's own change is stored: a run that changed nothing
    // (a screenshot run, for one) leaves the settings as they were
    const bool on = CheckBox1->isChecked();
    if (!store_ || store_->ReadFlag("EepGrid", "StayOnTop").value_or(false) == on) return;
    store_->WriteFlag("EepGrid", "StayOnTop", on);
    if (!store_->Flush()) WriteLog(kLogError, "settings could not be saved");
}

void TEepGridForm::setVisible(bool visible) {
    // the stay-on-top choice of the last session, each time the window appears
    if (visible && !isVisible() && store_ && store_->HasGroup("EepGrid"))
        if (const auto on = store_->ReadFlag("EepGrid", "StayOnTop")) CheckBox1->setChecked(*on);
    QWidget::setVisible(visible);
}

void TEepGridForm::RefreshGrid(const TKestParam& image, bool mark) {
    auto snapshot = [](QTableWidget* g) {
        std::vector<QStringList> rows;
        for (int r = 0; r < g->rowCount(); ++r) {
            QStringList l;
            for (int c = 0; c < g->columnCount(); ++c) l << Cell(g, r, c);
            rows.push_back(l);
        }
        return rows;
    };
    if (mark && SysGrid->item(0, 0)) {
        SysPrev = snapshot(SysGrid);
        BankPrev = snapshot(BankGrid);
    } else {
        SysPrev.clear();
        BankPrev.clear();
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
    EepGrid = new TEepGridForm(&window, window.Store());
    EepGrid->hide();
    if (window.Lang) ApplyLocale(EepGrid, *window.Lang);
    // The grid goes before the main window does (see the destructor).
    QPointer<TFilerForm> filer = Filer;
    QPointer<TEepGridForm> grid = EepGrid;
    TKestTrel* w = &window;
    window.ShowCompare = [filer](const std::string& file) {
        if (!file.empty()) filer->LoadCompareFile(file);
        filer->show();
        filer->raise();
        filer->RefreshCompare();
    };
    window.ShowBackups = [filer] { filer->ShowBackups(); };
    // translated with the other windows, then filled with the new captions
    window.RegisterWindow("TFilerForm", Filer, [filer] { filer->RefreshCompare(); });
    window.ShowEepGrid = [grid, w] {
        if (!grid) return;
        const bool appearing = !grid->isVisible();
        grid->show();
        grid->raise();
        grid->RefreshGrid(w->Image(), !appearing);
    };
    QObject::connect(EepGrid->Button1, &QPushButton::clicked, EepGrid,
                     [grid, w] { grid->RefreshGrid(w->Image()); });
    refreshEepGridHook = [grid, filer, w] {
        if (grid) grid->RefreshGrid(w->Image());
        if (filer && filer->isVisible()) filer->RefreshCompare();
    };
}

TCompareWindows::~TCompareWindows() {
    delete EepGrid.data();
}

}  // namespace kd
