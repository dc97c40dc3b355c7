#include "shell/ui/dialogs.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLayout>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "shell/identity.h"
#include "shell/ui/apply_locale.h"

namespace kd {

TOkCancelDlg::TOkCancelDlg(const TMirelLang* lang, QWidget* parent) : QDialog(parent) {
    setObjectName("OkCancelDlg");
    setWindowTitle("Confirmation");
    setModal(true);
    auto* v = new QVBoxLayout(this);
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setWordWrap(true);
    Label1->setMinimumWidth(300);
    v->addWidget(Label1);
    auto* h = new QHBoxLayout();
    h->addStretch();
    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setDefault(true);
    CancelButton = new QPushButton("Cancel", this);
    CancelButton->setObjectName("CancelButton");
    h->addWidget(OKButton);
    h->addWidget(CancelButton);
    v->addLayout(h);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    if (lang) ApplyLocale(this, *lang);
}

TParamWriteDlg::TParamWriteDlg(const TMirelLang* lang, QWidget* parent) : QDialog(parent) {
    setObjectName("ParamWriteDlg");
    setWindowTitle("Write Param");
    setModal(true);
    auto* v = new QVBoxLayout(this);
    Label1 = new QLabel(this);
    Label1->setObjectName("Label1");
    Label1->setMinimumWidth(300);
    v->addWidget(Label1);
    auto* h = new QHBoxLayout();
    h->addStretch();
    YesButton = new QPushButton("&Yes", this);
    YesButton->setObjectName("YesButton");
    YesButton->setDefault(true);
    NoButton = new QPushButton("&No", this);
    NoButton->setObjectName("NoButton");
    CancelButton = new QPushButton("Cancel", this);
    CancelButton->setObjectName("CancelButton");
    h->addWidget(YesButton);
    h->addWidget(NoButton);
    h->addWidget(CancelButton);
    v->addLayout(h);
    connect(YesButton, &QPushButton::clicked, this, [this] { done(Yes); });
    connect(NoButton, &QPushButton::clicked, this, [this] { done(No); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { done(Cancelled); });
    if (lang) ApplyLocale(this, *lang);
}

TMessageDlg::TMessageDlg(const QString& caption, const QString& text, QWidget* owner, Kind kind)
    : QDialog(owner) {
    setObjectName("MessageDlg");
    setWindowTitle(caption.isEmpty() ? QString::fromUtf8(kApplicationTitle) : caption);
    setModal(true);
    auto* v = new QVBoxLayout(this);
    auto* row = new QHBoxLayout();
    if (kind == Kind::Error) {
        auto* icon = new QLabel(this);
        icon->setObjectName("IconLabel");
        const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(size, size));
        icon->setAlignment(Qt::AlignTop);
        row->addWidget(icon);
    }
    Label1 = new QLabel(text, this);
    Label1->setObjectName("Label1");
    Label1->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Long texts (paths) wrap rather than make the box wider than the screen.
    Label1->setWordWrap(QFontMetrics(Label1->font()).horizontalAdvance(text) > 560);
    row->addWidget(Label1, 1);
    v->addLayout(row);
    auto* h = new QHBoxLayout();
    h->addStretch();
    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    OKButton->setDefault(true);
    h->addWidget(OKButton);
    h->addStretch();
    v->addLayout(h);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

int CaptionWidth(const QWidget& window, const QString& caption) {
    // The title bar's font is the window manager's; the application's title
    // font (or the window's own) is a fair measure, with room for the icon
    // and the three buttons beside the text.
    QFont font = QApplication::font("QMdiSubWindowTitleBar");
    font.setBold(true);
    const int text = std::max(QFontMetrics(font).horizontalAdvance(caption),
                              QFontMetrics(window.font()).horizontalAdvance(caption));
    return text + 140;
}

void FitAndCentre(QWidget& dialog, const QWidget* owner) {
    dialog.ensurePolished();
    if (QLayout* l = dialog.layout()) l->activate();
    dialog.adjustSize();
    const int width = std::max(dialog.width(), CaptionWidth(dialog, dialog.windowTitle()));
    dialog.setMinimumWidth(width);
    dialog.resize(width, dialog.height());
    const QWidget* anchor = owner ? owner->window() : QApplication::activeWindow();
    QRect area;
    // Until it is shown the dialog has no frame: take the owner's frame as its
    // measure, so that the framed dialog stands centred.
    QMargins frame;
    if (anchor && anchor->isVisible() && anchor != &dialog) {
        area = anchor->frameGeometry();
        const QRect inner = anchor->geometry();
        frame = QMargins(inner.left() - area.left(), inner.top() - area.top(),
                         area.right() - inner.right(), area.bottom() - inner.bottom());
    } else if (const QScreen* screen =
                   anchor ? anchor->screen() : QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (!area.isValid()) return;
    QRect r = dialog.isVisible() ? dialog.frameGeometry() : dialog.rect().marginsAdded(frame);
    r.moveCenter(area.center());
    dialog.move(r.topLeft());
}

void ShowMessageBox(QWidget* owner, const QString& caption, const QString& text,
                    TMessageDlg::Kind kind) {
    TMessageDlg box(caption, text, owner, kind);
    FitAndCentre(box, owner);
    box.exec();
}

TMessageDlg* ShowNotice(QWidget* owner, const QString& caption, const QString& text) {
    auto* box = new TMessageDlg(caption, text, owner);
    box->setModal(false);
    box->setAttribute(Qt::WA_DeleteOnClose);
    FitAndCentre(*box, owner);
    box->show();
    box->raise();
    return box;
}

}  // namespace kd
