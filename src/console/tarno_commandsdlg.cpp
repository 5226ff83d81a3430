#include "console/tarno_commandsdlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "common/ini.h"
#include "config/fcsconfig.h"
#include "console/prompts.h"
#include "platform/servicecontrol.h"

TCommandsDlg::TCommandsDlg(QWidget* Owner, const std::string& LocalConfigPath,
                           const std::string& /*PcName*/)
    : QDialog(Owner), Config(std::make_unique<TZirConfig>()) {
    setWindowTitle(QString::fromUtf8("Sélectionnez une action que vous voulez effectuer"));
    auto* Main = new QVBoxLayout(this);
    LabDir = new QLabel(QString::fromUtf8("Pour le répertoire"), this);
    LabDir->setObjectName("LabDir");
    CbChain = new QComboBox(this);
    CbChain->setObjectName("CbChain");
    RbAllFiles = new QRadioButton(
        QString::fromUtf8("Convertir tous les fichiers dans le répertoire, peu importe si elles "
                          "sont anciennes ou nouvelles"),
        this);
    RbAllFiles->setObjectName("RbAllFiles");
    RbAllFiles->setChecked(true);
    Main->addWidget(LabDir);
    Main->addWidget(CbChain);
    Main->addWidget(RbAllFiles);
    Main->addStretch();
    AddOkCancelButtons(*this, *Main, BtnOK, BtnCancel);

    // Raises when the copy cannot be read as a configuration: nothing would be listed right.
    const TIniFile Ini(LocalConfigPath);
    Config->LoadFromIni(Ini);
    for (int Slot = 0; Slot < TZirConfig::MaxDirectories; ++Slot) {
        if (!Config->GetDirectory(Slot).empty()) {
            CbChain->addItem(QString::fromStdString(Config->GetChainTitle(Slot)), Slot);
        }
    }
    if (CbChain->count() > 0) {
        CbChain->setCurrentIndex(0);
    }
    resize(520, 160);
}

TCommandsDlg::~TCommandsDlg() = default;

int TCommandsDlg::Command() const {
    return RbAllFiles->isChecked() ? CtrlProcessAllFiles : CtrlNoAction;
}

int TCommandsDlg::SelectedSlot() const {
    return CbChain->currentIndex() >= 0 ? CbChain->currentData().toInt() : -1;
}
