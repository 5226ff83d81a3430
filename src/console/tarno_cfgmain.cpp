#include "console/tarno_cfgmain.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <exception>

#include "config/fcsconfig.h"
#include "console/prompts.h"
#include "console/tarno_commandsdlg.h"
#include "console/tarno_configdlg.h"

TMainWnd::TMainWnd(TConsoleEnvironment Environment) : TSvcWndBase(std::move(Environment)) {
    SettingsFileName = "tarno_cfg.ini";
    ServiceName = "Tarno";
    LocalConfigFileName = "tarno_local.ini";
    InfoPipeName = ::InfoPipeName;
    ControlPipeName = ::ControlPipeName;
    ConfigDialogClass = [](QWidget* Owner, TConfigClass Class, const std::string& FileName,
                           const std::string& PcName) -> std::unique_ptr<TBaseSvcConfigDlg> {
        auto Dialog = std::make_unique<TTarnoConfigDlg>(Owner, std::move(Class), FileName, PcName);
        Dialog->Initialize();
        return Dialog;
    };
    ConfigClass = [] { return std::make_unique<TZirConfig>(); };
    Initialize();
    setWindowTitle(QString::fromUtf8("Service de Conversion des Fichiers"));
    LabHeader->setText(QString::fromUtf8("Control FC Service running on "));
    BtnCommands->setText(QString::fromUtf8("Commandes"));
    // The target PC comes from the settings file; the switch in the header is not offered.
    LabHeader->hide();
    LabPcName->hide();
    BtnSwitchPc->hide();
    connect(BtnCommands, &QPushButton::clicked, this, &TMainWnd::CommandsClicked);
    UpdateButtons();
}

void TMainWnd::UpdateButtons() {
    TSvcWndBase::UpdateButtons();
    BtnCommands->setEnabled(!Busy() && IsServiceRunning());
}

void TMainWnd::CommandsClicked() {
    FinishPoll();
    if (Busy()) {
        return;
    }
    try {
        SetStatusText(FetchConfigText(PcName()));
        Client().FetchConfig();
        TCommandsDlg Dialog(this, LocalConfigPath(), PcName());
        if (Prompts().Exec(Dialog) == QDialog::Accepted && Dialog.SelectedSlot() >= 0) {
            FinishPoll(); // the timer went on while the dialog was open
            QApplication::setOverrideCursor(Qt::WaitCursor);
            try {
                if (Control() == nullptr) {
                    throw EServiceControlError("Service is inaccessible");
                }
                SendCommand(*Control(), Dialog.Command(), Dialog.SelectedSlot(),
                            IsServiceRunning());
            } catch (...) {
                QApplication::restoreOverrideCursor();
                throw;
            }
            QApplication::restoreOverrideCursor();
        }
    } catch (const std::exception& E) {
        SetStatusText(E.what());
        ShowError(E.what());
    }
}
