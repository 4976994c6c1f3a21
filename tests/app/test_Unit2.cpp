// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QWidget>
#include <memory>

#include "Unit2.h"
#include "VirtualBoardMenu.h"
#include "session/Session.h"

namespace {

QStringList linesOf(const QPlainTextEdit* memo) {
    return memo->toPlainText().split(QLatin1Char('\n'));
}

TEST(TForm2, MemosShowTheWiringTextLineForLine) {
    const QStringList memo1 = {
        "ZVK40310 Evaluation Program ",
        "",
        "use Printer Port for SPI",
        "D0   SDEN / SERIAL DATA ENABLE",
        "D1   SCLK  / SERIAL CLOCK",
        "D2   SDTA / SERIAL DATA INPUT",
        "D3    ",
        "D4   ",
        "D5   ",
        "D6   ",
        "",
        "B7   MFO / SERIAL DATA OUTPUT",
        "GND",
        "",
        "TVicPort has to be installed!",
        "for further information please contact:",
    };
    const QStringList memo2 = {
        "ZVK40310 Evaluation Program ",
        "",
        "use ZVK_SPIUSB ",
        "",
        "External reference voltage",
        "for logic levels",
        "",
        "1: SDEN / SERIAL DATA ENABLE",
        "2: SDTA / SERIAL DATA INPUT",
        "3: SCLK  / SERIAL CLOCK",
        "4: GND",
        "5: MFO / SERIAL DATA OUTPUT",
        "",
        "USB driver has to be installed",
        "for further information",
        "please read the manual  ",
        "or contact:",
    };
    TForm2 form(false);
    const QStringList got1 = linesOf(form.Memo1), got2 = linesOf(form.Memo2);
    ASSERT_EQ(got1.size(), memo1.size() + 4);
    ASSERT_EQ(got2.size(), memo2.size() + 4);
    for (qsizetype i = 0; i < memo1.size(); ++i)
        EXPECT_EQ(got1[i], memo1[i]) << "Memo1 line " << i + 1;
    for (qsizetype i = 0; i < memo2.size(); ++i)
        EXPECT_EQ(got2[i], memo2[i]) << "Memo2 line " << i + 1;

    // The same four contact lines close both texts: e-mail, telephone, e-mail, telephone,
    // none of them a real one.
    const QStringList contacts = got1.mid(memo1.size());
    EXPECT_EQ(got2.mid(memo2.size()), contacts);
    for (int i : {0, 2}) {
        EXPECT_TRUE(contacts[i].contains('@')) << contacts[i].toStdString();
        EXPECT_TRUE(contacts[i].endsWith(".invalid")) << contacts[i].toStdString();
    }
    for (int i : {1, 3}) EXPECT_TRUE(contacts[i].startsWith("+00 ")) << contacts[i].toStdString();

    EXPECT_FALSE(form.Memo1->isReadOnly());
    EXPECT_FALSE(form.Memo2->isReadOnly());
}

TEST(TForm2, TheFlagAtCreationPicksTextAndPicture) {
    for (bool usb : {false, true}) {
        TForm2 form(usb);
        EXPECT_FALSE(form.isVisible());  // created hidden
        form.show();
        EXPECT_TRUE(form.Image1->isVisible());
        EXPECT_EQ(form.Memo1->isVisible(), !usb);
        EXPECT_EQ(form.Image2->isVisible(), !usb);
        EXPECT_EQ(form.Memo2->isVisible(), usb);
        EXPECT_EQ(form.Image3->isVisible(), usb);

        // the pictures are built in and load
        for (const QLabel* image : {form.Image1, form.Image2, form.Image3})
            EXPECT_FALSE(image->pixmap().isNull()) << image->objectName().toStdString();
    }
}

TEST(TForm2, CaptionPlaceAndLayout) {
    TForm2 form(true);
    EXPECT_EQ(form.windowTitle(), "Info");
    EXPECT_EQ(form.objectName(), "Form2");
    EXPECT_EQ(form.pos(), QPoint(566, 122));
    // the frame is 457 by 420; without the 4-pixel border and 23-pixel caption the
    // client holds the contents exactly
    EXPECT_EQ(form.size(), QSize(449, 393));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());

    struct Case {
        QWidget* widget;
        const char* name;
        QRect rect;
    };
    const Case cases[] = {
        {form.Image1, "Image1", {0, 0, 209, 75}},    {form.Memo1, "Memo1", {0, 80, 209, 313}},
        {form.Image2, "Image2", {208, 0, 201, 329}}, {form.Memo2, "Memo2", {0, 80, 209, 313}},
        {form.Image3, "Image3", {208, 0, 241, 393}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.widget->objectName(), c.name);
        EXPECT_EQ(c.widget->geometry(), c.rect) << c.name;
        EXPECT_EQ(form.findChild<QWidget*>(c.name), c.widget) << c.name;
    }

    EXPECT_TRUE(form.Image1->hasScaledContents());
    // Image3 is scaled into its area keeping the picture's proportions
    const QSize original = usbPicture().size();
    const QSize shown = form.Image3->pixmap().size();
    EXPECT_TRUE(shown.width() == 241 || shown.height() == 393)
        << shown.width() << "x" << shown.height();
    EXPECT_LE(shown.width(), 241);
    EXPECT_LE(shown.height(), 393);
    EXPECT_NEAR(double(shown.width()) / shown.height(),
                double(original.width()) / original.height(), 0.01);
}

TEST(TForm2, ClosingHidesItAndLeavesTheMainWindow) {
    QWidget main;
    main.show();
    auto* form = new TForm2(false, &main);
    EXPECT_TRUE(form->isWindow());  // its own window, not a child of the main one
    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(form->testAttribute(Qt::WA_QuitOnClose));
    form->show();  // "About" shows the same window again
    EXPECT_TRUE(form->isVisible());
}

class QuietReporter : public zvk::Reporter {
  public:
    void report(const std::string&, const std::string&, Icon) override {}
};

// The menu over a virtual board with the adapter, on the program core as the window has
// it, so a click on the menu shows up at the next detection tick.
struct UsbBench {
    UsbBench() : session(options(clock, reporter)), menu(&session.board()) { session.startUp(); }
    static zvk::SessionOptions options(zvk::Clock& clock, zvk::Reporter& reporter) {
        zvk::SessionOptions o;
        o.boardName = "virtual-usb";
        o.clock = &clock;
        o.reporter = &reporter;
        o.realtime = false;
        return o;
    }
    zvk::SteppingClock clock;
    QuietReporter reporter;  // the pulled adapter's release fails at the end
    zvk::Session session;
    VirtualBoardMenu menu;
};

TEST(VirtualBoardMenu, AdapterItemsSwitchTheFaults) {
    UsbBench b;
    EXPECT_EQ(b.menu.title(), "Virtual Board");
    EXPECT_EQ(b.menu.objectName(), "VirtualBoard1");
    ASSERT_NE(b.menu.AdapterPluggedIn1, nullptr);
    ASSERT_NE(b.menu.WrongVersion1, nullptr);
    EXPECT_EQ(b.menu.AdapterPluggedIn1->text(), "Adapter plugged in");
    EXPECT_EQ(b.menu.WrongVersion1->text(), "Adapter answers wrong version");
    EXPECT_TRUE(b.menu.AdapterPluggedIn1->isChecked());
    EXPECT_FALSE(b.menu.WrongVersion1->isChecked());
    auto& faults = b.session.board().vusb->faults();

    struct Step {
        QAction* action;
        bool unplugged, wrongVersion;
        const char* panel;
    };
    const Step steps[] = {
        {b.menu.AdapterPluggedIn1, true, false, "LPT Port Address: 0x0378"},
        {b.menu.AdapterPluggedIn1, false, false, "USB found, int. Lvl: 5.00V"},
        {b.menu.WrongVersion1, false, true, "LPT Port Address: 0x0378"},
        {b.menu.WrongVersion1, false, false, "USB found, int. Lvl: 5.00V"},
    };
    for (const Step& s : steps) {
        s.action->trigger();
        EXPECT_EQ(faults.unplugged, s.unplugged) << s.panel;
        EXPECT_EQ(faults.wrongVersion, s.wrongVersion) << s.panel;
        b.session.tick();
        EXPECT_EQ(b.session.detection().view().panel, s.panel);
    }

    // changed behind the menu: the ticks follow when the menu opens, without writing back
    faults.unplugged = true;
    faults.wrongVersion = true;
    emit b.menu.aboutToShow();
    EXPECT_FALSE(b.menu.AdapterPluggedIn1->isChecked());
    EXPECT_TRUE(b.menu.WrongVersion1->isChecked());
    EXPECT_TRUE(faults.unplugged);
}

TEST(VirtualBoardMenu, TestSignalItemsSetTheAntennaLevel) {
    for (const char* kind : {"virtual", "virtual-usb"}) {
        zvk::SteppingClock clock;
        auto board = zvk::findBoardKind(kind)->make(clock, 0x378);
        VirtualBoardMenu menu(board.get());
        // the adapter items only where there is an adapter to pull
        EXPECT_EQ(menu.AdapterPluggedIn1 != nullptr, std::string(kind) == "virtual-usb");
        EXPECT_EQ(menu.WrongVersion1 != nullptr, std::string(kind) == "virtual-usb");

        const auto& list = VirtualBoardMenu::testSignals();
        ASSERT_EQ(menu.TestSignal1.size(), list.size());
        EXPECT_EQ(menu.TestSignal1[0]->text(), "Test signal: none (-120 dBm)");
        // the model's start value is shown ticked
        for (size_t i = 0; i < list.size(); ++i)
            EXPECT_EQ(menu.TestSignal1[i]->isChecked(), list[i].dbm == board->chip->testSignal());

        for (size_t pick : {size_t(3), size_t(0), size_t(0), size_t(1)}) {
            menu.TestSignal1[pick]->trigger();
            EXPECT_EQ(board->chip->testSignal(), list[pick].dbm) << kind;
            for (size_t i = 0; i < list.size(); ++i)
                EXPECT_EQ(menu.TestSignal1[i]->isChecked(), i == pick) << kind << " " << i;
        }
    }
}

}  // namespace
