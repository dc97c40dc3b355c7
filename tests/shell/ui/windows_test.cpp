#include <gtest/gtest.h>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QUrl>

#include "shell/ui/dialogs.h"
#include "shell/ui/splash_form.h"
#include "shell/ui/tp_settings.h"
#include "ui_test_support.h"

namespace kd::test {
namespace {

class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> urls;
  public slots:
    void Open(const QUrl& url) { urls << url; }
};

TEST(SplashForm, TextsAndSize) {
    App();
    TSplashForm f;
    EXPECT_EQ(f.size(), QSize(512, 256));
    EXPECT_EQ(f.TitleLabel->text(), "KD Trelva");
    EXPECT_EQ(f.VersionLabel->text(), "Version 1.70");
    EXPECT_EQ(f.SubTitleLabel->text(), "Settings Support Software");
    EXPECT_TRUE(f.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(f.windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST(SplashForm, AnimationSteps) {
    App();
    TSplashForm f;
    f.show();
    EXPECT_EQ(f.Counter(), 20);
    EXPECT_TRUE(f.AnimationRunning());
    while (f.Counter() > 4) f.AnimationTick();
    EXPECT_DOUBLE_EQ(f.Logo1Scale(), 1.0);
    f.AnimationTick();
    EXPECT_DOUBLE_EQ(f.Logo1Scale(), 0.75);
    EXPECT_DOUBLE_EQ(f.Logo2Scale(), 0.0);
    while (f.Counter() > 0) f.AnimationTick();
    EXPECT_DOUBLE_EQ(f.Logo1Scale(), 0.0);
    EXPECT_DOUBLE_EQ(f.Logo2Scale(), 0.0);
    while (f.Counter() > -4) f.AnimationTick();
    EXPECT_DOUBLE_EQ(f.Logo2Scale(), 0.5);
    EXPECT_TRUE(f.AnimationRunning());
    while (f.Counter() > -9) f.AnimationTick();
    EXPECT_FALSE(f.AnimationRunning());
    EXPECT_DOUBLE_EQ(f.Logo2Scale(), 1.0);
    // Shown again, it starts over.
    f.hide();
    f.show();
    EXPECT_EQ(f.Counter(), 20);
}

TEST(SplashForm, KeyOrClickCloses) {
    App();
    TSplashForm f;
    f.show();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QCoreApplication::sendEvent(&f, &key);
    EXPECT_FALSE(f.isVisible());
    f.show();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(400, 200), QPointF(400, 200),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&f, &press);
    EXPECT_FALSE(f.isVisible());
}

TEST(SplashForm, ClickOnTheSecondLogoOpensTheMakersPage) {
    App();
    TLogCapture log;
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "Open");
    TSplashForm f;
    f.show();
    while (f.AnimationRunning()) f.AnimationTick();
    QPointF at = f.Logo2Rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(&f, &press);
    QDesktopServices::unsetUrlHandler("https");
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_TRUE(log.Has("open '" + catcher.urls[0].toString().toStdString() + "' on WEB BROWSER"));
    EXPECT_FALSE(f.isVisible());
}

TEST(SettingsContainer, ShowSubPage) {
    App();
    QWidget host;
    host.resize(800, 480);
    auto* s = new TPSettings(&host);
    host.show();
    struct Case {
        int code;
        QPushButton* button;
        bool bevel;
    };
    const Case cases[] = {{0x21, s->TrigButton, false}, {0x22, s->CamButton, true},
                          {0x23, s->ProfButton, true},  {0x24, s->AreaButton, true},
                          {0x25, s->OpeButton, true},   {0x26, s->OutButton, false}};
    QWidget* previous = nullptr;
    for (const Case& c : cases) {
        s->ShowSubPage(c.code);
        EXPECT_EQ(s->ShownButton(), c.button);
        EXPECT_EQ(s->ShownPage(), s->SubPage(c.code));
        EXPECT_EQ(s->Bevel1->isVisible(), c.bevel) << c.code;
        EXPECT_EQ(s->ShownPage()->pos(), QPoint(102, 72));
        EXPECT_TRUE(s->ShownPage()->isVisible());
        // The chosen button alone is drawn as the selected tab.
        for (QPushButton* b : {s->TrigButton, s->CamButton, s->ProfButton, s->AreaButton,
                               s->OpeButton, s->OutButton})
            EXPECT_EQ(b->property("selected").toBool(), b == c.button) << c.code;
        if (previous) {
            EXPECT_FALSE(previous->isVisible());
        }
        previous = s->ShownPage();
    }
    try {
        s->ShowSubPage(0x27);
        FAIL() << "no error";
    } catch (const EKestError& e) {
        EXPECT_STREQ(e.what(), "DBG PSettings; unknown page_no39");
    }
}

TEST(SettingsContainer, RegisteredPageReplacesTheEmptyOne) {
    App();
    TPSettings s;
    auto* page = new QWidget;
    page->setObjectName("PTrigger");
    s.SetSubPage(0x21, page);
    EXPECT_EQ(s.SubPage(0x21), page);
    EXPECT_EQ(page->parent(), &s);
    s.ShowSubPage(0x21);
    EXPECT_EQ(s.ShownPage(), page);
    EXPECT_EQ(s.SubPage(0x30), nullptr);
}

TEST(Dialogs, EnglishCaptions) {
    App();
    TMirelLang en = *TMirelLang::FromResource("StringTable", "en");
    TOkCancelDlg ok(&en);
    EXPECT_EQ(ok.windowTitle(), "Confirmation");
    EXPECT_EQ(ok.CancelButton->text(), "Cancel");
    TParamWriteDlg pw(&en);
    EXPECT_EQ(pw.YesButton->text(), "&Yes");
    EXPECT_EQ(pw.NoButton->text(), "&No");
    pw.show();
    pw.NoButton->click();
    EXPECT_EQ(pw.result(), TParamWriteDlg::No);
    TMirelLang ko = *TMirelLang::FromResource("StringTable", "ko");
    TParamWriteDlg pk(&ko);
    EXPECT_EQ(pk.CancelButton->text(), QString::fromUtf8("취소"));
}

}  // namespace
}  // namespace kd::test

#include "windows_test.moc"
