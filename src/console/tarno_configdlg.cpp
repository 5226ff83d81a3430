#include "console/tarno_configdlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "common/errors.h"
#include "common/security.h"
#include "common/text.h"
#include "common/utils.h"
#include "config/fcsconfig.h"
#include "console/prompts.h"
#include "console/tarno_configitemdlg.h"
#include "platform/files.h"

namespace {

// Trimmed, without trailing path delimiter (the root stays "/").
std::string NormalizeDir(const std::string& Dir) {
    std::string Result = Trim(Dir);
    while (Result.size() > 1 && Result.back() == '/') {
        Result.pop_back();
    }
    return Result;
}

// Full file access for everyone, as the service grants it to what it creates.
constexpr unsigned FullFileAccess = 0x1F01FF;

} // namespace

TTarnoConfigDlg::TTarnoConfigDlg(QWidget* Owner, TConfigClass ConfigClass, std::string FileName,
                                 std::string PcName)
    : TBaseSvcConfigDlg(Owner, std::move(ConfigClass), std::move(FileName), std::move(PcName)) {
    LbTrackDirs = new QListWidget(PageGeneral);
    LbTrackDirs->setObjectName("LbTrackDirs");
    LbTrackDirs->setSortingEnabled(true);
    BtnAdd = new QPushButton(PageGeneral);
    BtnAdd->setObjectName("BtnAdd");
    BtnEdit = new QPushButton(PageGeneral);
    BtnEdit->setObjectName("BtnEdit");
    BtnRemove = new QPushButton(PageGeneral);
    BtnRemove->setObjectName("BtnRemove");
    RbRegular = new QRadioButton(PageGeneral);
    RbRegular->setObjectName("RbRegular");
    RbRegular->setChecked(true);
    RbExactTime = new QRadioButton(PageGeneral);
    RbExactTime->setObjectName("RbExactTime");
    EdExactTimes = new QLineEdit(PageGeneral);
    EdExactTimes->setObjectName("EdExactTimes");

    EdHalvexaDir->hide();
    auto* ListButtons = new QVBoxLayout();
    ListButtons->addWidget(BtnAdd);
    ListButtons->addWidget(BtnEdit);
    ListButtons->addWidget(BtnRemove);
    ListButtons->addStretch();
    GeneralLayout->addWidget(LbTrackDirs, 2, 0, 1, 4);
    GeneralLayout->addLayout(ListButtons, 2, 4);
    GeneralLayout->addWidget(RbRegular, 10, 0, Qt::AlignRight);
    GeneralLayout->addWidget(LabFreq, 10, 1);
    GeneralLayout->addWidget(SeFreq, 10, 2);
    GeneralLayout->addWidget(LabMin, 10, 3);
    GeneralLayout->addWidget(RbExactTime, 11, 0, 1, 2);
    GeneralLayout->addWidget(EdExactTimes, 11, 2, 1, 2);
    GeneralLayout->setColumnStretch(0, 0);
    GeneralLayout->setColumnStretch(1, 1);
    resize(560, 420);

    connect(BtnAdd, &QPushButton::clicked, this, &TTarnoConfigDlg::AddClicked);
    connect(BtnEdit, &QPushButton::clicked, this, &TTarnoConfigDlg::EditClicked);
    connect(BtnRemove, &QPushButton::clicked, this, &TTarnoConfigDlg::RemoveClicked);
    connect(LbTrackDirs, &QListWidget::itemSelectionChanged, this,
            &TTarnoConfigDlg::UpdateListButtons);
    connect(LbTrackDirs, &QListWidget::itemDoubleClicked, this, &TTarnoConfigDlg::EditClicked);
    connect(RbRegular, &QRadioButton::toggled, this, &TTarnoConfigDlg::UpdateTimeMode);
    connect(RbExactTime, &QRadioButton::toggled, this, &TTarnoConfigDlg::UpdateTimeMode);
}

void TTarnoConfigDlg::SetCaptions() {
    TBaseSvcConfigDlg::SetCaptions();
    setWindowTitle(
        QString::fromUtf8("Répertoires suivis par le Service de Conversion de Fichiers"));
    LabHalvexaDir->setText(QString::fromUtf8("Répertoires de données source"));
    BtnAdd->setText("Ajouter");
    BtnEdit->setText("Modifier");
    BtnRemove->setText("Supprimer");
    RbExactTime->setText(QString::fromUtf8("Contrôler l'état des fichiers à"));
    EdExactTimes->setToolTip(QString::fromUtf8(
        "Liste des valeurs de temps, séparées par un espace, par exemple \"10:30 18:00\""));
}

void TTarnoConfigDlg::Created() {
    BtnBrowseDir->hide();
    UpdateTimeMode();
    UpdateListButtons();
}

TZirConfig& TTarnoConfigDlg::Zir() {
    return dynamic_cast<TZirConfig&>(Config());
}

void TTarnoConfigDlg::LoadControls(TBaseFtConfig& Configuration) {
    TBaseSvcConfigDlg::LoadControls(Configuration);
    EdExactTimes->setText(QString::fromStdString(Configuration.ExactTime.GetText()));
    RbExactTime->setChecked(Configuration.ExactTimeMode);
    RbRegular->setChecked(!Configuration.ExactTimeMode);
    LbTrackDirs->clear();
    const auto& Z = dynamic_cast<const TZirConfig&>(Configuration);
    for (int Slot = 0; Slot < TBaseFtConfig::MaxDirectories; ++Slot) {
        if (!Z.GetDirectory(Slot).empty()) {
            auto* Item = new QListWidgetItem(QString::fromStdString(Z.GetChainTitle(Slot)));
            Item->setData(Qt::UserRole, Slot);
            LbTrackDirs->addItem(Item);
        }
    }
}

void TTarnoConfigDlg::SaveControls(TBaseFtConfig& Configuration) {
    // Slot 0 is kept as it is: the base step writes the hidden edit into it.
    EdHalvexaDir->setText(QString::fromStdString(Configuration.GetDirectory(0)));
    TBaseSvcConfigDlg::SaveControls(Configuration);
    Configuration.ExactTime.SetText(EdExactTimes->text().toStdString());
    Configuration.ExactTimeMode = RbExactTime->isChecked();
    auto& Z = dynamic_cast<TZirConfig&>(Configuration);
    for (int Slot = 0; Slot < TBaseFtConfig::MaxDirectories; ++Slot) {
        Z.SetDirectory(Slot, NormalizeDir(Z.GetDirectory(Slot)));
        Z.GetParams(Slot).OutDir = NormalizeDir(Z.GetParams(Slot).OutDir);
    }
}

void TTarnoConfigDlg::Validate(TBaseFtConfig& Configuration, bool& Cancel) {
    Cancel = false;
    // The checks act on this PC: for a service on another PC its paths mean nothing here.
    if (!PcName().empty()) {
        return;
    }
    auto& Z = dynamic_cast<TZirConfig&>(Configuration);
    for (int Slot = 0; Slot < TBaseFtConfig::MaxDirectories; ++Slot) {
        const std::string Dir = Z.GetDirectory(Slot);
        // Relative paths belong to the service's home, which is not this program's directory:
        // they are left to the service.
        if (Dir.empty() || Dir[0] != '/' ||
            (!Z.GetParams(Slot).OutDir.empty() && Z.GetParams(Slot).OutDir[0] != '/')) {
            continue;
        }
        std::string Context;
        try {
            if (!IsDirectory(Dir)) {
                Context = "Create directory " + Dir;
                ForceDirectories(Dir);
            }
            Context = "Set access rights to " + Dir;
            (void)GrantEveryoneAccess(Dir);
            Context.clear();
            Z.GetParams(Slot).PrepareDirectories(Dir);
        } catch (const std::exception& E) {
            const std::string Message = Context.empty() ? E.what() : Context + ": " + E.what();
            Cancel = !Prompts().ErrorYesNo(
                this, QString::fromStdString(Message + "\r\nContinue anyway?"));
            return;
        }
    }
}

int TTarnoConfigDlg::SlotOfRow(int Row) const {
    const QListWidgetItem* Item = LbTrackDirs->item(Row);
    return Item != nullptr ? Item->data(Qt::UserRole).toInt() : -1;
}

void TTarnoConfigDlg::UpdateListButtons() {
    BtnAdd->setEnabled(Config().FirstFreeDirectory() >= 0);
    const bool Selected = LbTrackDirs->currentRow() >= 0 && !LbTrackDirs->selectedItems().empty();
    BtnEdit->setEnabled(Selected);
    BtnRemove->setEnabled(Selected);
}

void TTarnoConfigDlg::UpdateTimeMode() {
    const bool Regular = RbRegular->isChecked();
    SeFreq->setEnabled(Regular);
    LabMin->setEnabled(Regular);
    EdExactTimes->setEnabled(!Regular);
}

bool TTarnoConfigDlg::EditSlot(TTarnoConfigItemDlg& Dialog, int Slot) {
    if (Prompts().Exec(Dialog) != QDialog::Accepted) {
        return false;
    }
    const std::string Dir = Trim(Dialog.Directory());
    if (Dir.empty()) {
        return false;
    }
    TZirConfig& Z = Zir();
    Z.SetDirectory(Slot, Dir);
    Z.SetConvType(Slot, Dialog.ConvType());
    Z.GetParams(Slot).Assign(Dialog.Params());
    return true;
}

void TTarnoConfigDlg::AddClicked() {
    try {
        TZirConfig& Z = Zir();
        const int Free = Z.FirstFreeDirectory();
        if (Free < 0) {
            throw ETarnoError(Format("Vous ne pouvez pas traiter plus de %d direcories",
                                     TBaseFtConfig::MaxDirectories));
        }
        int Row = LbTrackDirs->currentRow();
        if (Row < 0 || LbTrackDirs->selectedItems().empty()) {
            Row = LbTrackDirs->count() - 1;
        }
        const int Reference = SlotOfRow(Row);
        TTarnoConfigItemDlg Dialog(this);
        Dialog.SetDirectory("");
        if (Reference >= 0) {
            Dialog.DefaultSourceDir = Z.GetDirectory(Reference);
            Dialog.DefaultOutputDir = Z.GetOutDir(Reference);
            Dialog.SetTypeAndParams(Z.GetConvType(Reference), nullptr);
        } else {
            Dialog.SetTypeAndParams(0, nullptr);
        }
        if (!EditSlot(Dialog, Free)) {
            return;
        }
        auto* Item = new QListWidgetItem(QString::fromStdString(Z.GetChainTitle(Free)));
        Item->setData(Qt::UserRole, Free);
        LbTrackDirs->addItem(Item);
        LbTrackDirs->setCurrentRow(LbTrackDirs->count() - 1);
        UpdateListButtons();
    } catch (const std::exception& E) {
        Prompts().Error(this, QString::fromUtf8(E.what()));
    }
}

void TTarnoConfigDlg::EditClicked() {
    try {
        QListWidgetItem* Item = LbTrackDirs->currentItem();
        if (Item == nullptr) {
            return;
        }
        const int Slot = Item->data(Qt::UserRole).toInt();
        TZirConfig& Z = Zir();
        TTarnoConfigItemDlg Dialog(this);
        Dialog.SetDirectory(Z.GetDirectory(Slot));
        Dialog.DefaultSourceDir = Z.GetDirectory(Slot);
        Dialog.DefaultOutputDir = Z.GetOutDir(Slot);
        Dialog.SetTypeAndParams(Z.GetConvType(Slot), &Z.GetParams(Slot));
        if (EditSlot(Dialog, Slot)) {
            Item->setText(QString::fromStdString(Z.GetChainTitle(Slot)));
        }
        UpdateListButtons();
    } catch (const std::exception& E) {
        Prompts().Error(this, QString::fromUtf8(E.what()));
    }
}

void TTarnoConfigDlg::RemoveClicked() {
    const int Row = LbTrackDirs->currentRow();
    const int Slot = SlotOfRow(Row);
    if (Slot < 0) {
        return;
    }
    // Type and parameters stay in the slot; an empty directory takes it out of service.
    Zir().SetDirectory(Slot, "");
    delete LbTrackDirs->takeItem(Row);
    if (LbTrackDirs->count() > 0) {
        LbTrackDirs->setCurrentRow(std::min(Row, LbTrackDirs->count() - 1));
    }
    UpdateListButtons();
}
