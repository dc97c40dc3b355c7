// The whole program's windows, as the program builds them: every caption in
// every language, the window captions and the message boxes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QTimer>
#include <map>
#include <set>

#include "app/program.h"
#include "measure/ui/measure_views.h"
#include "shell/session/kest_session.h"
#include "shell/ui/debug_form.h"
#include "shell/ui/dialogs.h"
#include "shell/ui/kest_application.h"
#include "shell/ui/kest_trel.h"
#include "shell/ui/splash_form.h"
#include "tests/app/app_test_util.h"
#include "ui_test_util.h"

using namespace kd;

namespace {

TKestApplication& KestApp() {
    qputenv("LC_ALL", "en_US.UTF-8");
    TKestApplication& app = apptest::KestApp();
    SetProgramIdentity();
    return app;
}

// The program's windows, made as main() makes them (no sensor).
struct TProgram : TKestProgram {
    explicit TProgram(const std::vector<std::string>& args)
        : TKestProgram(args), window(Window), host(Host) {
        window.CreateWindows();
        window.show();
    }
    TKestTrel& window;
    TTrelSessionHost& host;
};

// An action's own text shows in its menus (and in a context menu, when it is
// in none), not on the tool button that shows its icon text, nor in the
// hidden service menu.
bool Shown(QAction* a) {
    bool menu = false, visibleMenu = false, button = false;
    for (QObject* o : a->associatedObjects()) {
        if (auto* m = qobject_cast<QMenu*>(o)) {
            menu = true;
            visibleMenu = visibleMenu || m->menuAction()->isVisible();
        } else if (qobject_cast<QAbstractButton*>(o)) {
            button = true;
        }
    }
    return menu ? visibleMenu : !button;
}

// Every caption a window of the program can show, by where it stands.
std::map<QString, QString> Captions(TProgram& p) {
    std::map<QString, QString> out;
    auto add = [&out](const QObject* o, const QString& what, QString text) {
        text.remove('&');
        if (text.trimmed().isEmpty()) return;
        QString path = o->objectName();
        for (const QObject* up = o->parent(); up; up = up->parent())
            if (!up->objectName().isEmpty()) path = up->objectName() + "/" + path;
        out[path + "." + what] = text;
    };
    std::vector<QWidget*> windows = {&p.window, p.window.OkCancelDlg, p.window.ParamWriteDlg,
                                     p.window.SplashForm};
    for (QWidget* w : windows) {
        if (!w) continue;
        add(w, "title", w->windowTitle());
        for (QObject* o : w->findChildren<QObject*>()) {
            // Controls the layout hides never show their caption.
            if (auto* c = qobject_cast<QWidget*>(o);
                c && c->isHidden() && !c->isWindow() && !qobject_cast<QMenu*>(c))
                continue;
            if (auto* l = qobject_cast<QLabel*>(o)) {
                add(l, "text", l->text());
            } else if (auto* b = qobject_cast<QAbstractButton*>(o)) {
                add(b, "text", b->text());
            } else if (auto* a = qobject_cast<QAction*>(o)) {
                if (!a->isSeparator() && a->isVisible() && Shown(a)) add(a, "text", a->text());
            } else if (auto* m = qobject_cast<QMenu*>(o)) {
                if (m->menuAction()->isVisible()) add(m, "title", m->title());
            } else if (auto* g = qobject_cast<QGroupBox*>(o)) {
                add(g, "title", g->title());
            } else if (auto* c = qobject_cast<QComboBox*>(o)) {
                for (int i = 0; i < c->count(); ++i)
                    add(c, "item" + QString::number(i), c->itemText(i));
            }
        }
    }
    return out;
}

// Words that stay as they are in every language: names and units (the
// program's name and version word, the debug window's two switches, the
// switch words that the Japanese and Korean tables keep, the baud-rate units
// and the language selector's own name of English).
bool IsNameOrUnit(const QString& word) {
    static const std::set<QString> kKept = {
        "KD", "Trelva", "trelva", "ver", "Version", "mm", "um", "mA", "msec", "deg", "mm2",
        "EEPROM", "OK", "Displ", "Sync", "ON", "OFF", "HDR", "NR",
        // baud-rate units; a language named in its own words
        "bps", "kbps", "Mbps", "en", "English"};
    return kKept.count(word) > 0;
}

}  // namespace

// Walks every window in each language: nothing the English table says is
// left in English in the Japanese, Chinese and Korean windows, except names
// and units.
TEST(ProgramWindows, NoCaptionLeftInEnglish) {
    KestApp();
    std::map<QString, QString> english;
    {
        TProgram en({"-loc", "en"});
        english = Captions(en);
    }
    ASSERT_GT(english.size(), 60u);
    const QRegularExpression word("[A-Za-z]{2,}");
    for (const char* code : {"ja", "cn", "ko"}) {
        TProgram p({"-loc", code});
        const std::map<QString, QString> shown = Captions(p);
        std::vector<std::string> left;
        for (const auto& [where, text] : shown) {
            auto en = english.find(where);
            if (en == english.end() || en->second != text) continue;
            for (auto m = word.globalMatch(text); m.hasNext();) {
                if (!IsNameOrUnit(m.next().captured())) {
                    left.push_back(where.toStdString() + " = " + text.toStdString());
                    break;
                }
            }
        }
        EXPECT_TRUE(left.empty()) << code << ": " << ::testing::PrintToString(left);
    }
}

// The platform adds the application's display name to every caption once one
// is set; the program sets none, so its captions stand as it writes them.
TEST(ProgramWindows, CaptionsAreExactlyTheProgramsCaptions) {
    KestApp();
    const QString name = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName("probe");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "probe");
    QCoreApplication::setApplicationName(name);
    TProgram p({"-loc", "ja"});
    EXPECT_EQ(p.window.windowTitle(), QString::fromUtf8("KD trelva ver1.70 [無題]"));
    p.window.Image().SetSensorModified(true);
    EXPECT_EQ(p.window.windowTitle(), QString::fromUtf8("KD trelva ver1.70 [無題]*"));
    TProgram en({"-loc", "en"});
    EXPECT_EQ(en.window.windowTitle(), "KD trelva ver1.70 [untitled]");
    EXPECT_EQ(en.window.OkCancelDlg->windowTitle(), "Confirmation");
    EXPECT_EQ(en.window.ParamWriteDlg->windowTitle(), "Write Param");
}

// Message boxes and the confirmation show their caption whole and stand
// centred on the main window, wherever it is.
TEST(ProgramWindows, MessageBoxesFitTheirCaptionAndAreCentredOnTheWindow) {
    KestApp();
    TProgram p({"-loc", "en"});
    p.window.setGeometry(130, 90, 900, 560);
    struct Seen {
        QString title;
        int width = 0, captionWidth = 0, textWidth = 0, labelWidth = 0;
        QPoint offset;
    };
    std::vector<Seen> seen;
    auto inspectNextBox = [&] {
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            ASSERT_NE(box, nullptr);
            Seen s;
            s.title = box->windowTitle();
            s.width = box->width();
            s.captionWidth = QFontMetrics(box->font()).horizontalAdvance(s.title);
            auto* label = box->findChild<QLabel*>("Label1");
            s.textWidth = label->sizeHint().width();
            s.labelWidth = label->width();
            s.offset = box->frameGeometry().center() - p.window.frameGeometry().center();
            test::SavePng(box->grab().toImage(), "message_box_" + std::to_string(seen.size()));
            seen.push_back(s);
            box->close();
        });
    };
    inspectNextBox();
    p.host.Message("Send Para.", "Completed.");
    inspectNextBox();
    p.host.Message("", "Failed to connect to KD sensor unit.");
    inspectNextBox();
    p.host.Confirm("All parameters is saved to EEPROM.");
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].title, "Send Para.");
    EXPECT_EQ(seen[1].title, "KD Trelva");  // no caption: the application title
    EXPECT_EQ(seen[2].title, "Confirmation");
    for (const Seen& s : seen) {
        // the caption and the title bar's icon and three buttons
        EXPECT_GE(s.width, s.captionWidth + 100) << s.title.toStdString();
        EXPECT_GE(s.labelWidth, s.textWidth) << s.title.toStdString();
        EXPECT_LE(std::abs(s.offset.x()), 1) << s.title.toStdString();
        EXPECT_LE(std::abs(s.offset.y()), 1) << s.title.toStdString();
    }
}
