#pragma once
// The settings screen: a column of six tab-like buttons and one settings
// page at a time beside them.
#include <QFrame>
#include <QPushButton>
#include <QWidget>
#include <array>
#include <map>

namespace kd {

class TPSettings : public QWidget {
    Q_OBJECT
  public:
    explicit TPSettings(QWidget* parent = nullptr);

    // Shows the settings page of a page code 0x21..0x26; any other code
    // throws "DBG PSettings; unknown page_no" with the number.
    void ShowSubPage(int code);
    // Puts a settings page in place of the empty page area of its code.
    void SetSubPage(int code, QWidget* page);
    QWidget* SubPage(int code) const;
    QWidget* ShownPage() const { return page_; }
    QPushButton* ShownButton() const { return button_; }

    QPushButton* TrigButton;
    QPushButton* CamButton;
    QPushButton* ProfButton;
    QPushButton* AreaButton;
    QPushButton* OpeButton;
    QPushButton* OutButton;
    QFrame* Bevel1;

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    std::array<QWidget*, 6> pages_{};
    QWidget* page_ = nullptr;
    QPushButton* button_ = nullptr;
};

}  // namespace kd
