// The Commands dialog: the watched directories of the local copy of the service's configuration,
// and the command to send for the chosen one.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class TZirConfig;

class TCommandsDlg : public QDialog {
    Q_OBJECT
public:
    // Loads LocalConfigPath; lists every slot with a directory, the first one selected.
    TCommandsDlg(QWidget* Owner, const std::string& LocalConfigPath, const std::string& PcName);
    ~TCommandsDlg() override;

    // CtrlProcessAllFiles when "all files" is chosen, else CtrlNoAction.
    int Command() const;
    // The slot of the selected entry, or -1.
    int SelectedSlot() const;

private:
    std::unique_ptr<TZirConfig> Config;
    QLabel* LabDir;
    QComboBox* CbChain;
    QRadioButton* RbAllFiles;
    QPushButton* BtnOK;
    QPushButton* BtnCancel;
};
