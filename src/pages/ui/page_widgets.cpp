#include "pages/ui/page_widgets.h"

#include <algorithm>

namespace kd {

namespace {

// Names a new control and puts it in its place.
template <typename W>
W* Placed(W* w, const char* name, QRect geometry) {
    w->setObjectName(name);
    w->setGeometry(geometry);
    return w;
}

}  // namespace

QGroupBox* MakeGroup(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    return Placed(new QGroupBox(caption, parent), name, geometry);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect g) {
    return Placed(new QLabel(text, parent), name, g);
}

QComboBox* MakeCombo(QWidget* parent, const char* name, const QString& items, QRect g) {
    auto* c = Placed(new QComboBox(parent), name, g);
    if (!items.isEmpty()) c->addItems(items.split(','));
    return c;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, QRect g) {
    auto* e = Placed(new QLineEdit(parent), name, g);
    e->setAlignment(Qt::AlignRight);
    return e;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, QRect g) {
    return Placed(new QPushButton(text, parent), name, g);
}

QToolButton* ActionButton(QWidget* parent, const char* name, QAction* a, QRect g,
                          Qt::ToolButtonStyle style) {
    auto* b = Placed(new QToolButton(parent), name, g);
    b->setDefaultAction(a);
    b->setToolButtonStyle(style);
    return b;
}

QLabel* TRowLayout::Label(const char* name, const QString& caption) {
    auto* l = Placed(new QLabel(caption, parent_), name, QRect(kLeft, y_, labelWidth_, kHeight));
    l->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    l->setWordWrap(true);
    return l;
}

QComboBox* TRowLayout::Combo(const char* name, const QString& commaItems) {
    auto* c = Placed(new QComboBox(parent_), name,
                     QRect(kLeft + labelWidth_ + kGap, y_, controlWidth_, kHeight));
    c->addItems(commaItems.split(','));
    return c;
}

QLineEdit* TRowLayout::Edit(const char* name, const QString& hint) {
    auto* e = Placed(new QLineEdit(parent_), name,
                     QRect(kLeft + labelWidth_ + kGap, y_, kEditWidth, kHeight));
    e->setToolTip(hint);
    e->setAlignment(Qt::AlignRight);
    return e;
}

QLabel* TRowLayout::Unit(const char* name, const QString& caption) {
    const int x = kLeft + labelWidth_ + kGap + kEditWidth + 6;
    return Placed(new QLabel(caption, parent_), name,
                  QRect(x, y_, std::max(40, parent_->width() - x - 6), kHeight));
}

}  // namespace kd
