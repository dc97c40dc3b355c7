#pragma once
// Small builders for the settings pages' forms: group boxes and rows of a
// caption with its list, edit and unit, each control named as localisation
// finds it.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QToolButton>

namespace kd {

QGroupBox* MakeGroup(QWidget* parent, const char* name, const QString& caption, QRect geometry);
// Single controls at a place of their own.
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect g);
// items: comma-separated (none when empty).
QComboBox* MakeCombo(QWidget* parent, const char* name, const QString& items, QRect g);
// Right-aligned, as the pages show numbers.
QLineEdit* MakeEdit(QWidget* parent, const char* name, QRect g);
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, QRect g);
// A button that shows and triggers an action.
QToolButton* ActionButton(QWidget* parent, const char* name, QAction* a, QRect g,
                          Qt::ToolButtonStyle style = Qt::ToolButtonIconOnly);

// Rows top to bottom inside a parent: caption at the left, the control
// beside it, a unit after an edit.
class TRowLayout {
  public:
    TRowLayout(QWidget* parent, int top, int step, int labelWidth = 130, int controlWidth = 150)
        : parent_(parent),
          y_(top),
          step_(step),
          labelWidth_(labelWidth),
          controlWidth_(controlWidth) {}
    QLabel* Label(const char* name, const QString& caption);
    QComboBox* Combo(const char* name, const QString& commaItems);
    // A right-aligned edit with its value-range hint.
    QLineEdit* Edit(const char* name, const QString& hint);
    QLabel* Unit(const char* name, const QString& caption);
    void Next() { y_ += step_; }
    int Y() const { return y_; }

  private:
    static constexpr int kLeft = 12;
    static constexpr int kGap = 8;
    static constexpr int kHeight = 26;
    static constexpr int kEditWidth = 90;
    QWidget* parent_;
    int y_, step_, labelWidth_, controlWidth_;
};

}  // namespace kd
