// The console's modal interactions (message boxes, modal dialogs, the folder picker) go through
// one replaceable object, so that tests answer them instead of a user.
#pragma once

#include <QString>

class QBoxLayout;
class QDialog;
class QPushButton;
class QWidget;

class TPrompts {
public:
    virtual ~TPrompts() = default;
    // An error box with an OK button.
    virtual void Error(QWidget* Owner, const QString& Text);
    // An information box with an OK button.
    virtual void Info(QWidget* Owner, const QString& Text);
    // An error box with Yes and No; true for Yes.
    virtual bool ErrorYesNo(QWidget* Owner, const QString& Text);
    // A confirmation box with Yes and No; true for Yes.
    virtual bool ConfirmYesNo(QWidget* Owner, const QString& Text);
    // Shows Dialog modally; its result code (QDialog::Accepted or Rejected).
    virtual int Exec(QDialog& Dialog);
    // The folder picker; the chosen folder, or an empty text when cancelled.
    virtual QString BrowseForFolder(QWidget* Owner, const QString& Title, const QString& Start);
};

// The prompts in use: the real ones unless SetPrompts replaced them.
TPrompts& Prompts();
// Replaces the prompts (nullptr: the real ones again). The object is not owned.
void SetPrompts(TPrompts* Replacement);

// The application's title, shown in the message boxes.
extern const char* const ApplicationTitle;

// Adds the row of the "OK" (default, accepts) and "Annuler" (rejects) buttons of Dialog to
// Layout; the buttons' object names are "BtnOK" and "BtnCancel".
void AddOkCancelButtons(QDialog& Dialog, QBoxLayout& Layout, QPushButton*& BtnOK,
                        QPushButton*& BtnCancel);
