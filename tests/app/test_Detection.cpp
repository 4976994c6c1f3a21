// SPDX-License-Identifier: MIT
// The detection tick in the window: the adapter found, answering wrongly, pulled out and
// plugged back, and a tick that falls inside a transfer.
#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include "DialogHands.h"
#include "VirtualBoardMenu.h"
#include "WindowFixture.h"
#include "session/InterfaceDetection.h"
#include "transport/Lpt.h"

using namespace apptest;

namespace {

class DetectionTest : public WindowTest {
  protected:
    void startUsb(const QByteArray& settings = QByteArray()) {
        if (!settings.isEmpty()) writeSettingsFile(settings);
        start(false, "virtual-usb");
    }
    zvk::VirtualUsbBus& bus() { return *form->session().board().vusb; }
    bool lptMenuEnabled() const { return control<QMenu>("LPT1")->menuAction()->isEnabled(); }
};

TEST_F(DetectionTest, AdapterFoundShowsItsLevelAndSendsItEveryTick) {
    struct Case {
        const char* settings;
        uint16_t externalMv;
        const char* panel;
        bool extTicked, setVpwmEnabled, levelOn;
        uint16_t levelMv;
    };
    const Case cases[] = {
        {"[USBSPI]\nVPWM=3300\n[CFG]\nLevel=1\n", 1800, "USB found, int. Lvl: 3.30V", false, true,
         true, 3300},
        {"[USBSPI]\nVPWM=3300\n[CFG]\nLevel=0\n", 2500, "USB found, ext. Lvl: 2.50V", true, false,
         false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        startUsb(c.settings);
        control<QTimer>("T_Check")->stop();  // the ticks of this test are the ones it makes
        bus().setExternalLevel(c.externalMv);
        // Start-up already chose the adapter; the level comes with the first tick.
        EXPECT_EQ(form->panelText(2), "USB found");
        EXPECT_FALSE(lptMenuEnabled());
        EXPECT_TRUE(control<QTimer>("T_USB")->isActive());

        tick();
        EXPECT_EQ(form->panelText(2), c.panel);
        EXPECT_TRUE(form->session().usbInUse());
        EXPECT_FALSE(lptMenuEnabled());
        EXPECT_TRUE(control<QTimer>("T_USB")->isActive());
        EXPECT_TRUE(control<QAction>("extVref1")->isEnabled());
        EXPECT_EQ(control<QAction>("extVref1")->isChecked(), c.extTicked);
        EXPECT_EQ(control<QAction>("SetVpwm1")->isEnabled(), c.setVpwmEnabled);
        EXPECT_EQ(bus().adapter(0).levelEnabled, c.levelOn);
        if (c.levelOn) {
            EXPECT_EQ(bus().adapter(0).levelMv, c.levelMv);
        }

        // Every tick sends the level again: a reference changed behind our back comes back.
        bus().setExternalLevel(0);
        const uint64_t before = bus().transfers();
        tick();
        EXPECT_GT(bus().transfers(), before);
        EXPECT_EQ(bus().adapter(0).levelEnabled, c.levelOn);
        form.reset();
    }
}

TEST_F(DetectionTest, WrongVersionFallsBackToThePort) {
    startUsb();
    control<QTimer>("T_Check")->stop();
    tick();
    ASSERT_TRUE(form->session().usbInUse());
    bus().faults().wrongVersion = true;
    tick();
    EXPECT_FALSE(form->session().usbInUse());
    EXPECT_EQ(form->panelText(2), "LPT Port Address: 0x0378");
    EXPECT_TRUE(lptMenuEnabled());
    EXPECT_FALSE(control<QTimer>("T_USB")->isActive());
    // Once seen, the level items stay usable.
    EXPECT_TRUE(control<QAction>("extVref1")->isEnabled());
    EXPECT_TRUE(control<QAction>("SetVpwm1")->isEnabled());

    // The next transfer goes through the port.
    const uint64_t usbBefore = bus().transfers();
    click(control<QPushButton>("B_WriteReg"));
    EXPECT_EQ(bus().transfers(), usbBefore);
    expectChipHoldsImage();
}

// A new user's way through it: pull the virtual adapter out with the menu, watch the
// panel fall back within the second's tick, keep working, plug it back.
TEST_F(DetectionTest, UnplugAndPlugBackThroughTheVirtualBoardMenuKeepsEveryRegister) {
    startUsb();
    ASSERT_NE(virtualBoardMenu(), nullptr);
    ASSERT_NE(virtualBoardMenu()->AdapterPluggedIn1, nullptr);
    ASSERT_TRUE(
        control<QMenuBar>("MainMenu1")->actions().contains(virtualBoardMenu()->menuAction()));
    sendAlways(true);

    std::vector<Seen> boxes = withAnswers(
        [&] {
            choose(control<QComboBox>("CB_OPMODE"), 1);
            const auto usbWritten = regs();
            for (int r = 0; r < 7; ++r) EXPECT_EQ(latched()[size_t(r)], usbWritten[size_t(r)]);

            virtualBoardMenu()->AdapterPluggedIn1->trigger();
            ASSERT_TRUE(bus().faults().unplugged);
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return form->panelText(2) == "LPT Port Address: 0x0378"; }, 3000));
            EXPECT_FALSE(form->session().usbInUse());
            EXPECT_TRUE(lptMenuEnabled());

            // Working on: the port takes the writes.
            choose(control<QComboBox>("CB_OPMODE"), 2);
            expectChipHoldsImage("port, R");

            virtualBoardMenu()->AdapterPluggedIn1->trigger();
            ASSERT_FALSE(bus().faults().unplugged);
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return form->panelText(2) == "USB found, int. Lvl: 5.00V"; }, 3000));
            EXPECT_TRUE(form->session().usbInUse());
            EXPECT_FALSE(lptMenuEnabled());

            const uint64_t usbBefore = bus().transfers();
            choose(control<QComboBox>("CB_OPMODE"), 3);
            EXPECT_GT(bus().transfers(), usbBefore);
            expectChipHoldsImage("adapter, R");
        },
        {});
    EXPECT_TRUE(boxes.empty()) << boxes.front().text.toStdString();
    EXPECT_EQ(control<QComboBox>("CB_OPMODE")->currentIndex(), 3);
}

TEST_F(DetectionTest, TickInsideATransferIsSkipped) {
    startUsb();
    control<QTimer>("T_Check")->stop();
    bus().faults().wrongVersion = true;
    tick();
    ASSERT_FALSE(form->session().usbInUse());
    bus().faults().wrongVersion = false;

    // The write cycle's waits run the message loop, where the tick comes due.
    bool ranInside = false;
    QTimer::singleShot(0, form.get(), [&] {
        ranInside = form->session().chip().busy();
        tick();
    });
    const uint64_t usbBefore = bus().transfers();
    control<QPushButton>("B_WriteReg")->click();
    ASSERT_TRUE(ranInside);
    EXPECT_EQ(bus().transfers(), usbBefore);
    EXPECT_FALSE(form->session().usbInUse());
    EXPECT_EQ(form->panelText(2), "LPT Port Address: 0x0378");
    expectChipHoldsImage();

    // The next tick outside a transfer finds the adapter again.
    tick();
    EXPECT_TRUE(form->session().usbInUse());
}

TEST_F(DetectionTest, AdapterAbsentFromTheStartLeavesTheLevelItemsDisabled) {
    start();  // the virtual board without an adapter
    control<QTimer>("T_Check")->stop();
    tick();
    EXPECT_EQ(form->panelText(2), "LPT Port Address: 0x0378");
    EXPECT_TRUE(lptMenuEnabled());
    EXPECT_FALSE(control<QAction>("extVref1")->isEnabled());
    EXPECT_FALSE(control<QAction>("SetVpwm1")->isEnabled());
    // Nothing to unplug on this board, but the test signal is there.
    ASSERT_NE(virtualBoardMenu(), nullptr);
    EXPECT_EQ(virtualBoardMenu()->AdapterPluggedIn1, nullptr);
    EXPECT_FALSE(virtualBoardMenu()->TestSignal1.empty());
}

}  // namespace
