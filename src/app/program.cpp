#include "app/program.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QWindow>
#include <cstdio>

#include "common/atomic_file.h"
#include "common/clock.h"
#include "common/log.h"

namespace kd {

namespace {

// The services the main window is made with: the workflows are the deferred
// stand-in, pointed at the session once that exists.
TKestServices& Prepared(TKestServices& services, TDeferredWorkflow& workflow, TConfigStore* store,
                        const std::string& programPath) {
    services.Store = store;
    services.ProgramPath = programPath;
    services.Workflow = &workflow;
    return services;
}

}  // namespace

TKestProgram::TKestProgram(const std::vector<std::string>& args, TConfigStore* store,
                           const std::string& programPath)
    : Window(args, Prepared(Services, Workflow, store, programPath)),
      Host(Window),
      Session({*Window.Thread(), Window.Image(), Window.Masters, Window.State, Window.Live, Host}),
      Measure(Window),
      Settings(Window, Measure.Shared),
      Compare(Window, Session, Host, Host.RefreshEepGridHook),
      Storage(Window) {
    Session.PortResolver = [this](const std::string& name) { return SimPort.Resolve(name); };
    Workflow.Target = &Session;
    WatchReturningPort(Window, Session);
    Window.SamplingPeriodHook = [this] { return Session.SamplingPeriod; };
    Measure.ConnectSession(Host);
    Settings.Chart = &Measure.Chart;
    Settings.ConnectSession(Host);
    Settings.BankOps.Confirm = [this](const std::string& text) { return Host.Confirm(text); };
    Settings.BankOps.Backup = [this](const std::string& r) { return Session.BackupSettings(r); };
    Settings.BankOps.BankCopy = [this](int target, int source) {
        Session.BankCopy(target, source);
    };
    Settings.BankOps.ReloadCurrentBank = [this] { Session.ReloadCurrentBank(); };
    Settings.BankOps.Disconnect = [this] { Session.Disconnect(); };
    Settings.BankOps.Sleep = [](unsigned ms) { SleepMs(ms); };
    Settings.BankOps.SetBaud = [this](int baud) {
        Window.Thread()->SetBaud(baud);
        return Window.Thread()->BaudRate.load();
    };
    Storage.ConnectSession(Host);
}

void TKestProgram::EndOnSignal(int sig) {
    if (ended_) return;
    ended_ = true;
    WriteLog(kLogPlain, "signal %d: the program ends", sig);
    if (Window.Image().SensorModified) {
        try {
            const std::string path = Session.BackupSettings("signal");
            WriteLog(kLogPlain, "the changes not yet written to the sensor are kept in %s",
                     path.c_str());
        } catch (const std::exception& e) {
            WriteLog(kLogError, "%s", e.what());
        }
    }
    Window.SaveRegistry();
    ExitCode = 128 + sig;
    QCoreApplication::exit(ExitCode);
}

void TKestProgram::Start(bool connect, std::vector<TStep> steps, int finalWait) {
    if (Window.Options.Screenshot) WatchStart(Window.Options.WaitMs);
    steps_ = std::move(steps);
    finalWait_ = finalWait;
    QTimer::singleShot(0, &Window, [this] { Window.show(); });
    // The rest once the window stands where the window manager put it (at
    // most a second later), so that a box of the connection is centred on it.
    RunWhenStanding(0, [this, connect] {
        if (connect && !ended_) Session.Connect();
        if (ended_) return;
        if (Window.Options.Page) {
            try {
                Window.ShowPage(*Window.Options.Page);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "kdtrelva: %s\n", e.what());
                ExitCode = 2;
                ended_ = true;
                QCoreApplication::exit(ExitCode);
                return;
            }
        }
        RunSteps(0);
    });
}

void TKestProgram::RunSteps(size_t from) {
    for (size_t i = from; i < steps_.size(); ++i) {
        if (ended_) return;
        if (steps_[i].WaitMs > 0) {
            const int ms = steps_[i].WaitMs;
            steps_[i].WaitMs = 0;
            QTimer::singleShot(ms, &Window, [this, i] { RunSteps(i); });
            return;
        }
        steps_[i].Run();
    }
    startDone_ = true;
    if (Window.Options.Screenshot && !ended_)
        QTimer::singleShot(Window.Options.WaitMs + finalWait_, &Window,
                           [this] { TakeScreenshot(); });
}

void TKestProgram::RunWhenStanding(int tries, std::function<void()> run) {
    QTimer::singleShot(tries ? 10 : 0, &Window, [this, tries, run = std::move(run)]() mutable {
        const QWindow* handle = Window.windowHandle();
        if (tries < 100 && !(handle && handle->isExposed()))
            RunWhenStanding(tries + 1, std::move(run));
        else
            run();
    });
}

void TKestProgram::WatchStart(int ms) {
    // Runs while the start waits in a nested event loop: a modal box (a failed
    // connection, a confirmation of an action) ends the run after the wait;
    // anything else (a connection still at work) is looked at again soon.
    QTimer::singleShot(ms, &Window, [this] {
        if (startDone_ || ended_) return;
        if (QWidget* box = QApplication::activeModalWidget(); box && box != &Window) {
            TakeScreenshot();
            return;
        }
        WatchStart(50);
    });
}

void TKestProgram::TakeScreenshot() {
    if (ended_) return;
    ended_ = true;
    QImage picture = Window.grab().toImage();
    if (QWidget* box = QApplication::activeModalWidget(); box && box != &Window) {
        // Offscreen a box is a window of its own: draw it where it stands.
        QPainter painter(&picture);
        const QRect at(box->geometry().topLeft() - Window.geometry().topLeft(), box->size());
        painter.drawPixmap(at.topLeft(), box->grab());
        painter.setPen(Qt::darkGray);
        painter.drawRect(at.adjusted(-1, -1, 0, 0));
        QStringList texts;
        for (const QLabel* l : box->findChildren<QLabel*>())
            if (!l->text().isEmpty()) texts << l->text();
        std::fprintf(stderr, "kdtrelva: box '%s' open: %s\n",
                     box->windowTitle().toUtf8().constData(),
                     texts.join(' ').replace('\n', ' ').toUtf8().constData());
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "PNG")) {
        std::fprintf(stderr, "kdtrelva: could not render the window\n");
        ExitCode = 1;
    } else {
        try {
            WriteFileAtomic(Window.Options.Screenshot.value(),
                            std::string_view(png.constData(), static_cast<size_t>(png.size())));
        } catch (const std::exception& e) {
            std::fprintf(stderr, "kdtrelva: %s\n", e.what());
            ExitCode = 1;
        }
    }
    QCoreApplication::exit(ExitCode);
}

QObject* FindScriptTarget(TKestTrel& window, int page, const QString& name) {
    if (TPageHooks* h = window.Page(page); h && h->Window) {
        if (auto* a = h->Window->findChild<QAction*>(name)) return a;
        if (auto* b = h->Window->findChild<QAbstractButton*>(name)) return b;
    }
    if (QAction* a = window.Action(name)) return a;
    std::vector<QWidget*> pages;
    for (int code :
         {kPageMeasure, kPageTrigger, kPageCamera, kPageProfile, kPageArea, kPageOperation,
          kPageOutput, kPageStoSett, kPageStoDispl, kPageStoProf, kPageCommon})
        if (TPageHooks* h = window.Page(code); h && h->Window) pages.push_back(h->Window);
    for (QAbstractButton* b : window.findChildren<QAbstractButton*>(name)) {
        bool onPage = false;
        for (QWidget* p : pages) onPage = onPage || p->isAncestorOf(b);
        if (!onPage) return b;
    }
    return nullptr;
}

}  // namespace kd
