// SPDX-License-Identifier: MIT
// The status panel, the register bit view's pointer handling and the event rules that
// make the toolkit behave as the program expects.
#include <QHelpEvent>
#include <QRegularExpression>
#include <QToolTip>

#include "StatusBarPanel.h"
#include "WindowFixture.h"

using namespace apptest;

namespace {

struct RefreshCase {
    const char* name;
    std::function<void(TForm1&)> setUp;  // as a user would, before "Send to IC"
    double signalDbm;
    const char *iffval, *iffstate, *ld, *rssi;
};

TEST_F(WindowTest, RefreshDecodesTheChipsStatusWord) {
    const RefreshCase cases[] = {
        {"receiving, locked", [](TForm1& f) { choose(findControl<QComboBox>(&f, "CB_OPMODE"), 1); },
         -60, "75", "tuned", "locked", "in range"},
        {"strong signal", [](TForm1& f) { choose(findControl<QComboBox>(&f, "CB_OPMODE"), 1); },
         -20, "75", "tuned", "locked", "high"},
        {"shut down", [](TForm1&) {}, -60, "75", "tuned", "no lock", "in range"},
        {"RSSI flags, weak signal",
         [](TForm1& f) {
             choose(findControl<QComboBox>(&f, "CB_OPMODE"), 1);
             choose(findControl<RadioGroup>(&f, "RG_SHOWLD"), 0);
         },
         -120, "75", "tuned", "", "low"},
        {"RSSI flags, medium signal",
         [](TForm1& f) {
             choose(findControl<QComboBox>(&f, "CB_OPMODE"), 1);
             choose(findControl<RadioGroup>(&f, "RG_SHOWLD"), 0);
         },
         -60, "75", "tuned", "", "in range"},
        {"filter adjustment off",
         [](TForm1& f) {
             clickTab(findControl<PageControl>(&f, "PageControl1"),
                      findControl<QWidget>(&f, "TabFIFF"));
             click(findControl<QCheckBox>(&f, "CB_IFFTUNE"));
             typeInto(findControl<Edit>(&f, "E_IFFRES"), "42");
         },
         -60, "42", "CCO fail", "no lock", "in range"},
    };
    for (const RefreshCase& c : cases) {
        SCOPED_TRACE(c.name);
        start();
        form->session().board().chip->setTestSignal(c.signalDbm);
        c.setUp(*form);
        click(control<QPushButton>("B_WriteReg"));
        clock.advance(20000);  // past any settling of the synthesizer
        click(control<QPushButton>("B_Refresh"));
        EXPECT_EQ(control<QLineEdit>("E_IFFVAL")->text(), c.iffval);
        EXPECT_EQ(control<QLineEdit>("E_IFFSTATE")->text(), c.iffstate);
        EXPECT_EQ(control<QLineEdit>("E_LD")->text(), c.ld);
        EXPECT_EQ(control<QLineEdit>("E_RSSI")->text(), c.rssi);
        EXPECT_TRUE(control<QPushButton>("B_Refresh")->isEnabled());
        // The word lands in R7 and shows on the register page.
        const uint16_t word = form->session().board().chip->statusWord();
        EXPECT_EQ(regs()[7], word);
        EXPECT_EQ(registerValue(7)->text(), QString::fromStdString(zvk::registerText(word)));
        EXPECT_EQ(form->session().board().chip->readRequests().back(), 0xF);
        form.reset();
        QFile::remove(QString::fromStdString(settingsPath()));
    }
}

TEST_F(WindowTest, RefreshWithoutSpiOutReadsNothing) {
    start();
    choose(control<QComboBox>("CB_MFO"), 8);
    EXPECT_FALSE(control<QPushButton>("B_Refresh")->isEnabled());
    // Enabled again only by choosing SPI out; then a refresh away from it clears only.
    choose(control<QComboBox>("CB_MFO"), 1);
    EXPECT_TRUE(control<QPushButton>("B_Refresh")->isEnabled());
    control<QComboBox>("CB_MFO")->setCurrentIndex(8);  // as a configuration file would leave it
    control<QLineEdit>("E_RSSI")->setText("old");
    const size_t requests = form->session().board().chip->readRequests().size();
    click(control<QPushButton>("B_Refresh"));
    EXPECT_TRUE(control<QLineEdit>("E_RSSI")->text().isEmpty());
    EXPECT_TRUE(control<QPushButton>("B_Refresh")->isEnabled());
    EXPECT_EQ(form->session().board().chip->readRequests().size(), requests);
}

TEST_F(WindowTest, LockTimeRowShowsTheMeasuredTime) {
    start();
    sendAlways(true);
    choose(control<QComboBox>("CB_OPMODE"), 1);
    choose(control<QComboBox>("CB_MFO"), 8);
    ASSERT_TRUE(control<QLineEdit>("E_LDT")->isVisibleTo(form.get()));
    // A new plan moves the synthesizer; the write cycle measures how long it takes to lock.
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabFIFF"));
    typeInto(control<Edit>("E_fRFI"), "433.92");
    click(control<QPushButton>("B_Calc"));
    const QString t = control<QLineEdit>("E_LDT")->text();
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d\\d$").match(t).hasMatch()) << t.toStdString();
    EXPECT_GT(t.toDouble(), 0.0);
    EXPECT_LT(t.toDouble(), 15.01);
    EXPECT_EQ(control<QLineEdit>("E_LD")->text(), "locked");
    // A synthesizer that cannot lock runs into the cap, shown red.
    typeInto(control<Edit>("E_N"), "4");
    EXPECT_EQ(control<QLineEdit>("E_LDT")->text(), "19.99");
    EXPECT_EQ(control<QLineEdit>("E_LDT")->palette().color(QPalette::Base), QColor(255, 0, 0));
    EXPECT_EQ(control<QLineEdit>("E_LD")->text(), "no lock");
    // Away from LD out the row goes.
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabMode"));
    choose(control<QComboBox>("CB_MFO"), 1);
    EXPECT_FALSE(control<QLineEdit>("E_LDT")->isVisibleTo(form.get()));
    EXPECT_TRUE(control<QLineEdit>("E_LDT")->text().isEmpty());
}

TEST_F(WindowTest, PointerOverTheBitViewNamesTheBits) {
    start();
    sendAlways(true);
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabReg2"));
    EXPECT_EQ(bitLabel(0, 0)->toolTip(), "OPMODE0");
    EXPECT_EQ(bitLabel(3, 10)->toolTip(), "MFO2");
    EXPECT_EQ(bitLabel(4, 0)->toolTip(), "R0");
    EXPECT_EQ(bitLabel(7, 11)->toolTip(), "RSSIH");
    // the row shows the hint of the bit under the pointer
    QGroupBox* row0 = registerRow(0);
    const QPoint at = bitLabel(0, 0)->geometry().center();
    QHelpEvent help(QEvent::ToolTip, at, row0->mapToGlobal(at));
    QApplication::sendEvent(row0, &help);
    EXPECT_EQ(QToolTip::text(), "OPMODE0");
    QToolTip::hideText();
    const uint64_t cycles = form->session().chip().writeCycles();
    QTest::mouseMove(bitLabel(0, 0), QPoint(5, 5));
    EXPECT_EQ(form->panelText(1), "OPMODE0");
    QTest::mouseMove(bitLabel(3, 10), QPoint(5, 5));
    EXPECT_EQ(form->panelText(1), "MFO2");
    EXPECT_EQ(form->session().chip().writeCycles(), cycles + 2);  // every movement writes the chip
    // A row outside its bit labels changes nothing ...
    QGroupBox* row = registerRow(1);
    QTest::mouseMove(row, QPoint(row->width() - 6, row->height() - 6));
    EXPECT_EQ(form->panelText(1), "MFO2");
    // ... the page's own margin beside and below the rows does.
    QTest::mouseMove(control<QWidget>("TabReg2"),
                     QPoint(control<QWidget>("TabReg2")->width() - 4, 100));
    EXPECT_EQ(form->panelText(1), "click to change");
    QTest::mouseMove(bitLabel(7, 0), QPoint(5, 5));
    EXPECT_EQ(form->panelText(1), "IFFVAL0");
    QTest::mouseMove(control<QWidget>("TabReg2"),
                     QPoint(150, 332));  // between the last row and the legend
    EXPECT_EQ(form->panelText(1), "click to change");
}

TEST_F(WindowTest, BitViewShowsEveryBitOfTheImage) {
    start();
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabReg2"));
    const uint16_t values[] = {0x000, 0xFFF, 0xA5A, 0x001, 0x800};
    for (uint16_t v : values) {
        SCOPED_TRACE(v);
        form->session().chip().setRegister(5, v);
        // a movement to another place each time: one to the same place is no movement
        QTest::mouseMove(bitLabel(0, 3), QPoint(2 + (v & 7), 4));
        for (int b = 0; b < 12; ++b)
            EXPECT_EQ(bitLabel(5, size_t(b))->isSet(), ((v >> b) & 1) != 0) << b;
        EXPECT_EQ(registerValue(5)->text(), QString::fromStdString(zvk::registerText(v)));
    }
    EXPECT_EQ(registerValue(0)->text(), "0x08C");
    // R7 toggles like any other row; the parallel port does not send it.
    sendAlways(true);
    click(bitLabel(7, 3));
    QTest::mouseMove(bitLabel(7, 3), QPoint(4, 4));
    EXPECT_EQ(regs()[7], 0x008);
    EXPECT_EQ(latched()[7], form->session().board().chip->statusWord());
}

// ---- event rules

TEST_F(WindowTest, ComboBoxesRunHandlersOnlyForTheUsersChoice) {
    start();
    sendAlways(true);
    const uint64_t cycles = form->session().chip().writeCycles();
    const auto before = regs();
    control<QComboBox>("CB_OPMODE")->setCurrentIndex(2);
    control<QComboBox>("CB_MFO")->setCurrentIndex(7);
    control<QComboBox>("CB_LNAGAIN")->clear();
    control<QComboBox>("CB_LNAGAIN")->addItems({"a", "b"});
    EXPECT_EQ(regs(), before);
    EXPECT_EQ(form->session().chip().writeCycles(), cycles);
    // choosing the item already shown is still the user's choice
    choose(control<QComboBox>("CB_OPMODE"), 2);
    EXPECT_EQ(regs()[0] & 3, 2);
    EXPECT_EQ(form->session().chip().writeCycles(), cycles + 1);
}

TEST_F(WindowTest, RadioGroupsRunTheirHandlerOncePerRealChange) {
    start();
    sendAlways(true);
    RadioGroup* g = control<RadioGroup>("RG_DTAPOL");
    uint64_t cycles = form->session().chip().writeCycles();
    g->setItemIndex(1);  // by the program
    EXPECT_EQ(regs()[0] & 0x800, 0x800);
    EXPECT_EQ(form->session().chip().writeCycles(), cycles + 1);
    g->setItemIndex(1);
    choose(g, 1);  // clicking the selected item is no change
    EXPECT_EQ(form->session().chip().writeCycles(), cycles + 1);
    g->setItemIndex(-1);  // nothing selected: no handler
    EXPECT_EQ(g->itemIndex(), -1);
    EXPECT_FALSE(g->button(0)->isChecked() || g->button(1)->isChecked());
    EXPECT_EQ(form->session().chip().writeCycles(), cycles + 1);
    EXPECT_EQ(regs()[0] & 0x800, 0x800);
    const struct { int set, shown; } clamps[] = {{-5, -1}, {9, 1}, {0, 0}, {-1, -1}, {2, 1}};
    for (const auto& c : clamps) {
        g->setItemIndex(c.set);
        EXPECT_EQ(g->itemIndex(), c.shown) << c.set;
    }
}

TEST_F(WindowTest, PageChangeHandlerRunsOnlyForTheUser) {
    start();
    PageControl* pc = control<PageControl>("PageControl1");
    control<MainStatusBar>("StatusBar1")->setText(1, "marker");
    pc->setCurrentPage(control<QWidget>("TabPLL"));
    EXPECT_EQ(form->panelText(0), "Mode Control");
    EXPECT_EQ(form->panelText(1), "marker");
    // The user's change shows the page's caption and syncs its controls to the image.
    form->session().chip().setRegister(
        1, uint16_t(form->session().chip().regs()[1] | 0x400));  // PRESCUR
    clickTab(pc, control<QWidget>("TabGain"));
    EXPECT_EQ(form->panelText(0), "Gain Control");
    EXPECT_EQ(form->panelText(1), "Shutdown  |  SPI out");
    EXPECT_EQ(control<RadioGroup>("RG_PRESCUR")->itemIndex(), 1);
    // Hiding the shown page is no user change either.
    control<MainStatusBar>("StatusBar1")->setText(0, "marker");
    pc->setTabVisible(pc->indexOf(control<QWidget>("TabGain")), false);
    EXPECT_EQ(form->panelText(0), "marker");
}

TEST_F(WindowTest, KeyReleaseHandlersSkipAutoRepeatAndAlwaysUpdateFully) {
    start();
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabFIFF"));
    // Program-made writes that change nothing (identical texts) cause no change event;
    // the flag is down again all the same.
    control<QPushButton>("B_CalcFS")->click();
    EXPECT_FALSE(form->programmaticUpdate());
    control<Edit>("E_R")->setFocus();
    control<Edit>("E_R")->setText("50");  // no handler: it listens to key releases only
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_0, Qt::NoModifier, "0", true);
    QApplication::sendEvent(control<Edit>("E_R"), &repeat);
    EXPECT_EQ(regs()[4] & 0x7FF, 75);
    // The user's next key runs the whole recompute.
    QTest::keyClick(control<Edit>("E_R"), Qt::Key_End);
    EXPECT_EQ(regs()[4] & 0x7FF, 50);
    EXPECT_EQ(control<QLineEdit>("E_fPFDinfo")->text(), "0.200");
}

TEST_F(WindowTest, ATypedValueBeyondTheRangeIsHeldAndShownWhenEditingEnds) {
    start();
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabFIFF"));
    click(control<Edit>("E_RIFF"));
    control<Edit>("E_RIFF")->setCursorPosition(1);        // after the "6" of 684
    QTest::keyClick(control<Edit>("E_RIFF"), Qt::Key_0);  // 6084: held at 2047
    EXPECT_EQ(regs()[5] & 0x7FF, 2047);
    EXPECT_EQ(regs()[5] & 0x800, 0);  // MODSEL untouched
    // The text stays as typed, caret and all, until the edit is left.
    EXPECT_EQ(control<Edit>("E_RIFF")->text(), "6084");
    EXPECT_EQ(control<Edit>("E_RIFF")->cursorPosition(), 2);
    QTest::keyClick(control<Edit>("E_RIFF"), Qt::Key_Return);
    EXPECT_EQ(control<Edit>("E_RIFF")->text(), "2047");
    EXPECT_EQ(regs()[5] & 0x7FF, 2047);
}

TEST_F(WindowTest, NewUserOnTheVirtualBoard) {
    start();
    click(control<QCheckBox>("CB_SendAlways"));
    choose(control<QComboBox>("CB_OPMODE"), 1);
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabFIFF"));
    typeInto(control<Edit>("E_fRFI"), "433.92");
    click(control<QPushButton>("B_Calc"));
    click(control<QPushButton>("B_WriteReg"));
    clock.advance(20000);
    click(control<QPushButton>("B_Refresh"));
    const auto chip = latched();
    for (int r = 0; r < 7; ++r) {
        EXPECT_EQ(chip[size_t(r)], regs()[size_t(r)]) << r;
        EXPECT_EQ(registerValue(size_t(r))->text(),
                  QString::fromStdString(zvk::registerText(chip[size_t(r)])))
            << r;
    }
    EXPECT_EQ(control<Edit>("E_fRFI")->text(), "433.920");
    EXPECT_EQ(control<QLineEdit>("E_IFFVAL")->text(), "75");
    EXPECT_EQ(control<QLineEdit>("E_IFFSTATE")->text(), "tuned");
    EXPECT_EQ(control<QLineEdit>("E_LD")->text(), "locked");
    EXPECT_EQ(control<QLineEdit>("E_RSSI")->text(), "in range");
    EXPECT_EQ(form->panelText(1), "Receive  |  SPI out");
}

}  // namespace

namespace {

// Three panels of 140, 160 and 140 pixels, each with the one bevel the status bar draws
// two pixels around it, and none of its own inside.
TEST_F(WindowTest, StatusBarPanelsHaveTheirWidthsAndOneBevel) {
    start();
    const int widths[3] = {140, 160, 140};
    for (int i = 0; i < 3; ++i) {
        auto* panel = control<QStatusBar>("StatusBar1")
                          ->findChild<StatusBarPanel*>(QStringLiteral("Panel%1").arg(i));
        ASSERT_NE(panel, nullptr) << i;
        EXPECT_EQ(panel->width() + 4, widths[i]) << i;
        EXPECT_EQ(panel->frameStyle(), int(QFrame::NoFrame)) << i;
    }
}

}  // namespace
