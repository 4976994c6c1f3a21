// Program start: the application object, the main window, the info window, the loop.
#include "Main.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <exception>
#include <memory>

#include "FontWarmUp.h"
#include "Unit2.h"
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
    startFontWarmUp();

    Application app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    applyProgramLook();

    try {
        MainOptions options;
        options.settingsPath = zvk::settingsPathFor(zvk::ownExecutablePath());
        options.rigName = command.rigName;
        options.labMode = command.labMode;
        TForm1 form1(options);
        form1.showAndActivate();
        QObject::connect(&form1, &TForm1::closed, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        // The hidden info window is made right after the main window's first activation,
        // with the transport found at start: decoding its pictures need not delay the
        // main window.
        const bool usbAtStart = form1.usbInUse();
        std::unique_ptr<TForm2> form2;
        QObject::connect(&form1, &TForm1::activated, &form1, [&] {
            QTimer::singleShot(0, &form1, [&] {
                if (form2) return;
                form2 = std::make_unique<TForm2>(usbAtStart);
                // It never keeps the program alive once the main window is closed.
                form2->setAttribute(Qt::WA_QuitOnClose, false);
                form1.Form2 = form2.get();
            });
        });
        app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QString::fromLatin1(kApplicationTitle),
                              QString::fromLocal8Bit(e.what()));
    }
    return 0;
}
