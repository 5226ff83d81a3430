#include "console/basesvc_acess.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <cstring>
#include <exception>

#include "common/clock.h"
#include "common/ini.h"
#include "common/text.h"
#include "console/prompts.h"
#include "pipe/statstext.h"

namespace {

QString Utf8(const std::string& Text) {
    return QString::fromStdString(Text);
}

// A zero-terminated text field of the status record.
template <size_t N>
std::string FieldText(const char (&Field)[N]) {
    return std::string(Field, strnlen(Field, N));
}

// The two LED images, 13 x 13: off and on.
QPixmap LedImage(bool On) {
    QPixmap Image(13, 13);
    Image.fill(Qt::transparent);
    QPainter Painter(&Image);
    Painter.setRenderHint(QPainter::Antialiasing);
    Painter.setPen(QColor(40, 40, 40));
    Painter.setBrush(On ? QColor(0, 220, 0) : QColor(0, 80, 0));
    Painter.drawEllipse(1, 1, 11, 11);
    return Image;
}

struct TValueLabel {
    const char* Name;
    bool RightAligned;
};

// Every value label of both pages, by object name.
constexpr TValueLabel ValueLabels[] = {
    {"ValLastFileOk", false},    {"ValLastFileOkAt", false}, {"ValLastFileBad", false},
    {"ValLastFileBadAt", false}, {"ValLastGroup", false},    {"ValLastGroupAt", false},
    {"ValNextCheck", false},     {"ValLastEventAt", false},  {"ValLastEvent", false},
    {"ValLastErrorAt", false},   {"ValLastError", false},    {"ValVersion", false},
    {"ValStarted", false},       {"ValConnections", true},   {"ValConnectErrors", true},
    {"ValRequests", true},       {"ValRequestBytes", true},  {"ValAnswers", true},
    {"ValAnswerBytes", true},    {"ValWriteErrors", true},
};

} // namespace

TSvcWndBase::TSvcWndBase(TConsoleEnvironment Environment) : Env(std::move(Environment)) {
    auto* Central = new QWidget(this);
    auto* Main = new QVBoxLayout(Central);
    setCentralWidget(Central);

    HeaderPanel = new QWidget(Central);
    HeaderPanel->setFixedHeight(59);
    auto* Header = new QHBoxLayout(HeaderPanel);
    auto* Icon = new QLabel(HeaderPanel);
    Icon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
    LabHeader = new QLabel(HeaderPanel);
    LabHeader->setObjectName("LabHeader");
    LabPcName = new QLabel(HeaderPanel);
    LabPcName->setObjectName("LabPcName");
    BtnSwitchPc = new QPushButton(HeaderPanel);
    BtnSwitchPc->setObjectName("BtnSwitchPc");
    Header->addWidget(Icon);
    Header->addWidget(LabHeader);
    Header->addWidget(LabPcName, 1);
    Header->addWidget(BtnSwitchPc);
    Main->addWidget(HeaderPanel);

    Pages = new QTabWidget(Central);
    PageOperations = new QWidget(Pages);
    PageStatistics = new QWidget(Pages);
    Pages->addTab(PageOperations, "Operations with data files");
    Pages->addTab(PageStatistics, "Statistics");
    Main->addWidget(Pages, 1);

    auto NewLabel = [](QWidget* Parent, const char* Name) {
        auto* Label = new QLabel(Parent);
        Label->setObjectName(Name);
        return Label;
    };
    // Operations: a caption, then the time and the text of each value.
    auto* Ops = new QGridLayout(PageOperations);
    const char* OpsRows[][3] = {
        {"LabLastFileOk", "ValLastFileOkAt", "ValLastFileOk"},
        {"LabLastFileBad", "ValLastFileBadAt", "ValLastFileBad"},
        {"LabLastGroup", "ValLastGroupAt", "ValLastGroup"},
        {"LabNextCheck", nullptr, "ValNextCheck"},
        {"LabLastEvent", "ValLastEventAt", "ValLastEvent"},
        {"LabLastError", "ValLastErrorAt", "ValLastError"},
    };
    int Row = 0;
    for (const auto& R : OpsRows) {
        auto* Caption = NewLabel(PageOperations, R[0]);
        QFont Bold = Caption->font();
        Bold.setBold(true);
        Caption->setFont(Bold);
        Ops->addWidget(Caption, Row++, 0, 1, 2);
        if (R[1] != nullptr) {
            Ops->addWidget(NewLabel(PageOperations, R[1]), Row, 0);
            Ops->addWidget(NewLabel(PageOperations, R[2]), Row++, 1);
        } else {
            Ops->addWidget(NewLabel(PageOperations, R[2]), Row++, 0, 1, 2);
        }
    }
    Ops->setColumnMinimumWidth(0, 140);
    Ops->setColumnStretch(1, 1);
    Ops->setRowStretch(Row, 1);

    auto* Stats = new QGridLayout(PageStatistics);
    const char* StatsRows[][2] = {
        {"LabVersion", "ValVersion"},         {"LabStarted", "ValStarted"},
        {"LabConnections", "ValConnections"}, {"LabConnectErrors", "ValConnectErrors"},
        {"LabRequests", "ValRequests"},       {"LabRequestBytes", "ValRequestBytes"},
        {"LabAnswers", "ValAnswers"},         {"LabAnswerBytes", "ValAnswerBytes"},
        {"LabWriteErrors", "ValWriteErrors"},
    };
    Row = 0;
    for (const auto& R : StatsRows) {
        Stats->addWidget(NewLabel(PageStatistics, R[0]), Row, 0);
        Stats->addWidget(NewLabel(PageStatistics, R[1]), Row++, 1);
    }
    Stats->setColumnStretch(2, 1);
    Stats->setRowStretch(Row, 1);
    for (const TValueLabel& V : ValueLabels) {
        QLabel* Label = ValueLabel(V.Name);
        Label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (V.RightAligned) {
            Label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            QFont Fixed("DejaVu Sans Mono");
            Fixed.setStyleHint(QFont::Monospace);
            Label->setFont(Fixed);
        }
    }

    auto* ButtonPanel = new QWidget(Central);
    ButtonPanel->setFixedHeight(39);
    auto* Buttons = new QHBoxLayout(ButtonPanel);
    Buttons->setContentsMargins(0, 0, 0, 0);
    BtnStart = new QPushButton(ButtonPanel);
    BtnStart->setObjectName("BtnStart");
    BtnStop = new QPushButton(ButtonPanel);
    BtnStop->setObjectName("BtnStop");
    BtnCommands = new QPushButton(ButtonPanel);
    BtnCommands->setObjectName("BtnCommands");
    BtnParameters = new QPushButton(ButtonPanel);
    BtnParameters->setObjectName("BtnParameters");
    BtnClose = new QPushButton(ButtonPanel);
    BtnClose->setObjectName("BtnClose");
    for (QPushButton* Button : {BtnStart, BtnStop, BtnCommands, BtnParameters}) {
        Buttons->addWidget(Button);
    }
    Buttons->addStretch();
    Buttons->addWidget(BtnClose);
    Main->addWidget(ButtonPanel);

    const int PanelWidths[5] = {45, 30, 45, 30, 0};
    for (int I = 0; I < 5; ++I) {
        StatusPanels[I] = new QLabel(statusBar());
        StatusPanels[I]->setObjectName(QString("StatusPanel%1").arg(I));
        if (PanelWidths[I] > 0) {
            StatusPanels[I]->setFixedWidth(PanelWidths[I]);
            statusBar()->addWidget(StatusPanels[I]);
        } else {
            statusBar()->addWidget(StatusPanels[I], 1);
        }
    }
    StatusPanels[0]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    StatusPanels[1]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    StatusPanels[3]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    statusBar()->setSizeGripEnabled(false);

    Timer = new QTimer(this);
    Timer->setInterval(500);
    connect(Timer, &QTimer::timeout, this, &TSvcWndBase::Tick);
    connect(BtnStart, &QPushButton::clicked, this, &TSvcWndBase::StartClicked);
    connect(BtnStop, &QPushButton::clicked, this, &TSvcWndBase::StopClicked);
    connect(BtnParameters, &QPushButton::clicked, this, &TSvcWndBase::Configure);
    connect(BtnClose, &QPushButton::clicked, this, &QWidget::close);

    resize(677, 569);
    setMinimumSize(558, 468);
}

TSvcWndBase::~TSvcWndBase() {
    if (FPoll.valid()) {
        FPoll.wait();
    }
    WriteSettings();
}

void TSvcWndBase::SetCaptions() {
    setWindowTitle(QString::fromUtf8("Service de Conversion des Fichiers"));
    Pages->setTabText(0, QString::fromUtf8("Opérations avec les fichiers de données"));
    Pages->setTabText(1, QString::fromUtf8("Statistique"));
    const char* Captions[][2] = {
        {"LabLastFileOk", "Dernier fichier traite sans erreur"},
        {"LabLastFileBad", "Dernier fichier en erreur"},
        {"LabLastGroup", "Heure du dernier contrôle de fichier"},
        {"LabNextCheck", "Heure du contrôle suivant"},
        {"LabLastEvent", "Dernier évènement"},
        {"LabLastError", "Dernière erreur"},
        {"LabVersion", "Version du Service:"},
        {"LabStarted", "Démarrage a:"},
        {"LabConnections", "Connections avec succès:"},
        {"LabConnectErrors", "Connections avec erreur:"},
        {"LabRequests", "Demandes received:"},
        {"LabRequestBytes", "Bytes received:"},
        {"LabAnswers", "Réponses sent:"},
        {"LabAnswerBytes", "Bytes sent:"},
        {"LabWriteErrors", "Write errors:"},
    };
    for (const auto& C : Captions) {
        findChild<QLabel*>(C[0])->setText(QString::fromUtf8(C[1]));
    }
    BtnParameters->setText(QString::fromUtf8("Configurer le service"));
    BtnParameters->setToolTip(QString::fromUtf8("Change Halvexa parameters on specified PC"));
    BtnStart->setText(QString::fromUtf8("Démarrer le service"));
    BtnStart->setToolTip(QString::fromUtf8("Démarrer Halvexa Service sur PC indiqué"));
    BtnStop->setText(QString::fromUtf8("Arrêter le service"));
    BtnStop->setToolTip(QString::fromUtf8("Arrêter Halvexa Service sur PC indiqué"));
    BtnClose->setText(QString::fromUtf8("Fermer"));
    BtnCommands->setText(QString::fromUtf8("Commandes"));
    BtnCommands->setToolTip(QString::fromUtf8("Change ZidaDorivud parameters on specified PC"));
    StatusPanels[0]->setText("Service");
    StatusPanels[2]->setText("Traite");
    BtnSwitchPc->setText(QString::fromUtf8("Sur un autre PC"));
    BtnSwitchPc->setToolTip(QString::fromUtf8("Choisissez l'ordinateur où le service travaille"));
    LabHeader->setText(QString::fromUtf8("Control FC Service running on "));
}

void TSvcWndBase::Initialize() {
    SetCaptions();
    ClearValues();
    auto Default = [](std::string& Field, const char* Value) {
        if (Field.empty()) {
            Field = Value;
        }
    };
    Default(SettingsFileName, "svc_cfg.ini");
    Default(ServiceName, "ServiceSvc");
    Default(LocalConfigFileName, "cfg_local.ini");
    Default(InfoPipeName, "SvcInfo");
    Default(ControlPipeName, "SvcControl");
    if (!ConfigDialogClass) {
        ConfigDialogClass = [](QWidget* Owner, TConfigClass Class, const std::string& FileName,
                               const std::string& PcName) {
            auto Dialog =
                std::make_unique<TBaseSvcConfigDlg>(Owner, std::move(Class), FileName, PcName);
            Dialog->Initialize();
            return Dialog;
        };
    }
    if (!ConfigClass) {
        ConfigClass = [] { return std::make_unique<TBaseFtConfig>(); };
    }
    ReadSettings();
    ParseCommandLine();

    FTransport = Env.MakeTransport(FPcName);
    FClient = std::make_unique<TPipeClient>(*FTransport, Env.ReceiveTimeoutMs);
    FClient->InfoPipeName = InfoPipeName;
    FClient->ControlPipeName = ControlPipeName;
    FClient->LocalConfigFileName = LocalConfigPath();
    FClient->ForcedTimeBetweenActions = FForcedTimeBetweenActions;

    StatusPanels[1]->setPixmap(LedImage(false));
    StatusPanels[3]->setPixmap(LedImage(false));
    UpdateButtons();
    if (Env.StartTimer) {
        Timer->start();
    }
}

std::string TSvcWndBase::PcDisplayName() const {
    return ::PcDisplayName(FPcName);
}

std::string TSvcWndBase::LocalConfigPath() const {
    return Env.Home + "/" + LocalConfigFileName;
}

void TSvcWndBase::ReadSettings() {
    const TIniFile Ini(Env.Home + "/" + SettingsFileName);
    FPcName = Ini.ReadString("General", "RemotePC", "");
    LabPcName->setText(Utf8(PcDisplayName()));
}

void TSvcWndBase::WriteSettings() {
    try {
        TIniFile Ini(Env.Home + "/" + SettingsFileName);
        Ini.WriteString("General", "RemotePC", FPcName);
        Ini.UpdateFile();
    } catch (const std::exception&) {
        // The settings are a convenience; a read-only home must not stop the console closing.
    }
}

void TSvcWndBase::ParseCommandLine() {
    for (const std::string& Parameter : Env.Parameters) {
        if (Parameter.size() < 2 || (Parameter[0] != '-' && Parameter[0] != '/')) {
            continue;
        }
        const std::string Option = UpperCase(Parameter.substr(1));
        if (Option == "CONFIG") {
            FOpenConfigOnStart = true;
        } else if (Option.rfind("TIME:", 0) == 0) {
            FForcedTimeBetweenActions = TryStrToInt(Option.substr(5)).value_or(60);
        }
    }
}

QLabel* TSvcWndBase::ValueLabel(const char* Name) const {
    return findChild<QLabel*>(Name);
}

QString TSvcWndBase::StatusText() const {
    return StatusPanels[4]->text();
}

void TSvcWndBase::SetStatusText(const std::string& Text) {
    StatusPanels[4]->setText(Utf8(Text));
    StatusPanels[4]->repaint();
}

void TSvcWndBase::ClearValues() {
    for (const TValueLabel& V : ValueLabels) {
        ValueLabel(V.Name)->clear();
    }
    SetBusyLed(false);
    ClearCheckValues();
}

void TSvcWndBase::ClearCheckValues() {
    ValueLabel("ValNextCheck")->clear();
    ValueLabel("ValLastErrorAt")->clear();
    ValueLabel("ValLastError")->clear();
}

void TSvcWndBase::SetBusyLed(bool Value) {
    if (Value != FBusyLed) {
        FBusyLed = Value;
        StatusPanels[3]->setPixmap(LedImage(FBusyLed));
    }
}

void TSvcWndBase::CloseServiceHandles() {
    FServiceState = 0;
    FControl.reset();
}

void TSvcWndBase::UpdateButtons() {
    BtnStart->setEnabled(!FOperation && IsServiceOpen() && !IsServiceRunning());
    BtnStop->setEnabled(!FOperation && IsServiceRunning());
    BtnParameters->setEnabled(!FOperation && IsServiceRunning());
    StatusPanels[1]->setPixmap(LedImage(IsServiceRunning()));
}

// The poll

TSvcWndBase::TPollResult TSvcWndBase::Poll(TServiceControl* Control) {
    TPollResult R;
    if (Control == nullptr) {
        try {
            R.OpenedControl = Env.OpenService(FPcName);
            Control = R.OpenedControl.get();
        } catch (const std::exception& E) {
            R.StatusText =
                Format("Service Control Manager erreur sur %s: ", PcDisplayName().c_str()) +
                E.what();
            return R;
        }
    }
    try {
        R.State = Control->Query().State;
        R.StatusText = ServiceStateText(R.State);
    } catch (const std::exception& E) {
        R.StatusText =
            Format("accès au service est absent sur %s: ", PcDisplayName().c_str()) + E.what();
    }
    if (R.State == ServiceRunning) {
        R.Stats = FClient->RequestStats();
        R.StatsDone = true;
        if (R.Stats.Ok) {
            R.PipeStats = FClient->LastPipeStats();
            R.SrvStats = FClient->LastSrvStats();
        }
    }
    return R;
}

void TSvcWndBase::ShowPoll(TPollResult R) {
    if (R.OpenedControl != nullptr) {
        FControl = std::move(R.OpenedControl);
    }
    FServiceState = R.State;
    SetStatusText(R.StatusText);
    UpdateButtons();
    if (R.StatsDone) {
        if (R.Stats.Ok) {
            ShowStats(R.PipeStats, R.SrvStats);
            SetStatusText("");
        } else if (!R.Stats.StatusText.empty()) {
            SetStatusText(R.Stats.StatusText);
        }
    }
    if (IsServiceRunning() && FOpenConfigOnStart) {
        FOpenConfigOnStart = false;
        Configure();
    }
}

void TSvcWndBase::Tick() {
    if (FOperation) {
        return;
    }
    if (!Env.BackgroundPoll) {
        ShowPoll(Poll(FControl.get()));
        return;
    }
    if (FPoll.valid()) {
        if (FPoll.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            return; // the service is slow to answer: the window goes on meanwhile
        }
        ShowPoll(FPoll.get());
        if (FOperation || FPoll.valid()) {
            return;
        }
    }
    TServiceControl* Current = FControl.get();
    FPoll = std::async(std::launch::async, [this, Current] { return Poll(Current); });
}

void TSvcWndBase::FinishPoll() {
    if (FPoll.valid()) {
        ShowPoll(FPoll.get());
    }
}

void TSvcWndBase::ShowStats(const TPipeStats& P, const TRorozoraSrvStats& S) {
    ValueLabel("ValVersion")->setText(Utf8(VersionText(S)));
    ValueLabel("ValStarted")->setText(Utf8(SystemTimeText(P.StartTime)));
    ValueLabel("ValConnections")->setText(Utf8(CounterText(P.Connections)));
    ValueLabel("ValConnectErrors")->setText(Utf8(CounterText(P.ConnectErrors)));
    ValueLabel("ValRequests")->setText(Utf8(CounterText(P.Requests)));
    ValueLabel("ValRequestBytes")->setText(Utf8(CounterText(P.RequestBytes)));
    ValueLabel("ValAnswers")->setText(Utf8(CounterText(P.Answers)));
    ValueLabel("ValAnswerBytes")->setText(Utf8(CounterText(P.AnswerBytes)));
    ValueLabel("ValWriteErrors")->setText(Utf8(CounterText(P.WriteErrors)));
    if (S.LastFileOk[0] != 0) {
        ValueLabel("ValLastFileOk")->setText(Utf8(FieldText(S.LastFileOk)));
        ValueLabel("ValLastFileOkAt")->setText(Utf8(SystemTimeText(S.LastFileOkAt)));
    }
    if (S.LastFileBad[0] != 0) {
        ValueLabel("ValLastFileBad")->setText(Utf8(FieldText(S.LastFileBad)));
        ValueLabel("ValLastFileBadAt")->setText(Utf8(SystemTimeText(S.LastFileBadAt)));
    }
    if (S.LastGroupOk != 0 || S.LastGroupBad != 0) {
        ValueLabel("ValLastGroup")->setText(Utf8(LastGroupText(S)));
        ValueLabel("ValLastGroupAt")->setText(Utf8(SystemTimeText(S.LastGroupAt)));
    }
    if (S.NextCheckAt.wYear != 0) {
        ValueLabel("ValNextCheck")->setText(Utf8(NextCheckText(S.NextCheckAt, Env.Clock->Now())));
    }
    if (S.LastEventText[0] != 0) {
        ValueLabel("ValLastEventAt")->setText(Utf8(SystemTimeText(S.LastEventAt)));
        ValueLabel("ValLastEvent")->setText(Utf8(FieldText(S.LastEventText)));
    }
    if (S.LastErrorText[0] != 0) {
        ValueLabel("ValLastErrorAt")->setText(Utf8(SystemTimeText(S.LastErrorAt)));
        ValueLabel("ValLastError")->setText(Utf8(FieldText(S.LastErrorText)));
    }
    SetBusyLed(S.Busy);
}

// The buttons

void TSvcWndBase::ShowError(const std::string& Message) {
    Prompts().Error(this, Utf8(Message));
}

void TSvcWndBase::BeginOperation() {
    FOperation = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    UpdateButtons();
}

void TSvcWndBase::EndOperation() {
    if (FOperation) {
        FOperation = false;
        QApplication::restoreOverrideCursor();
        UpdateButtons();
    }
}

void TSvcWndBase::OperationFailed(const std::string& Message, bool IntoStatus) {
    EndOperation();
    if (IntoStatus) {
        SetStatusText(Message);
    }
    ShowError(Message);
}

void TSvcWndBase::InBackground(std::function<void()> Work, std::function<void()> Done) {
    const auto Finish = [this](std::future<void>& Result, const std::function<void()>& Next) {
        try {
            Result.get();
            Next();
        } catch (const std::exception& E) {
            OperationFailed(E.what(), FStatusOnError);
        }
    };
    if (!Env.BackgroundPoll) {
        std::promise<void> Inline;
        try {
            Work();
            Inline.set_value();
        } catch (...) {
            Inline.set_exception(std::current_exception());
        }
        std::future<void> Result = Inline.get_future();
        Finish(Result, Done);
        return;
    }
    auto Result = std::make_shared<std::future<void>>(std::async(std::launch::async, Work));
    auto* Check = new QTimer(this);
    Check->setInterval(50);
    connect(Check, &QTimer::timeout, this, [Check, Result, Done, Finish] {
        if (Result->wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
            Check->stop();
            Check->deleteLater();
            Finish(*Result, Done);
        }
    });
    Check->start();
}

void TSvcWndBase::RunWait(TServiceWait::TKind Kind, std::function<void()> Then) {
    // Asking for the start or stop (TServiceWait's constructor) and each later query run in the
    // background, with the wait hint between them on a timer: the window stays live throughout.
    // The wait keeps the connection to the service alive even if the window drops its own.
    std::shared_ptr<TServiceControl> Keep = FControl;
    auto Wait = std::make_shared<std::unique_ptr<TServiceWait>>();
    // The pending callbacks own the step function; it refers to itself only weakly, so that a
    // failed step frees it with them.
    auto Next = std::make_shared<std::function<void()>>();
    std::weak_ptr<std::function<void()>> Self = Next;
    *Next = [this, Keep, Wait, Then = std::move(Then), Self]() {
        if (!(*Wait)->Done()) {
            QTimer::singleShot(
                std::max((*Wait)->NextDelayMs(), 0), this, [this, Wait, Again = Self.lock()] {
                    InBackground([Wait] { (*Wait)->Step(); }, [Again] { (*Again)(); });
                });
            return;
        }
        try {
            Then();
        } catch (const std::exception& E) {
            OperationFailed(E.what(), FStatusOnError);
        }
    };
    InBackground([Keep, Wait, Kind] { *Wait = std::make_unique<TServiceWait>(*Keep, Kind); },
                 [Next] { (*Next)(); });
}

void TSvcWndBase::StartOrStop(TServiceWait::TKind Kind) {
    FinishPoll();
    if (!IsServiceOpen() || FOperation) {
        return;
    }
    const bool Start = Kind == TServiceWait::StartService;
    try {
        if (FControl->Query().State == (Start ? ServiceRunning : ServiceStopped)) {
            Prompts().Info(this, Utf8((Start ? "The service is running already on "
                                             : "The service is stopped already on ") +
                                      PcDisplayName()));
            return;
        }
        FStatusOnError = false;
        BeginOperation();
        SetStatusText(Start ? "Service commence..." : "Service s'arrête...");
        SetBusyLed(false);
        RunWait(Kind, [this, Start] {
            SetStatusText(ServiceStateText(Start ? ServiceRunning : ServiceStopped));
            if (Start) {
                ClearCheckValues();
            } else {
                ValueLabel("ValNextCheck")->clear();
            }
            EndOperation();
        });
    } catch (const std::exception& E) {
        OperationFailed(E.what(), false);
    }
}

void TSvcWndBase::StartClicked() {
    StartOrStop(TServiceWait::StartService);
}

void TSvcWndBase::StopClicked() {
    StartOrStop(TServiceWait::StopService);
}

void TSvcWndBase::SendConfigReported() {
    SetStatusText(SendConfigText(FPcName));
    try {
        FClient->SendConfig();
    } catch (const std::exception& E) {
        SetStatusText(E.what());
        ShowError(E.what());
    }
}

void TSvcWndBase::Configure() {
    FinishPoll();
    if (FOperation) {
        return;
    }
    try {
        SetStatusText(FetchConfigText(FPcName));
        FClient->FetchConfig();
        std::unique_ptr<TBaseSvcConfigDlg> Dialog =
            ConfigDialogClass(this, ConfigClass, LocalConfigPath(), FPcName);
        if (Prompts().Exec(*Dialog) != QDialog::Accepted) {
            return;
        }
        Dialog.reset();
        FinishPoll(); // the timer went on while the dialog was open
        if (FOperation) {
            return;
        }
        FStatusOnError = true;
        BeginOperation();
        SendConfigReported(); // reports its own failure; the restart follows all the same
        SetBusyLed(false);
        RestartService([this] {
            ClearCheckValues();
            EndOperation();
        });
    } catch (const std::exception& E) {
        OperationFailed(E.what(), true);
    }
}

void TSvcWndBase::RestartService(std::function<void()> Then) {
    if (!IsServiceOpen()) {
        Then();
        return;
    }
    const auto StartAgain = [this, Then] {
        SetStatusText("Changing service configuration...");
        ChangeServiceSettings();
        SetStatusText("Service commence...");
        RunWait(TServiceWait::StartService, [this, Then] {
            SetStatusText(ServiceStateText(ServiceRunning));
            Then();
        });
    };
    if (FControl->Query().State == ServiceStopped) {
        if (Prompts().ConfirmYesNo(
                this, QString::fromUtf8("Service n'est pas travailler.\nVulez vous demarrer "
                                        "maintenant?"))) {
            StartAgain();
        } else {
            Then();
        }
        return;
    }
    SetStatusText("Service s'arrête...");
    RunWait(TServiceWait::StopService, StartAgain);
}

void TSvcWndBase::closeEvent(QCloseEvent* Event) {
    Timer->stop();
    if (FPoll.valid()) {
        FPoll.wait();
        FPoll = {};
    }
    CloseServiceHandles();
    Event->accept();
}
