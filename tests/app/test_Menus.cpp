// SPDX-License-Identifier: MIT
// The menu commands: the LPT address, the adapter's logic level, "Defaults", "About" with
// the info window, "Exit" and closing.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPlainTextEdit>

#include "DialogHands.h"
#include "Unit2.h"
#include "WindowFixture.h"
#include "session/InterfaceDetection.h"
#include "storage/Settings.h"
#include "transport/Lpt.h"

using namespace apptest;

namespace {

QAction* tickedLptItem(TForm1& f) {
    QAction* ticked = nullptr;
    for (const char* name : {"N0x3781", "N0x3BC1", "userdefined1"}) {
        QAction* a = findControl<QAction>(&f, name);
        if (!a->isChecked()) continue;
        EXPECT_EQ(ticked, nullptr) << "two LPT items ticked";
        ticked = a;
    }
    return ticked;
}

TEST_F(WindowTest, StoredAddressTicksItsLptItem) {
    struct Case {
        const char* adr;
        const char* item;
        const char* panel;
        int base;
    };
    const Case cases[] = {
        {"0x378", "N0x3781", "LPT Port Address: 0x0378", 0x378},
        {"0x3BC", "N0x3BC1", "LPT Port Address: 0x03BC", 0x3BC},
        {"0x278", "userdefined1", "LPT Port Address: 0x0278", 0x278},
        {"0", "N0x3781", "LPT Port Address: 0x0378", 0x378},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.adr);
        writeSettingsFile(QByteArray("[Port]\nAdr=") + c.adr + "\n");
        start();
        EXPECT_EQ(form->session().portBase(), c.base);
        QAction* ticked = tickedLptItem(*form);
        ASSERT_NE(ticked, nullptr);
        EXPECT_EQ(ticked->objectName(), c.item);
        EXPECT_EQ(form->panelText(2), c.panel);
        form.reset();
    }
}

TEST_F(WindowTest, LptItemsSetTheAddressWithThreeDigitsUntilTheTick) {
    start();
    control<QTimer>("T_Check")->stop();
    control<QAction>("N0x3BC1")->trigger();
    EXPECT_EQ(form->session().portBase(), 0x3BC);
    EXPECT_EQ(tickedLptItem(*form), control<QAction>("N0x3BC1"));
    EXPECT_EQ(form->panelText(2), "LPT Port Address: 0x3BC");
    tick();
    EXPECT_EQ(form->panelText(2), "LPT Port Address: 0x03BC");

    control<QAction>("N0x3781")->trigger();
    EXPECT_EQ(form->session().portBase(), 0x378);
    EXPECT_EQ(tickedLptItem(*form), control<QAction>("N0x3781"));
    EXPECT_EQ(form->panelText(2), "LPT Port Address: 0x378");

    // The next transfer goes to the new address, where the board's port now answers.
    control<QAction>("N0x3BC1")->trigger();
    const uint64_t before = form->session().board().vport->accesses();
    choose(control<QComboBox>("CB_OPMODE"), 1);
    click(control<QPushButton>("B_WriteReg"));
    EXPECT_GT(form->session().board().vport->accesses(), before);
    expectChipHoldsImage();
}

TEST_F(WindowTest, UserDefinedAddress) {
    struct Case {
        const char* name;
        const char* stored;
        Answer answer;
        int base;
        const char* ticked;
        const char* panel;
        bool error;
    };
    const Case cases[] = {
        // Lower case is fine; "user defined" is ticked, not the item of that address.
        {"3bc", "0x378", typeText("3bc"), 0x3BC, "userdefined1", "LPT Port Address: 0x3BC", false},
        {"278", "0x378", typeText("278"), 0x278, "userdefined1", "LPT Port Address: 0x278", false},
        // Cancelling reads the initial text: the address stays, "user defined" is ticked.
        {"cancel", "0x278", cancel(), 0x278, "userdefined1", "LPT Port Address: 0x278", false},
        {"cancel on 0x378", "0x378", cancel(), 0x378, "userdefined1", "LPT Port Address: 0x378",
         false},
        // Not an address: a message, and nothing changes.
        {"xyz", "0x3BC", typeText("xyz"), 0x3BC, "N0x3BC1", "LPT Port Address: 0x03BC", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeSettingsFile(QByteArray("[Port]\nAdr=") + c.stored + "\n");
        start();
        control<QTimer>("T_Check")->stop();
        const int oldBase = form->session().portBase();
        const auto seen = withAnswers([&] { control<QAction>("userdefined1")->trigger(); },
                                      {c.answer, press(QMessageBox::Ok)});
        ASSERT_GE(seen.size(), 1u);
        EXPECT_EQ(seen[0].kind, "input");
        EXPECT_EQ(seen[0].caption, "LPT-port address");
        EXPECT_EQ(seen[0].label, "input hexadecimal without prefix");
        EXPECT_EQ(seen[0].text, QString::asprintf("%04X", unsigned(oldBase)));
        ASSERT_EQ(seen.size(), c.error ? 2u : 1u);
        if (c.error) {
            EXPECT_TRUE(seen[1].text.contains("xyz")) << seen[1].text.toStdString();
        }
        EXPECT_EQ(form->session().portBase(), c.base);
        ASSERT_NE(tickedLptItem(*form), nullptr);
        EXPECT_EQ(tickedLptItem(*form)->objectName(), c.ticked);
        EXPECT_EQ(form->panelText(2), c.panel);
        form.reset();
    }
}

// With the adapter and VPWM 3300 mV, "Set Vpwm" stores and sends the limited value.
TEST_F(WindowTest, SetVpwmLimitsAndSends) {
    struct Case {
        const char* name;
        Answer answer;
        int vpwm;
        bool sent;
        bool error;
    };
    const Case cases[] = {
        {"6000", typeText("6000"), 5000, true, false},
        {"-5", typeText("-5"), 0, true, false},
        {"4200", typeText("4200"), 4200, true, false},
        {"cancel", cancel(), 3300, true, false},  // the unchanged level is sent again
        {"12a", typeText("12a"), 3300, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeSettingsFile("[USBSPI]\nVPWM=3300\n");
        start(false, "virtual-usb");
        control<QTimer>("T_Check")->stop();  // no tick may send the level in between
        ASSERT_TRUE(control<QAction>("SetVpwm1")->isEnabled());
        auto& bus = *form->session().board().vusb;
        bus.setRecording(true);
        const size_t requestsBefore = bus.requests().size();
        const auto seen = withAnswers([&] { control<QAction>("SetVpwm1")->trigger(); },
                                      {c.answer, press(QMessageBox::Ok)});
        ASSERT_GE(seen.size(), 1u);
        EXPECT_EQ(seen[0].caption, " Set High Level for SPI interface");
        EXPECT_EQ(seen[0].label, "RefOut [mV]");
        EXPECT_EQ(seen[0].text, "3300");
        ASSERT_EQ(seen.size(), c.error ? 2u : 1u);
        if (c.error) {
            EXPECT_TRUE(seen[1].text.contains("12a")) << seen[1].text.toStdString();
        }
        EXPECT_EQ(form->session().detection().vpwm, c.vpwm);
        EXPECT_EQ(bus.requests().size() > requestsBefore, c.sent);
        if (c.sent) {
            EXPECT_TRUE(bus.adapter(0).levelEnabled);
            EXPECT_EQ(bus.adapter(0).levelMv, c.vpwm);
        }
        form.reset();
    }
}

TEST_F(WindowTest, ExtVrefTogglesOncePerClick) {
    writeSettingsFile("[USBSPI]\nVPWM=3300\n");
    start(false, "virtual-usb");
    control<QTimer>("T_Check")->stop();
    auto& bus = *form->session().board().vusb;
    ASSERT_TRUE(control<QAction>("extVref1")->isEnabled());
    ASSERT_FALSE(control<QAction>("extVref1")->isChecked());

    auto seen = withAnswers([&] { control<QAction>("extVref1")->trigger(); }, {});
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(control<QAction>("extVref1")->isChecked());
    EXPECT_FALSE(form->session().detection().level);
    EXPECT_FALSE(control<QAction>("SetVpwm1")->isEnabled());
    EXPECT_FALSE(bus.adapter(0).levelEnabled);

    seen = withAnswers([&] { control<QAction>("extVref1")->trigger(); }, {press(QMessageBox::Ok)});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "Please disconnect external reference voltage");
    EXPECT_FALSE(control<QAction>("extVref1")->isChecked());
    EXPECT_TRUE(form->session().detection().level);
    EXPECT_TRUE(control<QAction>("SetVpwm1")->isEnabled());
    EXPECT_TRUE(bus.adapter(0).levelEnabled);
    EXPECT_EQ(bus.adapter(0).levelMv, 3300);
}

TEST_F(WindowTest, DefaultsClearThePresetAndSelectSpiMode) {
    // From ABC mode with a band preset chosen before: SPI mode, no preset, default image.
    writeSettingsFile("[CFG]\nSPISEL=1\n");
    start();
    choose(control<RadioGroup>("RGFreq"), 2);
    ASSERT_EQ(control<RadioGroup>("RGFreq")->itemIndex(), 2);
    ASSERT_NE(control<Edit>("E_fRFI")->text(), "384.000");
    control<QAction>("default1")->trigger();
    EXPECT_EQ(control<RadioGroup>("RGFreq")->itemIndex(), -1);
    EXPECT_EQ(form->windowTitle(), "ZVK40310 Evaluation Program v3.3 Default Settings");
    EXPECT_EQ(control<Edit>("E_fRFI")->text(), "384.000");
    const zvk::RegisterImage defaults = {0x08C, 0x8F4, 0xF14, 0x100, 0x04B, 0x2AC, 0xE4B, 0x000};
    EXPECT_EQ(regs(), defaults);

    form.reset();
    writeSettingsFile("[CFG]\nSPISEL=0\n");
    start();
    ASSERT_FALSE(form->session().chip().spiMode());
    control<QAction>("default1")->trigger();
    EXPECT_TRUE(form->session().chip().spiMode());
    EXPECT_TRUE(
        control<PageControl>("PageControl1")
            ->isTabVisible(
                control<PageControl>("PageControl1")->indexOf(control<QWidget>("TabMode"))));
}

TEST_F(WindowTest, ExitEndsWithoutWritingTheSettingsWhileClosingWritesThem) {
    start();
    form->move(form->x() + 40, form->y() + 30);
    bool closedSignal = false;
    QObject::connect(form.get(), &TForm1::closed, [&] { closedSignal = true; });
    QTimer::singleShot(0, control<QAction>("Exit1"), &QAction::trigger);
    // Should "Exit" not end the loop, the test fails instead of hanging.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    guard.start(10000);
    EXPECT_EQ(QApplication::exec(), 0);
    guard.stop();
    EXPECT_FALSE(closedSignal);
    form.reset();  // the windows go with the program's end; nothing is written then either
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(settingsPath())));

    start();
    const QPoint moved(form->x() + 40, form->y() + 30);
    form->move(moved);
    EXPECT_TRUE(form->close());
    bool existed = false;
    const zvk::Settings s = zvk::readSettings(settingsPath(), &existed);
    EXPECT_TRUE(existed);
    EXPECT_EQ(QPoint(s.left, s.top), moved);
}

TEST_F(WindowTest, UnwritableSettingsFileAsksBeforeClosing) {
    // A folder where the file should be: no write can succeed, not even as root. Nor can
    // it be read, which the start says first.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(settingsPath())));
    ASSERT_EQ(withAnswers([&] { start(); }, {press(QMessageBox::Ok)}).size(), 1u);
    bool closedSignal = false;
    QObject::connect(form.get(), &TForm1::closed, [&] { closedSignal = true; });

    bool closed = true;
    auto seen = withAnswers([&] { closed = form->close(); }, {press(QMessageBox::No)});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].text.contains(QString::fromStdString(settingsPath())))
        << seen[0].text.toStdString();
    EXPECT_FALSE(closed);
    EXPECT_FALSE(closedSignal);
    EXPECT_TRUE(form->isVisible());

    seen = withAnswers([&] { closed = form->close(); }, {press(QMessageBox::Yes)});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(closedSignal);
}

TEST_F(WindowTest, AboutShowsTheInfoWindowOfTheTransportAtStart) {
    for (const char* board : {"virtual", "virtual-usb"}) {
        SCOPED_TRACE(board);
        start(false, board);
        const bool usb = form->session().usbInUse();
        // Made right after the first activation: once, hidden, with the flag of that moment.
        ASSERT_TRUE(QTest::qWaitFor([this] { return infoWindow() != nullptr; }));
        TForm2& info = *infoWindow();
        EXPECT_FALSE(info.isVisible());

        control<QAction>("About1")->trigger();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&info));
        EXPECT_EQ(info.windowTitle(), "Info");
        EXPECT_EQ(info.Memo2->isVisible(), usb);
        EXPECT_EQ(info.Memo1->isVisible(), !usb);
        const QStringList lines = (usb ? info.Memo2 : info.Memo1)->toPlainText().split('\n');
        EXPECT_EQ(lines, usb ? TForm2::memo2Lines() : TForm2::memo1Lines());
        // Not modal: the main window goes on working while it is open.
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        click(control<QPushButton>("B_WriteReg"));

        // A second "About" brings it to the front again.
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        control<QAction>("About1")->trigger();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&info));

        // Its close button hides it; coming back to the main window activates that.
        const int beeps = beeper.count;
        bool activated = false;
        QObject::connect(form.get(), &TForm1::activated, [&] { activated = true; });
        EXPECT_TRUE(info.close());
        EXPECT_FALSE(info.isVisible());
        form->activateWindow();  // what the window manager does when the info window goes
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        EXPECT_TRUE(activated);
        EXPECT_EQ(beeper.count, beeps + 2);
        form.reset();
    }
}

}  // namespace
