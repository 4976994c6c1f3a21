// SPDX-License-Identifier: MIT
#pragma once
#include <QPixmap>
#include <QStringList>
#include <QWidget>

class QLabel;
class QPlainTextEdit;

// The pictures built into the program. The resource file lives in the window library,
// which is static, so its registration is pulled in here rather than left to the linker.
QPixmap logoPicture();  // ":/images/logo.png", also the main window's Image1
QPixmap lptPicture();   // ":/images/lpt.png"
QPixmap usbPicture();   // ":/images/usb.jpg"

// The info window: how to wire the board to the transport that was in use when the
// program started. It holds no state of the program.
class TForm2 : public QWidget {
    Q_OBJECT
  public:
    // The frame as the layout gives it; the client area is what is left inside the
    // classic 4-pixel border and 23-pixel caption, and the contents fill it exactly.
    static constexpr int kLeft = 566, kTop = 122;
    static constexpr int kFrameWidth = 457, kFrameHeight = 420;
    static constexpr int kClientWidth = kFrameWidth - 8, kClientHeight = kFrameHeight - 27;

    // Created hidden; usbInUse picks the adapter's text and picture once and for good.
    explicit TForm2(bool usbInUse, QWidget* parent = nullptr);

    static QStringList memo1Lines();  // the printer port
    static QStringList memo2Lines();  // the USB adapter

    QLabel* Image1;
    QPlainTextEdit* Memo1;
    QLabel* Image2;
    QPlainTextEdit* Memo2;
    QLabel* Image3;
};
