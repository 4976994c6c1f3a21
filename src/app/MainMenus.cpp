// SPDX-License-Identifier: MIT
// The main window's menu commands, the detection tick and the configuration files.
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <optional>

#include "Main.h"
#include "QtText.h"
#include "RadioGroup.h"
#include "ToolsMenu.h"
#include "Unit2.h"
#include "VirtualBoardMenu.h"
#include "plan/FrequencyPlan.h"
#include "storage/FileText.h"

using namespace zvk;

namespace {

// The filters as the file dialogs show them.
const char* const kOpenFilter = "Configuration files (*.cfg);;NTL files (*.b)";
const char* const kSaveFilter = "Configuration file (*.cfg)";

}  // namespace

void TForm1::connectMenus() {
    connect(T_Check, &QTimer::timeout, this, &TForm1::T_CheckTimer);
    connect(T_USB, &QTimer::timeout, this, &TForm1::T_USBTimer);
    connect(LoadConfig1, &QAction::triggered, this, &TForm1::LoadConfig1Click);
    connect(SaveConfig1, &QAction::triggered, this, &TForm1::SaveConfig1Click);
    connect(Exit1, &QAction::triggered, this, &TForm1::Exit1Click);
    connect(N0x3781, &QAction::triggered, this, &TForm1::N0x3781Click);
    connect(N0x3BC1, &QAction::triggered, this, &TForm1::N0x3BC1Click);
    connect(userdefined1, &QAction::triggered, this, &TForm1::userdefined1Click);
    connect(default1, &QAction::triggered, this, &TForm1::default1Click);
    connect(extVref1, &QAction::triggered, this, &TForm1::extVref1Click);
    connect(SetVpwm1, &QAction::triggered, this, &TForm1::SetVpwm1Click);
    connect(About1, &QAction::triggered, this, &TForm1::About1Click);

    // Ours, between the menus the layout has always had and "About".
    Tools1 = new ToolsMenu(*session_, this);
    connect(Tools1, &ToolsMenu::correctionChanged, this, &TForm1::showTuningInfo);
    MainMenu1->insertMenu(About1, Tools1);
    buildRemoteControl();

    // Only a simulated board can be unplugged or given a test signal by hand.
    if (session_->isVirtual()) {
        VirtualBoard1 = new VirtualBoardMenu(&session_->board(), this);
        MainMenu1->addMenu(VirtualBoard1);
    }
}

// ---- the detection tick

void TForm1::T_CheckTimer() {
    session_->tick();
}

void TForm1::T_USBTimer() {}

// ---- "LPT"

void TForm1::N0x3781Click() {
    session_->chooseBase378();
    applyInterfaceView();
}

void TForm1::N0x3BC1Click() {
    session_->chooseBase3BC();
    applyInterfaceView();
}

void TForm1::userdefined1Click() {
    const QString initial = qs(session_->userDefinedBaseText());
    bool ok = false;
    QString text =
        QInputDialog::getText(this, QString::fromLatin1(InterfaceDetection::kUserDefinedCaption),
                              QString::fromLatin1(InterfaceDetection::kUserDefinedPrompt),
                              QLineEdit::Normal, initial, &ok);
    // Cancelling reads the text the dialog started with, which keeps the old address.
    if (!ok) text = initial;
    std::string error;
    const bool chosen = session_->chooseUserDefinedBase(text.toStdString(), &error);
    // On a refusal the tick Qt moved to "user defined" goes back.
    applyInterfaceView();
    if (!chosen) QMessageBox::critical(this, QString::fromLatin1(kApplicationTitle), qs(error));
}

// ---- "Settings"

void TForm1::default1Click() {
    session_->defaults();
}

void TForm1::extVref1Click() {
    // Qt has already flipped the tick; the detection's state decides it, so one click is
    // one toggle however the action was triggered.
    const bool internal = session_->toggleExtVref();
    applyInterfaceView();
    if (internal)
        QMessageBox::information(this, QString::fromLatin1(kApplicationTitle),
                                 QString::fromLatin1(InterfaceDetection::kDisconnectMessage));
}

void TForm1::SetVpwm1Click() {
    bool ok = false;
    const QString text =
        QInputDialog::getText(this, QString::fromLatin1(InterfaceDetection::kSetVpwmCaption),
                              QString::fromLatin1(InterfaceDetection::kSetVpwmPrompt),
                              QLineEdit::Normal, qs(session_->vpwmText()), &ok);
    std::string error;
    if (!session_->setVpwm(ok ? std::optional<std::string>(text.toStdString()) : std::nullopt,
                           &error))
        QMessageBox::critical(this, QString::fromLatin1(kApplicationTitle), qs(error));
}

// ---- "About" and "Exit"

void TForm1::About1Click() {
    if (Form2 == nullptr) return;  // made right after the first activation
    Form2->show();
    Form2->raise();
    Form2->activateWindow();
}

void TForm1::Exit1Click() {
    // Ends the loop without closing the window: the close handler, and with it the
    // settings file, is skipped on purpose. closeEvent checks the flag as well, for a
    // platform that closes the windows on the way out.
    exiting_ = true;
    QCoreApplication::exit(0);
}

// ---- configuration files

void TForm1::SaveConfig1Click() {
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("SaveDialog1"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The dialog's own question would ask about the name typed, not about the ".cfg"
    // name that is saved: the window asks below, about the file it replaces.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QString::fromLatin1(kSaveFilter));
    dialog.selectFile(qs(configSaveName(configFileName_.toStdString())));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;

    const std::string path = configSaveName(dialog.selectedFiles().first().toStdString());
    if (QFileInfo::exists(qs(path))) {
        const auto answer = QMessageBox::question(
            this, QString::fromLatin1(kApplicationTitle),
            qs("\"" + fileNameOf(path) + "\" already exists.\nDo you want to replace it?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) return;
    }
    if (const auto error = session_->saveConfiguration(path))
        QMessageBox::critical(this, QString::fromLatin1(kApplicationTitle), qs(*error));
}

void TForm1::savingConfiguration(const std::string& path) {
    configFileName_ = qs(path);
    setWindowTitle(qs(saveCaption(titleText_.toStdString(), path)));
}

void TForm1::loadingConfiguration(const std::string& path) {
    configFileName_ = qs(path);
    setWindowTitle(qs(loadCaption(titleText_.toStdString(), path)));
}

void TForm1::LoadConfig1Click() {
    QFileDialog dialog(this);
    dialog.setObjectName(QStringLiteral("OpenDialog1"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QString::fromLatin1(kOpenFilter));
    dialog.setDefaultSuffix(QStringLiteral("cfg"));
    if (!configFileName_.isEmpty()) dialog.selectFile(configFileName_);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;

    const std::string path = dialog.selectedFiles().first().toStdString();
    // A file that holds none of a configuration's keys changes nothing, not even the
    // caption and the name the next dialog proposes.
    if (const auto refusal = configFileRefusal(path)) {
        QMessageBox::critical(this, QString::fromLatin1(kApplicationTitle), qs(*refusal));
        return;
    }
    // The caption and the name the next dialog proposes follow as the load begins.
    if (const auto error = session_->loadConfiguration(path))
        QMessageBox::critical(this, QString::fromLatin1(kApplicationTitle), qs(*error));
}

void TForm1::buildMenus() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    auto item = [](QMenu* menu, const char* name, const QString& caption) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    File1 = MainMenu1->addMenu(QStringLiteral("File"));
    File1->setObjectName(QStringLiteral("File1"));
    LoadConfig1 = item(File1, "LoadConfig1", QStringLiteral("Load Config"));
    SaveConfig1 = item(File1, "SaveConfig1", QStringLiteral("Save Config"));
    Exit1 = item(File1, "Exit1", QStringLiteral("Exit"));

    LPT1 = MainMenu1->addMenu(QStringLiteral("LPT"));
    LPT1->setObjectName(QStringLiteral("LPT1"));
    LptGroup = new QActionGroup(this);
    LptGroup->setExclusive(true);
    N0x3781 = item(LPT1, "N0x3781", QStringLiteral("0x378"));
    N0x3BC1 = item(LPT1, "N0x3BC1", QStringLiteral("0x3BC"));
    userdefined1 = item(LPT1, "userdefined1", QStringLiteral("user defined"));
    for (QAction* a : {N0x3781, N0x3BC1, userdefined1}) {
        a->setCheckable(true);
        LptGroup->addAction(a);
    }

    Settings1 = MainMenu1->addMenu(QStringLiteral("Settings"));
    Settings1->setObjectName(QStringLiteral("Settings1"));
    default1 = item(Settings1, "default1", QStringLiteral("Defaults"));
    extVref1 = item(Settings1, "extVref1", QStringLiteral("ext. Vref"));
    extVref1->setCheckable(true);
    extVref1->setEnabled(false);
    SetVpwm1 = item(Settings1, "SetVpwm1", QStringLiteral("Set Vpwm"));
    SetVpwm1->setEnabled(false);

    About1 = MainMenu1->addAction(QStringLiteral("About"));
    About1->setObjectName(QStringLiteral("About1"));

    T_Check = new QTimer(this);
    T_Check->setObjectName(QStringLiteral("T_Check"));
    T_Check->setInterval(1000);
    T_Check->start();
    T_USB = new QTimer(this);
    T_USB->setObjectName(QStringLiteral("T_USB"));
    T_USB->setInterval(100000);
}
