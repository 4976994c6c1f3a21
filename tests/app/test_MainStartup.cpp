// SPDX-License-Identifier: MIT
// Starting the program: first start, start from a settings file, activation, closing.
#include <gmock/gmock.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStyleFactory>
#include <QTimer>
#include <memory>

#include "../ManPageExamples.h"
#include "DialogHands.h"
#include "WindowFixture.h"
#include "chip/Registers.h"
#include "storage/Settings.h"
#include "transport/Lpt.h"
#include "transport/PortIo.h"

using namespace apptest;

namespace {

constexpr zvk::RegisterImage kDefaults = {0x08C, 0x8F4, 0xF14, 0x100, 0x04B, 0x2AC, 0xE4B, 0x000};

QStringList items(const QComboBox* c) {
    QStringList l;
    for (int i = 0; i < c->count(); ++i) l << c->itemText(i);
    return l;
}

TEST_F(WindowTest, FirstStartWithoutSettingsFileShowsTheDefaultConfiguration) {
    start();
    EXPECT_EQ(form->windowTitle(), "ZVK40310 Evaluation Program v3.3 Default Settings");
    EXPECT_EQ(regs(), kDefaults);
    // controls from the image
    EXPECT_EQ(control<QComboBox>("CB_OPMODE")->currentText(), "Shutdown");
    EXPECT_EQ(control<QComboBox>("CB_MFO")->currentText(), "0001 - SPI out");
    EXPECT_EQ(control<RadioGroup>("RG_SHOWLD")->itemIndex(), 1);
    EXPECT_EQ(control<RadioGroup>("RG_MODSEL")->itemIndex(), 0);
    EXPECT_TRUE(control<QCheckBox>("CB_IFFTUNE")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("CB_IFFHLT")->isChecked());
    EXPECT_EQ(control<Edit>("E_R")->text(), "75");
    EXPECT_EQ(control<Edit>("E_RIFF")->text(), "684");
    EXPECT_EQ(control<Edit>("E_IFFRES")->text(), "75");
    EXPECT_EQ(control<Edit>("E_N")->text(), "120");
    EXPECT_EQ(control<Edit>("E_A")->text(), "20");
    EXPECT_EQ(control<Edit>("E_fRFI")->text(), "384.000");
    EXPECT_EQ(control<Edit>("E_fXTAL")->text(), "10.000");
    EXPECT_EQ(control<RadioGroup>("RG_IF1")->itemIndex(), 0);
    // the plan of the defaults
    EXPECT_EQ(control<QLineEdit>("E_fRFinfo")->text(), "384.000");
    EXPECT_EQ(control<QLineEdit>("E_fCHinfo")->text(), "0.100");
    EXPECT_EQ(control<QLineEdit>("E_fIF1info")->text(), "130.667");
    EXPECT_EQ(control<QLineEdit>("E_fIF2info")->text(), "2.000");
    EXPECT_EQ(control<QLineEdit>("E_fLO1info")->text(), "514.667");
    EXPECT_EQ(control<QLineEdit>("E_fLO2info")->text(), "128.667");
    EXPECT_EQ(control<QLineEdit>("E_fPFDinfo")->text(), "0.133");
    EXPECT_EQ(control<Edit>("E_Ntot")->text(), "3860");
    EXPECT_EQ(control<Edit>("E_IF2CH")->text(), "2.000");
    // the chip revision: new LNA items; the activation's sync shows the image's LNAGAIN
    EXPECT_EQ(items(control<QComboBox>("CB_LNAGAIN")),
              QStringList({"default -20dB", "default - 6dB", "default - 2dB", "default"}));
    EXPECT_EQ(control<QComboBox>("CB_LNAGAIN")->currentIndex(), 3);
    EXPECT_TRUE(control<RadioGroup>("RG_LDMODE")->isHidden());
    EXPECT_FALSE(control<RadioGroup>("RG_RSSIGAIN")->isHidden());
    // SPI mode: every page but ABC; Refresh usable; lab-only mode selection hidden
    for (QWidget* p :
         {control<QWidget>("TabMode"), control<QWidget>("TabGain"), control<QWidget>("TabPLL"),
          control<QWidget>("TabFIFF"), control<QWidget>("TabReg2")})
        EXPECT_TRUE(control<PageControl>("PageControl1")
                        ->isTabVisible(control<PageControl>("PageControl1")->indexOf(p)));
    EXPECT_FALSE(
        control<PageControl>("PageControl1")
            ->isTabVisible(
                control<PageControl>("PageControl1")->indexOf(control<QWidget>("TabABC"))));
    EXPECT_EQ(control<PageControl>("PageControl1")->currentPage(), control<QWidget>("TabMode"));
    EXPECT_TRUE(control<QPushButton>("B_Refresh")->isEnabled());
    EXPECT_TRUE(control<RadioGroup>("RG_SPI")->isHidden());
    EXPECT_TRUE(control<RadioGroup>("RGFreq")->isEnabled());
    EXPECT_EQ(control<RadioGroup>("RGFreq")->itemIndex(), -1);
    // status bar
    EXPECT_EQ(form->panelText(0), "Mode Control");
    EXPECT_EQ(form->panelText(1), "Shutdown  |  SPI out");
    EXPECT_EQ(form->panelText(2), "LPT Port Address: 0x0378");
    // bit view
    EXPECT_EQ(registerValue(0)->text(), "0x08C");
    EXPECT_EQ(registerValue(6)->text(), "0xE4B");
    EXPECT_EQ(bitLabel(0, 2)->background(), QColor(255, 0, 0));
    EXPECT_EQ(bitLabel(0, 0)->background(), QColor(0, 0, 255));
    // nothing sent without "Send always": the chip still holds its power-on image
    EXPECT_TRUE(form->session().board().chip->frames().empty());
}

TEST_F(WindowTest, TheWindowHasItsFixedFrameMenusAndTimers) {
    start();
    EXPECT_EQ(form->width(), 482);
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(control<QStatusBar>("StatusBar1")->height(), 19);
    // The fixture runs on the virtual board, which brings its own menu at the end; our
    // "Tools" stands between the layout's menus and "About".
    const QStringList menus = {"File", "LPT", "Settings", "Tools", "About", "Virtual Board"};
    QStringList shown;
    for (QAction* a : control<QMenuBar>("MainMenu1")->actions()) shown << a->text();
    EXPECT_EQ(shown, menus);
    EXPECT_TRUE(QCoreApplication::testAttribute(Qt::AA_DontUseNativeMenuBar));
    EXPECT_FALSE(control<QMenuBar>("MainMenu1")->isNativeMenuBar());
    struct Item {
        QAction* action;
        const char* caption;
        bool enabled;
        bool checked;
    };
    const Item table[] = {
        {control<QAction>("LoadConfig1"), "Load Config", true, false},
        {control<QAction>("SaveConfig1"), "Save Config", true, false},
        {control<QAction>("Exit1"), "Exit", true, false},
        {control<QAction>("N0x3781"), "0x378", true, true},
        {control<QAction>("N0x3BC1"), "0x3BC", true, false},
        {control<QAction>("userdefined1"), "user defined", true, false},
        {control<QAction>("default1"), "Defaults", true, false},
        {control<QAction>("extVref1"), "ext. Vref", false, false},
        {control<QAction>("SetVpwm1"), "Set Vpwm", false, false},
        {control<QAction>("About1"), "About", true, false},
    };
    for (const Item& i : table) {
        SCOPED_TRACE(i.caption);
        EXPECT_EQ(i.action->text(), i.caption);
        EXPECT_EQ(i.action->isEnabled(), i.enabled);
        EXPECT_EQ(i.action->isChecked(), i.checked);
        EXPECT_TRUE(i.action->shortcut().isEmpty());
    }
    EXPECT_TRUE(control<QMenu>("LPT1")->menuAction()->isEnabled());
    EXPECT_TRUE(control<QTimer>("T_Check")->isActive());
    EXPECT_EQ(control<QTimer>("T_Check")->interval(), 1000);
    EXPECT_FALSE(control<QTimer>("T_USB")->isActive());
    EXPECT_EQ(control<QTimer>("T_USB")->interval(), 100000);
}

TEST_F(WindowTest, FirstActivationPlansAndBeepsTwice) {
    // With a settings file nothing at start-up plans before the window shows.
    writeSettingsFile(
        "[CFG]\nSPISEL=1\nINJLO1=1\n[CWR]\n0=140\n1=2292\n2=3860\n3=256\n4=75\n"
        "5=684\n6=3659\n7=0\n");
    start();
    EXPECT_EQ(beeper.count, 2);
    EXPECT_EQ(form->windowTitle(), "ZVK40310 Evaluation Program v3.3");
    EXPECT_FALSE(form->programmaticUpdate());
    EXPECT_EQ(form->panelText(1), "Shutdown  |  SPI out");
}

TEST_F(WindowTest, StartFromSettingsFileInAbcMode) {
    writeSettingsFile(
        "[Form]\nTop=40\nLeft=30\n[Port]\nAdr=0x3BC\n[CFG]\nSPISEL=0\nPLLMUX=2\n"
        "FRF=371.1\nFXTAL=10\nINJLO1=1\n[CWR]\n0=141\n1=2292\n2=3860\n3=256\n"
        "4=75\n5=684\n6=3659\n7=0\n");
    start();
    PageControl* pc = control<PageControl>("PageControl1");
    for (int i = 0; i < pc->count(); ++i)
        EXPECT_EQ(pc->isTabVisible(i), pc->page(i) == control<QWidget>("TabABC")) << i;
    EXPECT_EQ(pc->currentPage(), control<QWidget>("TabABC"));
    EXPECT_EQ(form->panelText(0), "ABC-mode");
    EXPECT_EQ(form->panelText(2), "LPT Port Address: 0x03BC");
    EXPECT_TRUE(control<QAction>("N0x3BC1")->isChecked());
    EXPECT_FALSE(control<RadioGroup>("RGFreq")->isEnabled());
    EXPECT_FALSE(control<QPushButton>("B_Refresh")->isEnabled());
    EXPECT_EQ(control<QComboBox>("CB_fRF")->currentText(), "371.1");
    EXPECT_EQ(control<Edit>("E_fRFI")->text(), "371.100");
    EXPECT_EQ(control<QLineEdit>("E_fRFinfo")->text(), "371.100");
    EXPECT_EQ(control<QLineEdit>("E_MA")->text(), "1");
    EXPECT_EQ(control<QLineEdit>("E_MB")->text(), "0");
    EXPECT_EQ(control<QLineEdit>("E_MC")->text(), "0");
    EXPECT_EQ(form->pos(), QPoint(30, 40));
    // ABC mode starts from the default image: the stored R0 (Receive) is gone
    EXPECT_EQ(regs()[0] & 0x003, 0);
    EXPECT_EQ(form->windowTitle(), "ZVK40310 Evaluation Program v3.3");
    // "Send always" in ABC mode puts the preset on the pins instead of sending words
    sendAlways(true);
    form->session().board().chip->clearTrace();
    choose(control<QComboBox>("CB_fRF"), 7);
    EXPECT_EQ(form->session().board().chip->abcPreset(), 7);
    EXPECT_TRUE(form->session().board().chip->frames().empty());
    EXPECT_EQ(control<QLineEdit>("E_MA")->text() + control<QLineEdit>("E_MB")->text() +
                  control<QLineEdit>("E_MC")->text(),
              "111");
}

TEST_F(WindowTest, MissingInjectionKeySelectsNoLo1Side) {
    writeSettingsFile(
        "[CFG]\nSPISEL=1\n[CWR]\n0=140\n1=2292\n2=3860\n3=256\n4=75\n5=684\n"
        "6=3659\n7=0\n");
    start();
    EXPECT_EQ(control<RadioGroup>("RG_IF1")->itemIndex(), -1);
    EXPECT_EQ(form->session().frequencies().INJLO1, 2);
}

TEST_F(WindowTest, LabModeShowsModeSelectionAndSwitchesPages) {
    start(true);
    ASSERT_FALSE(control<RadioGroup>("RG_SPI")->isHidden());
    choose(control<RadioGroup>("RG_SPI"), 0);
    PageControl* pc = control<PageControl>("PageControl1");
    EXPECT_EQ(pc->currentPage(), control<QWidget>("TabABC"));
    EXPECT_FALSE(pc->isTabVisible(pc->indexOf(control<QWidget>("TabMode"))));
    EXPECT_FALSE(control<QPushButton>("B_Refresh")->isEnabled());
    EXPECT_EQ(form->panelText(0), "ABC-mode");
    EXPECT_EQ(form->panelText(1), "");
    choose(control<RadioGroup>("RG_SPI"), 1);
    EXPECT_EQ(pc->currentPage(), control<QWidget>("TabMode"));
    EXPECT_TRUE(pc->isTabVisible(pc->indexOf(control<QWidget>("TabReg2"))));
    EXPECT_FALSE(pc->isTabVisible(pc->indexOf(control<QWidget>("TabABC"))));
    EXPECT_EQ(form->panelText(0), "Mode Control");
    // coming back to SPI mode does not give Refresh back
    EXPECT_FALSE(control<QPushButton>("B_Refresh")->isEnabled());
}

TEST_F(WindowTest, ClosingWritesTheSettingsFile) {
    start();
    sendAlways(true);
    choose(control<QComboBox>("CB_OPMODE"), 1);
    bool closedSignal = false;
    QObject::connect(form.get(), &TForm1::closed, [&] { closedSignal = true; });
    const auto expected = regs();
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(closedSignal);
    bool existed = false;
    const zvk::Settings s = zvk::readSettings(settingsPath(), &existed);
    ASSERT_TRUE(existed);
    EXPECT_EQ(s.cwr, expected);
    EXPECT_EQ(s.width, 490);
    EXPECT_EQ(s.height, 580);
    EXPECT_EQ(s.adr, 0x378);
    EXPECT_TRUE(s.spisel);
    EXPECT_EQ(s.frf, 384.0);
    EXPECT_EQ(s.fxtal, 10.0);
    EXPECT_EQ(s.injlo1, 1);
    EXPECT_EQ(s.top, form->y());
    EXPECT_EQ(s.left, form->x());
}

TEST_F(WindowTest, AnUnreadableSettingsFileIsSaidBeforeTheLevelGoesOut) {
    // A folder where the file should be: not the same as no file at all.
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(settingsPath())));
    bool levelSentBefore = true;
    const auto seen = withAnswers([&] { start(false, "virtual-usb"); }, {[&](QWidget* w) {
                                      auto* box = qobject_cast<QMessageBox*>(w);
                                      ASSERT_NE(box, nullptr);
                                      auto* window = qobject_cast<TForm1*>(box->parentWidget());
                                      ASSERT_NE(window, nullptr);
                                      levelSentBefore =
                                          window->session().board().vusb->adapter(0).levelEnabled;
                                      box->button(QMessageBox::Ok)->click();
                                  }});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].text.startsWith("Cannot read the settings file"))
        << seen[0].text.toStdString();
    EXPECT_FALSE(levelSentBefore);
    // Confirmed: the defaults, and the level they give.
    EXPECT_TRUE(form->session().board().vusb->adapter(0).levelEnabled);
    EXPECT_EQ(form->session().board().vusb->adapter(0).levelMv, 5000);
    // Closing does not put a file in the folder's place.
    const auto closing =
        withAnswers([&] { EXPECT_FALSE(form->close()); }, {press(QMessageBox::No)});
    ASSERT_EQ(closing.size(), 1u);
    EXPECT_TRUE(QFileInfo(QString::fromStdString(settingsPath())).isDir());
}

TEST_F(WindowTest, ComingBackFromAnotherWindowOfTheProgramActivatesAgain) {
    start();
    const int afterStart = beeper.count;
    QWidget other;
    other.resize(100, 100);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_EQ(beeper.count, afterStart);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(beeper.count, afterStart + 2);
    // A message box of ours counts as another window, too. When it closes, the window
    // manager hands the focus back to the main window.
    answerMessageBox([&] { QMessageBox::information(form.get(), "t", "a message"); });
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(beeper.count, afterStart + 4);
}

TEST_F(WindowTest, ComingBackFromAnotherApplicationDoesNotActivate) {
    start();
    const int afterStart = beeper.count;
    // The program loses the focus to nothing of ours and gets it back.
    emit qApp->focusWindowChanged(nullptr);
    emit qApp->focusWindowChanged(form->windowHandle());
    EXPECT_EQ(beeper.count, afterStart);
}

}  // namespace

namespace {

TEST(CommandLine, LabModeVirtualBoardAndSettings) {
    const struct {
        std::vector<const char*> args;
        bool lab;
        const char* board;
        const char* settings;
    } cases[] = {
        {{"zvk40310"}, false, "hardware", ""},
        {{"zvk40310", "bench"}, true, "hardware", ""},
        {{"zvk40310", "Bench"}, false, "hardware", ""},
        {{"zvk40310", "BENCH"}, false, "hardware", ""},
        {{"zvk40310", "--virtual-board", "bench"}, false, "virtual", ""},
        {{"zvk40310", "bench", "--virtual-board"}, true, "virtual", ""},
        {{"zvk40310", "--virtual-board=usb"}, false, "virtual-usb", ""},
        {{"zvk40310", "bench", "x", "--virtual-board=usb"}, true, "virtual-usb", ""},
        {{"zvk40310", "--settings", "/tmp/a.INI", "bench"}, false, "hardware", "/tmp/a.INI"},
        {{"zvk40310", "--settings=b.INI"}, false, "hardware", "b.INI"},
        // One board option for both programs, with the virtual boards' knobs.
        {{"zvk40310", "--board", "virtual"}, false, "virtual", ""},
        {{"zvk40310", "bench", "--board=virtual-usb:unplug-after=5,signal=-20"},
         true,
         "virtual-usb:unplug-after=5,signal=-20",
         ""},
        // The toolkit's own options are not unknown ones.
        {{"zvk40310", "-platform", "offscreen", "-style", "fusion"}, false, "hardware", ""},
    };
    for (const auto& c : cases) {
        const CommandLine got = parseCommandLine(int(c.args.size()), c.args.data());
        EXPECT_FALSE(got.exitCode) << c.args.back() << ": " << got.text;
        EXPECT_EQ(got.labMode, c.lab) << c.args.size();
        EXPECT_EQ(got.boardName, c.board) << c.args.back();
        EXPECT_EQ(got.settingsPath, c.settings) << c.args.back();
    }
}

// Every example of the window's manual page starts the window as the page shows it, with
// a home folder of its own for "~": on the virtual board as written, and the one for the
// hardware once on the virtual board and once as written, where a machine without the board
// says "Driver not open". Closing saves the settings where the example named them, its
// folder made when there was none.
TEST_F(WindowTest, EveryExampleOfTheManualPageStartsTheWindow) {
    const auto examples =
        zvk::test::manPageExamples(std::string(ZVK_SOURCE_DIR) + "/docs/man/zvk40310.1");
    ASSERT_GE(examples.size(), 3u) << "the examples were not found";
    zvk::HardwarePortIo probe;
    const bool hardwareHere = probe.open(0x378);
    int runs = 0;
    for (const std::string& example : examples) {
        SCOPED_TRACE(example);
        QTemporaryDir home;
        std::vector<std::string> words = zvk::test::exampleWords(example);
        ASSERT_EQ(words.at(0), "zvk40310");
        for (std::string& w : words)
            if (w.rfind("~/", 0) == 0) w = home.path().toStdString() + w.substr(1);
        std::vector<std::vector<std::string>> variants = {words};
        std::vector<const char*> args;
        for (const std::string& w : words) args.push_back(w.c_str());
        const CommandLine written = parseCommandLine(int(args.size()), args.data());
        ASSERT_FALSE(written.exitCode) << written.text;
        if (written.boardName == "hardware") {
            variants.insert(variants.begin(), words);
            variants.front().push_back("--virtual-board");
            if (hardwareHere) variants.pop_back();
        }
        for (const auto& variant : variants) {
            std::vector<const char*> argv;
            for (const std::string& w : variant) argv.push_back(w.c_str());
            const CommandLine c = parseCommandLine(int(argv.size()), argv.data());
            ASSERT_FALSE(c.exitCode) << c.text;
            MainOptions o;
            o.settingsPath = c.settingsPath.empty() ? settingsPath() : c.settingsPath;
            o.boardName = c.boardName;
            o.labMode = c.labMode;
            o.beeper = &beeper;
            o.clock = &clock;
            o.realtime = false;
            const std::vector<Seen> seen = withAnswers(
                [&] {
                    form = std::make_unique<TForm1>(o);
                    form->showAndActivate();
                    QApplication::processEvents();
                },
                {press(QMessageBox::Ok), press(QMessageBox::Ok)});
            ++runs;
            if (c.boardName == "hardware") {
                bool driverNotOpen = false;
                for (const Seen& box : seen) driverNotOpen |= box.text == "Driver not open";
                EXPECT_TRUE(driverNotOpen || form->session().usbInUse());
            } else {
                EXPECT_TRUE(seen.empty()) << seen.front().text.toStdString();
                EXPECT_TRUE(form->session().isVirtual());
            }
            EXPECT_EQ(control<RadioGroup>("RG_SPI")->isVisibleTo(form.get()), c.labMode);
            QFile::remove(QString::fromStdString(o.settingsPath));
            EXPECT_TRUE(form->close());
            EXPECT_TRUE(QFile::exists(QString::fromStdString(o.settingsPath))) << o.settingsPath;
            form.reset();
        }
    }
    EXPECT_GE(runs, 4);
}

TEST(CommandLine, HelpVersionAndUnknownOptionsEndTheProgram) {
    const struct {
        std::vector<const char*> args;
        int code;
        const char* says;
    } cases[] = {
        {{"zvk40310", "--help"}, 0, "--settings <FILE>"},
        {{"zvk40310", "-h"}, 0, "--virtual-board"},
        {{"zvk40310", "--version"}, 0, "zvk40310 "},
        {{"zvk40310", "--bogus"}, 1, "bogus"},
        {{"zvk40310", "--virtual-board=USB"}, 1, "virtual-board"},
        {{"zvk40310", "--settings"}, 1, "settings"},
        {{"zvk40310", "--board", "bogus"}, 1, "unknown board \"bogus\""},
        {{"zvk40310", "--board", "virtual:timeout"}, 1, "needs the adapter"},
    };
    for (const auto& c : cases) {
        const CommandLine got = parseCommandLine(int(c.args.size()), c.args.data());
        ASSERT_TRUE(got.exitCode) << c.args.back();
        EXPECT_EQ(*got.exitCode, c.code) << c.args.back();
        EXPECT_THAT(got.text, ::testing::HasSubstr(c.says)) << c.args.back();
        // A refusal shows the usage too.
        if (c.code != 0) {
            EXPECT_THAT(got.text, ::testing::HasSubstr("Usage: zvk40310"));
        }
    }
}

}  // namespace

namespace {

TEST(ProgramLook, FontIsTheFirstInstalledNarrowFamilyAtElevenPixels) {
    const QFont f = programFont();
    EXPECT_EQ(f.pixelSize(), 11);
    QString expected = QStringLiteral("Sans Serif");
    for (const char* family : {"Liberation Sans", "Arial", "DejaVu Sans"}) {
        if (QFontDatabase::hasFamily(QString::fromLatin1(family))) {
            expected = QString::fromLatin1(family);
            break;
        }
    }
    EXPECT_EQ(f.family(), expected);
    EXPECT_EQ(QApplication::font().family(), expected);
}

TEST(ProgramLook, MenuBarOverflowIconIsReadWhenDrawn) {
    // The program's style hands the icon out unread; drawn, it is the classic style's own.
    std::unique_ptr<QStyle> classic(QStyleFactory::create(QStringLiteral("Windows")));
    ASSERT_TRUE(classic);
    for (const auto which :
         {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton}) {
        SCOPED_TRACE(int(which));
        const QIcon deferred = QApplication::style()->standardIcon(which);
        const QIcon direct = classic->standardIcon(which);
        ASSERT_FALSE(deferred.isNull());
        const QImage got = deferred.pixmap(QSize(16, 16)).toImage();
        ASSERT_FALSE(got.isNull());
        EXPECT_EQ(got, direct.pixmap(QSize(16, 16)).toImage());
        EXPECT_EQ(deferred.actualSize(QSize(16, 16)), direct.actualSize(QSize(16, 16)));
    }
    // other icons are the classic style's, untouched
    EXPECT_EQ(
        QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32).toImage(),
        classic->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32).toImage());
}

}  // namespace

namespace {

// Stored values that would lose the window or point it at a device that is no parallel
// port: the window comes up on the primary screen at the default port, and a preset
// index outside the list selects none (the pins show what the lines carry).
TEST_F(WindowTest, StoredPlaceAndValuesOutOfRangeAreTakenSafely) {
    writeSettingsFile(
        "[Form]\nTop=-99999\nLeft=2147483647\n[Port]\nAdr=0x12345\n[CFG]\nSPISEL=0\n"
        "PLLMUX=9\n");
    start();
    const QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(form->pos(), screen->availableGeometry().topLeft());
    EXPECT_EQ(form->session().portBase(), 0x378);
    EXPECT_EQ(form->session().chip().presetIndex(), -1);
    EXPECT_EQ(control<QLineEdit>("E_MA")->text(), "1");
    EXPECT_EQ(control<QLineEdit>("E_MB")->text(), "1");
    EXPECT_EQ(control<QLineEdit>("E_MC")->text(), "1");
    sendAlways(true);
    click(control<QPushButton>("B_WriteReg"));
    EXPECT_EQ(form->session().board().chip->lines(), 0x07);
}

}  // namespace

namespace {

// The activation plans after its recompute step: the tuning info then follows the planned
// image, so f IF1 is LO2 plus the IF2 (LO2 low) and not LO2 itself.
TEST_F(WindowTest, TheFirstActivationShowsThePlannedFrequencies) {
    writeSettingsFile(
        "[CFG]\nSPISEL=1\nFRF=384\n[CWR]\n0=140\n1=2292\n2=3860\n3=256\n"
        "4=75\n5=684\n6=3659\n");
    start();
    const double lo2 = control<QLineEdit>("E_fLO2info")->text().toDouble();
    const double if2 = control<QLineEdit>("E_fIF2info")->text().toDouble();
    EXPECT_NEAR(control<QLineEdit>("E_fIF1info")->text().toDouble(), lo2 + if2, 0.0015)
        << control<QLineEdit>("E_fIF1info")->text().toStdString();
}

// Switching to ABC by "Mode Selection" plans the preset with both injection sides high,
// as the ABC page gives it.
TEST_F(WindowTest, AbcByModeSelectionShowsThePresetsPlan) {
    start(true);
    const int beeps = beeper.count;
    const uint64_t cycles = form->session().chip().writeCycles();
    choose(control<RadioGroup>("RG_SPI"), 0);
    EXPECT_EQ(control<RadioGroup>("RG_SSBSEL")->itemIndex(), 0);
    EXPECT_EQ(control<RadioGroup>("RG_IF1")->itemIndex(), 0);
    EXPECT_EQ(control<Edit>("E_Ntot")->text(), "3675");
    EXPECT_EQ(control<Edit>("E_N")->text(), "114");
    EXPECT_EQ(control<Edit>("E_A")->text(), "27");
    EXPECT_EQ(control<QLineEdit>("E_fRFinfo")->text(), "369.500");
    // The quiet replan adds no beep and no write cycle to what the switch does.
    EXPECT_EQ(beeper.count - beeps, 4);
    EXPECT_EQ(form->session().chip().writeCycles(), cycles);
}

}  // namespace
