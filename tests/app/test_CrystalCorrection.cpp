// SPDX-License-Identifier: MIT
// "Tools > Crystal Correction…": the dialog's entries and refusals, the corrected values in
// the tooltips and the plan picture, planning on the corrected crystal, and the settings
// file at close.
#include <QFile>

#include "../CtlRunner.h"
#include "CrystalCorrectionDialog.h"
#include "PlanWindow.h"
#include "ToolsMenu.h"
#include "WindowFixture.h"
#include "base/Numbers.h"
#include "plan/TuningRows.h"
#include "storage/Settings.h"

namespace apptest {
namespace {

class CorrectionTest : public WindowTest {
  protected:
    ToolsMenu* tools() const { return control<ToolsMenu>("Tools1"); }
    // Opens the dialog as the menu does.
    CrystalCorrectionDialog* openDialog() {
        QAction* item = toolsItem("CrystalCorrection1");
        EXPECT_NE(item, nullptr);
        if (item == nullptr) return nullptr;
        EXPECT_EQ(item->text(), QStringLiteral("Crystal Correction…"));
        EXPECT_TRUE(item->shortcut().isEmpty());
        item->trigger();
        auto* d = tools()->correctionDialog();
        EXPECT_NE(d, nullptr);
        if (d != nullptr) {
            EXPECT_TRUE(d->isVisible());
        }
        return d;
    }
    // The wanted RF typed and "Calculate" clicked, on the default plan of a first start.
    void plan(const QString& mhz) {
        typeInto(control<Edit>("E_fRFI"), mhz);
        click(control<QPushButton>("B_Calc"));
        QApplication::processEvents();
    }
    void setCorrection(const QString& ppm, bool planCorrected) {
        CrystalCorrectionDialog* d = openDialog();
        ASSERT_NE(d, nullptr);
        typeInto(d->E_ppm, ppm);
        // On the box itself: the middle of a row-wide check box lies beyond its caption.
        if (d->CB_PlanCorrected->isChecked() != planCorrected)
            click(d->CB_PlanCorrected, QPoint(7, d->CB_PlanCorrected->height() / 2));
        EXPECT_EQ(d->CB_PlanCorrected->isChecked(), planCorrected);
        click(d->B_OK);
        QApplication::processEvents();
        EXPECT_FALSE(d->isVisible()) << d->L_Message->text().toStdString();
    }
    QString tip(const char* edit) const {
        return control<QLineEdit>(QString::fromLatin1(edit))->toolTip();
    }
    QByteArray settingsText() const {
        QFile f(QString::fromStdString(settingsPath()));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }
};

TEST_F(CorrectionTest, ARefusedEntryNamesItAndChangesNothing) {
    start();
    sendAlways(true);
    plan(QStringLiteral("433.92"));
    setCorrection(QStringLiteral("20"), false);
    const zvk::RegisterImage image = regs();
    const QString tipBefore = tip("E_fLO1info");
    const uint64_t cycles = form->session().chip().writeCycles();
    CrystalCorrectionDialog* d = openDialog();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->E_ppm->text(), QStringLiteral("+20"));

    struct Case {
        QLineEdit* entry;
        QPushButton* button;  // null: OK
        const char* text;
        const char* says;
    };
    const Case cases[] = {
        {d->E_ppm, nullptr, "abc", "Correction [ppm]: \"abc\" is not a number"},
        {d->E_ppm, nullptr, "", "Correction [ppm]: \"\" is not a number"},
        {d->E_ppm, nullptr, "1500", "Correction [ppm]: a crystal correction of 1500.000 ppm"},
        {d->E_ppm, nullptr, "nan", "Correction [ppm]: \"nan\" is not a number"},
        {d->E_LO1Measured, d->B_FromLO1, "-1", "Measured LO1 [MHz]: \"-1\" is no frequency"},
        {d->E_LO1Measured, d->B_FromLO1, "lo1", "Measured LO1 [MHz]: \"lo1\" is not a number"},
        {d->E_LO1Measured, d->B_FromLO1, "600", "check the measurement against the plan"},
        {d->E_RFOffset, d->B_FromRFOffset, "1e6", "RF offset [Hz]: a crystal correction of"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        d->E_ppm->setText(QStringLiteral("+20"));
        typeInto(c.entry, QString::fromLatin1(c.text));
        click(c.button != nullptr ? c.button : d->B_OK);
        QApplication::processEvents();
        EXPECT_TRUE(d->L_Message->text().startsWith(QString::fromLatin1(c.says)) ||
                    d->L_Message->text().contains(QString::fromLatin1(c.says)))
            << d->L_Message->text().toStdString();
        EXPECT_TRUE(d->isVisible());
        // A refused measurement leaves the correction typed before it.
        if (c.button != nullptr) {
            EXPECT_EQ(d->E_ppm->text(), QStringLiteral("+20"));
        }
        EXPECT_EQ(form->session().crystalCorrection().ppm, 20);
        EXPECT_FALSE(form->session().crystalCorrection().planOnCorrectedCrystal);
        EXPECT_EQ(regs(), image);
        EXPECT_EQ(tip("E_fLO1info"), tipBefore);
        EXPECT_EQ(form->session().chip().writeCycles(), cycles);
    }
    // Cancel keeps the correction as it was, whatever the entries say.
    d->E_ppm->setText(QStringLiteral("-30"));
    d->reject();
    EXPECT_EQ(form->session().crystalCorrection().ppm, 20);
}

// The measurement on a board whose crystal is off by ppm gives that ppm back, from LO1 and
// from a known signal's offset, against the plan the window shows.
TEST_F(CorrectionTest, CalibrationGivesBackThePpmThatMadeTheMeasurement) {
    start();
    plan(QStringLiteral("433.92"));
    for (double ppm : {20.0, -50.0, 3.25}) {
        SCOPED_TRACE(ppm);
        const zvk::CorrectedFrequencies real =
            zvk::correctedFrequencies(form->session().frequencies(), ppm);
        CrystalCorrectionDialog* d = openDialog();
        ASSERT_NE(d, nullptr);
        // The plan measured against is shown to the hertz.
        EXPECT_TRUE(
            d->L_NominalPlan->text().contains(QString::fromStdString(zvk::correctedFrequencyText(
                zvk::correctedFrequencies(form->session().frequencies(), 0).fLO1))))
            << d->L_NominalPlan->text().toStdString();
        typeInto(d->E_LO1Measured, QString::number(real.fLO1, 'f', 9));
        click(d->B_FromLO1);
        EXPECT_EQ(d->L_Message->text(), QString());
        EXPECT_NEAR(d->E_ppm->text().toDouble(), ppm, 1e-3) << d->E_ppm->text().toStdString();
        d->E_ppm->clear();
        typeInto(d->E_RFOffset, QString::number(real.rfOffsetHz, 'f', 3));
        click(d->B_FromRFOffset);
        EXPECT_NEAR(d->E_ppm->text().toDouble(), ppm, 1e-3) << d->E_ppm->text().toStdString();
        click(d->B_OK);
        EXPECT_FALSE(d->isVisible());
        EXPECT_NEAR(form->session().crystalCorrection().ppm, ppm, 1e-3);
    }
}

// 433.92 MHz on the default plan (Ntot 4359) at +20 ppm, by hand: every frequency times
// 1.00002. LO1 581.2 -> 581.211624, LO2 145.3 -> 145.302906, IF1 147.3 -> 147.302946,
// IF2 2 -> 2.00004, PFD 0.133333 -> 0.133336, tuned RF 433.9 -> 433.908678, IFF 2.00004.
TEST_F(CorrectionTest, TooltipsCarryTheCorrectedValuesTheTuningInfoKeepsTheNominal) {
    start();
    plan(QStringLiteral("433.92"));
    ASSERT_EQ(form->session().frequencies().Ntot, 4359);
    QStringList nominal;
    for (size_t i = 0; i < zvk::kTuningInfoGroupRows; ++i) {
        const QString name = QStringLiteral("E_%1info").arg(zvk::kTuningRows[i].key);
        nominal << control<QLineEdit>(name)->text();
        EXPECT_EQ(control<QLineEdit>(name)->toolTip(), QString()) << "no correction yet";
    }
    setCorrection(QStringLiteral("20"), false);

    struct Worked {
        const char* edit;
        double mhz;
    };
    const Worked worked[] = {
        {"E_fRFinfo", 433.908678},  {"E_fLO1info", 581.211624}, {"E_fLO2info", 145.302906},
        {"E_fIF1info", 147.302946}, {"E_fIF2info", 2.00004},    {"E_fPFDinfo", 0.133336},
        {"E_IF2CH", 2.00004},
    };
    const zvk::CorrectedFrequencies core = form->session().correctedFrequencies();
    for (const Worked& w : worked) {
        SCOPED_TRACE(w.edit);
        const QString t = tip(w.edit);
        ASSERT_TRUE(t.endsWith(QStringLiteral(" MHz on the crystal corrected by +20 ppm")))
            << t.toStdString();
        EXPECT_NEAR(t.section(QLatin1Char(' '), 0, 0).toDouble(), w.mhz, 1.5e-6);
    }
    EXPECT_EQ(tip("E_fLO1info").toStdString(), zvk::correctedValueText(core.fLO1, 20));
    EXPECT_EQ(tip("E_fRFinfo").toStdString(), zvk::correctedValueText(core.fRF, 20));
    // The texts stay the nominal plan's.
    for (size_t i = 0; i < zvk::kTuningInfoGroupRows; ++i)
        EXPECT_EQ(
            control<QLineEdit>(QStringLiteral("E_%1info").arg(zvk::kTuningRows[i].key))->text(),
            nominal[int(i)]);
    EXPECT_EQ(form->session().frequencies().Ntot, 4359);

    // Back to none: no tooltip is left.
    setCorrection(QStringLiteral("0"), false);
    for (const char* edit : {"E_fRFinfo", "E_fLO1info", "E_IF2CH"})
        EXPECT_EQ(tip(edit), QString()) << edit;
}

// Planning on the corrected crystal picks N and A as the core's plan does; the tuning info
// then says its f RF is the nominal plan's. Unticked, the correction leaves N and A alone.
TEST_F(CorrectionTest, PlanningOnTheCorrectedCrystalChangesNAAsTheCoreDoes) {
    start();
    plan(QStringLiteral("433.92"));
    const zvk::FrequencyState nominal = form->session().frequencies();
    const double ppm = -500;  // 217 kHz at 433.92 MHz: two channels of 100 kHz
    zvk::FrequencyState expected = nominal;
    zvk::RegisterImage expectedRegs = regs();
    ASSERT_FALSE(zvk::planDividersOnCorrectedCrystal(expected, expectedRegs, float(nominal.fRF),
                                                     ppm, nominal.fRF));
    ASSERT_NE(expected.Ntot, nominal.Ntot) << "the case must move the channel";

    setCorrection(QStringLiteral("-500"), false);
    EXPECT_EQ(form->session().frequencies().Ntot, nominal.Ntot);
    EXPECT_FALSE(tip("E_fRFinfo").contains(QStringLiteral("nominal plan")));

    setCorrection(QStringLiteral("-500"), true);
    const zvk::FrequencyState& s = form->session().frequencies();
    EXPECT_EQ(s.Ntot, expected.Ntot);
    EXPECT_EQ(s.N, expected.N);
    EXPECT_EQ(s.A, expected.A);
    EXPECT_EQ(control<QLineEdit>("E_N")->text(), QString::number(expected.N));
    EXPECT_EQ(control<QLineEdit>("E_A")->text(), QString::number(expected.A));
    EXPECT_EQ(control<QLineEdit>("E_Ntot")->text(), QString::number(expected.Ntot));
    EXPECT_TRUE(tip("E_fRFinfo").contains(QString::fromStdString(zvk::nominalRfNote(ppm))))
        << tip("E_fRFinfo").toStdString();
    // The chip holds the new dividers once sent.
    click(control<QPushButton>("B_WriteReg"));
    expectChipHoldsImage();

    // Unticked again: the nominal crystal's plan comes back.
    setCorrection(QStringLiteral("-500"), false);
    EXPECT_EQ(form->session().frequencies().Ntot, nominal.Ntot);
    EXPECT_FALSE(tip("E_fRFinfo").contains(QStringLiteral("nominal plan")));
}

TEST_F(CorrectionTest, ThePlanPictureShowsTheCorrectedValuesBesideTheNominal) {
    start();
    plan(QStringLiteral("433.92"));
    tools()->FrequencyPlan1->trigger();
    PlanWindow* w = tools()->planWindow();
    ASSERT_NE(w, nullptr);
    PlanView* view = w->view();
    QTRY_VERIFY(!view->rendering());
    const std::string nominalSvg = view->drawing().svg;
    EXPECT_EQ(nominalSvg, zvk::drawPlan(zvk::planPicture(form->session().frequencies())).svg);
    const QImage nominalPicture = view->picture();

    setCorrection(QStringLiteral("20"), false);
    QTRY_VERIFY(view->drawing().svg != nominalSvg);
    const zvk::CorrectedFrequencies real = form->session().correctedFrequencies();
    EXPECT_NE(view->drawing().svg.find("LO1 " + zvk::correctedFrequencyText(real.fLO1)),
              std::string::npos);
    bool lo1 = false;
    for (const zvk::PlanMarker& m : view->drawing().markers)
        if (m.name == "first oscillator LO1") {
            lo1 = true;
            EXPECT_NE(zvk::markerText(m).find(zvk::correctedValueText(real.fLO1, 20)),
                      std::string::npos);
        }
    EXPECT_TRUE(lo1);

    // Back at 0 ppm the picture is the nominal one again, to the byte and the pixel.
    setCorrection(QStringLiteral("0"), false);
    QTRY_VERIFY(view->drawing().svg == nominalSvg);
    QTRY_VERIFY(!view->rendering());
    EXPECT_EQ(view->picture(), nominalPicture);
}

// The window writes CrystalPpm at close only when it changed the correction itself: a
// calibration stored meanwhile by zvk40310ctl survives, and the dialog's is written with
// every other byte of the file as the close would have left it.
TEST_F(CorrectionTest, TheSettingsFileKeepsACalibrationMadeWhileTheWindowRan) {
    start();
    ASSERT_TRUE(form->close());
    form.reset();
    const QByteArray comment = "; the bench's own note\n[Bench]\nOperator=lab 3\n";
    writeSettingsFile(settingsText() + comment);

    // zvk40310ctl calibrate stores its figure while the window is open: the default plan's
    // LO1 (Ntot 3860 at 10 / 75 MHz) measured 12.5 ppm high.
    start();
    const double lo1 = 3860 * 10.0 / 75 * (1 + 12.5e-6);
    const zvk::test::CtlResult r =
        zvk::test::runCtl({"calibrate", "--defaults", "--lo1-measured", zvk::fixedText(lo1, 9),
                           "--settings", settingsPath()});
    ASSERT_EQ(r.code, 0) << r.err;
    const QByteArray calibrated = settingsText();
    ASSERT_NEAR(zvk::readSettings(settingsPath()).crystalPpm.value_or(0), 12.5, 1e-6)
        << calibrated.toStdString();
    ASSERT_TRUE(form->close());
    form.reset();
    EXPECT_EQ(settingsText(), calibrated);
    EXPECT_NEAR(zvk::readSettings(settingsPath()).crystalPpm.value_or(0), 12.5, 1e-3);

    // The window took 12.5 at start; a correction changed in the dialog is written.
    start();
    EXPECT_NEAR(form->session().crystalCorrection().ppm, 12.5, 1e-3);
    const QByteArray before = settingsText();
    setCorrection(QStringLiteral("-7.25"), false);
    ASSERT_TRUE(form->close());
    form.reset();
    const auto expected = zvk::mergeCrystalPpmText(before.toStdString(), -7.25);
    ASSERT_TRUE(expected);
    EXPECT_EQ(settingsText().toStdString(), *expected);
    EXPECT_TRUE(settingsText().contains(comment));
}

}  // namespace
}  // namespace apptest
