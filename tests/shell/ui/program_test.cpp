// kdtrelva as a program: the screenshot option and bad run options.
#include <gtest/gtest.h>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "ui_test_support.h"

namespace kd::test {
namespace {

struct TRun {
    int ExitCode;
    QString Stderr;
};

TRun RunProgram(const QStringList& args, const QString& home, int limitMs = 60000) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", home);
    env.insert("HOME", home);
    p.setProcessEnvironment(env);
    p.start(KD_TRELVA_PATH, args);
    EXPECT_TRUE(p.waitForFinished(limitMs)) << "still running after " << limitMs << " ms";
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
}

TEST(Program, ScreenshotOfAPage) {
    App();
    QTemporaryDir dir;
    const QString png = dir.filePath("settings.png");
    TRun r =
        RunProgram({"-loc", "ja", "-screenshot", png, "-page", "0x22", "-wait", "0"}, dir.path());
    EXPECT_EQ(r.ExitCode, 0) << r.Stderr.toStdString();
    QImage image(png);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 800);
    EXPECT_GE(image.height(), 480);
    // A screenshot run leaves the operator's settings alone.
    EXPECT_FALSE(QFile::exists(dir.filePath("Brenmark/KESTTrelva.conf")));
}

TEST(Program, ConnectedScreenshotRunEnds) {
    // The quick start's own command: connected, polling, profiles repeating.
    App();
    QTemporaryDir dir;
    const QString png = dir.filePath("shot.png");
    TRun r = RunProgram({"-port", "SIM", "-connect", "-screenshot", png, "-wait", "800"},
                        dir.path(), 15000);
    EXPECT_EQ(r.ExitCode, 0) << r.Stderr.toStdString();
    EXPECT_FALSE(QImage(png).isNull());
}

// A modal box at start-up (a file that lacks blocks, a connection that
// fails) never keeps a screenshot run from ending: the picture is taken with
// the box in it and the box's text is printed.
TEST(Program, ScreenshotRunEndsWithABoxOpen) {
    App();
    QTemporaryDir dir;
    const QString png = dir.filePath("shot.png"), kd = dir.filePath("h.kd");
    QFile header(kd);
    ASSERT_TRUE(header.open(QIODevice::WriteOnly));
    header.write("#KD sensor parameters file FMT1\r\n");
    header.close();
    struct Case {
        QStringList args;
        QString says;
    };
    const Case cases[] = {{{"-screenshot", png, "-wait", "500", kd}, "file has no Sys, Bank1"},
                          {{"-port", "/nonexistent/ttyUSB9", "-connect", "-screenshot", png},
                           "Failed to connect to KD sensor unit."}};
    for (const Case& c : cases) {
        QFile::remove(png);
        TRun r = RunProgram(c.args, dir.path(), 20000);
        EXPECT_EQ(r.ExitCode, 0) << r.Stderr.toStdString();
        EXPECT_TRUE(r.Stderr.contains("kdtrelva: box 'KD Trelva' open: "))
            << r.Stderr.toStdString();
        EXPECT_TRUE(r.Stderr.contains(c.says)) << r.Stderr.toStdString();
        EXPECT_FALSE(QImage(png).isNull()) << c.says.toStdString();
    }
}

TEST(Program, BadRunOptionsAreReported) {
    App();
    QTemporaryDir dir;
    for (const char* code : {"0x40", "21", "0x15"}) {
        TRun page = RunProgram({"-screenshot", dir.filePath("x.png"), "-page", code}, dir.path());
        EXPECT_EQ(page.ExitCode, 2) << code;
        EXPECT_TRUE(page.Stderr.contains("kdtrelva: -page needs one of the page codes"))
            << page.Stderr.toStdString();
        EXPECT_FALSE(QFile::exists(dir.filePath("x.png")));
    }
    TRun wait = RunProgram({"-wait", "soon"}, dir.path());
    EXPECT_EQ(wait.ExitCode, 2);
    EXPECT_TRUE(wait.Stderr.contains("-wait needs milliseconds")) << wait.Stderr.toStdString();
    TRun action =
        RunProgram({"-screenshot", dir.filePath("x.png"), "-action", "NoSuchAction"}, dir.path());
    EXPECT_EQ(action.ExitCode, 2);
    EXPECT_TRUE(action.Stderr.contains("kdtrelva: unknown action 'NoSuchAction'"))
        << action.Stderr.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("x.png")));
}

TEST(Program, UnwritableScreenshotFails) {
    App();
    QTemporaryDir dir;
    TRun r =
        RunProgram({"-screenshot", dir.filePath("no/such/dir/x.png"), "-wait", "0"}, dir.path());
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_TRUE(r.Stderr.contains("kdtrelva: ")) << r.Stderr.toStdString();
}

}  // namespace
}  // namespace kd::test
