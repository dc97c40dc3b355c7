#pragma once
// The main window: menus and actions, the connect and bank panels, the page
// area with its page switching, start-up, configuration and shut-down.
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "params/kest_param.h"
#include "shell/command_line.h"
#include "shell/config_store.h"
#include "shell/display_colors.h"
#include "shell/mirel_lang.h"
#include "shell/page_context.h"
#include "shell/shell_seams.h"
#include "shell/shell_state.h"

namespace kd {

class TDebugForm;
class TPSettings;
class TSplashForm;
class TOkCancelDlg;
class TParamWriteDlg;

// What a page window offers the page switching; every part is optional.
struct TPageHooks {
    QWidget* Window = nullptr;
    // Run when the page is entered, before it is shown (restart of a
    // repeated fetch, refresh of a plot, the profile page's mode handler).
    std::function<void()> OnEnter;
    // Plot scales carried between the profile and the area page.
    std::function<std::array<double, 2>()> GetZoom;
    std::function<void(double, double)> SetZoom;
    // Refill from the parameter image.
    std::function<void()> ShowParams;
};

// The objects the main window works with. Without a worker the window makes
// the program's own; without an image, its own. The workflows are needed.
struct TKestServices {
    TPageWorker* Worker = nullptr;
    TKestParam* Image = nullptr;
    TShellWorkflow* Workflow = nullptr;
    TConfigStore* Store = nullptr;
    std::string ProgramPath;  // the colour file lies beside it
};

class TKestTrel : public QMainWindow, public TPageServices {
    Q_OBJECT
  public:
    TKestTrel(const std::vector<std::string>& args, TKestServices services,
              QWidget* parent = nullptr);
    ~TKestTrel() override;

    // Creates the page and dialog windows in their fixed order; a window with
    // a factory is made by it, a page without one is an empty page area.
    void CreateWindows();
    std::map<std::string, std::function<void(TKestTrel&)>> WindowFactories;
    void RegisterPage(int code, TPageHooks hooks);
    TPageHooks* Page(int code);
    // Windows outside the page area that take part in localisation
    // ("BankCopyDlg", "FilerForm") and their refresh after it.
    void RegisterWindow(const std::string& name, QWidget* window,
                        std::function<void()> refresh = {});

    void ShowPage(int code) override;
    void UpdateActions() override;
    // Sets LinkState; the polling tick runs only while linked.
    void SetLinkState(int state);
    bool PollingActive() const { return pollTimer_.isActive(); }
    void UpdateCaption();
    void SetFileName(const std::string& path);
    const std::string& FileName() const { return fileName_; }
    void ReloadLanguage();
    // The language selector's choice ("ja:Japanese", "OS language"): the code
    // before the first ":" (none: chosen from the system), then the texts of
    // every window and the measurement page's captions are renewed.
    void SelectLanguage(const std::string& choice);
    void SaveRegistry();
    void LoadColorFile();
    // Puts the bank into the selector without running the bank change.
    void SetBankSelector(int bank);

    // Program-wide state.
    TShellState State;
    TLiveValues Live;
    TDisplaySettings Display;
    TDisplayColors Colors;
    TMasterStore Masters;
    TShellSettings Settings;
    TStartOptions Options;
    std::string LocaleCode;
    std::unique_ptr<TMirelLang> Lang;
    TModeLists Lists;
    std::string BaseCaption;
    std::array<int, 2> MinimumClientSize{800, 480};

    // What happened at start-up, in order (window creation and first showing).
    std::vector<std::string> StartupSteps;
    // The windows translated by the last ReloadLanguage, in order.
    std::vector<std::string> LocaleOrder;

    // Modal dialogs and prompts; replaceable so tests can answer them.
    std::function<int(QDialog&)> ExecDialog;
    std::function<std::optional<QString>(const QString& caption, const QString& prompt,
                                         const QString& value)>
        InputBox;
    std::function<QString(const QString& title, bool save)> FileNameDialog;
    // A message box with an OK button on this window (an empty caption shows
    // the application title).
    std::function<void(const QString& caption, const QString& text)> MessageBox;
    // Hooks of later windows.
    std::function<void()> StopDataStorage;
    std::function<void(const std::string& file)> ShowCompare;
    std::function<void()> ShowEepGrid;
    std::function<void()> ShowBackups;
    std::function<void(int chMask)> SetChartMask;
    std::function<void(const std::string& code)> SetLanguageText;
    std::vector<std::function<void(TShellSettings&)>> SettingsCollectors;
    // Pages that keep groups of their own in the store write them here when
    // the registry is saved (at close; a screenshot run saves nothing).
    std::vector<std::function<void(TConfigStore&)>> StoreWriters;
    // Pages' own actions whose enabling follows the connection (UpdateActions).
    std::vector<std::function<void()>> ActionUpdaters;

    // The context every page works in.
    TPageContext& Context() { return *context_; }
    TPageWorker& Worker() { return *worker_; }
    // The program's own communication worker; null when a worker was handed in.
    TKestThread* Thread() { return ownThread_.get(); }

    // --- TPageServices
    bool Sync() const override;
    bool Displ() const override;
    std::string Translate(const std::string& name, const std::string& def) const override;
    void TriggerAction(const std::string& name) override;
    void HandleException(const std::exception& e) override;
    void Message(const std::string& caption, const std::string& text) override;
    void EnableDataLog(bool on) override;
    void RefreshAll() override;
    void BeginWait() override;
    void EndWait() override;
    void ProcessEvents() override;
    uint16_t SamplingPeriod() const override {
        return SamplingPeriodHook ? SamplingPeriodHook() : 0;
    }
    std::function<uint16_t()> SamplingPeriodHook;
    TKestParam& Image() { return *image_; }
    TShellWorkflow& Workflow() { return *workflow_; }
    TConfigStore* Store() { return store_; }
    QAction* Action(const QString& name) const;
    bool UnhandledExceptionChecked() const;
    QWidget* ShownPage() const { return shownPage_; }

    // Controls.
    QWidget* ClientArea;
    QFrame* ConnectPanel;
    QFrame* BankPanel;
    QFrame* ServicePanel;
    QLabel* MeasurePageLabel;
    QPushButton* ConnectButton;
    QPushButton* DisConnectButton;
    QPushButton* SendButton;
    QPushButton* RecvButton;
    QPushButton* BackButton;
    QPushButton* DebugButton;
    QLabel* MeasureTitle;
    QLabel* SettingsTitle;
    QLabel* StorageTitle;
    QLabel* PCSettTitle;
    QLabel* BankLabel;
    QComboBox* BankCombo;
    QLabel* TargetLabel;
    std::array<QLabel*, 3> OutputShapes{};
    QPushButton* HoldButton;
    QPushButton* ResetButton;
    QMenu* DebugMenu;

    TDebugForm* DebugForm = nullptr;
    TPSettings* PSettings = nullptr;
    TSplashForm* SplashForm = nullptr;
    TOkCancelDlg* OkCancelDlg = nullptr;
    TParamWriteDlg* ParamWriteDlg = nullptr;

  protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;

  private:
    void BuildLayout();
    void BuildMenus();
    QAction* MakeAction(const char* name, const char* caption);
    // Connects an action to a handler whose exceptions go to the application's handler.
    void OnTriggered(QAction* action, std::function<void()> handler);
    void BindButton(QPushButton* button, QAction* action);
    void FirstShow();
    void LayoutPanels();
    void PlacePage(QWidget* page, int code);
    QWidget* MakeEmptyPage(const char* name);
    void ViewProfLogRunExecute();
    void CommEpmWriteExecute();
    void FileOpenExecute();
    void FileSaveAsExecute();
    // A file that could not be opened or saved: the log and a message box
    // with the file name and the reason.
    void ReportFileFailure(bool save, const std::string& file, const std::string& reason);
    static std::string FailureReason(const std::exception& e);
    void PollTimerTimer();

    std::unique_ptr<TKestThread> ownThread_;
    std::unique_ptr<TThreadWorker> ownWorker_;
    std::unique_ptr<TKestParam> ownImage_;
    std::unique_ptr<TPageContext> context_;
    TPageWorker* worker_;
    TKestParam* image_;
    TShellWorkflow* workflow_;
    TConfigStore* store_;
    std::string programPath_;
    std::map<QString, QAction*> actions_;
    std::map<int, TPageHooks> pages_;
    struct TExtraWindow {
        std::string Name;
        QWidget* Window;
        std::function<void()> Refresh;
    };
    std::vector<TExtraWindow> extraWindows_;
    QWidget* shownPage_ = nullptr;
    std::string fileName_;
    std::optional<std::string> portOverride_;
    QString lastEpmBank_ = "0";
    bool firstShowDone_ = false;
    bool localeFromSystem_ = false;  // the code was chosen from the system
    bool inPollTick_ = false;
    bool closing_ = false;
    QTimer pollTimer_;
    std::unique_ptr<QObject> hintFilter_;
};

}  // namespace kd
