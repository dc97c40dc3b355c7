#include "pages/ui/setting_controls.h"

#include <QSignalBlocker>

#include "common/kest_error.h"

namespace kd {

namespace {
const TSetting& RowByName(const QWidget* control) {
    const std::string name = control->objectName().toStdString();
    const TSetting* row = FindSettingByControl(name);
    if (!row) throw EKestError("no setting for the control " + name);
    return *row;
}
}  // namespace

void SetEditValid(QLineEdit* edit, bool valid) {
    QPalette p = edit->palette();
    p.setColor(QPalette::Text, valid ? QColor(0, 0, 0) : QColor(255, 0, 0));
    edit->setPalette(p);
    edit->setProperty("kdValid", valid);
}

bool EditValid(const QLineEdit* edit) {
    return edit->property("kdValid").toBool();
}

const TSetting& TSettingControls::RowOf(const QWidget* control) {
    return RowByName(control);
}

void TSettingControls::Bind(QLineEdit* edit, After after) {
    bindings_.push_back({edit, &RowByName(edit), std::move(after)});
    const TBinding b = bindings_.back();
    edit->setAlignment(Qt::AlignRight);
    QObject::connect(edit, &QLineEdit::textChanged, edit, [this, b, edit](const QString& text) {
        Run(b, [this, &b, edit, &text] {
            TSettingOutcome o = EditSetting(*b.Row, ctx_, text.toStdString());
            SetEditValid(edit, o.Valid());
            return o;
        });
    });
}

void TSettingControls::Bind(QComboBox* list, After after) {
    bindings_.push_back({list, &RowByName(list), std::move(after)});
    const TBinding b = bindings_.back();
    // activated: the operator's choice, also of the entry already shown.
    QObject::connect(list, &QComboBox::activated, list, [this, b](int index) {
        Run(b, [this, &b, index] { return ChooseSetting(*b.Row, ctx_, index); });
    });
}

void TSettingControls::Run(const TBinding& b, const std::function<TSettingOutcome()>& change) {
    // No exception leaves the handler: it goes to the program's handler, the
    // image already holding the change.
    try {
        TSettingOutcome o = change();
        if (b.Then) b.Then(o);
    } catch (const std::exception& e) {
        ctx_.Services.HandleException(e);
    }
}

void TSettingControls::Show(const TBinding& b) {
    const std::optional<int> v = ShownValue(*b.Row, ctx_);
    if (auto* list = qobject_cast<QComboBox*>(b.Control)) {
        if (!v && b.Row->KeepUnknown) return;
        QSignalBlocker block(list);
        list->setCurrentIndex(v && *v < list->count() ? *v : -1);
    } else if (auto* edit = qobject_cast<QLineEdit*>(b.Control)) {
        const QString text = QString::fromStdString(SettingText(*b.Row, ctx_));
        if (edit->text() != text)
            edit->setText(text);  // the edit rule runs; equal to the image, it only colours
        else
            SetEditValid(edit, EditSetting(*b.Row, ctx_, text.toStdString()).Valid());
    }
}

void TSettingControls::ShowAll() {
    for (const TBinding& b : bindings_) Show(b);
}

void TSettingControls::Show(const QWidget* control) {
    for (const TBinding& b : bindings_)
        if (b.Control == control) Show(b);
}

}  // namespace kd
