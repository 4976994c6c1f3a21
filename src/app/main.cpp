// SPDX-License-Identifier: MIT
// Program start: the application object, the main window and the event loop.
#include "Main.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstdio>
#include <exception>

#include "FontWarmUp.h"
#include "base/Version.h"
#include "storage/Settings.h"

namespace {

// An exception that leaves an event handler is reported the way the toolkit's own
// error report would do it, and the program goes on.
class Application : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            QMessageBox::critical(nullptr, QString::fromLatin1(kApplicationTitle),
                                  QString::fromLocal8Bit(e.what()));
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    // Read before the toolkit sees the arguments and takes its own out of them.
    const CommandLine command = parseCommandLine(argc, argv);
    if (command.exitCode) {
        std::fputs(command.text.c_str(), *command.exitCode == 0 ? stdout : stderr);
        return *command.exitCode;
    }
    startFontWarmUp();

    Application app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    QApplication::setApplicationVersion(QString::fromLatin1(zvk::kProgramVersion));
    // The desktop entry's name: the desktop shows the window under the entry's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.zvk40310.zvk40310"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/zvk40310.png")));
    applyProgramLook();

    try {
        MainOptions options;
        options.settingsPath =
            command.settingsPath.empty() ? zvk::programSettingsPath() : command.settingsPath;
        options.boardName = command.boardName;
        options.device = command.device;
        options.labMode = command.labMode;
        TForm1 form1(options);
        form1.showAndActivate();
        QObject::connect(&form1, &TForm1::closed, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QString::fromLatin1(kApplicationTitle),
                              QString::fromLocal8Bit(e.what()));
    }
    return 0;
}
