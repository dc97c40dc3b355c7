#include "pages/ui/page_widgets.h"

#include <algorithm>

namespace kd {

QGroupBox* MakeGroup(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* g = new QGroupBox(caption, parent);
    g->setObjectName(name);
    g->setGeometry(geometry);
    return g;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect g) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setGeometry(g);
    return l;
}

QComboBox* MakeCombo(QWidget* parent, const char* name, const QString& items, QRect g) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    if (!items.isEmpty()) c->addItems(items.split(','));
    c->setGeometry(g);
    return c;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, QRect g) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setAlignment(Qt::AlignRight);
    e->setGeometry(g);
    return e;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, QRect g) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setGeometry(g);
    return b;
}

QToolButton* ActionButton(QWidget* parent, const char* name, QAction* a, QRect g,
                          Qt::ToolButtonStyle style) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setDefaultAction(a);
    b->setToolButtonStyle(style);
    b->setGeometry(g);
    return b;
}

QLabel* TRowLayout::Label(const char* name, const QString& caption) {
    auto* l = new QLabel(caption, parent_);
    l->setObjectName(name);
    l->setGeometry(kLeft, y_, labelWidth_, kHeight);
    l->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    l->setWordWrap(true);
    return l;
}

QComboBox* TRowLayout::Combo(const char* name, const QString& commaItems) {
    auto* c = new QComboBox(parent_);
    c->setObjectName(name);
    c->addItems(commaItems.split(','));
    c->setGeometry(kLeft + labelWidth_ + kGap, y_, controlWidth_, kHeight);
    return c;
}

QLineEdit* TRowLayout::Edit(const char* name, const QString& hint) {
    auto* e = new QLineEdit(parent_);
    e->setObjectName(name);
    e->setToolTip(hint);
    e->setAlignment(Qt::AlignRight);
    e->setGeometry(kLeft + labelWidth_ + kGap, y_, kEditWidth, kHeight);
    return e;
}

QLabel* TRowLayout::Unit(const char* name, const QString& caption) {
    auto* l = new QLabel(caption, parent_);
    l->setObjectName(name);
    const int x = kLeft + labelWidth_ + kGap + kEditWidth + 6;
    l->setGeometry(x, y_, std::max(40, parent_->width() - x - 6), kHeight);
    return l;
}

}  // namespace kd
