// The configuration dialog of the conversion service: the general settings, the exact-time mode
// and the list of up to 64 watched directories, each edited in TTarnoConfigItemDlg.
#pragma once

#include "console/basesvc_configdlg.h"

class QListWidget;
class QRadioButton;
class TTarnoConfigItemDlg;
class TZirConfig;

class TTarnoConfigDlg : public TBaseSvcConfigDlg {
    Q_OBJECT
public:
    TTarnoConfigDlg(QWidget* Owner, TConfigClass ConfigClass, std::string FileName,
                    std::string PcName);

    void Validate(TBaseFtConfig& Configuration, bool& Cancel) override;
    void LoadControls(TBaseFtConfig& Configuration) override;
    void SaveControls(TBaseFtConfig& Configuration) override;

    // The list buttons; each shows its error in an error box.
    void AddClicked();
    void EditClicked();
    void RemoveClicked();
    void UpdateListButtons();

    // The slot of the list entry at Row.
    int SlotOfRow(int Row) const;

protected:
    void SetCaptions() override;
    void Created() override;

private:
    TZirConfig& Zir();
    // Runs the item dialog; true when the user pressed OK with a non-empty directory, which is
    // then stored in Slot with the chosen type and parameters.
    bool EditSlot(TTarnoConfigItemDlg& Dialog, int Slot);
    void UpdateTimeMode();

    QListWidget* LbTrackDirs;
    QPushButton* BtnAdd;
    QPushButton* BtnEdit;
    QPushButton* BtnRemove;
    QRadioButton* RbRegular;
    QRadioButton* RbExactTime;
    QLineEdit* EdExactTimes;
};
