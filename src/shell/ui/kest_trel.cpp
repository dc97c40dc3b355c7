#include "shell/ui/kest_trel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenuBar>
#include <QResizeEvent>
#include <cstdlib>

#include "common/kest_error.h"
#include "common/log.h"
#include "params/param_text.h"
#include "shell/identity.h"
#include "shell/shell_text.h"
#include "shell/ui/apply_locale.h"
#include "shell/ui/debug_form.h"
#include "shell/ui/dialogs.h"
#include "shell/ui/kest_application.h"
#include "shell/ui/qt_dispatcher.h"
#include "shell/ui/splash_form.h"
#include "shell/ui/tp_settings.h"

namespace kd {

namespace {

constexpr int kConnectPanelWidth = 288;
constexpr int kConnectPanelHeight = 49;
constexpr int kBankPanelWidth = 461;
constexpr int kBankPanelHeight = 45;

struct TPageInfo {
    int Code;
    const char* Action;
};
constexpr TPageInfo kSettingActions[] = {
    {kPageTrigger, "SettingTrigger"}, {kPageCamera, "SettingCamera"},
    {kPageProfile, "SettingProfile"}, {kPageArea, "SettingArea"},
    {kPageOperation, "SettingOpe"},   {kPageOutput, "SettingOutput"},
};

QLabel* MakeTitle(QWidget* parent, const char* name, const char* caption) {
    auto* l = new QLabel(caption, parent);
    l->setObjectName(name);
    QFont f("Tahoma");
    f.setPixelSize(32);
    l->setFont(f);
    l->setStyleSheet(
        "QLabel { color: white; background: #3d5f80; border: 2px solid white; padding-left: 6px; "
        "}");
    l->setGeometry(0, 0, 250, kBankPanelHeight);
    return l;
}

bool IsProfileOrArea(int code) {
    return code == kPageProfile || code == kPageArea;
}

}  // namespace

TKestTrel::TKestTrel(const std::vector<std::string>& args, TKestServices services, QWidget* parent)
    : QMainWindow(parent), store_(services.Store), programPath_(services.ProgramPath) {
    setObjectName("KestTrel");
    // 1. Layout; the three option texts are empty; the debug button is hidden.
    BuildLayout();
    BuildMenus();
    Options = TStartOptions{};
    DebugButton->hide();
    StartupSteps.push_back("layout");
    // 2. The measurement-mode lists are filled by the localisation.
    Lists.MeasModeUnits.clear();
    Lists.MeasModeShort.clear();
    // 3. Minimum size: the 800 x 480 client area below the menu.
    setMinimumSize(MinimumClientSize[0], MinimumClientSize[1] + menuBar()->sizeHint().height());
    // 4. Live values at their no-value marks; the master store is zeroed.
    Live.ResetValues();
    Masters = TMasterStore{};
    // 5. Base caption.
    BaseCaption = std::string(kBaseCaptionName) + kCaptionVersion;
    // 6. The debug window, hidden, destination of the log.
    DebugForm = new TDebugForm(this);
    StartupSteps.push_back("debug window");
    // 7. Exception handler and hint filter.
    if (auto* app = dynamic_cast<TKestApplication*>(QCoreApplication::instance())) {
        app->ShowUnhandled = [this] { return UnhandledExceptionChecked(); };
    }
    auto* filter = new THintFilter([this] { return static_cast<int>(Display.DisplUnit); });
    qApp->installEventFilter(filter);
    hintFilter_.reset(filter);
    StartupSteps.push_back("handlers");
    // 8. The communication worker.
    if (!services.Worker) {
        ownThread_ = std::make_unique<TKestThread>(QtDispatcher());
        ownWorker_ = std::make_unique<TThreadWorker>(*ownThread_);
        services.Worker = ownWorker_.get();
    }
    worker_ = services.Worker;
    StartupSteps.push_back("worker");
    // 9. The parameter image.
    if (!services.Image) {
        ownImage_ = std::make_unique<TKestParam>();
        services.Image = ownImage_.get();
    }
    image_ = services.Image;
    image_->Masters = &Masters;
    image_->SensorVersion = &State.SensorVersion;
    image_->ModeUnit = [this](int func) {
        return ModeUnitFromList(Lists.MeasModeUnits, Display.DisplUnit, func);
    };
    image_->OnModifiedChange = [this] { UpdateCaption(); };
    StartupSteps.push_back("image");
    // 10. The chart sample store belongs to the chart frame's library.
    StartupSteps.push_back("chart store");
    if (!services.Workflow) throw EKestError("the main window needs the operator workflows");
    workflow_ = services.Workflow;
    context_ = std::make_unique<TPageContext>(TPageContext{
        *image_, Masters, *worker_, State, Live, Display, Colors, Settings, Lists, *this});
    // 11. Command line.
    Options = ParseCommandLine(args);
    LocaleCode = Options.Loc;
    StartupSteps.push_back("command line");
    // 12. Client area 800 x 480; the bank panel in front.
    resize(MinimumClientSize[0], MinimumClientSize[1] + menuBar()->sizeHint().height());
    LayoutPanels();
    BankPanel->raise();
    // 13. Caption.
    UpdateCaption();
    // 14. Store groups Main, AdjChart, View.
    if (store_) {
        LoadMainSettings(*store_, Settings);
        LoadPageSettings(*store_, Settings);
    }
    if (Options.Loc.empty() && Settings.Loc) LocaleCode = *Settings.Loc;
    Display.DisplUnit = Settings.DisplUnit;
    Display.DisplDecimal = Settings.DisplDecimal;
    if (Settings.Main.WindowState) {
        if (*Settings.Main.WindowState == 2) {
            setWindowState(Qt::WindowMaximized);
        } else if (*Settings.Main.WindowState == 0 && Settings.Main.HasGeometry) {
            setGeometry(Settings.Main.Left, Settings.Main.Top,
                        std::max(Settings.Main.Width, minimumWidth()),
                        std::max(Settings.Main.Height, minimumHeight()));
        }
    }
    worker_->SetPortName(Settings.PortName);
    if (Options.Port) {
        portOverride_ = Options.Port;
        worker_->SetPortName(*Options.Port);
    }
    StartupSteps.push_back("settings");
    // 15. Localise: only the main window exists yet.
    ReloadLanguage();
    StartupSteps.push_back("localise");
    // 16./17. File dialogs take their extension where they are opened; the
    // About caption is set by ReloadLanguage.
    StartupSteps.push_back("about caption");

    pollTimer_.setInterval(1);
    connect(&pollTimer_, &QTimer::timeout, this, Guarded([this] { PollTimerTimer(); }));
    UpdateActions();
}

TKestTrel::~TKestTrel() {
    image_->OnModifiedChange = nullptr;
    image_->ModeUnit = nullptr;
    if (DebugForm) DebugForm->SetTerminating(true);
    pollTimer_.stop();
    if (hintFilter_) qApp->removeEventFilter(hintFilter_.get());
    if (auto* app = dynamic_cast<TKestApplication*>(QCoreApplication::instance()))
        app->ShowUnhandled = nullptr;
    worker_->Terminate();
    // The pages reach the page context until they are gone: delete them
    // while it still exists.
    delete ClientArea;
    ClientArea = nullptr;
}

QAction* TKestTrel::MakeAction(const char* name, const char* caption) {
    auto* a = new QAction(QString::fromUtf8(caption), this);
    a->setObjectName(name);
    actions_[QString::fromUtf8(name)] = a;
    return a;
}

void TKestTrel::OnTriggered(QAction* action, std::function<void()> handler) {
    connect(action, &QAction::triggered, this, Guarded(std::move(handler)));
}

QAction* TKestTrel::Action(const QString& name) const {
    auto it = actions_.find(name);
    return it == actions_.end() ? nullptr : it->second;
}

// ---------------------------------------------------------------- page services

bool TKestTrel::Sync() const {
    return DebugForm && DebugForm->Sync->isChecked();
}

bool TKestTrel::Displ() const {
    return !DebugForm || DebugForm->Displ->isChecked();
}

std::string TKestTrel::Translate(const std::string& name, const std::string& def) const {
    return Lang ? Lang->Translate(name, def) : def;
}

void TKestTrel::TriggerAction(const std::string& name) {
    if (QAction* a = Action(QString::fromStdString(name))) a->trigger();
}

void TKestTrel::HandleException(const std::exception& e) {
    HandleUnhandledException(e.what());
}

void TKestTrel::Message(const std::string& caption, const std::string& text) {
    if (MessageBox) MessageBox(LangText(caption), LangText(text));
}

void TKestTrel::EnableDataLog(bool on) {
    for (int code : {int(kPageMeasure), int(kPageCommon)}) {
        const TPageHooks* page = Page(code);
        if (!page || !page->Window) continue;
        if (auto* b = page->Window->findChild<QAbstractButton*>("DataLogButton");
            b && b->isEnabled() != on)
            b->setEnabled(on);
    }
}

void TKestTrel::RefreshAll() {
    workflow_->RefreshAll();
}

void TKestTrel::BeginWait() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TKestTrel::EndWait() {
    QApplication::restoreOverrideCursor();
}

void TKestTrel::ProcessEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

bool TKestTrel::UnhandledExceptionChecked() const {
    QAction* a = Action("UnhandledException1");
    return a && a->isChecked();
}

void TKestTrel::BindButton(QPushButton* button, QAction* action) {
    button->setEnabled(action->isEnabled());
    if (action->isCheckable()) {
        button->setCheckable(true);
        button->setChecked(action->isChecked());
    }
    connect(button, &QPushButton::clicked, action, [action](bool) { action->trigger(); });
    connect(action, &QAction::changed, button, [button, action] {
        button->setEnabled(action->isEnabled());
        if (action->isCheckable()) button->setChecked(action->isChecked());
    });
}

void TKestTrel::BuildLayout() {
    QFont appFont("Tahoma");
    appFont.setPointSize(8);
    setFont(appFont);
    ClientArea = new QWidget(this);
    ClientArea->setObjectName("ClientArea");
    setCentralWidget(ClientArea);

    ConnectPanel = new QFrame(ClientArea);
    ConnectPanel->setObjectName("ConnectPanel");
    ConnectPanel->setAutoFillBackground(true);
    ConnectPanel->setStyleSheet("QFrame#ConnectPanel { background: #c0c0c0; }");
    ConnectPanel->setGeometry(0, 0, kConnectPanelWidth, kConnectPanelHeight);
    MeasurePageLabel = new QLabel("Measurement", ConnectPanel);
    MeasurePageLabel->setObjectName("MeasurePageLabel");
    MeasurePageLabel->hide();  // lies behind the buttons
    ConnectButton = new QPushButton("Connect", ConnectPanel);
    ConnectButton->setObjectName("ConnectButton");
    ConnectButton->setGeometry(2, 2, 200, 45);
    DisConnectButton = new QPushButton("Dis-\nConnect", ConnectPanel);
    DisConnectButton->setObjectName("DisConnectButton");
    DisConnectButton->setGeometry(2, 2, 66, 45);
    SendButton = new QPushButton("Write Param", ConnectPanel);
    SendButton->setObjectName("SendButton");
    SendButton->setGeometry(70, 2, 66, 45);
    RecvButton = new QPushButton("Read Param", ConnectPanel);
    RecvButton->setObjectName("RecvButton");
    RecvButton->setGeometry(138, 2, 66, 45);
    for (QPushButton* b : {DisConnectButton, SendButton, RecvButton}) b->hide();
    BackButton = new QPushButton("Back to\nMeasure", ConnectPanel);
    BackButton->setObjectName("BackButton");
    BackButton->setGeometry(206, 2, 80, 45);
    BackButton->hide();
    DebugButton = new QPushButton("&Debug", ConnectPanel);
    DebugButton->setObjectName("DebugButton");
    DebugButton->setGeometry(206, 2, 80, 45);

    BankPanel = new QFrame(ClientArea);
    BankPanel->setObjectName("BankPanel");
    BankPanel->resize(kBankPanelWidth, kBankPanelHeight);
    MeasureTitle = MakeTitle(BankPanel, "MeasureTitle", "Measurement");
    SettingsTitle = MakeTitle(BankPanel, "SettingsTitle", "Settings");
    StorageTitle = MakeTitle(BankPanel, "StorageTitle", "Storage");
    PCSettTitle = MakeTitle(BankPanel, "PCSettTitle", "PC Setup");
    MeasureTitle->raise();
    BankLabel = new QLabel("Bank", BankPanel);
    BankLabel->setObjectName("BankLabel");
    BankLabel->setGeometry(256, 4, 64, 16);
    BankCombo = new QComboBox(BankPanel);
    BankCombo->setObjectName("BankCombo");
    for (int i = 1; i <= 8; ++i) BankCombo->addItem(QString::number(i));
    BankCombo->setGeometry(256, 20, 56, 22);
    TargetLabel = new QLabel(BankPanel);
    TargetLabel->setObjectName("TargetLabel");
    TargetLabel->setGeometry(256, 0, 200, 14);
    TargetLabel->hide();

    ServicePanel = new QFrame(BankPanel);
    ServicePanel->setObjectName("ServicePanel");
    ServicePanel->setGeometry(318, 0, 143, kBankPanelHeight);
    for (int i = 0; i < 3; ++i) {
        auto* lamp = new QLabel(ServicePanel);
        lamp->setObjectName(QString("OutputShape%1").arg(i + 1));
        lamp->setGeometry(4 + i * 20, 4, 16, 16);
        lamp->setStyleSheet("background: black; border-radius: 8px;");
        OutputShapes[static_cast<size_t>(i)] = lamp;
    }
    HoldButton = new QPushButton("Hold", ServicePanel);
    HoldButton->setObjectName("HoldButton");
    HoldButton->setGeometry(4, 22, 60, 21);
    ResetButton = new QPushButton("Reset", ServicePanel);
    ResetButton->setObjectName("ResetButton");
    ResetButton->setGeometry(68, 22, 60, 21);
    ServicePanel->hide();

    connect(BankCombo, &QComboBox::activated, this, [this](int index) {
        Guarded([this, index] {
            if (index >= 0 && index != State.CurrentBank) workflow_->BankChange(index);
        })();
    });
}

void TKestTrel::BuildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");

    QAction* fileNew = MakeAction("FileNew1", "&New");
    fileNew->setShortcut(QKeySequence("Ctrl+N"));
    QAction* fileOpen = MakeAction("FileOpen1", "&Open...");
    fileOpen->setShortcut(QKeySequence("Ctrl+O"));
    QAction* fileSaveAs = MakeAction("FileSaveAs1", "Save &As...");
    QAction* fileCompare2 = MakeAction("FileCompare2", "Compare ...");
    QAction* fileCompare1 = MakeAction("FileCompare1", "Compare ...");
    fileCompare1->setVisible(false);
    QAction* fileBackups = MakeAction("FileBackups1", "Backups ...");
    QAction* fileExit = MakeAction("FileExit1", "E&xit");
    fileExit->setShortcut(QKeySequence("Ctrl+Q"));
    QMenu* fileMenu = bar->addMenu("&File");
    fileMenu->setObjectName("FileMenu");
    fileMenu->addActions({fileNew, fileOpen, fileSaveAs});
    fileMenu->addSeparator();
    fileMenu->addActions({fileCompare2, fileCompare1, fileBackups});
    fileMenu->addSeparator();
    fileMenu->addAction(fileExit);

    QAction* viewMeasure = MakeAction("ViewMeasure", "&Measure");
    QMenu* viewMenu = bar->addMenu("&View");
    viewMenu->setObjectName("ViewMenu");
    viewMenu->addAction(viewMeasure);
    QMenu* settingsMenu = viewMenu->addMenu("&Settings");
    settingsMenu->setObjectName("SettingsMenu");
    const char* settingCaptions[] = {"&Trigger", "&Camera",    "&Profile",
                                     "&Area",    "&Operation", "O&utput"};
    int i = 0;
    for (const TPageInfo& p : kSettingActions) {
        QAction* a = MakeAction(p.Action, settingCaptions[i++]);
        settingsMenu->addAction(a);
        const int code = p.Code;
        OnTriggered(a, [this, code] { ShowPage(code); });
    }
    settingsMenu->setDefaultAction(Action("SettingTrigger"));
    QMenu* storageMenu = viewMenu->addMenu("S&torage");
    storageMenu->setObjectName("StorageMenu");
    QAction* viewDataLog = MakeAction("ViewDataLog", "&settings");
    QAction* viewDataLogRun = MakeAction("ViewDataLogRun", "&Data Logging");
    QAction* viewProfLogRun = MakeAction("ViewProfLogRun", "&Profile Logging");
    storageMenu->addActions({viewDataLog, viewDataLogRun, viewProfLogRun});
    storageMenu->setDefaultAction(viewDataLog);
    // Entries of the string tables without a place in this menu.
    MakeAction("SettingAdj", "Adjust");
    MakeAction("SettingMath", "Calc")->setVisible(false);
    QMenu* profLogMenu = new QMenu("Profile Logging", storageMenu);
    profLogMenu->setObjectName("ProfLogMenu");
    profLogMenu->addAction(MakeAction("ViewProfLog", "Profile Logging"));
    viewMenu->addSeparator();
    QAction* commSettings = MakeAction("CommSettings1", "&Common Settings");
    viewMenu->addAction(commSettings);

    QAction* commSendAll = MakeAction("CommSendAll", "&Write Param");
    QAction* commRecvAll = MakeAction("CommRecvAll", "&Read Param");
    QAction* commConnect = MakeAction("CommConnect", "&Connect");
    QAction* commDisConnect = MakeAction("CommDisConnect", "&DisConnect");
    QMenu* commMenu = bar->addMenu("&Comm");
    commMenu->setObjectName("CommMenu");
    commMenu->addActions({commSendAll, commRecvAll, commConnect, commDisConnect});
    QAction* commSendBank = MakeAction("CommSendBank", "Send Bank");
    MakeAction("CommBankClear", "Bank Clear");
    MakeAction("CommBankCopy", "Bank Copy");
    QAction* commEpmWrite = MakeAction("CommEpmWrite", "EPM_WRITE ...");
    QAction* reset = MakeAction("Reset", "Reset");
    QAction* holdToggle = MakeAction("HoldToggle", "Hold");
    holdToggle->setCheckable(true);

    QAction* helpAbout = MakeAction("HelpAboutApp", "About ...");
    QMenu* helpMenu = bar->addMenu("&Help");
    helpMenu->setObjectName("HelpMenu");
    helpMenu->addAction(helpAbout);

    DebugMenu = bar->addMenu("debug");
    DebugMenu->setObjectName("DebugMenu");
    QAction* debugFrom = MakeAction("DebugFrom", "DebugFrom");
    QAction* camStop = MakeAction("CamStop1", "CAM_STOP");
    QAction* camStarat = MakeAction("CamStarat1", "CAM_STARAT");
    QAction* eepGrid = MakeAction("EepromGrid1", "EEPROM Grid ...");
    QAction* unhandled = MakeAction("UnhandledException1", "Unhandled Exception");
    unhandled->setCheckable(true);
    unhandled->setChecked(false);
    DebugMenu->addActions({debugFrom, camStop, camStarat, commEpmWrite, eepGrid, unhandled});
    DebugMenu->menuAction()->setVisible(false);
    connect(DebugButton, &QPushButton::clicked, this,
            [this] { DebugMenu->menuAction()->setVisible(true); });

    // Execute handlers.
    OnTriggered(viewMeasure, [this] {
        ShowPage(kPageMeasure);
        State.SysModeActive = false;
    });
    OnTriggered(viewDataLog, [this] { ShowPage(kPageStoSett); });
    OnTriggered(viewDataLogRun, [this] { ShowPage(kPageStoDispl); });
    OnTriggered(viewProfLogRun, [this] { ViewProfLogRunExecute(); });
    OnTriggered(commSettings, [this] { ShowPage(kPageCommon); });
    OnTriggered(commConnect, [this] { workflow_->Connect(); });
    OnTriggered(commDisConnect, [this] { workflow_->Disconnect(); });
    OnTriggered(commSendAll, [this] { workflow_->SendAll(); });
    OnTriggered(commSendBank, [this] { workflow_->SendBank(); });
    OnTriggered(commRecvAll, [this] { workflow_->ReceiveAll(); });
    OnTriggered(commEpmWrite, [this] { CommEpmWriteExecute(); });
    OnTriggered(reset, [this] {
        worker_->Command(cmd::RUN_RESET);
        WriteLog(kLogAction, "RUN_RESET");
    });
    OnTriggered(holdToggle, [this, holdToggle] {
        const int state = holdToggle->isChecked() ? 1 : 0;
        worker_->Command(cmd::SET_HOLD_STATE, PayloadB(state));
        WriteLog(kLogAction, "SET_HOLD_STATE(%d)", state);
    });
    OnTriggered(fileNew, [this] { workflow_->FileNew(); });
    OnTriggered(fileOpen, [this] { FileOpenExecute(); });
    OnTriggered(fileSaveAs, [this] { FileSaveAsExecute(); });
    OnTriggered(fileCompare2, [this] {
        if (ShowCompare)
            ShowCompare(std::string());
        else
            WriteLog(kLogPlain, "FileCompare: not available in this build");
    });
    OnTriggered(fileCompare1, [this] {
        QString file = FileNameDialog ? FileNameDialog("Parameter File Compare", false) : QString();
        if (file.isEmpty()) return;
        if (ShowCompare)
            ShowCompare(file.toStdString());
        else
            WriteLog(kLogPlain, "FileCompare: not available in this build");
    });
    OnTriggered(fileBackups, [this] {
        if (ShowBackups)
            ShowBackups();
        else
            WriteLog(kLogPlain, "Backups: not available in this build");
    });
    OnTriggered(fileExit, [this] { close(); });
    OnTriggered(helpAbout, [this] {
        if (SplashForm) SplashForm->ShowAbout(this);
    });
    OnTriggered(debugFrom, [this] {
        DebugForm->show();
        ServicePanel->show();
    });
    OnTriggered(camStop, [this] {
        worker_->Command(cmd::CAM_STOP);
        State.SysModeActive = true;
    });
    OnTriggered(camStarat, [this] {
        worker_->Command(cmd::CAM_STARAT);
        State.SysModeActive = false;
    });
    OnTriggered(eepGrid, [this] {
        if (ShowEepGrid)
            ShowEepGrid();
        else
            WriteLog(kLogPlain, "EEPROM Grid: not available in this build");
    });

    BindButton(ConnectButton, commConnect);
    BindButton(DisConnectButton, commDisConnect);
    BindButton(SendButton, commSendAll);
    BindButton(RecvButton, commRecvAll);
    BindButton(BackButton, viewMeasure);
    BindButton(HoldButton, holdToggle);
    BindButton(ResetButton, reset);

    ExecDialog = [this](QDialog& d) {
        FitAndCentre(d, this);
        return d.exec();
    };
    MessageBox = [this](const QString& caption, const QString& text) {
        ShowMessageBox(this, caption, text);
    };
    InputBox = [this](const QString& caption, const QString& prompt,
                      const QString& value) -> std::optional<QString> {
        QInputDialog d(this);
        d.setWindowTitle(caption);
        d.setLabelText(prompt);
        d.setTextValue(value);
        FitAndCentre(d, this);
        if (d.exec() != QDialog::Accepted) return std::nullopt;
        return d.textValue();
    };
    FileNameDialog = [this](const QString& title, bool save) {
        QFileDialog d(this, title);
        d.setNameFilters({"KD parameter file(*.kd)", "binary(*.bin *.dat)"});
        d.setDefaultSuffix("kd");
        d.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        d.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return QString();
        return d.selectedFiles().first();
    };
}

QWidget* TKestTrel::MakeEmptyPage(const char* name) {
    auto* page = new QWidget(ClientArea);
    page->setObjectName(name);
    page->hide();
    return page;
}

void TKestTrel::RegisterPage(int code, TPageHooks hooks) {
    if (code >= kPageTrigger && code <= kPageOutput) {
        if (PSettings && hooks.Window) PSettings->SetSubPage(code, hooks.Window);
    } else if (hooks.Window) {
        auto old = pages_.find(code);
        if (old != pages_.end() && old->second.Window && old->second.Window != hooks.Window) {
            if (shownPage_ == old->second.Window) shownPage_ = hooks.Window;
            old->second.Window->deleteLater();
        }
        hooks.Window->setParent(ClientArea);
        PlacePage(hooks.Window, code);
        hooks.Window->hide();
    }
    pages_[code] = std::move(hooks);
    ConnectPanel->raise();
    BankPanel->raise();
}

TPageHooks* TKestTrel::Page(int code) {
    auto it = pages_.find(code);
    return it == pages_.end() ? nullptr : &it->second;
}

void TKestTrel::RegisterWindow(const std::string& name, QWidget* window,
                               std::function<void()> refresh) {
    extraWindows_.push_back({name, window, std::move(refresh)});
}

void TKestTrel::CreateWindows() {
    struct TWindowEntry {
        const char* Name;
        int Code;  // page code, 0 for other windows
    };
    static constexpr TWindowEntry kOrder[] = {
        {"TPMeasure", kPageMeasure},
        {"TPSettings", 0},
        {"TPCommon", kPageCommon},
        {"TPTrigger", kPageTrigger},
        {"TPCamera", kPageCamera},
        {"TPProfile", kPageProfile},
        {"TPArea", kPageArea},
        {"TPOutput", kPageOutput},
        {"TPOperation", kPageOperation},
        {"TBankCopyDlg", 0},
        {"TParamWriteDlg", 0},
        {"TOkCancelDlg", 0},
        {"TPStoDispl", kPageStoDispl},
        {"TPStoSett", kPageStoSett},
        {"TPStoProf", kPageStoProf},
        {"TSplashForm", 0},
        {"TEepGridForm", 0},
        {"TParamGridForm", 0},
        {"TFilerForm", 0},
    };
    for (const TWindowEntry& w : kOrder) {
        const std::string name = w.Name;
        auto factory = WindowFactories.find(name);
        if (name == "TPSettings") {
            PSettings = new TPSettings(ClientArea);
            PSettings->hide();
            for (const TPageInfo& p : kSettingActions) {
                QPushButton* b = nullptr;
                switch (p.Code) {
                    case kPageTrigger:
                        b = PSettings->TrigButton;
                        break;
                    case kPageCamera:
                        b = PSettings->CamButton;
                        break;
                    case kPageProfile:
                        b = PSettings->ProfButton;
                        break;
                    case kPageArea:
                        b = PSettings->AreaButton;
                        break;
                    case kPageOperation:
                        b = PSettings->OpeButton;
                        break;
                    default:
                        b = PSettings->OutButton;
                        break;
                }
                BindButton(b, Action(p.Action));
            }
            PlacePage(PSettings, kPageTrigger);
        } else if (factory != WindowFactories.end()) {
            factory->second(*this);
        } else if (name == "TParamWriteDlg") {
            ParamWriteDlg = new TParamWriteDlg(Lang.get(), this);
        } else if (name == "TOkCancelDlg") {
            OkCancelDlg = new TOkCancelDlg(Lang.get(), this);
        } else if (name == "TSplashForm") {
            SplashForm = new TSplashForm(this);
        } else if (w.Code != 0 && !Page(w.Code)) {
            // A page of a later build: its code shows an empty page area.
            TPageHooks hooks;
            if (w.Code >= kPageTrigger && w.Code <= kPageOutput)
                hooks.Window = PSettings->SubPage(w.Code);
            else
                hooks.Window = MakeEmptyPage(w.Name);
            pages_[w.Code] = hooks;
            if (hooks.Window && hooks.Window->parent() == ClientArea)
                PlacePage(hooks.Window, w.Code);
        } else {
            continue;  // a window this build does not have
        }
        StartupSteps.push_back("create " + name);
    }
    ConnectPanel->raise();
    BankPanel->raise();
}

void TKestTrel::PlacePage(QWidget* page, int code) {
    if (!page) return;
    const bool fill =
        code == kPageMeasure || (code >> 4) == 2 || code == kPageStoDispl || code == kPageStoProf;
    if (fill)
        page->setGeometry(ClientArea->rect());
    else
        page->move(0, 0);
}

void TKestTrel::LayoutPanels() {
    ConnectPanel->move(0, 0);
    BankPanel->move(std::max(kConnectPanelWidth, ClientArea->width() - kBankPanelWidth), 0);
}

void TKestTrel::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    if (!firstShowDone_) {
        firstShowDone_ = true;
        Guarded([this] { FirstShow(); })();
    }
}

void TKestTrel::FirstShow() {
    // 1. The -loc code into the common page's language selector.
    if (!Options.Loc.empty() && SetLanguageText) SetLanguageText(Options.Loc);
    StartupSteps.push_back("show: language selector");
    // 2. Channel mask of the operation page's chart.
    if (SetChartMask) SetChartMask(Settings.ChMask);
    StartupSteps.push_back("show: chart mask");
    // 3. Colour file.
    LoadColorFile();
    StartupSteps.push_back("show: colours");
    // 4. Measurement page from the image.
    if (TPageHooks* m = Page(kPageMeasure); m && m->ShowParams) m->ShowParams();
    StartupSteps.push_back("show: measurement page");
    // 5. Localise every window.
    ReloadLanguage();
    // The translated menu bar may be taller: keep the client area's minimum.
    setMinimumSize(MinimumClientSize[0], MinimumClientSize[1] + menuBar()->sizeHint().height());
    if (!isMaximized() && height() < minimumHeight()) resize(width(), minimumHeight());
    StartupSteps.push_back("show: localise");
    // 6. The file of the command line, or the default parameter set. A file
    // that cannot be loaded is reported and the default set is used.
    if (!Options.File.empty()) {
        try {
            workflow_->FileOpen(Options.File);
            StartupSteps.push_back("show: load " + Options.File);
        } catch (const std::exception& ex) {
            workflow_->FileNew();
            StartupSteps.push_back("show: file new");
            // Told once the window stands.
            const std::string file = Options.File;
            const std::string reason = FailureReason(ex);
            QTimer::singleShot(
                0, this, Guarded([this, file, reason] { ReportFileFailure(false, file, reason); }));
        }
    } else {
        workflow_->FileNew();
        StartupSteps.push_back("show: file new");
    }
    // 7. The measurement page.
    ShowPage(kPageMeasure);
    StartupSteps.push_back("show: measurement");
    if (State.LinkState != 0) pollTimer_.start();
}

void TKestTrel::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::ActivationChange && isActiveWindow())
        WriteLog(kLogPlain, "Trel Activate");
}

void TKestTrel::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    if (closing_) return;
    LayoutPanels();
    for (auto& [code, hooks] : pages_) {
        if (hooks.Window && hooks.Window->parent() == ClientArea) PlacePage(hooks.Window, code);
    }
    if (PSettings) PlacePage(PSettings, kPageTrigger);
    if (shownPage_) {
        // The page lays itself out anew.
        shownPage_->hide();
        shownPage_->show();
    }
}

void TKestTrel::ShowPage(int code) {
    if (code == State.CurrentPage) return;
    const int previous = State.CurrentPage;
    if (DebugForm->Sync->isChecked()) {
        if (worker_->TaskRunning()) worker_->RequestAbort();
        const int m = SysModeOfPage(code);
        try {
            worker_->Command(cmd::SET_SYS_MODE, PayloadB(m));
            WriteLog(kLogPlain, "SET_SYS_MODE(%d)", m);
            State.SysModeActive = m != 0;
        } catch (const ECommError&) {
            WriteLog(kLogError, "KEST_SET_SYS_MODE no reply");
        }
    }
    if (IsProfileOrArea(previous)) {
        if (TPageHooks* p = Page(previous); p && p->GetZoom) {
            auto z = p->GetZoom();
            State.SharedZoom = {z[0], z[1]};
        }
    }
    if (State.SharedZoom[0] > 0 && IsProfileOrArea(code)) {
        if (TPageHooks* p = Page(code); p && p->SetZoom)
            p->SetZoom(State.SharedZoom[0], State.SharedZoom[1]);
    }
    State.CurrentPage = static_cast<uint8_t>(code);
    if (shownPage_) shownPage_->hide();
    TPageHooks* hooks = Page(code);
    if (code == kPageMeasure) {
        if (State.SysModeActive) {
            try {
                worker_->Command(cmd::SET_SYS_MODE, PayloadB(0));
                WriteLog(kLogPlain, "SET_SYS_MODE(0)");
            } catch (const ECommError&) {
                WriteLog(kLogError, "SET_SYS_MODE no reply");
            }
        }
        State.SysModeActive = false;
    }
    if ((code == kPageMeasure || code == kPageArea || code == kPageProfile) && hooks &&
        hooks->OnEnter)
        hooks->OnEnter();
    switch (code >> 4) {
        case 0x1:
            State.SysModeActive = false;
            MeasureTitle->raise();
            shownPage_ = Page(kPageMeasure) ? Page(kPageMeasure)->Window : nullptr;
            break;
        case 0x2:
            SettingsTitle->raise();
            shownPage_ = PSettings;
            if (PSettings) PSettings->ShowSubPage(code);
            break;
        case 0x3:
            StorageTitle->raise();
            shownPage_ = Page(kPageStoSett) ? Page(kPageStoSett)->Window : nullptr;
            break;
        case 0x9:
            PCSettTitle->raise();
            shownPage_ = Page(kPageCommon) ? Page(kPageCommon)->Window : nullptr;
            break;
        default:
            throw EKestError("unknown page: " + std::to_string(code));
    }
    BackButton->setVisible(code != kPageMeasure);
    if (code == kPageStoSett || code == kPageStoDispl || code == kPageStoProf) {
        shownPage_ = Page(code) ? Page(code)->Window : nullptr;
    }
    if (shownPage_) {
        shownPage_->show();
        shownPage_->lower();
    }
    ConnectPanel->raise();
    BankPanel->raise();
}

void TKestTrel::UpdateActions() {
    const bool linked = State.LinkState != 0;
    Action("CommConnect")->setEnabled(!linked);
    for (const char* name : {"CommDisConnect", "CommSendAll", "CommSendBank", "CommRecvAll",
                             "CommBankClear", "CommBankCopy", "CommEpmWrite", "Reset"})
        Action(name)->setEnabled(linked);
    Action("HoldToggle")->setEnabled(linked && image_->GetSys(pk::INPUT2) == 0);
    for (auto& update : ActionUpdaters) update();
}

void TKestTrel::SetLinkState(int state) {
    State.LinkState = state;
    if (state != 2) {
        // Not polling: the output lamps would show a state that is not live.
        const QString off = "background: black; border-radius: 8px;";
        for (QLabel* lamp : OutputShapes)
            if (lamp && lamp->styleSheet() != off) lamp->setStyleSheet(off);
    }
    if (state != 0 && !closing_)
        pollTimer_.start();
    else
        pollTimer_.stop();
    UpdateActions();
}

void TKestTrel::SetFileName(const std::string& path) {
    fileName_ = path;
    UpdateCaption();
}

void TKestTrel::UpdateCaption() {
    const bool modified = image_->SensorModified || image_->FileModified;
    const std::string untitled =
        Lang ? Lang->Translate("untitled.Caption", "untitled") : "untitled";
    setWindowTitle(
        QString::fromStdString(BuildMainCaption(BaseCaption, fileName_, modified, untitled)));
}

void TKestTrel::SetBankSelector(int bank) {
    if (bank < 0 || bank > 7) return;
    QSignalBlocker block(BankCombo);
    BankCombo->setCurrentIndex(bank);
}

void TKestTrel::ReloadLanguage() {
    // 1. The locale code, from the system when empty.
    std::string code = LocaleCode;
    while (!code.empty() && static_cast<unsigned char>(code.back()) <= ' ') code.pop_back();
    while (!code.empty() && static_cast<unsigned char>(code.front()) <= ' ')
        code.erase(code.begin());
    localeFromSystem_ = code.empty();
    if (code.empty()) code = LocaleCodeFromSystem(SystemLocaleName());
    LocaleCode = code;
    // 2./3. The table: the -lang file when it exists, else the built-in one.
    std::unique_ptr<TMirelLang> table;
    if (!Options.Lang.empty() && QFileInfo(QString::fromStdString(Options.Lang)).isFile()) {
        try {
            table = std::make_unique<TMirelLang>(TMirelLang::FromFile(Options.Lang));
        } catch (const std::exception& ex) {
            WriteLog(kLogError, "%s", ex.what());
        }
    }
    if (!table) {
        if (auto t = TMirelLang::FromResource("StringTable", code)) {
            table = std::make_unique<TMirelLang>(std::move(*t));
        } else {
            WriteLog(kLogError, "no string table for '%s'; English used", code.c_str());
            table = std::make_unique<TMirelLang>(*TMirelLang::FromResource("StringTable", "en"));
        }
    }
    Lang = std::move(table);
    // 4. Program-wide lists.
    Lists.OutTargetNames = ParseCommaList(
        Lang->Translate("OutTargetCombo.Items", "Area1,Area2,Area3,Area4,Calc1,Calc2"));
    Lists.MeasModeUnits = ParseCommaList(Lang->Translate("MeasMode_units", ""));
    Lists.MeasModeShort = ParseCommaList(Lang->Translate("MeasMode_short", ""));
    // 5. Every existing window in its order.
    LocaleOrder.clear();
    auto apply = [this](QWidget* w, const std::string& name) {
        if (!w) return;
        ApplyLocale(w, *Lang);
        LocaleOrder.push_back(name);
    };
    auto page = [this](int code) -> QWidget* {
        TPageHooks* p = Page(code);
        return p ? p->Window : nullptr;
    };
    auto refresh = [this](int code) {
        if (TPageHooks* p = Page(code); p && p->ShowParams) p->ShowParams();
    };
    apply(this, "TKestTrel");
    apply(SplashForm, "TSplashForm");
    apply(page(kPageMeasure), "TPMeasure");
    apply(PSettings, "TPSettings");
    apply(page(kPageTrigger), "TPTrigger");
    apply(page(kPageCamera), "TPCamera");
    apply(page(kPageProfile), "TPProfile");
    apply(page(kPageArea), "TPArea");
    refresh(kPageArea);
    apply(page(kPageOperation), "TPOperation");
    refresh(kPageOperation);
    apply(page(kPageOutput), "TPOutput");
    refresh(kPageOutput);
    apply(page(kPageStoSett), "TPStoSett");
    refresh(kPageStoSett);
    apply(page(kPageStoDispl), "TPStoDispl");
    apply(page(kPageStoProf), "TPStoProf");
    apply(page(kPageCommon), "TPCommon");
    for (const char* name : {"BankCopyDlg"}) {
        for (auto& w : extraWindows_)
            if (w.Name == name) apply(w.Window, w.Name);
    }
    apply(ParamWriteDlg, "TParamWriteDlg");
    apply(OkCancelDlg, "TOkCancelDlg");
    for (auto& w : extraWindows_) {
        if (w.Name == "BankCopyDlg") continue;
        apply(w.Window, w.Name);
        if (w.Refresh) w.Refresh();
    }
    // The About action's caption follows the language too.
    const std::string about = Lang->Translate("HelpAboutS", "About '%s' ...");
    Action("HelpAboutApp")->setText(LangText(ReplacePercentS(about, kBaseCaptionName)));
    UpdateCaption();
}

void TKestTrel::SelectLanguage(const std::string& choice) {
    const size_t colon = choice.find(':');
    LocaleCode = colon == std::string::npos ? std::string() : choice.substr(0, colon);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        ReloadLanguage();
        if (TPageHooks* m = Page(kPageMeasure); m && m->ShowParams) m->ShowParams();
    } catch (...) {
        QApplication::restoreOverrideCursor();
        throw;
    }
    QApplication::restoreOverrideCursor();
}

void TKestTrel::LoadColorFile() {
    if (programPath_.empty()) return;
    const std::string file =
        FindColorFile(ColorFileCandidates(programPath_, std::getenv("XDG_CONFIG_HOME"),
                                          std::getenv("HOME"), std::getenv("XDG_CONFIG_DIRS")));
    if (!file.empty()) LoadDisplayColorsFile(file, Colors);
}

void TKestTrel::SaveRegistry() {
    if (!store_) return;
    if (isMaximized()) {
        Settings.Main.WindowState = 2;
    } else if (isMinimized()) {
        Settings.Main.WindowState = 1;
    } else {
        Settings.Main.WindowState = 0;
        const QRect g = geometry();
        Settings.Main.Left = g.x();
        Settings.Main.Top = g.y();
        Settings.Main.Width = g.width();
        Settings.Main.Height = g.height();
    }
    Settings.DisplUnit = Display.DisplUnit;
    Settings.DisplDecimal = Display.DisplDecimal;
    // The -port option holds for this run only.
    if (!portOverride_ || worker_->PortName() != *portOverride_)
        Settings.PortName = worker_->PortName();
    for (auto& collect : SettingsCollectors) collect(Settings);
    // A language taken from the system is stored as no choice, so that the
    // next start follows the system again.
    SaveSettings(*store_, Settings, localeFromSystem_ ? std::string() : LocaleCode);
    for (auto& write : StoreWriters) write(*store_);
    if (!store_->Flush()) WriteLog(kLogError, "settings could not be saved");
}

void TKestTrel::closeEvent(QCloseEvent* e) {
    if (image_->SensorModified && State.LinkState != 0 && ParamWriteDlg) {
        const std::string text = Lang->Translate(
            "ParamWriteLabel", "Changes has not been saved yet. \r\nWrite to %s sensor unit?");
        ParamWriteDlg->Label1->setText(LangText(ReplacePercentS(text, kProductWord)));
        const int answer = ExecDialog(*ParamWriteDlg);
        if (answer == TParamWriteDlg::Yes) {
            try {
                workflow_->WriteToEeprom(BankCombo->currentIndex());
            } catch (const std::exception& ex) {
                // The changes are not permanent: stay open so nothing is lost.
                WriteLog(kLogError, "%s", ex.what());
                e->ignore();
                return;
            }
        } else if (answer != TParamWriteDlg::No) {
            e->ignore();
            return;
        }
    }
    SaveRegistry();
    closing_ = true;
    pollTimer_.stop();
    if (SplashForm) SplashForm->close();
    DebugForm->close();
    e->accept();
}

void TKestTrel::ViewProfLogRunExecute() {
    if (State.StorageRunState == 1 && State.LinkState != 0 && OkCancelDlg) {
        OkCancelDlg->Label1->setText(
            LangText(Lang->Translate("goto_prof_storage", "goto_prof_storage")));
        if (ExecDialog(*OkCancelDlg) != QDialog::Accepted) return;
        if (StopDataStorage)
            StopDataStorage();
        else
            State.StorageRunState = 0;
    }
    ShowPage(kPageStoProf);
}

void TKestTrel::CommEpmWriteExecute() {
    auto answer = InputBox("EPM_WRITE", "bank (0-7,15):", lastEpmBank_);
    if (!answer) return;
    lastEpmBank_ = *answer;
    bool ok = false;
    const int bank = answer->trimmed().toInt(&ok);
    if (!ok || !((bank >= 0 && bank <= 7) || bank == 15)) {
        WriteLog(kLogError, "EPM_WRITE: not a bank: '%s'", answer->toUtf8().constData());
        return;
    }
    worker_->Command(cmd::EPM_WRITE, PayloadB(bank));
    WriteLog(kLogAction, "EPM_WRITE(%d)", bank);
}

void TKestTrel::FileOpenExecute() {
    QString file =
        FileNameDialog ? FileNameDialog(Action("FileOpen1")->text().remove('&'), false) : QString();
    if (file.isEmpty()) return;
    try {
        workflow_->FileOpen(file.toStdString());
    } catch (const std::exception& e) {
        ReportFileFailure(false, file.toStdString(), FailureReason(e));
    }
}

void TKestTrel::FileSaveAsExecute() {
    QString file = FileNameDialog ? FileNameDialog(Action("FileSaveAs1")->text().remove('&'), true)
                                  : QString();
    if (file.isEmpty()) return;
    try {
        workflow_->FileSaveAs(file.toStdString());
    } catch (const std::exception& e) {
        ReportFileFailure(true, file.toStdString(), FailureReason(e));
    }
}

std::string TKestTrel::FailureReason(const std::exception& e) {
    std::string reason = e.what();
    // A bad word in a text file carries its detail apart from the message.
    if (const auto* conv = dynamic_cast<const EConvertError*>(&e); conv && reason.empty())
        reason = conv->Detail;
    return reason.empty() ? "unknown error" : reason;
}

void TKestTrel::ReportFileFailure(bool save, const std::string& file, const std::string& reason) {
    WriteLog(kLogError, "%s '%s': %s", save ? "save" : "load", file.c_str(), reason.c_str());
    const std::string heading =
        save ? Lang->Translate("file_save_failed", "The file could not be saved.")
             : Lang->Translate("file_open_failed", "The file could not be opened.");
    if (MessageBox)
        MessageBox(QString(), LangText(heading) + "\n" + QString::fromStdString(file) + "\n\n" +
                                  QString::fromStdString(reason));
}

void TKestTrel::PollTimerTimer() {
    // A tick runs to its end before the next one starts.
    if (inPollTick_ || State.LinkState == 0) return;
    inPollTick_ = true;
    try {
        workflow_->PollTick();
    } catch (...) {
        inPollTick_ = false;
        throw;
    }
    inPollTick_ = false;
}

}  // namespace kd
