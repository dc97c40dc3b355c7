// The whole program on its built-in simulated sensor: a script's action names
// are found on the page shown before the main window, the actions follow the
// connection at once, and a profile fetched on the profile page is the area
// page's too.
#include <gtest/gtest.h>

#include <QAction>
#include <QToolButton>

#include "app/program.h"
#include "app_test_util.h"
#include "measure/ui/profile_frame.h"
#include "measure/ui/tp_measure.h"
#include "pages/ui/tp_area.h"
#include "pages/ui/tp_camera.h"
#include "pages/ui/tp_profile.h"

using namespace kd;
using apptest::KestApp;
using apptest::Pump;

TEST(ScriptActions, PageFirstEnabledAtOnceAndOneProfileForBothFrames) {
    KestApp();
    TKestProgram p({});
    p.Window.CreateWindows();
    p.Window.show();
    p.Window.Thread()->PortName = "SIM";
    TSettingsPages& s = p.Settings;

    // Names on several pages resolve on the page asked for.
    struct Case {
        int Page;
        const char* Name;
        QWidget* Owner;  // null: the main window's own
    };
    for (const Case& c :
         {Case{kPageCamera, "ZoomDownVert", s.Camera}, Case{kPageArea, "RecvProf", s.Area},
          Case{kPageProfile, "RecvProf", s.Profile},
          Case{kPageProfile, "CamRefreshButton", s.Profile},
          Case{kPageCamera, "CamRefreshButton", s.Camera},
          Case{kPageCamera, "CommConnect", nullptr}}) {
        SCOPED_TRACE(c.Name);
        QObject* t = FindScriptTarget(p.Window, c.Page, c.Name);
        ASSERT_NE(t, nullptr);
        if (c.Owner)
            EXPECT_TRUE(c.Owner->findChildren<QObject*>(c.Name).contains(t));
        else
            EXPECT_EQ(t, p.Window.Action("CommConnect"));
    }
    // Another page's controls are not the measurement page's.
    EXPECT_EQ(FindScriptTarget(p.Window, kPageMeasure, "CamRefreshButton"), nullptr);
    EXPECT_EQ(FindScriptTarget(p.Window, kPageMeasure, "NoSuchName"), nullptr);

    // Connected: the measurement page's repeat is enabled before its own tick.
    ASSERT_TRUE(p.Session.TryConnect()) << p.Session.LastConnectError;
    EXPECT_TRUE(p.Measure.Page->Action("RefRepeat")->isEnabled());

    // One profile on the profile page: both frames show its points.
    p.Window.ShowPage(kPageProfile);
    s.Profile->RecvProfExecute();
    for (int i = 0; i < 200 && s.Profile->Frame()->PointCount == 0; ++i) Pump(10);
    ASSERT_GT(s.Profile->Frame()->PointCount, 0);
    EXPECT_EQ(s.Area->Frame()->PointCount, s.Profile->Frame()->PointCount);
    p.Session.Disconnect();
}
