#include "shell/ui/apply_locale.h"

#include <QAbstractButton>
#include <QToolButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QWidget>

#include "common/log.h"

namespace kd {

QString LangText(const std::string& value) {
    QString s = QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
    s.replace("\r\n", "\n");
    return s;
}

QString Translated(const TMirelLang& lang, const char* name, const char* def) {
    return LangText(lang.Translate(name, def));
}

namespace {

QStringList CommaItems(const std::string& value) {
    QStringList out;
    for (const auto& item : ParseCommaList(value)) out << QString::fromStdString(item);
    return out;
}

void RefillCombo(QComboBox* combo, const QStringList& items) {
    QSignalBlocker block(combo);
    int index = combo->currentIndex();
    combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(index < combo->count() ? index : -1);
}

// An action's text as its own tool tip shows it: no mnemonic marks, no "...".
QString StrippedText(QString s) {
    s.remove("...");
    s.remove('&');
    return s.trimmed();
}

void ApplyCaption(QObject* c, const QString& text, const std::string& name) {
    if (auto* label = qobject_cast<QLabel*>(c)) {
        label->setText(text);
    } else if (auto* tool = qobject_cast<QToolButton*>(c); tool && tool->defaultAction()) {
        // A tool button shows its action's icon text and takes it back whenever
        // the action changes; the icon text is not shown in menus.
        QAction* action = tool->defaultAction();
        // Its tool tip is the action's, made from the action's text unless
        // one was set: it follows the caption shown instead.
        if (action->property("kdTipFromCaption").toBool() ||
            action->toolTip() == StrippedText(action->text())) {
            action->setToolTip(StrippedText(text));
            action->setProperty("kdTipFromCaption", true);
        }
        action->setIconText(text);
        tool->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(c)) {
        button->setText(text);
    } else if (auto* menu = qobject_cast<QMenu*>(c)) {
        menu->setTitle(text);
    } else if (auto* action = qobject_cast<QAction*>(c)) {
        action->setText(text);
    } else if (auto* w = qobject_cast<QWidget*>(c); w && w->isWindow()) {
        w->setWindowTitle(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(c)) {
        group->setTitle(text);
    } else {
        WriteLog(kLogError, "ApplyLocale(); not support %s.Caption", name.c_str());
    }
}

}  // namespace

void ApplyLocale(QObject* c, const TMirelLang& lang) {
    if (!c) return;
    auto* widget = qobject_cast<QWidget*>(c);
    if (widget && widget->isWindow()) widget->setProperty("kdCharset", lang.Charset());
    const std::string n = c->objectName().toStdString();
    if (!n.empty()) {
        if (const std::string* v = lang.Find(n + ".Caption"))
            ApplyCaption(c, LangText(ExpandLineBreaks(*v)), n);
        if (const std::string* v = lang.Find(n + ".Hint")) {
            QString hint = LangText(ExpandLineBreaks(*v));
            if (widget)
                widget->setToolTip(hint);
            else if (auto* action = qobject_cast<QAction*>(c))
                action->setToolTip(hint);
        }
        if (auto* combo = qobject_cast<QComboBox*>(c)) {
            if (const std::string* v = lang.Find(n + ".Items")) RefillCombo(combo, CommaItems(*v));
            if (lang.Has(n + ".Items0")) {
                QStringList items;
                for (int i = 0;; ++i) {
                    const std::string* v = lang.Find(n + ".Items" + std::to_string(i));
                    if (!v) break;
                    items << QString::fromStdString(*v);
                }
                RefillCombo(combo, items);
            }
            if (const std::string* v = lang.Find(n + ".Text")) {
                QSignalBlocker block(combo);
                if (combo->isEditable())
                    combo->setEditText(QString::fromStdString(*v));
                else
                    combo->setCurrentText(QString::fromStdString(*v));
            }
        } else if (auto* group = qobject_cast<QGroupBox*>(c); group && lang.Has(n + ".Items0")) {
            // A radio group: the choices keep their number, their texts change.
            QList<QRadioButton*> radios =
                group->findChildren<QRadioButton*>(QString(), Qt::FindDirectChildrenOnly);
            for (int i = 0; i < radios.size(); ++i) {
                const std::string* v = lang.Find(n + ".Items" + std::to_string(i));
                if (!v) break;
                radios[i]->setText(QString::fromStdString(*v));
            }
        }
    }
    const QObjectList children = c->children();
    for (QObject* child : children) ApplyLocale(child, lang);
}

}  // namespace kd
