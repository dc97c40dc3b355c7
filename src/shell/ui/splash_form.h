#pragma once
// The About window: title, version and sub-title beside a grey gradient with
// two logos that change places in a short animation.
#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace kd {

class TSplashForm : public QWidget {
    Q_OBJECT
  public:
    explicit TSplashForm(QWidget* parent = nullptr);
    QLabel* TitleLabel;
    QLabel* VersionLabel;
    QLabel* SubTitleLabel;

    // Shows the window centred on the given one and starts the animation.
    void ShowAbout(QWidget* centreOn);
    int Counter() const { return counter_; }
    bool AnimationRunning() const { return timer_.isActive(); }
    void AnimationTick();
    // Heights of the two logos now, 0..1 of their full height.
    double Logo1Scale() const;
    double Logo2Scale() const;
    QRect Logo2Rect() const;

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

  private:
    QTimer timer_;
    int counter_ = 20;
    bool wasActive_ = false;
};

}  // namespace kd
