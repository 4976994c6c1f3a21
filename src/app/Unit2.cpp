// SPDX-License-Identifier: MIT
#include "Unit2.h"

#include <QFont>
#include <QLabel>
#include <QPlainTextEdit>

// Outside any namespace: the macro declares the resource's registration function, which
// lives in the global one.
static void registerPictures() {
    static const bool done = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    (void)done;
}

namespace {

QPixmap picture(const char* path) {
    registerPictures();
    return QPixmap(QString::fromLatin1(path));
}

// Placeholders of this project: no real support address or number is given out.
const char* const kContactLines[] = {
    "support@example.invalid",
    "+00 000 0000000",
    "lab@example.invalid",
    "+00 000 0000001",
};

QPlainTextEdit* makeMemo(QWidget* parent, const char* name, const QStringList& lines) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(QString::fromLatin1(name));
    memo->setGeometry(0, 80, 209, 313);
    // Long lines wrap, so a horizontal bar would only take a line's room away.
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setPlainText(lines.join(QLatin1Char('\n')));
    return memo;
}

QLabel* makeImage(QWidget* parent, const char* name, int x, int y, int w, int h) {
    auto* image = new QLabel(parent);
    image->setObjectName(QString::fromLatin1(name));
    image->setGeometry(x, y, w, h);
    image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return image;
}

}  // namespace

QPixmap logoPicture() {
    return picture(":/images/logo.png");
}
QPixmap lptPicture() {
    return picture(":/images/lpt.png");
}
QPixmap usbPicture() {
    return picture(":/images/usb.jpg");
}

QStringList TForm2::memo1Lines() {
    QStringList lines = {
        QStringLiteral("ZVK40310 Evaluation Program "),
        QString(),
        QStringLiteral("use Printer Port for SPI"),
        QStringLiteral("D0   SDEN / SERIAL DATA ENABLE"),
        QStringLiteral("D1   SCLK  / SERIAL CLOCK"),
        QStringLiteral("D2   SDTA / SERIAL DATA INPUT"),
        QStringLiteral("D3    "),
        QStringLiteral("D4   "),
        QStringLiteral("D5   "),
        QStringLiteral("D6   "),
        QString(),
        QStringLiteral("B7   MFO / SERIAL DATA OUTPUT"),
        QStringLiteral("GND"),
        QString(),
        QStringLiteral("TVicPort has to be installed!"),
        QStringLiteral("for further information please contact:"),
    };
    for (const char* line : kContactLines) lines << QString::fromLatin1(line);
    return lines;
}

QStringList TForm2::memo2Lines() {
    QStringList lines = {
        QStringLiteral("ZVK40310 Evaluation Program "),
        QString(),
        QStringLiteral("use ZVK_SPIUSB "),
        QString(),
        QStringLiteral("External reference voltage"),
        QStringLiteral("for logic levels"),
        QString(),
        QStringLiteral("1: SDEN / SERIAL DATA ENABLE"),
        QStringLiteral("2: SDTA / SERIAL DATA INPUT"),
        QStringLiteral("3: SCLK  / SERIAL CLOCK"),
        QStringLiteral("4: GND"),
        QStringLiteral("5: MFO / SERIAL DATA OUTPUT"),
        QString(),
        QStringLiteral("USB driver has to be installed"),
        QStringLiteral("for further information"),
        QStringLiteral("please read the manual  "),
        QStringLiteral("or contact:"),
    };
    for (const char* line : kContactLines) lines << QString::fromLatin1(line);
    return lines;
}

TForm2::TForm2(bool usbInUse, QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Info"));
    // Made once at start and shown again by "About": closing only hides it, and only the
    // main window's closing ends the program.
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_QuitOnClose, false);
    QFont f = font();
    f.setFamily(QStringLiteral("MS Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    setFont(f);
    move(kLeft, kTop);
    setFixedSize(kClientWidth, kClientHeight);

    Image1 = makeImage(this, "Image1", 0, 0, 209, 75);
    Image1->setScaledContents(true);
    Image1->setPixmap(logoPicture());

    Memo1 = makeMemo(this, "Memo1", memo1Lines());
    Image2 = makeImage(this, "Image2", 208, 0, 201, 329);
    Image2->setPixmap(lptPicture());  // unscaled: drawn at this size

    Memo2 = makeMemo(this, "Memo2", memo2Lines());
    Image3 = makeImage(this, "Image3", 208, 0, 241, 393);
    Image3->setPixmap(
        usbPicture().scaled(Image3->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));

    Memo1->setVisible(!usbInUse);
    Image2->setVisible(!usbInUse);
    Memo2->setVisible(usbInUse);
    Image3->setVisible(usbInUse);
}
