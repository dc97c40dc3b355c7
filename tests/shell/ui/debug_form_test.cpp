#include <gtest/gtest.h>
#include <QRegularExpression>
#include <QTextBlock>
#include <QThread>
#include <atomic>
#include <thread>

#include "shell/ui/debug_form.h"
#include "shell/ui/kest_application.h"
#include "ui_test_support.h"

namespace kd::test {
namespace {

struct Fragment {
    QString text;
    QColor color;
    bool bold;
};

std::vector<Fragment> Fragments(TDebugForm& f) {
    std::vector<Fragment> out;
    for (QTextBlock b = f.LogView->document()->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            QTextFragment frag = it.fragment();
            out.push_back({frag.text(), frag.charFormat().foreground().color(),
                           frag.charFormat().fontWeight() >= QFont::Bold});
        }
    }
    return out;
}

TEST(DebugForm, FilterBitsAndColours) {
    App();
    TDebugForm f;
    WriteLog(-1, "plain %d", 1);
    WriteLog(0x01000000, "filtered");
    WriteLog(static_cast<int>(0xFF0000FFu), "filtered too");
    WriteLog(0x0000FF00, "green");
    WriteLog(kLogError, "magenta");
    WriteLog(kLogAction, "black bold");
    QString text = f.LogView->toPlainText();
    EXPECT_FALSE(text.contains("filtered"));
    std::map<QString, Fragment> byText;
    for (auto& fr : Fragments(f)) byText[fr.text] = fr;
    ASSERT_TRUE(byText.count("plain 1"));
    EXPECT_FALSE(byText["plain 1"].bold);
    EXPECT_EQ(byText["plain 1"].color, QColor(Qt::black));
    ASSERT_TRUE(byText.count("green"));
    EXPECT_TRUE(byText["green"].bold);
    EXPECT_EQ(byText["green"].color, QColor(0, 255, 0));
    EXPECT_EQ(byText["magenta"].color, QColor(255, 0, 255));
    EXPECT_TRUE(byText["black bold"].bold);
    EXPECT_EQ(byText["black bold"].color, QColor(0, 0, 0));
}

TEST(DebugForm, EveryLineStartsWithAStampAndTheTextEndsWithOne) {
    App();
    TDebugForm f;
    WriteLog(-1, "first");
    WriteLog(-1, "second");
    QStringList lines = f.LogView->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 3);
    QRegularExpression stamp("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d $");
    EXPECT_EQ(lines[0], "first");
    EXPECT_TRUE(stamp.match(lines[1].left(13)).hasMatch()) << lines[1].toStdString();
    EXPECT_EQ(lines[1].mid(13), "second");
    EXPECT_TRUE(stamp.match(lines[2]).hasMatch()) << lines[2].toStdString();
}

TEST(DebugForm, StampTickRenewsTheLastStampAndEndsTheBatch) {
    App();
    TDebugForm f;
    WriteLog(-1, "x");
    EXPECT_TRUE(f.UpdateBatchOpen());
    EXPECT_FALSE(f.LogView->updatesEnabled());
    const int length = static_cast<int>(f.LogView->toPlainText().size());
    f.StampTick();
    EXPECT_FALSE(f.UpdateBatchOpen());
    EXPECT_TRUE(f.LogView->updatesEnabled());
    EXPECT_EQ(f.LogView->toPlainText().size(), length);
    EXPECT_TRUE(f.LogView->toPlainText().startsWith("x\n"));
}

TEST(DebugForm, TimerRunsOnlyWhileVisible) {
    App();
    TDebugForm f;
    EXPECT_FALSE(f.StampTimerActive());
    f.show();
    EXPECT_TRUE(f.StampTimerActive());
    f.hide();
    EXPECT_FALSE(f.StampTimerActive());
}

TEST(DebugForm, TerminatingDropsMessages) {
    App();
    TDebugForm f;
    f.SetTerminating(true);
    WriteLog(-1, "late");
    EXPECT_TRUE(f.LogView->toPlainText().isEmpty());
}

TEST(DebugForm, LinesFromAnotherThreadArriveOnTheUiThread) {
    App();
    TDebugForm f;
    std::thread t([] { WriteLog(kLogError, "KESTthread: %s", "port lost"); });
    t.join();
    EXPECT_FALSE(f.LogView->toPlainText().contains("port lost"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(f.LogView->toPlainText().startsWith("KESTthread: port lost\n"));
}

TEST(DebugForm, RemovedWithTheWindow) {
    App();
    TDebugForm survivor;
    auto f = std::make_unique<TDebugForm>();
    f.reset();
    WriteLog(-1, "after");  // reaches the living window only
    EXPECT_TRUE(survivor.LogView->toPlainText().startsWith("after\n"));
}

TEST(HintFilterUi, RenderLogsAndConverts) {
    App();
    TLogCapture log;
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(RenderHint("-32_767 ... +32_767 [um]", 0), "-32.767 ... +32.767 [mm]");
    EXPECT_EQ(RenderHint("-32_767 ... +32_767 [um]", 1), "-32767 ... +32767 [um]");
    EXPECT_TRUE(log.Has("AppShowHint(-32_767 ... +32_767 [um])"));
    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(RenderHint("-327_67 ... +327_67 [um]", 0), "-327,67 ... +327,67 [mm]");
    QLocale::setDefault(QLocale::c());
}

}  // namespace
}  // namespace kd::test

#include "shell/ui/qt_dispatcher.h"

namespace kd::test {
namespace {

TEST(QtDispatcher, RunsClosuresOnTheUiThread) {
    App();
    Dispatcher d = QtDispatcher();
    bool ranHere = false;
    d([&] { ranHere = QThread::currentThread() == qApp->thread(); });
    EXPECT_TRUE(ranHere);
    // From another thread the closure is posted: it runs when the loop runs.
    std::atomic<bool> onUi{false};
    std::thread t([&] { d([&] { onUi = QThread::currentThread() == qApp->thread(); }); });
    t.join();
    for (int i = 0; i < 400 && !onUi; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_TRUE(onUi);
}

}  // namespace
}  // namespace kd::test

#include <QHelpEvent>
#include <QToolTip>

namespace kd::test {
namespace {

TEST(HintFilterUi, ToolTipEventShowsTheRenderedHint) {
    App();
    TLogCapture log;
    QLocale::setDefault(QLocale::c());
    int unit = 0;
    THintFilter filter([&unit] { return unit; });
    QWidget w;
    w.resize(100, 40);
    w.setToolTip("-32_767 ... +32_767 [um]");
    w.installEventFilter(&filter);
    w.show();
    QHelpEvent tip(QEvent::ToolTip, QPoint(5, 5), w.mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(&w, &tip);
    EXPECT_TRUE(log.Has("AppShowHint(-32_767 ... +32_767 [um])"));
    EXPECT_EQ(QToolTip::text(), "-32.767 ... +32.767 [mm]");
    unit = 1;
    QCoreApplication::sendEvent(&w, &tip);
    EXPECT_EQ(QToolTip::text(), "-32767 ... +32767 [um]");
    QToolTip::hideText();
    // A control without a hint shows nothing and logs nothing.
    QWidget bare;
    bare.installEventFilter(&filter);
    log.lines.clear();
    QCoreApplication::sendEvent(&bare, &tip);
    EXPECT_TRUE(log.lines.empty());
}

}  // namespace
}  // namespace kd::test
