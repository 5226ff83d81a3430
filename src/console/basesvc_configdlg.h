// The configuration dialog of a directory-tracking service: it loads the local copy of the
// service's configuration, edits the general settings (one directory, the period, the detailed
// log) and saves the copy on OK. TTarnoConfigDlg derives from it.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "config/ftconfigbase.h"

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QWidget;

using TConfigClass = std::function<std::unique_ptr<TBaseFtConfig>()>;

// The folder picker: shows Title, starts at Folder; on confirmation Folder becomes the chosen
// folder and the answer is true.
bool BrowseForFolder(QWidget* Owner, const QString& Title, std::string& Folder);

// Owns its configuration object. Call Initialize once after construction: it loads the file and
// fills the controls through the virtual LoadControls.
class TBaseSvcConfigDlg : public QDialog {
    Q_OBJECT
public:
    TBaseSvcConfigDlg(QWidget* Owner, TConfigClass ConfigClass, std::string FileName,
                      std::string PcName);

    void Initialize();

    virtual void Validate(TBaseFtConfig& Configuration, bool& Cancel);
    virtual void LoadControls(TBaseFtConfig& Configuration);
    virtual void SaveControls(TBaseFtConfig& Configuration);

    const std::string& PcName() const { return FPcName; }
    const std::string& FileName() const { return FFileName; }
    TBaseFtConfig& Config() { return *FConfig; }

    // The OK button: save the controls, validate, save the file and close with OK; the dialog
    // stays open on a refusal or an error.
    void OkClicked();

protected:
    virtual void SetCaptions();
    // The last step of Initialize, for a derived dialog's own adjustments.
    virtual void Created() {}

    QTabWidget* Pages;
    QWidget* PageGeneral;
    QGridLayout* GeneralLayout;
    QLabel* LabHalvexaDir;
    QLineEdit* EdHalvexaDir;
    QPushButton* BtnBrowseDir;
    QLabel* LabFreq;
    QSpinBox* SeFreq;
    QLabel* LabMin;
    QCheckBox* CbLogDetailed;
    QPushButton* BtnOK;
    QPushButton* BtnCancel;

private:
    std::string FPcName;
    std::string FFileName;
    TConfigClass FConfigClass;
    std::unique_ptr<TBaseFtConfig> FConfig;
};
