// SPDX-License-Identifier: MIT
#pragma once
#include <QMenu>
#include <vector>

#include "board/Board.h"

class QAction;
class QActionGroup;
class ProtocolCheckWindow;

// "Virtual Board": what a bench would let one do by hand, on the simulated board. Pulling
// the adapter out, making it answer a wrong version and feeding the antenna a test signal
// try every path of the adapter detection and the status panel without hardware. The
// main window adds it only when it runs on a virtual board.
class VirtualBoardMenu : public QMenu {
    Q_OBJECT
  public:
    struct TestSignal {
        const char* caption;
        double dbm;
    };
    // None, at the RSSI low comparator's threshold, between the two, above the high one.
    static const std::vector<TestSignal>& testSignals();

    explicit VirtualBoardMenu(zvk::Board* board, QWidget* parent = nullptr);

    // Null unless the board has a virtual adapter on its bus.
    QAction* AdapterPluggedIn1 = nullptr;
    QAction* WrongVersion1 = nullptr;
    // One radio item per test signal, in the order of testSignals(); empty without a chip.
    std::vector<QAction*> TestSignal1;
    // "Protocol Check…": null without a chip model.
    QAction* ProtocolCheck1 = nullptr;
    ProtocolCheckWindow* protocolCheckWindow() const { return check_; }

  private:
    // The faults can change behind the menu (a test, the bus pulling the adapter after a
    // count of transfers), so the ticks are read again whenever the menu opens.
    void syncChecks();

    zvk::Board* board_;
    ProtocolCheckWindow* check_ = nullptr;
};
