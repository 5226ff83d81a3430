// The main window of a directory-tracking service console: it polls the service's state and
// statistics every 500 ms, shows them on two pages and in the status bar, and starts, stops and
// reconfigures the service. TMainWnd derives from it and names this service.
//
// The window never waits on the service longer than the client's receive time-out: the poll
// runs on a worker thread (one at a time, its result shown at the next tick), and the waits of a
// start or stop are stepped by timers, with the buttons disabled meanwhile.
#pragma once

#include <QMainWindow>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "console/basesvc_configdlg.h"
#include "pipe/ft_protocol.h"
#include "pipe/pipeclient.h"
#include "platform/servicecontrol.h"
#include "platform/transport.h"

class QLabel;
class QPushButton;
class QTabWidget;
class QTimer;
class TClock;

// What the window is handed from outside: its files' directory, the clock, the command line,
// and how to reach the service of a PC.
struct TConsoleEnvironment {
    std::string Home;                    // ExeDir of the console
    TClock* Clock = nullptr;             // "now" for the next-check seconds
    std::vector<std::string> Parameters; // command-line parameters, program name excluded
    std::function<std::unique_ptr<TMessageTransport>(const std::string& PcName)> MakeTransport;
    std::function<std::unique_ptr<TServiceControl>(const std::string& PcName)> OpenService;
    int ReceiveTimeoutMs = DefaultReceiveTimeoutMs;
    // false: the poll and the service requests of the buttons run on the window's thread (tests)
    bool BackgroundPoll = true;
    bool StartTimer = true; // false: ticks only when Tick is called (tests)
};

class TSvcWndBase : public QMainWindow {
    Q_OBJECT
public:
    explicit TSvcWndBase(TConsoleEnvironment Environment);
    ~TSvcWndBase() override;

    // Hook called while the service is restarted after a configuration change.
    virtual void ChangeServiceSettings() {}
    virtual void UpdateButtons();

    // Fields a derived window fills before Initialize; empty ones get the generic defaults.
    std::string SettingsFileName;
    std::string ServiceName;
    std::string LocalConfigFileName;
    std::string InfoPipeName;
    std::string ControlPipeName;
    std::function<std::unique_ptr<TBaseSvcConfigDlg>(QWidget* Owner, TConfigClass ConfigClass,
                                                     const std::string& FileName,
                                                     const std::string& PcName)>
        ConfigDialogClass;
    TConfigClass ConfigClass;

    // The creation steps that follow the derived window's fields: defaults, captions, settings,
    // command line; starts the timer.
    void Initialize();

    const std::string& PcName() const { return FPcName; }
    std::string PcDisplayName() const;
    std::string LocalConfigPath() const;
    bool OpenConfigOnStart() const { return FOpenConfigOnStart; }
    int ForcedTimeBetweenActions() const { return FForcedTimeBetweenActions; }
    int ServiceState() const { return FServiceState; }
    bool IsServiceOpen() const { return FControl != nullptr; }
    bool IsServiceRunning() const { return IsServiceOpen() && FServiceState == ServiceRunning; }
    // A start, stop or restart is under way (buttons disabled, polling paused).
    bool Busy() const { return FOperation; }
    bool BusyLed() const { return FBusyLed; }
    QString StatusText() const;
    void SetStatusText(const std::string& Text);

    void ClearValues();
    void ClearCheckValues();
    void SetBusyLed(bool Value);
    void CloseServiceHandles();

    // One timer tick; the timer calls it every 500 ms.
    void Tick();
    // The buttons.
    void StartClicked();
    void StopClicked();
    void Configure();

protected:
    void closeEvent(QCloseEvent* Event) override;

    // What a poll found; filled on the worker thread, shown on the window's.
    struct TPollResult {
        std::unique_ptr<TServiceControl> OpenedControl; // a new connection to the service
        int State = 0;
        std::string StatusText;
        bool StatsDone = false;
        TStatsResult Stats;
        TPipeStats PipeStats;
        TRorozoraSrvStats SrvStats;
    };
    TPollResult Poll(TServiceControl* Control);
    void ShowPoll(TPollResult Result);
    // Waits for a poll under way and shows it; every button calls it before using the service.
    void FinishPoll();
    void ShowStats(const TPipeStats& Pipe, const TRorozoraSrvStats& Srv);

    // A button's sequence of service waits: Begin shows the hourglass and disables the buttons,
    // End undoes it. RunWait starts (or stops) the service and calls Then once the state is
    // reached; a failure ends the operation and shows the error.
    void BeginOperation();
    void EndOperation();
    void RunWait(TServiceWait::TKind Kind, std::function<void()> Then);
    // Runs Work on a worker (on this thread when polling is not in the background), then Done
    // on this thread; an error of either ends the operation with its message.
    void InBackground(std::function<void()> Work, std::function<void()> Done);
    void OperationFailed(const std::string& Message, bool IntoStatus);
    void StartOrStop(TServiceWait::TKind Kind);
    void RestartService(std::function<void()> Then);
    void SendConfigReported();

    TPipeClient& Client() { return *FClient; }
    TServiceControl* Control() { return FControl.get(); }
    void ShowError(const std::string& Message);

    TConsoleEnvironment Env;
    QTabWidget* Pages;
    QWidget* PageOperations;
    QWidget* PageStatistics;
    QWidget* HeaderPanel;
    QLabel* LabHeader;
    QLabel* LabPcName;
    QPushButton* BtnSwitchPc;
    QPushButton* BtnStart;
    QPushButton* BtnStop;
    QPushButton* BtnCommands;
    QPushButton* BtnParameters;
    QPushButton* BtnClose;
    QLabel* StatusPanels[5];
    QTimer* Timer;

private:
    void ReadSettings();
    void WriteSettings();
    void ParseCommandLine();
    void SetCaptions();
    QLabel* ValueLabel(const char* Name) const;

    std::string FPcName;
    bool FOpenConfigOnStart = false;
    int FForcedTimeBetweenActions = 0;
    int FServiceState = 0;
    bool FBusyLed = false;
    bool FOperation = false;
    bool FStatusOnError = false; // a failed operation also leaves its message in the status bar
    std::unique_ptr<TMessageTransport> FTransport;
    std::unique_ptr<TPipeClient> FClient;
    std::shared_ptr<TServiceControl> FControl; // shared with a wait under way
    std::future<TPollResult> FPoll;
};
