#include "console/prompts.h"

#include <QDialog>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>

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

void AddOkCancelButtons(QDialog& Dialog, QBoxLayout& Layout, QPushButton*& BtnOK,
                        QPushButton*& BtnCancel) {
    auto* Row = new QHBoxLayout();
    Row->addStretch();
    BtnOK = new QPushButton("OK", &Dialog);
    BtnOK->setObjectName("BtnOK");
    BtnOK->setDefault(true);
    BtnCancel = new QPushButton("Annuler", &Dialog);
    BtnCancel->setObjectName("BtnCancel");
    Row->addWidget(BtnOK);
    Row->addWidget(BtnCancel);
    Layout.addLayout(Row);
    QObject::connect(BtnOK, &QPushButton::clicked, &Dialog, &QDialog::accept);
    QObject::connect(BtnCancel, &QPushButton::clicked, &Dialog, &QDialog::reject);
}
