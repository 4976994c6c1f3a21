// SPDX-License-Identifier: MIT
#include "VirtualBoardMenu.h"

#include <QAction>
#include <QActionGroup>

#include "ProtocolCheckWindow.h"

const std::vector<VirtualBoardMenu::TestSignal>& VirtualBoardMenu::testSignals() {
    static const std::vector<TestSignal> signals_ = {
        {"Test signal: none (-120 dBm)", -120.0},
        {"Test signal: -100 dBm", -100.0},
        {"Test signal: -60 dBm", -60.0},
        {"Test signal: -20 dBm", -20.0},
    };
    return signals_;
}

VirtualBoardMenu::VirtualBoardMenu(zvk::Board* board, QWidget* parent)
    : QMenu(QStringLiteral("Virtual Board"), parent), board_(board) {
    setObjectName(QStringLiteral("VirtualBoard1"));
    if (board_ == nullptr) return;

    if (board_->vusb && board_->vusb->adapterCount() > 0) {
        AdapterPluggedIn1 = addAction(QStringLiteral("Adapter plugged in"));
        AdapterPluggedIn1->setObjectName(QStringLiteral("AdapterPluggedIn1"));
        AdapterPluggedIn1->setCheckable(true);
        connect(AdapterPluggedIn1, &QAction::toggled, this,
                [this](bool on) { board_->vusb->faults().unplugged = !on; });

        WrongVersion1 = addAction(QStringLiteral("Adapter answers wrong version"));
        WrongVersion1->setObjectName(QStringLiteral("WrongVersion1"));
        WrongVersion1->setCheckable(true);
        connect(WrongVersion1, &QAction::toggled, this,
                [this](bool on) { board_->vusb->faults().wrongVersion = on; });
        addSeparator();
    }

    if (board_->chip) {
        auto* group = new QActionGroup(this);
        // Optional, so that a signal set elsewhere to no item's value can show no tick.
        group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
        int index = 0;
        for (const TestSignal& s : testSignals()) {
            QAction* a = addAction(QString::fromLatin1(s.caption));
            a->setObjectName(QStringLiteral("TestSignal%1").arg(index++));
            a->setCheckable(true);
            group->addAction(a);
            const double dbm = s.dbm;
            connect(a, &QAction::triggered, this, [this, dbm] {
                board_->chip->setTestSignal(dbm);
                syncChecks();  // choosing the ticked item again keeps its tick
            });
            TestSignal1.push_back(a);
        }
        addSeparator();
        ProtocolCheck1 = addAction(QStringLiteral("Protocol Check…"));
        ProtocolCheck1->setObjectName(QStringLiteral("ProtocolCheck1"));
        connect(ProtocolCheck1, &QAction::triggered, this, [this] {
            if (!check_) check_ = new ProtocolCheckWindow(*board_->chip, parentWidget());
            check_->show();
            check_->raise();
        });
    }

    syncChecks();
    connect(this, &QMenu::aboutToShow, this, &VirtualBoardMenu::syncChecks);
}

void VirtualBoardMenu::syncChecks() {
    if (AdapterPluggedIn1 != nullptr) {
        // Setting a tick from the state must not write the state back.
        const QSignalBlocker b1(AdapterPluggedIn1), b2(WrongVersion1);
        AdapterPluggedIn1->setChecked(!board_->vusb->faults().unplugged);
        WrongVersion1->setChecked(board_->vusb->faults().wrongVersion);
    }
    const auto& list = testSignals();
    for (size_t i = 0; i < TestSignal1.size(); ++i)
        TestSignal1[i]->setChecked(board_->chip->testSignal() == list[i].dbm);
}
