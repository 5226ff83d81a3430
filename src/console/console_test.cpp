// The console's windows against a fake transport and a fake service control, on the offscreen
// platform. Modal boxes and dialogs are answered by the test through TPrompts.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QtTest>
#include <cstdlib>
#include <deque>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "common/ini.h"
#include "common/utils.h"
#include "config/fcsconfig.h"
#include "console/prompts.h"
#include "console/tarno_cfgmain.h"
#include "console/tarno_commandsdlg.h"
#include "console/tarno_configdlg.h"
#include "console/tarno_configitemdlg.h"
#include "pipe/ft_protocol.h"
#include "pipe/srvpipe_protocol.h"
#include "testing/fake_clock.h"
#include "testing/fake_transport.h"
#include "testing/temp_dir.h"

namespace {

// A service that answers from a script: Start and Stop move it to the goal state at once, unless
// the test says it never gets there.
class TFakeServiceControl : public TServiceControl {
public:
    int State = ServiceStopped;
    bool StartNeverRuns = false;
    std::string QueryError;
    std::vector<std::string> Calls;

    TServiceQuery Query() override {
        Calls.push_back("query");
        if (!QueryError.empty()) {
            throw EServiceControlError(QueryError);
        }
        TServiceQuery Q;
        Q.State = State;
        return Q;
    }
    void Start() override {
        Calls.push_back("start");
        State = StartNeverRuns ? ServiceStartPending : ServiceRunning;
    }
    void Stop() override {
        Calls.push_back("stop");
        State = ServiceStopped;
    }
    void Control(int Code) override { Calls.push_back("control " + std::to_string(Code)); }
};

// Hands the window a transport that forwards to the test's fake.
class TForwardTransport : public TMessageTransport {
public:
    explicit TForwardTransport(TMessageTransport& Target) : FTarget(Target) {}
    std::unique_ptr<TMessageConnection> Connect(const std::string& PipeName,
                                                int TimeoutMs) override {
        return FTarget.Connect(PipeName, TimeoutMs);
    }

private:
    TMessageTransport& FTarget;
};

class TForwardControl : public TServiceControl {
public:
    explicit TForwardControl(TServiceControl& Target) : FTarget(Target) {}
    TServiceQuery Query() override { return FTarget.Query(); }
    void Start() override { FTarget.Start(); }
    void Stop() override { FTarget.Stop(); }
    void Control(int Code) override { FTarget.Control(Code); }

private:
    TServiceControl& FTarget;
};

class TTestPrompts : public TPrompts {
public:
    std::vector<std::string> Errors;
    std::vector<std::string> Infos;
    std::vector<std::string> Questions;
    bool Answer = true;
    std::function<int(QDialog&)> OnExec;
    int Execs = 0;

    void Error(QWidget*, const QString& Text) override { Errors.push_back(Text.toStdString()); }
    void Info(QWidget*, const QString& Text) override { Infos.push_back(Text.toStdString()); }
    bool ErrorYesNo(QWidget*, const QString& Text) override {
        Questions.push_back(Text.toStdString());
        return Answer;
    }
    bool ConfirmYesNo(QWidget*, const QString& Text) override {
        Questions.push_back(Text.toStdString());
        return Answer;
    }
    int Exec(QDialog& Dialog) override {
        ++Execs;
        return OnExec ? OnExec(Dialog) : QDialog::Rejected;
    }
    QString BrowseForFolder(QWidget*, const QString&, const QString&) override { return {}; }
};

const char* const SampleConfig =
    "[General]\r\nTimeBetweenActions=60\r\n"
    "[Directory0]\r\nTrackDirectory=/data/in0\r\nConvType=CEGID\r\n"
    "[Directory2]\r\nTrackDirectory=/data/in2\r\nConvType=VRKSUMMARIZE\r\n"
    "[Directory3]\r\nTrackDirectory=/data/in3\r\nConvType=GENERIX\r\n";

TSystemTime Stamp(int Hour, int Minute, int Second) {
    return DateTimeToSystemTime(EncodeDateTime(2026, 3, 25, Hour, Minute, Second, 0));
}

std::string StatsAnswer(const TPipeStats& Pipe, const TRorozoraSrvStats& Srv) {
    std::string Data(StatsDataLength, '\0');
    EncodePipeStats(Pipe, Data.data());
    EncodeSrvStats(Srv, Data.data() + PipeStatsSize);
    return BuildMessage(AnsGetStats, Data);
}

// A window over the fakes, with the home in a temporary directory.
struct TConsole {
    TTempDir Home;
    TFakeTransport Transport;
    TFakeServiceControl Service;
    TFakeClock Clock{EncodeDateTime(2026, 3, 25, 17, 0, 0, 0)};
    TTestPrompts Prompts;
    std::string Config = SampleConfig;
    std::string Uploaded;
    std::string StatsReply;
    std::vector<std::string> PcNames; // every PC name the factories were given
    std::string OpenError;
    std::unique_ptr<TMainWnd> Window;

    TConsole() {
        SetPrompts(&Prompts);
        TRorozoraSrvStats Srv;
        Srv.VersionMajor = 1;
        Srv.VersionMinor = 2;
        Srv.VersionRelease = 3;
        StatsReply = StatsAnswer(TPipeStats{}, Srv);
        Transport.OnRequest = [this](const std::string&, std::string_view Request) {
            if (MessageNameIs(Request.data(), ReqGetConfig)) {
                return BuildMessage(AnsGetConfig, Config);
            }
            if (MessageNameIs(Request.data(), ReqSetConfig)) {
                Uploaded = std::string(Request.substr(MessageHeaderSize));
                return BuildMessage(AnsSetConfig);
            }
            return StatsReply;
        };
    }
    ~TConsole() {
        Window.reset();
        SetPrompts(nullptr);
    }

    TMainWnd& Open(std::vector<std::string> Parameters = {}, bool BackgroundPoll = false) {
        TConsoleEnvironment Env;
        Env.Home = Home.Dir();
        Env.Clock = &Clock;
        Env.Parameters = std::move(Parameters);
        Env.BackgroundPoll = BackgroundPoll;
        Env.StartTimer = false;
        Env.MakeTransport = [this](const std::string& Pc) {
            PcNames.push_back(Pc);
            return std::make_unique<TForwardTransport>(Transport);
        };
        Env.OpenService = [this](const std::string& Pc) -> std::unique_ptr<TServiceControl> {
            PcNames.push_back(Pc);
            if (!OpenError.empty()) {
                throw EServiceControlError(OpenError);
            }
            return std::make_unique<TForwardControl>(Service);
        };
        Window = std::make_unique<TMainWnd>(std::move(Env));
        return *Window;
    }

    QString Label(const char* Name) const { return Window->findChild<QLabel*>(Name)->text(); }
    QPushButton* Button(const char* Name) const { return Window->findChild<QPushButton*>(Name); }
    int Requests(const char* Name) const {
        int Count = 0;
        for (const auto& R : Transport.Requests) {
            Count += MessageNameIs(R.Bytes.data(), Name) ? 1 : 0;
        }
        return Count;
    }
};

template <class T>
T* Child(QWidget* Parent, const char* Name) {
    T* Found = Parent->findChild<T*>(Name);
    if (Found == nullptr) {
        qFatal("no control %s", Name);
    }
    return Found;
}

// Writes a PNG of Widget into the build directory when TARNO_SNAPSHOT_DIR is set.
void Snapshot(QWidget& Widget, const QString& Name) {
    const char* Dir = std::getenv("TARNO_SNAPSHOT_DIR");
    if (Dir == nullptr) {
        return;
    }
    Widget.show();
    QCoreApplication::processEvents();
    QVERIFY(Widget.grab().save(QString::fromUtf8(Dir) + "/snapshot_" + Name + ".png"));
}

} // namespace

class TConsoleTest : public QObject {
    Q_OBJECT
private slots:
    void CommandLineOptions();
    void ConfigOptionOpensTheDialogOnceTheServiceRuns();
    void StatisticsAreShownWithTheirFormats();
    void ShortStatisticsAnswerShowsLengthErrorAndKeepsValues();
    void SilentOrUnreachableServiceIsReportedAndPollingGoesOn();
    void SlowServiceDoesNotHoldTheWindow();
    void RemotePcReachesEveryFactoryAndIsWrittenBack();
    void StartOnRunningServiceOnlyInforms();
    void StartAndStopWaitForTheService();
    void StartThatNeverRunsFails();
    void ParametersFetchEditSendAndRestart();
    void ConfigurationThatCannotBeReadOpensNoDialog();
    void CommandsReachTheSlotOfTheEntry();
    void ItemDialogTypesAndFilters();
    void ItemDialogStaffAndRawDirectory();
    void ItemDialogBindsEveryPanel();
    void ConfigDialogNormalisesAndReusesSlots();
    void ConfigDialogValidation();
    void Snapshots();
};

void TConsoleTest::CommandLineOptions() {
    struct {
        std::vector<std::string> Parameters;
        bool Config;
        int Time;
    } Cases[] = {
        {{"-config"}, true, 0},  {{"/TIME:abc"}, false, 60},
        {{"/time:0"}, false, 0}, {{"-TIME:120", "/Config", "x", "-"}, true, 120},
        {{"CONFIG"}, false, 0},
    };
    for (const auto& C : Cases) {
        TConsole T;
        TMainWnd& W = T.Open(C.Parameters);
        QCOMPARE(W.OpenConfigOnStart(), C.Config);
        QCOMPARE(W.ForcedTimeBetweenActions(), C.Time);
    }
}

void TConsoleTest::ConfigOptionOpensTheDialogOnceTheServiceRuns() {
    TConsole T;
    TMainWnd& W = T.Open({"-config"});
    bool IsConfigDialog = false;
    T.Prompts.OnExec = [&IsConfigDialog](QDialog& Dialog) {
        IsConfigDialog = dynamic_cast<TTarnoConfigDlg*>(&Dialog) != nullptr;
        return static_cast<int>(QDialog::Rejected);
    };
    W.Tick(); // stopped: nothing opens
    QCOMPARE(T.Prompts.Execs, 0);
    T.Service.State = ServiceRunning;
    W.Tick();
    W.Tick();
    QCOMPARE(T.Prompts.Execs, 1);
    QVERIFY(IsConfigDialog);
    QCOMPARE(T.Requests(ReqGetConfig), 1);
    QCOMPARE(T.Requests(ReqSetConfig), 0); // cancelled: nothing sent back
}

void TConsoleTest::StatisticsAreShownWithTheirFormats() {
    TConsole T;
    TMainWnd& W = T.Open();
    T.Service.State = ServiceRunning;
    TPipeStats Pipe;
    Pipe.StartTime = Stamp(8, 5, 9);
    Pipe.Connections = 1234567;
    TRorozoraSrvStats Srv;
    Srv.VersionMajor = 2;
    Srv.Busy = true;
    CopyStatusText(Srv.LastFileOk, "/data/in0/a.vrk");
    Srv.LastFileOkAt = Stamp(16, 59, 1);
    Srv.LastGroupOk = 3;
    Srv.LastGroupBad = 1;
    Srv.LastGroupElapsedMs = 3723004;
    Srv.LastGroupAt = Stamp(16, 59, 2);
    Srv.NextCheckAt = Stamp(16, 59, 30); // 30 seconds before the fake clock's now
    CopyStatusText(Srv.LastErrorText, "disk full");
    Srv.LastErrorAt = Stamp(16, 0, 0);
    T.StatsReply = StatsAnswer(Pipe, Srv);
    W.Tick();
    QCOMPARE(W.StatusText(), QString());
    QCOMPARE(T.Label("ValVersion"), QString("2.0.0"));
    QCOMPARE(T.Label("ValStarted"), QString("25.03.2026 08:05:09"));
    QCOMPARE(T.Label("ValConnections").size(), 12);
    QVERIFY(T.Label("ValConnections").endsWith("567"));
    QCOMPARE(T.Label("ValLastFileOk"), QString("/data/in0/a.vrk"));
    QCOMPARE(T.Label("ValLastFileOkAt"), QString("25.03.2026 16:59:01"));
    QCOMPARE(T.Label("ValLastGroup"),
             QString::fromUtf8("traité sans erreurs - 3, avec les erreurs - 1, en 1:02:03:004"));
    QCOMPARE(T.Label("ValNextCheck"), QString("25.03.2026 16:59:30 (dans 30 sec)"));
    QCOMPARE(T.Label("ValLastError"), QString("disk full"));
    QVERIFY(W.BusyLed());
    QVERIFY(T.Label("ValLastFileBad").isEmpty());

    // A group of 0 good and 0 bad files, and empty texts, leave what is shown.
    TRorozoraSrvStats Quiet;
    T.StatsReply = StatsAnswer(Pipe, Quiet);
    W.Tick();
    QVERIFY(T.Label("ValLastGroup").startsWith(QString::fromUtf8("traité sans erreurs - 3")));
    QCOMPARE(T.Label("ValLastFileOk"), QString("/data/in0/a.vrk"));
    QVERIFY(!W.BusyLed());
    QVERIFY(T.Button("BtnStop")->isEnabled());
    QVERIFY(T.Button("BtnCommands")->isEnabled());
    QVERIFY(!T.Button("BtnStart")->isEnabled());
}

void TConsoleTest::ShortStatisticsAnswerShowsLengthErrorAndKeepsValues() {
    TConsole T;
    TMainWnd& W = T.Open();
    T.Service.State = ServiceRunning;
    W.Tick();
    QCOMPARE(T.Label("ValVersion"), QString("1.2.3"));
    TRorozoraSrvStats Srv;
    Srv.VersionMajor = 9;
    T.StatsReply = StatsAnswer(TPipeStats{}, Srv);
    T.StatsReply.resize(StatsAnswerSize - 1); // 594 bytes
    W.Tick();
    QCOMPARE(W.StatusText(), QString("Length error"));
    QCOMPARE(T.Label("ValVersion"), QString("1.2.3"));
    // Another answer name is ignored: the state text stays.
    T.StatsReply = BuildMessage(AnsReqUnknown);
    W.Tick();
    QCOMPARE(W.StatusText(), QString::fromUtf8("Service est en cours d'exécution"));
}

void TConsoleTest::SilentOrUnreachableServiceIsReportedAndPollingGoesOn() {
    TConsole T;
    T.OpenError = "Connection refused";
    TMainWnd& W = T.Open();
    W.Tick();
    QCOMPARE(W.StatusText(),
             QString("Service Control Manager erreur sur cet PC: Connection refused"));
    QVERIFY(!W.IsServiceOpen());
    QVERIFY(!T.Button("BtnStart")->isEnabled());
    T.OpenError.clear();
    T.Service.QueryError = "No such unit";
    W.Tick();
    QCOMPARE(W.StatusText(),
             QString::fromUtf8("accès au service est absent sur cet PC: No such unit"));
    T.Service.QueryError.clear();
    T.Service.State = ServiceRunning;
    T.Transport.Silent = true;
    W.Tick();
    QCOMPARE(W.StatusText(), QString("Timeout waiting for the service"));
    QCOMPARE(T.Transport.LastTimeoutMs, DefaultReceiveTimeoutMs);
    QVERIFY(W.IsServiceRunning());
}

void TConsoleTest::SlowServiceDoesNotHoldTheWindow() {
    TConsole T;
    T.Service.State = ServiceRunning;
    std::promise<void> Release;
    std::shared_future<void> Released = Release.get_future().share();
    const auto Answer = T.Transport.OnRequest;
    T.Transport.OnRequest = [Answer, Released](const std::string& Pipe, std::string_view Request) {
        Released.wait(); // the service takes its time
        return Answer(Pipe, Request);
    };
    TMainWnd& W = T.Open({}, true);
    W.Tick(); // starts the poll on the worker and returns while the service has not answered
    W.Tick(); // the poll is still under way: nothing new starts, nothing waits
    QVERIFY(W.StatusText().isEmpty());
    Release.set_value();
    // Each tick shows a finished poll and starts the next.
    QTRY_VERIFY((W.Tick(), T.Label("ValVersion") == "1.2.3"));
    QVERIFY(W.IsServiceRunning());
    // The stop request runs in the background too; the window learns of its end by a timer.
    W.StopClicked();
    QTRY_VERIFY(!W.Busy());
    QCOMPARE(W.StatusText(), QString::fromUtf8("Service s'est arrêté"));
    QCOMPARE(T.Service.State, ServiceStopped);
}

void TConsoleTest::RemotePcReachesEveryFactoryAndIsWrittenBack() {
    TConsole T;
    T.Home.Write("tarno_cfg.ini", "; console\r\n[General]\r\nRemotePC=store-12\r\nOther=1\r\n");
    {
        TMainWnd& W = T.Open();
        W.Tick();
        QCOMPARE(W.PcName(), std::string("store-12"));
        QCOMPARE(W.PcDisplayName(), std::string("store-12"));
        T.Window.reset();
    }
    QCOMPARE(T.PcNames, (std::vector<std::string>{"store-12", "store-12"}));
    const TIniFile Ini(T.Home.Path("tarno_cfg.ini"));
    QCOMPARE(Ini.ReadString("General", "RemotePC", ""), std::string("store-12"));
    QCOMPARE(Ini.ReadString("General", "Other", ""), std::string("1"));
}

void TConsoleTest::StartOnRunningServiceOnlyInforms() {
    TConsole T;
    TMainWnd& W = T.Open();
    T.Service.State = ServiceRunning;
    W.Tick();
    T.Service.Calls.clear();
    W.StartClicked();
    QCOMPARE(T.Prompts.Infos, std::vector<std::string>{"The service is running already on cet PC"});
    QCOMPARE(T.Service.Calls, std::vector<std::string>{"query"});
    QVERIFY(!W.Busy());
}

void TConsoleTest::StartAndStopWaitForTheService() {
    TConsole T;
    TMainWnd& W = T.Open();
    W.Tick();
    QVERIFY(T.Button("BtnStart")->isEnabled());
    W.StartClicked();
    QTRY_VERIFY(!W.Busy());
    QCOMPARE(W.StatusText(), QString::fromUtf8("Service est en cours d'exécution"));
    QCOMPARE(T.Service.State, ServiceRunning);
    W.Tick();
    W.StopClicked();
    QTRY_VERIFY(!W.Busy());
    QCOMPARE(W.StatusText(), QString::fromUtf8("Service s'est arrêté"));
    QVERIFY(T.Prompts.Errors.empty());
    W.StopClicked();
    QCOMPARE(T.Prompts.Infos, std::vector<std::string>{"The service is stopped already on cet PC"});
}

void TConsoleTest::StartThatNeverRunsFails() {
    TConsole T;
    T.Service.StartNeverRuns = true;
    TMainWnd& W = T.Open();
    W.Tick();
    W.StartClicked();
    QTRY_VERIFY(!W.Busy());
    QCOMPARE(T.Prompts.Errors, std::vector<std::string>{"Failed to start service"});
    QCOMPARE(W.StatusText(), QString("Service commence...")); // the last progress text stays
}

void TConsoleTest::ParametersFetchEditSendAndRestart() {
    TConsole T;
    TMainWnd& W = T.Open({"-TIME:120"});
    T.Service.State = ServiceRunning;
    W.Tick();
    T.Service.Calls.clear();
    T.Prompts.OnExec = [](QDialog& Dialog) {
        Child<QCheckBox>(&Dialog, "CbLogDetailed")->setChecked(true);
        Child<QPushButton>(&Dialog, "BtnOK")->click();
        return Dialog.result();
    };
    // The local copy keeps what the configuration classes do not know.
    T.Config += "[Extra]\r\nKeep=me\r\n";
    W.Configure();
    QTRY_VERIFY(!W.Busy());
    QVERIFY(T.Prompts.Errors.empty());
    const TIniFile Sent = TIniFile::FromText(T.Uploaded);
    QCOMPARE(Sent.ReadString("General", "LogDetailed", ""), std::string("1"));
    QCOMPARE(Sent.ReadString("General", "TimeBetweenActions", ""), std::string("120"));
    QCOMPARE(Sent.ReadString("Extra", "Keep", ""), std::string("me"));
    QCOMPARE(Sent.ReadString("Directory2", "ConvType", ""), std::string("VRKSUMMARIZE"));
    QCOMPARE(T.Service.Calls,
             (std::vector<std::string>{"query", "stop", "query", "start", "query"}));
    QCOMPARE(W.StatusText(), QString::fromUtf8("Service est en cours d'exécution"));

    // A failed upload is reported and the restart still follows; a stopped service is only
    // started when the user agrees.
    T.Transport.OnRequest = [](const std::string&, std::string_view Request) {
        return MessageNameIs(Request.data(), ReqGetConfig)
                   ? BuildMessage(AnsGetConfig, SampleConfig)
                   : BuildMessage(AnsReqUnknown);
    };
    T.Service.Calls.clear();
    T.Service.State = ServiceStopped;
    T.Prompts.Answer = false;
    W.Configure();
    QTRY_VERIFY(!W.Busy());
    QCOMPARE(T.Prompts.Errors, std::vector<std::string>{"Wrong quittance from Zalmoret Service"});
    QCOMPARE(
        T.Prompts.Questions,
        std::vector<std::string>{"Service n'est pas travailler.\nVulez vous demarrer maintenant?"});
    QCOMPARE(T.Service.Calls, std::vector<std::string>{"query"});
}

void TConsoleTest::ConfigurationThatCannotBeReadOpensNoDialog() {
    TConsole T;
    TMainWnd& W = T.Open();
    T.Service.State = ServiceRunning;
    W.Tick();
    // 100 bytes announced, 90 delivered.
    T.Transport.OnRequest = [](const std::string&, std::string_view) {
        std::string Answer = BuildMessage(AnsGetConfig, std::string(100, 'x'));
        Answer.resize(MessageHeaderSize + 90);
        return Answer;
    };
    W.Configure();
    QCOMPARE(T.Prompts.Execs, 0);
    QCOMPARE(T.Prompts.Errors, std::vector<std::string>{"Length error"});
    QCOMPARE(W.StatusText(), QString("Length error"));
    QVERIFY(T.Home.Read("tarno_local.ini").empty());
    QCOMPARE(T.Requests(ReqSetConfig), 0);
}

void TConsoleTest::CommandsReachTheSlotOfTheEntry() {
    TConsole T;
    TMainWnd& W = T.Open();
    T.Service.State = ServiceRunning;
    W.Tick();
    T.Prompts.OnExec = [](QDialog& Dialog) {
        auto* Chain = Child<QComboBox>(&Dialog, "CbChain");
        if (Chain->count() != 3) {
            return static_cast<int>(QDialog::Rejected);
        }
        Chain->setCurrentIndex(2);
        return static_cast<int>(QDialog::Accepted);
    };
    W.CommandsClicked();
    QVERIFY(T.Prompts.Errors.empty());
    QCOMPARE(T.Service.Calls.back(), std::string("control 195"));

    // An empty list sends nothing.
    T.Config = "[General]\r\nTimeBetweenActions=60\r\n";
    T.Service.Calls.clear();
    T.Prompts.OnExec = [](QDialog&) { return static_cast<int>(QDialog::Accepted); };
    W.CommandsClicked();
    QCOMPARE(T.Service.Calls.size(), size_t{0});

    // A service that stopped meanwhile.
    T.Config = SampleConfig;
    T.Service.State = ServiceStopped;
    W.CommandsClicked();
    QCOMPARE(T.Prompts.Errors, std::vector<std::string>{"Service is not running"});
}

void TConsoleTest::ItemDialogTypesAndFilters() {
    TTarnoConfigItemDlg D(nullptr);
    D.SetTypeAndParams(99, nullptr);
    QCOMPARE(D.ConvType(), int{ctNone});
    QVERIFY(dynamic_cast<TConvParamsNone*>(&D.Params()) != nullptr);
    QVERIFY(Child<QLineEdit>(&D, "EdFileExt")->isEnabled());
    QVERIFY(D.TypePanel(ctNone)->isVisibleTo(&D));

    // Time filter: 18:00 to 08:00 stores the smaller and the larger quarter.
    D.SetTypeAndParams(ctGenerix, nullptr);
    QVERIFY(!Child<QLineEdit>(&D, "EdFileExt")->isEnabled());
    auto* Use = Child<QCheckBox>(&D, "CbGnrxUseFlt");
    auto* Start = Child<QComboBox>(&D, "CbGnrxQtrStart");
    QVERIFY(!Start->isEnabled());
    Use->setChecked(true);
    QVERIFY(Start->isEnabled());
    Start->setCurrentIndex(Start->findText("18:00"));
    auto* Stop = Child<QComboBox>(&D, "CbGnrxQtrStop");
    Stop->setCurrentIndex(Stop->findText("08:00"));
    const auto& Filter = dynamic_cast<const TConvParamsGenerix&>(D.Params());
    QVERIFY(Filter.UseTimeFilter);
    QCOMPARE(Filter.QtrStart, 32);
    QCOMPARE(Filter.QtrStop, 72);
    QCOMPARE(Start->count(), 96);
    QCOMPARE(Start->itemText(95), QString("23:45"));

    // Type changes keep the common fields and take the new class's fixed extension.
    TConvParamsCegid Cegid;
    Cegid.OutDir = "/out/cegid";
    Cegid.FileExt = "xyz";
    D.SetTypeAndParams(ctCegid, &Cegid);
    D.ChangeType(ctGenerix);
    QCOMPARE(D.Params().OutDir, std::string("/out/cegid"));
    QCOMPARE(D.Params().FileExt, TConvParamsGenerix().FileExt);
    QCOMPARE(Child<QLineEdit>(&D, "EdOutDir")->text(), QString("/out/cegid"));
    Child<QLineEdit>(&D, "EdOutDir")->setText("  ");
    QCOMPARE(D.Params().OutDir, std::string());
    D.ChangeType(ctGenerix);
    QCOMPARE(D.Params().OutDir, TConvParamsGenerix().OutDir);

    D.SetTypeAndParams(ctAcurity, nullptr);
    QVERIFY(Child<QLineEdit>(&D, "EdFileExt")->isEnabled());
    Child<QLineEdit>(&D, "EdFileExt")->setText(" csv ");
    QCOMPARE(D.Params().FileExt, std::string("csv"));
}

void TConsoleTest::ItemDialogStaffAndRawDirectory() {
    TTarnoConfigItemDlg D(nullptr);
    D.SetTypeAndParams(ctXlSoft, nullptr);
    Child<QLineEdit>(&D, "EdOutDir")->setText("/shops/12/out");
    const auto& Xls = dynamic_cast<const TConvParamsXlSoft&>(D.Params());
    QCOMPARE(Xls.RawOutDir, std::string("/shops/12/XlSoftBrut"));
    QCOMPARE(Child<QLineEdit>(&D, "EdRawOutdir")->text(), QString("/shops/12/XlSoftBrut"));

    D.SetTypeAndParams(ctVrkNormalize, nullptr);
    QVERIFY(!Child<QLabel>(&D, "LabOutDir")->isVisibleTo(&D));
    QVERIFY(Child<QLineEdit>(&D, "EdOutDir")->isVisibleTo(&D));
    auto* Monday = Child<QLineEdit>(&D, "EdStaffMon");
    QVERIFY(!Monday->isEnabled());
    Child<QCheckBox>(&D, "CbNrmlStaffRem")->setChecked(true);
    QVERIFY(Monday->isEnabled());
    Monday->clear();
    QTest::keyClicks(Monday, "4x2");
    QCOMPARE(Monday->text(), QString("42"));
    auto* Sunday = Child<QLineEdit>(&D, "EdStaffSun");
    Sunday->setText("abc"); // as pasted
    const auto& Nrm = dynamic_cast<const TConvParamsVrkNormalize&>(D.Params());
    QCOMPARE(Nrm.StaffCoeffs[0], 42);
    QCOMPARE(Nrm.StaffCoeffs[6], 0);
    QVERIFY(Sunday->styleSheet().contains("red"));
    QVERIFY(Monday->styleSheet().isEmpty());

    // At most one of "no exits" and "exit merge".
    Child<QCheckBox>(&D, "CbNrmlRemEx")->setChecked(true);
    Child<QCheckBox>(&D, "CbNrmlExMixer")->setChecked(true);
    QVERIFY(!Child<QCheckBox>(&D, "CbNrmlRemEx")->isChecked());
    QVERIFY(Nrm.EXMerge);
    QVERIFY(!Nrm.NoExits);
}

void TConsoleTest::ItemDialogBindsEveryPanel() {
    // Loading shows the stored values; editing writes them back to the same members.
    TTarnoConfigItemDlg D(nullptr);
    TConvParamsCegid Cegid;
    Cegid.ShopId = " 00042 ";
    Cegid.RetailMode = true;
    Cegid.Code = "GX";
    Cegid.QtrStart = 4;
    D.SetTypeAndParams(ctCegid, &Cegid);
    QCOMPARE(Child<QLineEdit>(&D, "EdShopIDCegid")->text(), QString("00042"));
    QVERIFY(Child<QRadioButton>(&D, "RbCegidBusiness")->isChecked());
    QVERIFY(Child<QLineEdit>(&D, "EdCodeCegid")->isEnabled());
    QCOMPARE(Child<QComboBox>(&D, "CbCgdQtrStart")->currentIndex(), 4);
    Child<QRadioButton>(&D, "RbCegid")->setChecked(true);
    QVERIFY(!Child<QLineEdit>(&D, "EdCodeCegid")->isEnabled());
    Child<QLineEdit>(&D, "EdShopIDCegid")->setText(" 7 ");
    const auto& C = dynamic_cast<const TConvParamsCegid&>(D.Params());
    QVERIFY(!C.RetailMode);
    QCOMPARE(C.ShopId, std::string("7"));
    QCOMPARE(C.Code, std::string("GX"));

    TConvParamsXlSoft Xls;
    Xls.SliceSize = 45;
    D.SetTypeAndParams(ctXlSoft, &Xls);
    auto* Slice = Child<QComboBox>(&D, "CbXlsSlice");
    QCOMPARE(Slice->currentIndex(), -1);
    Slice->setCurrentIndex(Slice->findText("60"));
    QCOMPARE(dynamic_cast<const TConvParamsXlSoft&>(D.Params()).SliceSize, 60);

    // The panels left without controls by default carry theirs.
    D.SetTypeAndParams(ctCorrection, nullptr);
    QVERIFY(D.TypePanel(ctCorrection)->isVisibleTo(&D));
    Child<QLineEdit>(&D, "EdCorrectionWed")->setText(QLocale().toString(0.5, 'f', 2));
    Child<QLineEdit>(&D, "EdCorrectionThu")->setText("x");
    const auto& Corr = dynamic_cast<const TConvParamsCorrection&>(D.Params());
    QCOMPARE(Corr.Correction[2], 0.5);
    QCOMPARE(Corr.Correction[3], 1.0);
    D.SetTypeAndParams(ctVrkCbx, nullptr);
    Child<QCheckBox>(&D, "CbVrkSimplifZeroExits")->setChecked(false);
    QVERIFY(!dynamic_cast<const TConvParamsVrkSimplif&>(D.Params()).ZeroExits);
    D.SetTypeAndParams(ctCboxRt, nullptr);
    Child<QCheckBox>(&D, "CbCbxUseFlt")->setChecked(true);
    QVERIFY(dynamic_cast<const TConvParamsCboxRt&>(D.Params()).UseTimeFilter);
}

void TConsoleTest::ConfigDialogNormalisesAndReusesSlots() {
    TTempDir Dir;
    std::string Text = "[General]\r\nTimeBetweenActions=45\r\n";
    for (int Slot = 0; Slot < 6; ++Slot) {
        Text += "[Directory" + std::to_string(Slot) + "]\r\nTrackDirectory=" + Dir.Path("in") +
                std::to_string(Slot) + "\r\nConvType=NONE\r\nOutDir=" + Dir.Path("out") + "\r\n";
    }
    const std::string File = Dir.Write("local.ini", Text);
    TTestPrompts Prompts;
    SetPrompts(&Prompts);
    {
        TTarnoConfigDlg D(
            nullptr, [] { return std::make_unique<TZirConfig>(); }, File, "");
        D.Initialize();
        auto* List = Child<QListWidget>(&D, "LbTrackDirs");
        QCOMPARE(List->count(), 6);
        QVERIFY(!Child<QPushButton>(&D, "BtnEdit")->isEnabled());
        // Remove slot 2, then add: slot 2 is used again.
        for (int Row = 0; Row < List->count(); ++Row) {
            if (D.SlotOfRow(Row) == 2) {
                List->setCurrentRow(Row);
            }
        }
        QVERIFY(Child<QPushButton>(&D, "BtnRemove")->isEnabled());
        D.RemoveClicked();
        QCOMPARE(List->count(), 5);
        Prompts.OnExec = [&Dir](QDialog& Item) {
            Child<QLineEdit>(&Item, "EdTrackDir")
                ->setText(QString::fromStdString("  " + Dir.Path("new") + "/ "));
            return static_cast<int>(QDialog::Accepted);
        };
        D.AddClicked();
        QCOMPARE(List->count(), 6);
        QCOMPARE(D.Config().GetDirectory(2), Dir.Path("new") + "/");
        // Exact-time mode disables the period, which is still saved.
        Child<QRadioButton>(&D, "RbExactTime")->setChecked(true);
        QVERIFY(!Child<QSpinBox>(&D, "SeFreq")->isEnabled());
        Child<QLineEdit>(&D, "EdExactTimes")->setText("18:00 10:30");
        Child<QPushButton>(&D, "BtnOK")->click();
        QCOMPARE(D.result(), int{QDialog::Accepted});
    }
    SetPrompts(nullptr);
    const TIniFile Saved(File);
    QCOMPARE(Saved.ReadString("Directory2", "TrackDirectory", ""), Dir.Path("new"));
    QCOMPARE(Saved.ReadString("General", "TimeBetweenActions", ""), std::string("45"));
    QCOMPARE(Saved.ReadString("General", "ExactTimeMode", ""), std::string("1"));
    QCOMPARE(Saved.ReadString("General", "ExactTime", ""), std::string("10:30 18:00"));
    QVERIFY(IsDirectory(Dir.Path("new")));
}

void TConsoleTest::ConfigDialogValidation() {
    TTempDir Dir;
    Dir.Write("file", "x");
    const std::string Blocked = Dir.Path("file/sub");
    const std::string File = Dir.Write("local.ini", "[Directory0]\r\nTrackDirectory=" + Blocked +
                                                        "\r\nConvType=NONE\r\n");
    TTestPrompts Prompts;
    SetPrompts(&Prompts);
    auto Zir = [] { return std::make_unique<TZirConfig>(); };
    {
        // A directory that cannot be created: the question, and No keeps the dialog open.
        TTarnoConfigDlg D(nullptr, Zir, File, "");
        D.Initialize();
        Prompts.Answer = false;
        D.OkClicked();
        QCOMPARE(Prompts.Questions.size(), size_t{1});
        const std::string& Q = Prompts.Questions[0];
        QVERIFY(Q.rfind("Create directory " + Blocked + ": ", 0) == 0);
        QVERIFY(Q.ends_with("\r\nContinue anyway?"));
        QCOMPARE(D.result(), int{QDialog::Rejected});
        // A bad time list: an information box, the dialog stays open.
        Child<QLineEdit>(&D, "EdExactTimes")->setText("25:99");
        D.OkClicked();
        QCOMPARE(Prompts.Infos.size(), size_t{1});
        QCOMPARE(D.result(), int{QDialog::Rejected});
    }
    {
        // For another PC the paths are not checked here.
        TTarnoConfigDlg D(nullptr, Zir, File, "store-12");
        D.Initialize();
        Prompts.Questions.clear();
        D.OkClicked();
        QVERIFY(Prompts.Questions.empty());
        QCOMPARE(D.result(), int{QDialog::Accepted});
    }
    {
        // A local copy that cannot be written keeps the dialog open with the error.
        TTarnoConfigDlg D(nullptr, Zir, Dir.Path("file/local.ini"), "store-12");
        D.Initialize();
        Prompts.Infos.clear();
        D.OkClicked();
        QCOMPARE(Prompts.Infos.size(), size_t{1});
        QCOMPARE(D.result(), int{QDialog::Rejected});
    }
    {
        // 64 directories: Add is disabled, and refused with the message.
        std::string Full;
        for (int Slot = 0; Slot < 64; ++Slot) {
            Full += "[Directory" + std::to_string(Slot) + "]\r\nTrackDirectory=/d" +
                    std::to_string(Slot) + "\r\n";
        }
        TTarnoConfigDlg D(nullptr, Zir, Dir.Write("full.ini", Full), "store-12");
        D.Initialize();
        QVERIFY(!Child<QPushButton>(&D, "BtnAdd")->isEnabled());
        D.AddClicked();
        QCOMPARE(Prompts.Errors,
                 std::vector<std::string>{"Vous ne pouvez pas traiter plus de 64 direcories"});
    }
    SetPrompts(nullptr);
}

void TConsoleTest::Snapshots() {
    TConsole T;
    TMainWnd& W = T.Open();
    T.Service.State = ServiceRunning;
    TPipeStats Pipe;
    Pipe.StartTime = Stamp(8, 0, 0);
    Pipe.Connections = 1234567;
    Pipe.Requests = 1234;
    Pipe.RequestBytes = 34552;
    TRorozoraSrvStats Srv;
    Srv.VersionMajor = 0;
    Srv.VersionMinor = 1;
    Srv.Busy = true;
    CopyStatusText(Srv.LastFileOk, "/data/in0/store12_20260325.vrk");
    Srv.LastFileOkAt = Stamp(16, 59, 1);
    Srv.LastGroupOk = 3;
    Srv.LastGroupElapsedMs = 1520;
    Srv.LastGroupAt = Stamp(16, 59, 2);
    Srv.NextCheckAt = Stamp(17, 0, 12);
    CopyStatusText(Srv.LastEventText, "Service started");
    Srv.LastEventAt = Stamp(8, 0, 0);
    T.StatsReply = StatsAnswer(Pipe, Srv);
    W.Tick();
    Snapshot(W, "main_operations");
    W.findChild<QTabWidget*>()->setCurrentIndex(1);
    Snapshot(W, "main_statistics");
    W.hide();

    const std::string File = T.Home.Write("tarno_local.ini", SampleConfig);
    {
        TTarnoConfigDlg D(
            nullptr, [] { return std::make_unique<TZirConfig>(); }, File, "");
        D.Initialize();
        Snapshot(D, "config_dialog");
    }
    // One panel of each parameter class.
    for (const TConvTypeInfo& Type : ConvTypeTable()) {
        TTarnoConfigItemDlg D(nullptr);
        D.SetDirectory("/data/in");
        D.SetTypeAndParams(Type.Code, nullptr);
        Snapshot(D, QString("item_%1").arg(QString::fromUtf8(Type.Name).toLower()));
    }
    TCommandsDlg Commands(nullptr, File, "");
    Snapshot(Commands, "commands_dialog");
}

QTEST_MAIN(TConsoleTest)
#include "console_test.moc"
