#include "shell/ui/debug_form.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QThread>
#include <QTime>

#include "common/log.h"
#include "shell/identity.h"

namespace kd {

namespace {
constexpr int kStampLength = 13;  // "hh:nn:ss.zzz "
constexpr int kMaxLogLines = 20000;
}  // namespace

TDebugForm::TDebugForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("DebugForm");
    setWindowTitle(QString::fromUtf8(kDebugCaption));
    resize(560, 420);
    auto* grid = new QGridLayout(this);
    Displ = new QCheckBox("Displ", this);
    Displ->setObjectName("Displ");
    Displ->setChecked(true);
    Sync = new QCheckBox("Sync", this);
    Sync->setObjectName("Sync");
    Sync->setChecked(false);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName("Edit1");
    Edit1->setReadOnly(true);
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName("Edit2");
    LogView = new QTextEdit(this);
    LogView->setObjectName("RichEdit1");
    LogView->setReadOnly(true);
    LogView->setLineWrapMode(QTextEdit::NoWrap);
    LogView->document()->setMaximumBlockCount(kMaxLogLines);
    LogView->clear();
    grid->addWidget(Displ, 0, 0);
    grid->addWidget(Sync, 0, 1);
    grid->addWidget(Edit1, 0, 2);
    grid->addWidget(Edit2, 0, 3);
    grid->addWidget(LogView, 1, 0, 1, 4);
    grid->setColumnStretch(3, 1);

    stampTimer_.setInterval(1);
    connect(&stampTimer_, &QTimer::timeout, this, &TDebugForm::StampTick);

    QPointer<TDebugForm> self(this);
    sinkId_ = AddLogSink([self](int attribute, const std::string& line) {
        QString text = QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
        if (QThread::currentThread() == qApp->thread()) {
            if (self) self->AppendLog(attribute, text);
        } else {
            QMetaObject::invokeMethod(
                qApp,
                [self, attribute, text] {
                    if (self) self->AppendLog(attribute, text);
                },
                Qt::QueuedConnection);
        }
    });
}

TDebugForm::~TDebugForm() {
    RemoveLogSink(sinkId_);
}

QString TDebugForm::TimeStamp() {
    return QTime::currentTime().toString("hh:mm:ss.zzz ");
}

void TDebugForm::AppendLog(int attribute, const QString& message) {
    if (terminating_) return;
    if (attribute != -1 && (static_cast<uint32_t>(attribute) & 0xFF000000u) != 0) return;
    QTextCursor remembered = LogView->textCursor();
    if (!batchOpen_) {
        LogView->setUpdatesEnabled(false);
        batchOpen_ = true;
    }
    QTextCursor c(LogView->document());
    c.movePosition(QTextCursor::End);
    QTextCharFormat fmt;
    if (attribute == -1) {
        fmt.setForeground(Qt::black);
        fmt.setFontWeight(QFont::Normal);
    } else {
        const auto a = static_cast<uint32_t>(attribute);
        fmt.setForeground(QColor(static_cast<int>(a & 0xFF), static_cast<int>((a >> 8) & 0xFF),
                                 static_cast<int>((a >> 16) & 0xFF)));
        fmt.setFontWeight(QFont::Bold);
    }
    c.insertText(message, fmt);
    QTextCharFormat plain;
    plain.setForeground(Qt::black);
    plain.setFontWeight(QFont::Normal);
    c.insertText("\n", plain);
    c.insertText(TimeStamp(), plain);
    if (LogView->hasFocus()) {
        LogView->setTextCursor(remembered);
    } else {
        QTextCursor end(LogView->document());
        end.movePosition(QTextCursor::End);
        LogView->setTextCursor(end);
    }
    LogView->ensureCursorVisible();
}

void TDebugForm::StampTick() {
    if (!LogView->hasFocus() && !LogView->document()->isEmpty()) {
        QTextCursor c(LogView->document());
        c.movePosition(QTextCursor::End);
        QTextBlock last = c.block();
        if (last.length() - 1 >= kStampLength) {
            c.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, kStampLength);
            QTextCharFormat plain;
            plain.setForeground(Qt::black);
            c.insertText(TimeStamp(), plain);
        }
    }
    if (batchOpen_) {
        LogView->setUpdatesEnabled(true);
        batchOpen_ = false;
    }
}

void TDebugForm::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    stampTimer_.start();
}

void TDebugForm::hideEvent(QHideEvent* e) {
    stampTimer_.stop();
    QWidget::hideEvent(e);
}

}  // namespace kd
