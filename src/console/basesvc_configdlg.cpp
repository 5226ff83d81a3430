#include "console/basesvc_configdlg.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <exception>

#include "common/ini.h"
#include "console/prompts.h"

bool BrowseForFolder(QWidget* Owner, const QString& Title, std::string& Folder) {
    const QString Chosen = Prompts().BrowseForFolder(Owner, Title, QString::fromStdString(Folder));
    if (Chosen.isEmpty()) {
        return false;
    }
    Folder = Chosen.toStdString();
    return true;
}

TBaseSvcConfigDlg::TBaseSvcConfigDlg(QWidget* Owner, TConfigClass ConfigClass, std::string FileName,
                                     std::string PcName)
    : QDialog(Owner), FPcName(std::move(PcName)), FFileName(std::move(FileName)),
      FConfigClass(std::move(ConfigClass)) {
    auto* Main = new QVBoxLayout(this);
    Pages = new QTabWidget(this);
    PageGeneral = new QWidget(Pages);
    Pages->addTab(PageGeneral, QString());
    Main->addWidget(Pages);

    GeneralLayout = new QGridLayout(PageGeneral);
    LabHalvexaDir = new QLabel(PageGeneral);
    LabHalvexaDir->setObjectName("LabHalvexaDir");
    EdHalvexaDir = new QLineEdit(PageGeneral);
    EdHalvexaDir->setObjectName("EdHalvexaDir");
    BtnBrowseDir = new QPushButton("...", PageGeneral);
    BtnBrowseDir->setObjectName("BtnBrowseDir");
    LabFreq = new QLabel(PageGeneral);
    LabFreq->setObjectName("LabFreq");
    SeFreq = new QSpinBox(PageGeneral);
    SeFreq->setObjectName("SeFreq");
    SeFreq->setRange(2, 3600);
    LabMin = new QLabel(PageGeneral);
    LabMin->setObjectName("LabMin");
    CbLogDetailed = new QCheckBox(PageGeneral);
    CbLogDetailed->setObjectName("CbLogDetailed");

    GeneralLayout->addWidget(LabHalvexaDir, 0, 0, 1, 4);
    GeneralLayout->addWidget(EdHalvexaDir, 1, 0, 1, 3);
    GeneralLayout->addWidget(BtnBrowseDir, 1, 3);
    GeneralLayout->addWidget(LabFreq, 10, 0);
    GeneralLayout->addWidget(SeFreq, 10, 1);
    GeneralLayout->addWidget(LabMin, 10, 2);
    GeneralLayout->addWidget(CbLogDetailed, 12, 0, 1, 4);
    GeneralLayout->setColumnStretch(0, 1);

    AddOkCancelButtons(*this, *Main, BtnOK, BtnCancel);
    // OK closes the dialog only once the copy is saved.
    disconnect(BtnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(BtnOK, &QPushButton::clicked, this, &TBaseSvcConfigDlg::OkClicked);
    connect(BtnBrowseDir, &QPushButton::clicked, this, [this] {
        std::string Folder = EdHalvexaDir->text().toStdString();
        if (BrowseForFolder(this, QString::fromUtf8("Selection du dossier cible"), Folder)) {
            EdHalvexaDir->setText(QString::fromStdString(Folder));
        }
    });
}

void TBaseSvcConfigDlg::SetCaptions() {
    setWindowTitle(QString::fromUtf8("Configuration du service"));
    BtnOK->setText("OK");
    BtnCancel->setText("Annuler");
    Pages->setTabText(0, "General");
    LabHalvexaDir->setText(QString::fromUtf8("Classeur principal de Halvexa"));
    BtnBrowseDir->setToolTip(QString::fromUtf8("Choisissez le classeur principal de Halvexa"));
    LabFreq->setText(QString::fromUtf8("Contrôler l'état des fichiers chaque"));
    LabMin->setText("sec");
    CbLogDetailed->setText(QString::fromUtf8("Suivi d’activité"));
}

void TBaseSvcConfigDlg::Initialize() {
    SetCaptions();
    if (FFileName.empty()) {
        FFileName = "cfg_local.ini";
    }
    FConfig = FConfigClass();
    // Read as the service reads it; what cannot be read raises to the caller, so the dialog
    // never opens on a configuration it did not understand. Values the loader mended (a
    // malformed time list) are told to the user before editing.
    const TIniFile Ini(FFileName);
    FConfig->LoadFromIni(Ini);
    if (!FConfig->LoadErrors().empty()) {
        QStringList Messages;
        for (const std::string& Message : FConfig->LoadErrors()) {
            Messages << QString::fromStdString(Message);
        }
        Prompts().Info(parentWidget(), Messages.join('\n'));
    }
    LoadControls(*FConfig);
    BtnBrowseDir->setVisible(FPcName.empty());
    Created();
}

void TBaseSvcConfigDlg::Validate(TBaseFtConfig& /*Configuration*/, bool& Cancel) {
    Cancel = false;
}

void TBaseSvcConfigDlg::LoadControls(TBaseFtConfig& Configuration) {
    EdHalvexaDir->setText(QString::fromStdString(Configuration.GetDirectory(0)));
    CbLogDetailed->setChecked(Configuration.LogDetailed);
    SeFreq->setValue(Configuration.TimeBetweenActions);
}

void TBaseSvcConfigDlg::SaveControls(TBaseFtConfig& Configuration) {
    Configuration.SetDirectory(0, EdHalvexaDir->text().toStdString());
    Configuration.TimeBetweenActions = SeFreq->value();
    Configuration.LogDetailed = CbLogDetailed->isChecked();
}

void TBaseSvcConfigDlg::OkClicked() {
    try {
        SaveControls(*FConfig);
        bool Cancel = false;
        Validate(*FConfig, Cancel);
        if (Cancel) {
            return;
        }
        // Key by key into the file as it stands, so keys this program does not know stay; a
        // copy that cannot be written keeps the dialog open with the error.
        TIniFile Ini(FFileName);
        FConfig->SaveToIni(Ini);
        Ini.UpdateFile();
        accept();
    } catch (const std::exception& E) {
        Prompts().Info(this, QString::fromUtf8(E.what()));
    }
}
