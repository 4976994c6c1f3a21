// SPDX-License-Identifier: MIT
// The control pages: every field control writing its bits, the MFO restriction, the
// frequency plan's controls and presets, "Send always" and the programmatic-update rules.
#include <QRegularExpression>

#include "WindowFixture.h"

using namespace apptest;

namespace {

enum class Act { Choose, Click, Type };

struct FieldCase {
    const char* control;
    Act act;
    int item;          // item to choose or click
    const char* text;  // text to type
    int reg;
    uint16_t mask;
    uint16_t bits;
};

// Starting from the default image; the bits are the field's from the register layout.
const FieldCase kFieldCases[] = {
    {"CB_OPMODE", Act::Choose, 1, "", 0, 0x003, 0x001},
    {"CB_LNAGAIN", Act::Choose, 0, "", 0, 0x00C, 0x000},
    {"RG_MIX1GAIN", Act::Click, 1, "", 0, 0x010, 0x010},
    {"RG_MIX2GAIN", Act::Click, 1, "", 0, 0x020, 0x020},
    {"CB_IFFGAIN", Act::Choose, 3, "", 0, 0x0C0, 0x0C0},
    {"RG_DEMGAIN", Act::Click, 1, "", 0, 0x100, 0x100},
    {"RG_SSBSEL", Act::Click, 0, "", 0, 0x200, 0x200},
    {"RG_SLCSEL", Act::Click, 1, "", 0, 0x400, 0x400},
    {"RG_DTAPOL", Act::Click, 1, "", 0, 0x800, 0x800},
    {"CB_CPCUR", Act::Choose, 2, "", 1, 0x003, 0x002},
    {"RG_PFDPOL", Act::Click, 1, "", 1, 0x004, 0x004},
    {"RG_LDERR", Act::Click, 1, "", 1, 0x008, 0x008},
    {"CB_LDTIME", Act::Choose, 1, "", 1, 0x030, 0x010},
    {"RG_RSSIGAIN", Act::Click, 0, "", 1, 0x040, 0x000},
    {"RG_VCORANGE", Act::Click, 0, "", 1, 0x080, 0x000},
    {"RG_VCOCUR", Act::Click, 1, "", 1, 0x100, 0x100},
    {"RG_VCOBUF", Act::Click, 1, "", 1, 0x200, 0x200},
    {"RG_PRESCUR", Act::Click, 1, "", 1, 0x400, 0x400},
    {"RG_SHOWLD", Act::Click, 0, "", 1, 0x800, 0x000},
    {"E_A", Act::Type, 0, "5", 2, 0x01F, 0x005},
    {"RG_LO2Div", Act::Click, 1, "", 3, 0x010, 0x010},
    {"CB_AGCEN", Act::Click, 0, "", 3, 0x020, 0x020},
    {"CB_AGCDEL", Act::Choose, 3, "", 3, 0x0C0, 0x0C0},
    {"CB_MFO", Act::Choose, 8, "", 3, 0xF00, 0x800},
    {"E_R", Act::Type, 0, "90", 4, 0x7FF, 90},
    {"RG_AGCMODE", Act::Click, 1, "", 4, 0x800, 0x800},
    {"E_RIFF", Act::Type, 0, "700", 5, 0x7FF, 700},
    {"RG_MODSEL", Act::Click, 1, "", 5, 0x800, 0x800},
    {"E_IFFRES", Act::Type, 0, "200", 6, 0x0FF, 200},
    {"CB_IFFHLT", Act::Click, 0, "", 6, 0x100, 0x100},
    {"CB_IFFTUNE", Act::Click, 0, "", 6, 0x200, 0x000},
    {"CB_ROCUR", Act::Choose, 0, "", 6, 0xC00, 0x000},
};

QWidget* pageOf(TForm1& f, QWidget* w) {
    for (const char* name : {"TabMode", "TabGain", "TabPLL", "TabFIFF", "TabABC", "TabReg2"}) {
        QWidget* p = findControl<QWidget>(&f, name);
        if (p->isAncestorOf(w)) return p;
    }
    return nullptr;
}

TEST_F(WindowTest, EveryFieldControlWritesItsBitsAndTheChip) {
    for (const FieldCase& c : kFieldCases) {
        SCOPED_TRACE(c.control);
        start();
        sendAlways(true);
        QWidget* w = form->findChild<QWidget*>(c.control);
        ASSERT_NE(w, nullptr);
        clickTab(control<PageControl>("PageControl1"), pageOf(*form, w));
        const auto before = regs();
        switch (c.act) {
            case Act::Choose:
                choose(qobject_cast<QComboBox*>(w), c.item);
                break;
            case Act::Click:
                if (auto* r = qobject_cast<RadioGroup*>(w))
                    choose(r, c.item);
                else
                    click(w);
                break;
            case Act::Type:
                typeInto(qobject_cast<QLineEdit*>(w), c.text);
                break;
        }
        const auto after = regs();
        for (int r = 0; r < 8; ++r) {
            const uint16_t expected =
                r == c.reg ? uint16_t((before[size_t(r)] & ~c.mask) | c.bits) : before[size_t(r)];
            EXPECT_EQ(after[size_t(r)], expected) << "R" << r;
        }
        const auto chip = latched();
        for (int r = 0; r < 7; ++r)
            EXPECT_EQ(chip[size_t(r)], after[size_t(r)]) << "latched R" << r;
        EXPECT_EQ(registerValue(size_t(c.reg))->text(),
                  QString::fromStdString(zvk::registerText(after[size_t(c.reg)])));
        form.reset();
        QFile::remove(QString::fromStdString(settingsPath()));
    }
}

TEST_F(WindowTest, TypingNWritesBothOfItsParts) {
    start();
    typeInto(control<Edit>("E_N"), "500");  // 0b011'1110100: R3[3:0] = 3, R2[11:5] = 0x74
    EXPECT_EQ(regs()[2] & 0xFE0, 0xE80);
    EXPECT_EQ(regs()[3] & 0x00F, 3);
    // Every key counts: a first "1" is raised to the minimum at once, while the edit
    // keeps what was typed until it is left.
    typeInto(control<Edit>("E_N"), "1");
    EXPECT_EQ(control<Edit>("E_N")->text(), "1");
    EXPECT_EQ(regs()[2] & 0xFE0, 3 << 5);
    EXPECT_EQ(regs()[3] & 0x00F, 0);
    QTest::keyClick(control<Edit>("E_N"), Qt::Key_Return);
    EXPECT_EQ(control<Edit>("E_N")->text(), "3");
}

// Every key counts, while the edit keeps what was typed until it is left: a number whose
// first digit lies below the edit's minimum can be typed key by key, and a text that is no
// number, or lies outside the spinner's range, falls back or is held at the limit.
TEST_F(WindowTest, DividerEditsFollowEveryKeyAndShowTheValueWhenLeft) {
    const struct {
        const char* edit;
        const char* typed;
        int reg;
        uint16_t mask;
        uint16_t bits;
        const char* shown;
    } cases[] = {
        {"E_R", "150", 4, 0x7FF, 150, "150"},       {"E_N", "127", 2, 0xFE0, 127 << 5, "127"},
        {"E_RIFF", "2000", 5, 0x7FF, 2000, "2000"}, {"E_R", "2", 4, 0x7FF, 3, "3"},
        {"E_R", "x", 4, 0x7FF, 75, "75"},           {"E_A", "q", 2, 0x01F, 12, "12"},
        {"E_A", "40", 2, 0x01F, 31, "31"},          {"E_N", "1", 2, 0xFE0, 3 << 5, "3"},
        {"E_RIFF", "0", 5, 0x7FF, 4, "4"},          {"E_IFFRES", "x", 6, 0x0FF, 133, "133"},
    };
    start();
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabFIFF"));
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.edit) + " <- " + c.typed);
        auto* e = form->findChild<QLineEdit*>(c.edit);
        const auto before = regs();
        typeInto(e, c.typed);
        EXPECT_EQ(e->text(), c.typed);
        EXPECT_EQ(regs()[size_t(c.reg)], (before[size_t(c.reg)] & ~c.mask) | c.bits);
        QTest::keyClick(e, Qt::Key_Return);
        EXPECT_EQ(e->text(), c.shown);
        EXPECT_EQ(regs()[size_t(c.reg)], (before[size_t(c.reg)] & ~c.mask) | c.bits);
    }
}

struct MfoCase {
    bool lab;
    int item;
    int shown;
    uint16_t r3high;  // R3 bits 15..8
    bool refresh;
    bool ldtRow;
};

const MfoCase kMfoCases[] = {
    {false, 7, 1, 0x01, true, false},   {false, 6, 1, 0x01, true, false},
    {false, 15, 1, 0x01, true, false},  {false, 16, 1, 0x01, true, false},
    {false, 8, 8, 0x08, false, true},   {false, 0, 0, 0x00, false, false},
    {false, 5, 5, 0x05, false, false},  {true, 7, 7, 0x07, false, false},
    {true, 15, 15, 0x0F, false, false}, {true, 16, 16, 0x10, false, false},
};

TEST_F(WindowTest, MfoRestrictionWithAndWithoutLabMode) {
    for (const MfoCase& c : kMfoCases) {
        SCOPED_TRACE(testing::Message() << "lab " << c.lab << " item " << c.item);
        start(c.lab);
        sendAlways(true);
        control<QLineEdit>("E_IFFVAL")->setText("x");  // as a refresh would have left it
        choose(control<QComboBox>("CB_MFO"), c.item);
        EXPECT_EQ(control<QComboBox>("CB_MFO")->currentIndex(), c.shown);
        EXPECT_EQ(regs()[3] >> 8, c.r3high);
        EXPECT_EQ(regs()[3] & 0xFF, 0x00);  // default N high bits, LO2DIV, AGC untouched
        EXPECT_EQ(control<QPushButton>("B_Refresh")->isEnabled(), c.refresh);
        EXPECT_EQ(control<QLineEdit>("E_LDT")->isVisibleTo(form.get()), c.ldtRow);
        EXPECT_EQ(control<QLabel>("L_LDT")->isVisibleTo(form.get()), c.ldtRow);
        EXPECT_TRUE(control<QLineEdit>("E_IFFVAL")->text().isEmpty());
        EXPECT_EQ(form->panelText(1),
                  "Shutdown  |  " + control<QComboBox>("CB_MFO")->currentText().mid(7));
        // Bits above 11 never reach the chip.
        EXPECT_EQ(latched()[3], regs()[3] & 0xFFF);
        if (c.r3high > 0x0F) {
            EXPECT_EQ(registerValue(3)->text(), "0x1000");
        }
        form.reset();
        QFile::remove(QString::fromStdString(settingsPath()));
    }
}

TEST_F(WindowTest, TogglingABitSyncsTheControlsBack) {
    start();
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabReg2"));
    sendAlways(true);
    click(bitLabel(0, 0));  // OPMODE0
    EXPECT_EQ(regs()[0], 0x08D);
    EXPECT_EQ(control<QComboBox>("CB_OPMODE")->currentText(), "Receive");
    // A combo box set by the sync runs nothing: the row shows the bit at once, and the
    // next pointer movement sends.
    EXPECT_EQ(latched()[0], 0x08C);
    EXPECT_EQ(registerValue(0)->text(), "0x08D");
    QTest::mouseMove(bitLabel(0, 0), QPoint(3, 3));
    EXPECT_EQ(latched()[0], 0x08D);
    EXPECT_EQ(registerValue(0)->text(), "0x08D");
    EXPECT_EQ(bitLabel(0, 0)->background(), BitLabel::setColour());
    click(bitLabel(0, 9));  // SSBSEL: the LO2 side follows, and so does the plan
    EXPECT_EQ(control<RadioGroup>("RG_SSBSEL")->itemIndex(), 0);
    EXPECT_EQ(control<QLineEdit>("E_fIF1info")->text(), "126.667");
    click(bitLabel(3, 8));  // MFO0: 0001 -> 0000
    EXPECT_EQ(control<QComboBox>("CB_MFO")->currentIndex(), 0);
    click(bitLabel(1, 11));  // SHOWLD
    EXPECT_EQ(control<RadioGroup>("RG_SHOWLD")->itemIndex(), 0);
    click(bitLabel(6, 9));  // IFTUNE
    EXPECT_FALSE(control<QCheckBox>("CB_IFFTUNE")->isChecked());
    click(bitLabel(0, 0));
    EXPECT_EQ(regs()[0] & 0x3, 0);
    EXPECT_EQ(control<QComboBox>("CB_OPMODE")->currentText(), "Shutdown");
    // A value changed here shows on the other pages when they open.
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabMode"));
    EXPECT_EQ(form->panelText(0), "Mode Control");
    EXPECT_EQ(form->panelText(1), "Shutdown  |  Z state");
}

TEST_F(WindowTest, CalculatePlansTheWantedFrequency) {
    start();
    sendAlways(true);
    choose(control<RadioGroup>("RGFreq"), 1);
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabFIFF"));
    typeInto(control<Edit>("E_fRFI"), "433.92");
    const int beeps = beeper.count;
    click(control<QPushButton>("B_Calc"));  // leaving the edit applies the typed frequency
    EXPECT_EQ(control<Edit>("E_fRFI")->text(), "433.920");
    EXPECT_EQ(control<RadioGroup>("RGFreq")->itemIndex(), -1);
    EXPECT_EQ(beeper.count, beeps + 2);
    // between two channels the nearer one, the tie going up
    EXPECT_EQ(control<Edit>("E_Ntot")->text(), "4319");
    EXPECT_EQ(control<Edit>("E_N")->text(), "134");
    EXPECT_EQ(control<Edit>("E_A")->text(), "31");
    EXPECT_EQ(control<QLineEdit>("E_fRFinfo")->text(), "433.900");
    EXPECT_EQ(regs()[2], (134 & 127) << 5 | 31);
    EXPECT_EQ(regs()[3] & 0xF, 134 >> 7);
    EXPECT_EQ(latched()[2], regs()[2]);
    EXPECT_EQ(latched()[3], regs()[3]);
}

struct PresetCase {
    int item;
    const char *ntot, *n, *a, *lo1, *lo2, *if1, *rf, *pfd;
    uint16_t r;
    int lo1Side;  // RG_IF1 and RG_SSBSEL
};

const PresetCase kPresets[] = {
    {0, "3130", "97", "26", "417.333", "104.333", "102.333", "315.000", "0.133", 75, 0},
    {1, "4319", "134", "31", "575.867", "143.967", "141.967", "433.900", "0.133", 75, 0},
    {2, "8663", "270", "23", "693.040", "173.260", "175.260", "868.300", "0.080", 125, 1},
    {3, "9130", "285", "10", "730.400", "182.600", "184.600", "915.000", "0.080", 125, 1},
};

TEST_F(WindowTest, EachBandPresetPlansItsBand) {
    start();
    sendAlways(true);
    for (const PresetCase& p : kPresets) {
        SCOPED_TRACE(p.item);
        choose(control<RadioGroup>("RGFreq"), p.item);
        EXPECT_EQ(control<Edit>("E_Ntot")->text(), p.ntot);
        EXPECT_EQ(control<Edit>("E_N")->text(), p.n);
        EXPECT_EQ(control<Edit>("E_A")->text(), p.a);
        EXPECT_EQ(control<QLineEdit>("E_fLO1info")->text(), p.lo1);
        EXPECT_EQ(control<QLineEdit>("E_fLO2info")->text(), p.lo2);
        EXPECT_EQ(control<QLineEdit>("E_fIF1info")->text(), p.if1);
        EXPECT_EQ(control<QLineEdit>("E_fRFinfo")->text(), p.rf);
        EXPECT_EQ(control<QLineEdit>("E_fPFDinfo")->text(), p.pfd);
        EXPECT_EQ(control<QLineEdit>("E_fCHinfo")->text(), "0.100");
        EXPECT_EQ(control<Edit>("E_R")->text(), QString::number(p.r));
        EXPECT_EQ(regs()[4] & 0x7FF, p.r);
        EXPECT_EQ(regs()[0] & 0x800, 0x800);  // DTAPOL positive
        EXPECT_EQ(control<RadioGroup>("RG_IF1")->itemIndex(), p.lo1Side);
        EXPECT_EQ(control<RadioGroup>("RG_SSBSEL")->itemIndex(), p.lo1Side);
        EXPECT_EQ(control<RadioGroup>("RG_LO2Div")->itemIndex(), 0);
        EXPECT_EQ(control<RadioGroup>("RGFreq")->itemIndex(), p.item);
        expectChipHoldsImage();
    }
}

struct XtalCase {
    const char* typed;
    const char* shown;
    const char* pfd;
};

TEST_F(WindowTest, CrystalChangeReplansAtOnce) {
    const XtalCase cases[] = {
        {"10,5", "10.500", "0.140"}, {"0.5", "1.000", "0.013"}, {"", "10.000", "0.133"},
        {"abc", "10.000", "0.133"},  {"12", "12.000", "0.160"},
    };
    start();
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabFIFF"));
    for (const XtalCase& c : cases) {
        SCOPED_TRACE(c.typed);
        const int beeps = beeper.count;
        typeAndEnter(control<Edit>("E_fXTAL"), c.typed);
        EXPECT_EQ(control<Edit>("E_fXTAL")->text(), c.shown);
        EXPECT_EQ(control<QLineEdit>("E_fPFDinfo")->text(), c.pfd);
        EXPECT_EQ(control<Edit>("E_fRFI")->text(), "384.000");  // the wanted RF is kept
        EXPECT_EQ(beeper.count, beeps + 2);
    }
}

TEST_F(WindowTest, TypingAFrequencyTakesEffectWhenEditingFinishes) {
    start();
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabFIFF"));
    typeInto(control<Edit>("E_fXTAL"), "12");
    // mid-typing nothing is rewritten and nothing planned
    EXPECT_EQ(control<Edit>("E_fXTAL")->text(), "12");
    EXPECT_EQ(form->session().frequencies().fXTAL, 10.0);
    QTest::keyClick(control<Edit>("E_fXTAL"), Qt::Key_Return);
    EXPECT_EQ(control<Edit>("E_fXTAL")->text(), "12.000");
    EXPECT_EQ(form->session().frequencies().fXTAL, 12.0);
    // The RF edit takes a point only; the wanted RF alone never replans.
    const auto before = regs();
    typeAndEnter(control<Edit>("E_fRFI"), "433,92");
    EXPECT_EQ(control<Edit>("E_fRFI")->text(), "433.000");
    EXPECT_EQ(form->session().frequencies().fRF, 433.0);
    EXPECT_EQ(regs(), before);
}

TEST_F(WindowTest, SendAlwaysWritesTheChipOnEveryChange) {
    start();
    choose(control<QComboBox>("CB_OPMODE"), 1);
    EXPECT_EQ(latched()[0], 0x08C);  // not ticked: nothing sent
    sendAlways(true);
    choose(control<QComboBox>("CB_OPMODE"), 3);
    EXPECT_EQ(latched()[0], 0x08F);
    sendAlways(false);
    choose(control<QComboBox>("CB_OPMODE"), 2);
    EXPECT_EQ(latched()[0], 0x08F);
    click(control<QPushButton>("B_WriteReg"));
    EXPECT_EQ(latched()[0], 0x08E);
    // R7 is not sent over the parallel port.
    EXPECT_EQ(form->session().board().chip->frames().size() % 7, 0u);
}

TEST_F(WindowTest, RefusedPlanShowsInTheModePanelWithoutABox) {
    start();
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabFIFF"));
    typeInto(control<Edit>("E_fRFI"), "-5");
    const auto before = regs();
    const QString box = answerMessageBox([&] { click(control<QPushButton>("B_Calc")); });
    EXPECT_TRUE(box.isEmpty());
    EXPECT_TRUE(form->panelText(1).contains("-5.000")) << form->panelText(1).toStdString();
    EXPECT_EQ(regs()[2], before[2]);
    EXPECT_EQ(regs()[3], before[3]);
}

TEST_F(WindowTest, UnconvertibleSpinnerTextIsReportedAndChangesNothing) {
    start();
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabFIFF"));
    const struct {
        QLineEdit* edit;
        UpDown* spinner;
    } cases[] = {{control<Edit>("E_R"), control<UpDown>("UpD_R")},
                 {control<Edit>("E_A"), control<UpDown>("UpD_A")},
                 {control<Edit>("E_N"), control<UpDown>("UpD_N")}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.edit->objectName().toStdString());
        c.edit->setText("4x");  // as typed, before its key handler ran
        const auto before = regs();
        const QString text = answerMessageBox([&] { click(c.spinner, QPoint(8, 3)); });
        EXPECT_TRUE(text.contains("'4x'")) << text.toStdString();
        EXPECT_EQ(regs(), before);
        EXPECT_EQ(c.edit->text(), "4x");
    }
    // The hidden "CalcNA" reads the RF edit without a fallback.
    control<Edit>("E_fRFI")->setText("x1");
    const auto before = regs();
    const QString text = answerMessageBox([&] { control<QPushButton>("B_CalcNA")->click(); });
    EXPECT_TRUE(text.contains("'x1'")) << text.toStdString();
    EXPECT_EQ(regs(), before);
}

TEST_F(WindowTest, SpinnersStepTheirEditAndWriteTheField) {
    start();
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabFIFF"));
    click(control<UpDown>("UpD_R"), QPoint(8, 3));  // upper half: +1
    EXPECT_EQ(control<Edit>("E_R")->text(), "76");
    EXPECT_EQ(regs()[4] & 0x7FF, 76);
    EXPECT_EQ(control<QLineEdit>("E_fPFDinfo")->text(), "0.132");
    click(control<UpDown>("UpD_RIFF"),
          QPoint(8, 17));  // lower half: -1, through the change handler
    EXPECT_EQ(control<Edit>("E_RIFF")->text(), "683");
    EXPECT_EQ(regs()[5] & 0x7FF, 683);
    for (int i = 0; i < 40; ++i) click(control<UpDown>("UpD_A"), QPoint(8, 3));
    EXPECT_EQ(control<Edit>("E_A")->text(), "31");  // no wrap
    EXPECT_EQ(regs()[2] & 0x1F, 31);
}

TEST_F(WindowTest, IfFilterEditsFollowTheirLimits) {
    start();
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabFIFF"));
    typeAndEnter(control<Edit>("E_RIFF"), "3");
    EXPECT_EQ(regs()[5] & 0x7FF, 4);
    EXPECT_EQ(control<Edit>("E_RIFF")->text(), "4");
    EXPECT_EQ(control<Edit>("E_IF2CH")->text(), "342.000");
    typeInto(control<Edit>("E_RIFF"), "700");
    EXPECT_EQ(control<Edit>("E_IF2CH")->text(), "1.954");
    EXPECT_EQ(control<QLineEdit>("E_fIF2info")->text(),
              "2.000");  // the plan's IF stays until replanned
    const uint16_t r6 = regs()[6];
    typeInto(control<Edit>("E_IFFRES"), "999");
    EXPECT_EQ(regs()[6], (r6 & 0xF00) | 255);  // held at the spinner's end, not spilled
}

}  // namespace

namespace {

TEST_F(WindowTest, HiddenCalculationButtons) {
    start();
    // "CalcFS" recomputes from the registers as they are ...
    form->session().chip().setRegister(4,
                                       uint16_t((form->session().chip().regs()[4] & 0x800) | 125));
    control<QPushButton>("B_CalcFS")->click();
    EXPECT_EQ(control<QLineEdit>("E_fPFDinfo")->text(), "0.080");
    EXPECT_EQ(control<Edit>("E_R")->text(), "125");
    EXPECT_FALSE(form->programmaticUpdate());
    // ... "CalcNA" plans for the RF edit's text, without the recompute step.
    form->session().chip().setRegister(4,
                                       uint16_t((form->session().chip().regs()[4] & 0x800) | 75));
    control<Edit>("E_fRFI")->setText("315");
    const int beeps = beeper.count;
    control<QPushButton>("B_CalcNA")->click();
    EXPECT_EQ(beeper.count, beeps + 2);
    EXPECT_EQ(control<Edit>("E_Ntot")->text(), "3170");
    EXPECT_EQ(control<Edit>("E_N")->text(), "99");
    EXPECT_EQ(control<Edit>("E_A")->text(), "2");
    EXPECT_EQ(form->session().chip().regs()[2] & 0xFE0, 99 << 5);
    EXPECT_EQ(form->session().chip().regs()[3] & 0x00F, 0);
}

}  // namespace

namespace {

TEST_F(WindowTest, ArrowKeysInADividerEditStepItsSpinner) {
    start();
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabFIFF"));
    click(control<Edit>("E_R"));
    QTest::keyClick(control<Edit>("E_R"), Qt::Key_Up);
    QTest::keyClick(control<Edit>("E_R"), Qt::Key_Up);
    QTest::keyClick(control<Edit>("E_R"), Qt::Key_Down);
    EXPECT_EQ(control<Edit>("E_R")->text(), "76");
    EXPECT_EQ(regs()[4] & 0x7FF, 76);
}

}  // namespace

namespace {

// Typed into E_fRFI, a frequency with more decimals than the edit shows is kept as the
// text's value: Calculate twice gives one plan, and the settings get what was shown.
TEST_F(WindowTest, TheStoredFrequencyIsTheValueItsEditShows) {
    start();
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabFIFF"));
    typeAndEnter(control<Edit>("E_fRFI"), "433.9496");
    EXPECT_EQ(control<Edit>("E_fRFI")->text(), "433.950");
    EXPECT_EQ(form->session().frequencies().fRF, 433.95);
    click(control<QPushButton>("B_Calc"));
    const QString ntot = control<Edit>("E_Ntot")->text();
    click(control<QPushButton>("B_Calc"));
    EXPECT_EQ(control<Edit>("E_Ntot")->text(), ntot);
}

// When the reverse sync moves the operation mode or the MFO function, the mode panel
// follows: a band preset restores the default image, whose R0 says Shutdown.
TEST_F(WindowTest, TheModeSummaryFollowsTheReverseSync) {
    start();
    choose(control<QComboBox>("CB_OPMODE"), 1);
    EXPECT_EQ(form->panelText(1), "Receive  |  SPI out");
    choose(control<RadioGroup>("RGFreq"), 1);
    EXPECT_EQ(control<QComboBox>("CB_OPMODE")->currentText(), "Shutdown");
    EXPECT_EQ(form->panelText(1), "Shutdown  |  SPI out");
}

}  // namespace
