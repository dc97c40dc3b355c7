#include "shell/ui/tp_settings.h"

#include <QPainter>

#include "common/kest_error.h"
#include "shell/shell_state.h"
#include "shell/ui/page_outline_painter.h"

namespace kd {

namespace {
// Tab-like buttons: the chosen one white with a blue frame and caption, open
// to the page at its right edge.
constexpr const char* kTabStyle =
    "QPushButton { background: #d4d0c8; border: 1px solid #808080; border-right: none; "
    "border-top-left-radius: 6px; border-bottom-left-radius: 6px; }";
constexpr const char* kSelectedStyle =
    "QPushButton { background: #ffffff; border: 2px solid #3d5f80; border-right: none; "
    "border-top-left-radius: 6px; border-bottom-left-radius: 6px; color: #1f3f80; }";
constexpr std::array<const char*, 6> kPageNames = {"TPTrigger", "TPCamera",    "TPProfile",
                                                   "TPArea",    "TPOperation", "TPOutput"};
}  // namespace

TPSettings::TPSettings(QWidget* parent) : QWidget(parent) {
    setObjectName("PSettings");
    resize(800, 500);
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName("Bevel1");
    Bevel1->setFrameStyle(QFrame::Box | QFrame::Raised);
    Bevel1->setGeometry(101, 73, 680, 389);

    struct B {
        QPushButton** field;
        const char* name;
        const char* caption;
        QRect rect;
    };
    const B buttons[] = {
        {&TrigButton, "TrigButton", "Inputs/Trigger", QRect(14, 72, 86, 62)},
        {&CamButton, "CamButton", "Camera", QRect(12, 134, 90, 72)},
        {&ProfButton, "ProfButton", "Profile", QRect(14, 206, 86, 62)},
        {&AreaButton, "AreaButton", "Area", QRect(12, 268, 90, 73)},
        {&OpeButton, "OpeButton", "Operation", QRect(14, 341, 86, 62)},
        {&OutButton, "OutButton", "Outputs", QRect(14, 403, 86, 62)},
    };
    int tag = 1;
    for (const B& b : buttons) {
        *b.field = new QPushButton(b.caption, this);
        (*b.field)->setObjectName(b.name);
        (*b.field)->setGeometry(b.rect);
        (*b.field)->setProperty("tag", tag++);
        (*b.field)->setStyleSheet(kTabStyle);
    }
    for (size_t i = 0; i < pages_.size(); ++i) {
        auto* empty = new QWidget(this);
        empty->setObjectName(kPageNames[i]);
        empty->resize(680, 390);
        empty->hide();
        pages_[i] = empty;
    }
}

void TPSettings::SetSubPage(int code, QWidget* page) {
    if (code < kPageTrigger || code > kPageOutput || !page) return;
    QWidget*& slot = pages_[static_cast<size_t>(code - kPageTrigger)];
    if (slot == page_) page_ = page;
    if (slot && slot->parent() == this && slot != page) slot->deleteLater();
    slot = page;
    page->setParent(this);
    page->hide();
}

QWidget* TPSettings::SubPage(int code) const {
    if (code < kPageTrigger || code > kPageOutput) return nullptr;
    return pages_[static_cast<size_t>(code - kPageTrigger)];
}

void TPSettings::ShowSubPage(int code) {
    if (page_) {
        page_->hide();
        if (button_) button_->raise();
    }
    QPushButton* button;
    bool bevel;
    switch (code) {
        case kPageTrigger:
            button = TrigButton;
            bevel = false;
            break;
        case kPageCamera:
            button = CamButton;
            bevel = true;
            break;
        case kPageProfile:
            button = ProfButton;
            bevel = true;
            break;
        case kPageArea:
            button = AreaButton;
            bevel = true;
            break;
        case kPageOperation:
            button = OpeButton;
            bevel = true;
            break;
        case kPageOutput:
            button = OutButton;
            bevel = false;
            break;
        default:
            throw EKestError("DBG PSettings; unknown page_no" + std::to_string(code));
    }
    page_ = pages_[static_cast<size_t>(code - kPageTrigger)];
    button_ = button;
    // The chosen button is drawn as the tab joined to the page.
    for (QPushButton* b : {TrigButton, CamButton, ProfButton, AreaButton, OpeButton, OutButton}) {
        b->setProperty("selected", b == button);
        b->setStyleSheet(b == button ? kSelectedStyle : kTabStyle);
    }
    Bevel1->setVisible(bevel);
    // The chosen button lies behind the page's edge like a tab.
    page_->lower();
    button_->lower();
    page_->move(110, 70);
    page_->show();
    page_->move(102, 72);
}

void TPSettings::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 2));
    const QWidget* client = parentWidget() ? parentWidget() : this;
    DrawPageOutline(p, SettingsOutline(), client->width(), client->height());
}

}  // namespace kd
