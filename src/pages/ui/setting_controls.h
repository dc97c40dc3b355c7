#pragma once
// The settings table in the widgets: an edit box or a drop-down list bound
// to its row by the control's object name. An edit runs the edit rule on
// every change of its text and turns red or black; a list runs its row on
// the operator's choice only. Refilling from the image never sends.
#include <QComboBox>
#include <QLineEdit>
#include <functional>
#include <vector>

#include "pages/settings_table.h"

namespace kd {

// The text colours of the edit rule.
void SetEditValid(QLineEdit* edit, bool valid);
bool EditValid(const QLineEdit* edit);

class TSettingControls {
  public:
    // Runs after a change was taken (stored, sent or unchanged) or refused.
    using After = std::function<void(const TSettingOutcome&)>;

    explicit TSettingControls(TPageContext& ctx) : ctx_(ctx) {}

    // Binds a control to the row of its object name; throws EKestError when
    // the table has no such row.
    void Bind(QLineEdit* edit, After after = {});
    void Bind(QComboBox* list, After after = {});

    // Fills every bound control from the image (lists without their
    // handlers; edits through the edit rule, which only colours them).
    void ShowAll();
    void Show(const QWidget* control);

    // The row of a bound control.
    static const TSetting& RowOf(const QWidget* control);

  private:
    struct TBinding {
        QWidget* Control;
        const TSetting* Row;
        After Then;
    };
    void Show(const TBinding& b);
    void Run(const TBinding& b, const std::function<TSettingOutcome()>& change);

    TPageContext& ctx_;
    std::vector<TBinding> bindings_;
};

}  // namespace kd
