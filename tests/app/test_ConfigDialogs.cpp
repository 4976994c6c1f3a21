// SPDX-License-Identifier: MIT
// "Load Config" and "Save Config" through their dialogs.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "DialogHands.h"
#include "WindowFixture.h"
#include "plan/FrequencyPlan.h"
#include "storage/FileText.h"

using namespace apptest;

namespace {

class ConfigDialogTest : public WindowTest {
  protected:
    QString path(const char* name) const { return dir.path() + "/" + name; }
    void writeFile(const char* name, const QByteArray& text) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    std::vector<Seen> save(const Answer& answer) {
        return withAnswers([&] { control<QAction>("SaveConfig1")->trigger(); },
                           {answer, press(QMessageBox::Ok)});
    }
    std::vector<Seen> load(const Answer& answer) {
        return withAnswers([&] { control<QAction>("LoadConfig1")->trigger(); },
                           {answer, press(QMessageBox::Ok)});
    }
    static constexpr const char* kTitle = "ZVK40310 Evaluation Program v3.3";
};

TEST_F(ConfigDialogTest, SaveAndLoadRoundTrip) {
    start();
    // Something other than the defaults in every item the file keeps.
    choose(control<QComboBox>("CB_OPMODE"), 1);
    choose(control<RadioGroup>("RG_IF1"), 1);
    clickTab(control<PageControl>("PageControl1"), control<QWidget>("TabFIFF"));
    typeAndEnter(control<Edit>("E_fRFI"), "433.92");
    click(control<QPushButton>("B_Calc"));
    const zvk::RegisterImage saved = regs();
    const QString tuned = control<QLineEdit>("E_fRFinfo")->text();
    const int16_t injlo1 = form->session().frequencies().INJLO1;

    // The first save proposes ".cfg"; a name with another extension is saved as .cfg.
    auto seen = save(chooseFile(path("setup.txt")));
    ASSERT_EQ(seen.size(), 1u) << seen.back().text.toStdString();
    EXPECT_EQ(seen[0].objectName, "SaveDialog1");
    EXPECT_EQ(seen[0].filters, QStringList{"Configuration file (*.cfg)"});
    EXPECT_EQ(seen[0].defaultSuffix, "");
    EXPECT_EQ(seen[0].text, ".cfg");
    EXPECT_TRUE(QFileInfo::exists(path("setup.cfg")));
    EXPECT_FALSE(QFileInfo::exists(path("setup.txt")));
    EXPECT_EQ(form->windowTitle(), QString(kTitle) + " setup.cfg");
    EXPECT_EQ(form->configFileName(), path("setup.cfg"));

    control<QAction>("default1")->trigger();
    ASSERT_NE(regs(), saved);
    choose(control<RadioGroup>("RGFreq"), 1);

    seen = load(chooseFile(path("setup.cfg")));
    ASSERT_EQ(seen.size(), 1u) << seen.back().text.toStdString();
    EXPECT_EQ(seen[0].objectName, "OpenDialog1");
    EXPECT_EQ(seen[0].filters, QStringList({"Configuration files (*.cfg)", "NTL files (*.b)"}));
    EXPECT_EQ(seen[0].defaultSuffix, "cfg");
    EXPECT_EQ(seen[0].text, "setup.cfg");  // the current name is the proposal
    EXPECT_EQ(regs(), saved);
    EXPECT_TRUE(form->session().chip().spiMode());
    EXPECT_EQ(control<Edit>("E_fRFI")->text(), "433.920");
    EXPECT_EQ(control<Edit>("E_fXTAL")->text(), "10.000");
    EXPECT_EQ(form->session().frequencies().INJLO1, injlo1);
    EXPECT_EQ(control<RadioGroup>("RGFreq")->itemIndex(), -1);
    EXPECT_EQ(control<QLineEdit>("E_fRFinfo")->text(), tuned);
    EXPECT_EQ(form->windowTitle(), QString(kTitle) + " setup.cfg");
}

// Saving over an existing file asks first; "No" leaves the file and the caption alone.
TEST_F(ConfigDialogTest, SavingOverAFileAsksFirst) {
    start();
    writeFile("kept.cfg", "mine\r\n");
    const QString caption = form->windowTitle();
    auto seen = withAnswers([&] { control<QAction>("SaveConfig1")->trigger(); },
                            {chooseFile(path("kept")), press(QMessageBox::No)});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].kind, "message");
    EXPECT_TRUE(seen[1].text.contains("\"kept.cfg\" already exists")) << seen[1].text.toStdString();
    EXPECT_EQ(zvk::readFileText(path("kept.cfg").toStdString()).value_or(""), "mine\r\n");
    EXPECT_EQ(form->windowTitle(), caption);

    seen = withAnswers([&] { control<QAction>("SaveConfig1")->trigger(); },
                       {chooseFile(path("kept.cfg")), press(QMessageBox::Yes)});
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_NE(zvk::readFileText(path("kept.cfg").toStdString()).value_or(""), "mine\r\n");
    EXPECT_EQ(form->windowTitle(), QString(kTitle) + " kept.cfg");
}

TEST_F(ConfigDialogTest, CancelledDialogsChangeNothing) {
    start();
    const QString caption = form->windowTitle();
    const auto before = regs();
    EXPECT_EQ(save(cancel()).size(), 1u);
    EXPECT_EQ(load(cancel()).size(), 1u);
    EXPECT_EQ(form->windowTitle(), caption);
    EXPECT_TRUE(form->configFileName().isEmpty());
    EXPECT_EQ(regs(), before);
    EXPECT_TRUE(QDir(dir.path()).entryList({"*.cfg"}).isEmpty());
}

TEST_F(ConfigDialogTest, NtlFileWithOnlyTheFrequencyPlansForIt) {
    start();
    const auto before = regs();
    writeFile("demo.b", "fRF\t868.300\r\n");
    const auto seen = load(chooseFile(path("demo.b")));
    ASSERT_EQ(seen.size(), 1u) << seen.back().text.toStdString();
    EXPECT_EQ(form->windowTitle(), QString(kTitle) + " demo.cfg");
    EXPECT_EQ(form->configFileName(), path("demo.b"));
    EXPECT_EQ(control<Edit>("E_fRFI")->text(), "868.300");
    EXPECT_EQ(control<QLineEdit>("E_fRFinfo")->text().left(3), "868");
    // Only the dividers, in R2 and R3, moved.
    EXPECT_NE(regs()[2], before[2]);
    for (int r : {0, 1, 4, 5, 6}) EXPECT_EQ(regs()[size_t(r)], before[size_t(r)]) << "R" << r;
}

TEST_F(ConfigDialogTest, AbcModeFileSwitchesModeAndPlansThePreset) {
    start();
    writeFile("abc.cfg", "SPISEL\t0\r\nPLLMUX\t2\r\n");
    const auto seen = load(chooseFile(path("abc.cfg")));
    ASSERT_EQ(seen.size(), 1u) << seen.back().text.toStdString();
    EXPECT_FALSE(form->session().chip().spiMode());
    EXPECT_TRUE(control<PageControl>("PageControl1")
                    ->isTabVisible(
                        control<PageControl>("PageControl1")->indexOf(control<QWidget>("TabABC"))));
    EXPECT_FALSE(
        control<PageControl>("PageControl1")
            ->isTabVisible(
                control<PageControl>("PageControl1")->indexOf(control<QWidget>("TabMode"))));
    EXPECT_EQ(form->panelText(0), "ABC-mode");
    EXPECT_EQ(control<QComboBox>("CB_fRF")->currentIndex(), 2);
    EXPECT_EQ(form->session().frequencies().fRF,
              zvk::parseRfEdit(zvk::formatFrequency(zvk::kAbcPresets[2].fRF)));
}

TEST_F(ConfigDialogTest, BadLineStopsTheLoadAndKeepsWhatCameBefore) {
    start();
    const auto before = regs();
    const QString rfText = control<Edit>("E_fRFI")->text();
    writeFile("bad.cfg",
              "*START\r\nCntrlReg0\t123\r\nfRF\t500.000\r\nCntrlReg1\t0x5\r\nfXtal\t12.000\r\n"
              "CntrlReg4\t456\r\n");
    const auto seen = load(chooseFile(path("bad.cfg")));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].kind, "message");
    EXPECT_TRUE(seen[1].text.contains("line 4")) << seen[1].text.toStdString();
    EXPECT_TRUE(seen[1].text.contains("0x5")) << seen[1].text.toStdString();
    // The name and caption had already changed; the lines above the bad one were taken.
    EXPECT_EQ(form->windowTitle(), QString(kTitle) + " bad.cfg");
    EXPECT_EQ(regs()[0], 0x123);
    EXPECT_EQ(form->session().frequencies().fRF, 500.0);
    // Nothing from below it, and the window was not brought into line.
    EXPECT_EQ(form->session().frequencies().fXTAL, 10.0);
    EXPECT_EQ(regs()[4], before[4]);
    for (int r = 1; r < 8; ++r) EXPECT_EQ(regs()[size_t(r)], before[size_t(r)]) << "R" << r;
    EXPECT_EQ(control<Edit>("E_fRFI")->text(), rfText);
}

// A file without any of the loader's keys is no configuration: one box names it, and the
// caption, the name the next dialog proposes, the image, the plan and the chip stay.
TEST_F(ConfigDialogTest, AFileWithoutAnyKeyIsRefusedAndChangesNothing) {
    start();
    sendAlways(true);
    writeFile("setup.cfg", "CntrlReg0\t08D\r\n");
    ASSERT_EQ(load(chooseFile(path("setup.cfg"))).size(), 1u);
    const QString caption = form->windowTitle();
    const auto image = regs();
    const auto fs = form->session().frequencies();
    const size_t frames = form->session().board().chip->frames().size();
    const int beeps = beeper.count;
    writeFile("notes.txt", "Receiver notes\nThe LO sits above the signal.\n\nroot:x:0:0\n");
    const auto seen = load(chooseFile(path("notes.txt")));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].kind, "message");
    EXPECT_TRUE(seen[1].text.contains(path("notes.txt"))) << seen[1].text.toStdString();
    EXPECT_TRUE(seen[1].text.contains("not a configuration file")) << seen[1].text.toStdString();
    EXPECT_EQ(form->windowTitle(), caption);
    EXPECT_EQ(regs(), image);
    EXPECT_EQ(form->session().frequencies().fRF, fs.fRF);
    EXPECT_EQ(form->session().frequencies().Ntot, fs.Ntot);
    EXPECT_EQ(form->session().board().chip->frames().size(), frames) << "nothing written";
    EXPECT_EQ(beeper.count, beeps) << "nothing planned";
    // The next dialog proposes the file loaded before.
    const auto again = load(cancel());
    ASSERT_EQ(again.size(), 1u);
    EXPECT_TRUE(again[0].text.endsWith("setup.cfg")) << again[0].text.toStdString();
}

}  // namespace
