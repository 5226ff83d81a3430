// The dialog of one watched directory: source directory, conversion type, output directory,
// file extension, and the panel of the chosen type's parameters. Every control writes its value
// into the working parameter object as soon as it changes; one table binds the controls of every
// panel to the members of their parameter class.
#pragma once

#include <QDialog>
#include <map>
#include <memory>
#include <string>

#include "config/fcsconvparams.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

class TTarnoConfigItemDlg : public QDialog {
    Q_OBJECT
public:
    explicit TTarnoConfigItemDlg(QWidget* Owner);
    ~TTarnoConfigItemDlg() override;

    // Selects Code (NONE when it is not listed) with a copy of Source over that type's defaults
    // (the defaults only when Source is null), and shows its panel.
    void SetTypeAndParams(int Code, const TConvParams* Source);
    // What the user chose in the type list: the current parameters carried over (Assign), the
    // new type's default output directory when that leaves it empty.
    void ChangeType(int Code);

    void SetDirectory(const std::string& Dir);
    std::string Directory() const; // as typed; the caller trims it
    int ConvType() const;
    TConvParams& Params() { return *FParams; }

    std::string DefaultSourceDir;
    std::string DefaultOutputDir;

    // The panel shown for Code (object name "Pn..."); exposed for tests and snapshots.
    QWidget* TypePanel(int Code) const;

    // One control of a type panel bound to the parameter it edits (see the panel table).
    struct TBoundControl;

private:
    void BuildPanels(QWidget* Host);
    void ShowTypePanel();
    void UpdateEnabling();
    void WriteBack(const TBoundControl& Control);
    void OutDirEdited();

    std::unique_ptr<TConvParams> FParams;
    bool Loading = false;

    QLineEdit* EdTrackDir;
    QPushButton* BtnBrowseSrcDir;
    QLineEdit* EdFileExt;
    QComboBox* CbConvType;
    QLabel* LabOutDir;
    QLineEdit* EdOutDir;
    QPushButton* BtnBrowseOutDir;
    QPushButton* BtnOK;
    QPushButton* BtnCancel;
    std::map<int, QWidget*> FPanels; // by type code; types without a panel share PnNone
    QWidget* PnNone;
};
