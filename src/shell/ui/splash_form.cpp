#include "shell/ui/splash_form.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>

#include "common/log.h"
#include "shell/identity.h"
#include "shell/shell_text.h"

namespace kd {

namespace {
constexpr int kLeftWidth = 180;
const QRect kLogoRect(30, 78, 120, 100);  // both logos share this place
}  // namespace

TSplashForm::TSplashForm(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("SplashForm");
    setFixedSize(512, 256);
    setFocusPolicy(Qt::StrongFocus);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    TitleLabel = new QLabel(QString::fromStdString(AboutTitle(kApplicationTitle)), this);
    TitleLabel->setObjectName("ProgramTitleLabel");
    QFont tf = TitleLabel->font();
    tf.setPixelSize(34);
    tf.setBold(true);
    TitleLabel->setFont(tf);
    TitleLabel->setGeometry(kLeftWidth + 20, 50, 300, 48);

    SubTitleLabel = new QLabel(QString::fromUtf8(kSubTitle), this);
    SubTitleLabel->setObjectName("SubTitleLabel");
    QFont sf = SubTitleLabel->font();
    sf.setPixelSize(16);
    SubTitleLabel->setFont(sf);
    SubTitleLabel->setGeometry(kLeftWidth + 22, 104, 300, 28);

    VersionLabel = new QLabel(QString::fromStdString(AboutVersion(kFileVersion)), this);
    VersionLabel->setObjectName("ProgramVersionLabel");
    VersionLabel->setGeometry(kLeftWidth + 22, 170, 300, 24);

    timer_.setInterval(16);
    connect(&timer_, &QTimer::timeout, this, &TSplashForm::AnimationTick);
}

void TSplashForm::ShowAbout(QWidget* centreOn) {
    if (centreOn) {
        QPoint c = centreOn->mapToGlobal(centreOn->rect().center());
        move(c.x() - width() / 2, c.y() - height() / 2);
    }
    show();
    raise();
    activateWindow();
}

void TSplashForm::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    counter_ = 20;
    wasActive_ = false;
    timer_.start();
}

void TSplashForm::hideEvent(QHideEvent* e) {
    timer_.stop();
    QWidget::hideEvent(e);
}

void TSplashForm::AnimationTick() {
    --counter_;
    if (counter_ < -8) timer_.stop();
    update(kLogoRect.adjusted(-2, -2, 2, 2));
}

double TSplashForm::Logo1Scale() const {
    if (counter_ > 4) return 1.0;
    if (counter_ >= 1) return counter_ / 4.0;
    return 0.0;
}

double TSplashForm::Logo2Scale() const {
    if (counter_ > 0) return 0.0;
    if (counter_ >= -8) return -counter_ / 8.0;
    return 1.0;
}

QRect TSplashForm::Logo2Rect() const {
    double s = Logo2Scale();
    int h = static_cast<int>(kLogoRect.height() * s);
    return QRect(kLogoRect.left(), kLogoRect.center().y() - h / 2, kLogoRect.width(), h);
}

void TSplashForm::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, QColor(255, 255, 255));
    g.setColorAt(1, QColor(155, 155, 155));
    p.fillRect(0, 0, kLeftWidth, height(), g);
    p.setRenderHint(QPainter::Antialiasing);

    // Logo 1: the product emblem, squeezed vertically about its centre.
    if (double s = Logo1Scale(); s > 0) {
        int h = static_cast<int>(kLogoRect.height() * s);
        QRect r(kLogoRect.left(), kLogoRect.center().y() - h / 2, kLogoRect.width(), h);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2B, 0x4F, 0x7A));
        p.drawRoundedRect(r, 14, 14 * s);
        p.setPen(Qt::white);
        QFont f = font();
        f.setPixelSize(std::max(1, static_cast<int>(54 * s)));
        f.setBold(true);
        p.setFont(f);
        p.drawText(r, Qt::AlignCenter, "KD");
    }
    // Logo 2: the maker's mark, growing about the same centre.
    if (double s = Logo2Scale(); s > 0) {
        QRect r = Logo2Rect();
        p.setPen(QPen(QColor(0xC0, 0x30, 0x20), 3));
        p.setBrush(Qt::white);
        p.drawEllipse(r.adjusted(10, 0, -10, 0));
        p.setPen(QColor(0xC0, 0x30, 0x20));
        QFont f = font();
        f.setPixelSize(std::max(1, static_cast<int>(15 * s)));
        f.setBold(true);
        p.setFont(f);
        p.drawText(r, Qt::AlignCenter, "Brenmark");
    }
    // The gradient panel's frame: white 4 px, black 2 px, inset by 2 px.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBrush(Qt::NoBrush);
    const QRectF panel(2, 2, kLeftWidth - 4, height() - 4);
    p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawRect(panel.adjusted(2, 2, -2, -2));
    p.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.drawRect(panel.adjusted(1, 1, -1, -1));
}

void TSplashForm::mousePressEvent(QMouseEvent* e) {
    if (Logo2Scale() > 0 && Logo2Rect().contains(e->position().toPoint())) {
        WriteLog(kLogPlain, "open '%s' on WEB BROWSER", kMakerUrl);
        QDesktopServices::openUrl(QUrl(QString::fromUtf8(kMakerUrl)));
    }
    close();
}

void TSplashForm::keyPressEvent(QKeyEvent*) {
    close();
}

void TSplashForm::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() != QEvent::ActivationChange || !isVisible()) return;
    if (isActiveWindow())
        wasActive_ = true;
    else if (wasActive_)
        close();  // focus went elsewhere
}

}  // namespace kd
