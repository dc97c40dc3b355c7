// Renders every window of the shell in the four languages. With KD_SHOT_DIR
// set the pictures are saved there as PNG for looking at them.
#include <gtest/gtest.h>
#include <QDir>
#include <QImage>
#include <QMenu>

#include "shell/ui/debug_form.h"
#include "shell/ui/dialogs.h"
#include "shell/ui/kest_trel.h"
#include "shell/ui/splash_form.h"
#include "ui_test_support.h"

namespace kd::test {
namespace {

void Keep(const QImage& image, const QString& name) {
    const QByteArray dir = qgetenv("KD_SHOT_DIR");
    if (!dir.isEmpty()) image.save(QDir(QString::fromLocal8Bit(dir)).filePath(name + ".png"));
}

// Share of pixels that differ from the most common colour: a window that
// painted nothing but its background scores 0.
double InkShare(const QImage& image) {
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) ++counts[image.pixel(x, y)];
    int total = 0, top = 0;
    for (auto& [c, n] : counts) {
        total += n;
        top = std::max(top, n);
    }
    return total ? 1.0 - static_cast<double>(top) / total : 0.0;
}

TEST(Screenshots, EveryWindowInEveryLanguage) {
    App();
    for (const char* code : {"en", "ja", "cn", "ko"}) {
        TRecordingLink link;
        TRecordingWorkflow workflow;
        TKestServices s;
        s.Worker = &link;
        s.Workflow = &workflow;
        TKestTrel w({"-loc", code}, s);
        w.CreateWindows();
        w.show();
        const QString c = QString::fromUtf8(code);
        QImage measure = w.grab().toImage();
        EXPECT_GE(measure.width(), 800);
        EXPECT_GT(InkShare(measure), 0.02) << code;
        Keep(measure, "main_measure_" + c);

        // Connected, with the service panel and the settings screen.
        w.State.LinkState = 2;
        w.ConnectButton->hide();
        for (QPushButton* b : {w.DisConnectButton, w.SendButton, w.RecvButton}) b->show();
        w.ServicePanel->show();
        w.UpdateActions();
        w.ShowPage(kPageCamera);
        QImage settings = w.grab().toImage();
        EXPECT_NE(settings, measure);
        Keep(settings, "main_settings_" + c);
        w.ShowPage(kPageCommon);
        Keep(w.grab().toImage(), "main_common_" + c);

        WriteLog(-1, "Trel Activate");
        WriteLog(kLogAction, "SET_SYS_MODE(%d)", 1);
        WriteLog(kLogError, "KEST_SET_SYS_MODE no reply");
        WriteLog(kLogRed, "ABORT");
        w.DebugForm->show();
        w.DebugForm->StampTick();
        QImage debug = w.DebugForm->grab().toImage();
        EXPECT_GT(InkShare(debug), 0.01);
        Keep(debug, "debug_" + c);

        w.SplashForm->show();
        while (w.SplashForm->AnimationRunning()) w.SplashForm->AnimationTick();
        QImage about = w.SplashForm->grab().toImage();
        EXPECT_EQ(about.size(), QSize(512, 256));
        Keep(about, "about_" + c);

        w.OkCancelDlg->Label1->setText(
            QString::fromStdString(w.Lang->Translate("goto_prof_storage", "goto_prof_storage")));
        w.OkCancelDlg->adjustSize();
        Keep(w.OkCancelDlg->grab().toImage(), "okcancel_" + c);
        w.ParamWriteDlg->Label1->setText(
            QString::fromStdString(w.Lang->Translate("ParamWriteLabel", ""))
                .replace("\r\n", "\n")
                .replace("%s", "KD"));
        w.ParamWriteDlg->adjustSize();
        QImage pw = w.ParamWriteDlg->grab().toImage();
        EXPECT_GT(pw.width(), 200);
        Keep(pw, "paramwrite_" + c);
        for (const char* name :
             {"FileMenu", "ViewMenu", "SettingsMenu", "StorageMenu", "CommMenu"}) {
            auto* menu = w.findChild<QMenu*>(name);
            ASSERT_NE(menu, nullptr) << name;
            menu->ensurePolished();
            menu->adjustSize();
            QImage m = menu->grab().toImage();
            EXPECT_GT(InkShare(m), 0.01) << name;
            Keep(m, QString("menu_%1_%2").arg(name, c));
        }
        w.State.LinkState = 0;
    }
}

}  // namespace
}  // namespace kd::test
