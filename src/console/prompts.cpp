#include "console/prompts.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

const char* const ApplicationTitle = "Vevu Vidozirido Vaziviz";

namespace {

TPrompts RealPrompts;
TPrompts* CurrentPrompts = &RealPrompts;

QString Title() {
    return QString::fromUtf8(ApplicationTitle);
}

} // namespace

void TPrompts::Error(QWidget* Owner, const QString& Text) {
    QMessageBox::critical(Owner, Title(), Text, QMessageBox::Ok);
}

void TPrompts::Info(QWidget* Owner, const QString& Text) {
    QMessageBox::information(Owner, Title(), Text, QMessageBox::Ok);
}

bool TPrompts::ErrorYesNo(QWidget* Owner, const QString& Text) {
    return QMessageBox::critical(Owner, Title(), Text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

bool TPrompts::ConfirmYesNo(QWidget* Owner, const QString& Text) {
    return QMessageBox::question(Owner, Title(), Text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

int TPrompts::Exec(QDialog& Dialog) {
    return Dialog.exec();
}

QString TPrompts::BrowseForFolder(QWidget* Owner, const QString& Title, const QString& Start) {
    return QFileDialog::getExistingDirectory(Owner, Title, Start, QFileDialog::ShowDirsOnly);
}

TPrompts& Prompts() {
    return *CurrentPrompts;
}

void SetPrompts(TPrompts* Replacement) {
    CurrentPrompts = Replacement != nullptr ? Replacement : &RealPrompts;
}
