// SPDX-License-Identifier: MIT
// "Tools > Remote Control…": a client on the loopback drives the window's session, and the
// window shows what it changed as if the user had done it.
#include <QDir>
#include <QFileInfo>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "../ScpiClient.h"
#include "RemoteControlWindow.h"
#include "WindowFixture.h"
#include "chip/FieldMap.h"
#include "plan/TuningRows.h"

namespace apptest {
namespace {

using zvk::test::TcpClient;

// The next line from the server; the window's event loop runs meanwhile, as the server
// lives on it. nullopt when the server closed or nothing came for a long while.
std::optional<std::string> awaitLine(TcpClient& c) {
    for (int i = 0; i < 5000; ++i) {
        c.readAvailable();
        if (auto line = c.takeLine()) return line;
        if (c.ended()) return std::nullopt;
        QTest::qWait(2);
    }
    return std::nullopt;
}

std::optional<std::string> ask(TcpClient& c, const std::string& line) {
    if (!c.send(line + "\n")) return std::nullopt;
    return awaitLine(c);
}

// A command that answers nothing, and *OPC? on a line of its own after it: the "1" comes
// once the command has run (a line stops at its first error; the next line still runs).
void command(TcpClient& c, const std::string& line) {
    EXPECT_EQ(ask(c, line + "\n*OPC?"), "1") << line;
}

// Runs the loop until the client sees the server close, or a long while has passed.
bool awaitEnd(TcpClient& c) {
    for (int i = 0; i < 5000 && !c.ended(); ++i) {
        c.readAvailable();
        QTest::qWait(2);
    }
    return c.ended();
}

const zvk::Field& fieldOf(const char* control) {
    for (const zvk::Field& f : zvk::kFieldMap)
        if (QLatin1String(f.control) == QLatin1String(control)) return f;
    ADD_FAILURE() << "no field has the control " << control;
    return zvk::kFieldMap[0];
}

// A control's state as a text: an item, a check, an edit's text.
QString stateOf(QWidget* w) {
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* c = qobject_cast<QComboBox*>(w)) return QString::number(c->currentIndex());
    if (auto* r = qobject_cast<RadioGroup*>(w)) return QString::number(r->itemIndex());
    if (auto* k = qobject_cast<QCheckBox*>(w)) return k->isChecked() ? "on" : "off";
    if (auto* b = qobject_cast<QPushButton*>(w)) return b->isEnabled() ? "enabled" : "disabled";
    return w->isVisible() ? "shown" : "hidden";
}

// What a main window shows of the plan and the image, by control name.
std::map<std::string, QString> shownBy(TForm1& form) {
    std::map<std::string, QString> v;
    auto add = [&](const std::string& name) {
        auto* w = findControl<QWidget>(&form, QString::fromStdString(name));
        if (w) v[name] = stateOf(w);
    };
    for (const zvk::Field& f : zvk::kFieldMap)
        if (f.encoding != zvk::Encoding::Status) add(f.control);
    for (const char* name : {"RG_IF1", "RGFreq", "RG_SPI", "CB_fRF", "E_fRFI", "E_fXTAL", "E_Ntot",
                             "E_IF2CH", "B_Refresh", "L_LDT"})
        add(name);
    for (size_t i = 0; i < zvk::kTuningInfoGroupRows; ++i)
        add(std::string("E_") + zvk::kTuningRows[i].key + "info");
    for (int r = 0; r < 8; ++r)
        v["L_R" + std::to_string(r)] =
            findControl<FastLabel>(&form, QStringLiteral("L_R%1").arg(r))->text();
    auto* pages = findControl<PageControl>(&form, "PageControl1");
    for (int i = 0; i < pages->count(); ++i)
        v["tab " + pages->page(i)->objectName().toStdString()] =
            pages->isTabVisible(i) ? "shown" : "hidden";
    v["page"] = pages->currentPage()->objectName();
    v["caption"] = form.windowTitle();
    v["panel 0"] = form.panelText(0);
    v["panel 1"] = form.panelText(1);
    return v;
}

// The page that holds a control.
QWidget* pageOf(TForm1& form, const char* control) {
    auto* w = findControl<QWidget>(&form, QString::fromLatin1(control));
    auto* pages = findControl<PageControl>(&form, "PageControl1");
    for (int i = 0; i < pages->count(); ++i)
        if (w && pages->page(i)->isAncestorOf(w)) return pages->page(i);
    ADD_FAILURE() << control << " is on no page";
    return pages->page(0);
}

class RemoteTest : public WindowTest {
  protected:
    // Opens "Remote Control…" and starts its server on a free loopback port.
    RemoteControlWindow* serve() {
        QAction* item = toolsItem("RemoteControl1");
        EXPECT_NE(item, nullptr);
        if (item == nullptr) return nullptr;
        EXPECT_TRUE(item->shortcut().isEmpty());
        item->trigger();
        RemoteControlWindow* w = form->remoteControl();
        EXPECT_NE(w, nullptr);
        if (w == nullptr) return nullptr;
        EXPECT_TRUE(w->isVisible());
        w->addressEdit->setText(QStringLiteral("127.0.0.1:0"));
        click(w->startButton);
        EXPECT_TRUE(w->listening()) << w->stateLabel->text().toStdString();
        return w;
    }
    std::unique_ptr<TcpClient> connectClient() {
        auto c = std::make_unique<TcpClient>(form->remoteControl()->port());
        EXPECT_TRUE(c->connected());
        return c;
    }
};

// A second main window, driven by hand beside the remote one.
struct HandWindow {
    HandWindow() {
        MainOptions o;
        o.settingsPath = (dir.path() + "/zvk40310.INI").toStdString();
        o.boardName = "virtual";
        o.beeper = &beeper;
        o.clock = &clock;
        o.realtime = false;
        form = std::make_unique<TForm1>(o);
        form->showAndActivate();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        QApplication::processEvents();
    }
    template <class T = QWidget>
    T* control(const char* name) const {
        return findControl<T>(form.get(), QString::fromLatin1(name));
    }
    QTemporaryDir dir;
    CountingBeeper beeper;
    zvk::SteppingClock clock{1};
    std::unique_ptr<TForm1> form;
};

// A client's command on one window and the user's action on another: both show the same.
struct SameAsByHand {
    const char* what;
    const char* control;  // both windows show its page, as the user looks at it
    std::function<std::string(TForm1&)> command;
    std::function<void(HandWindow&)> byHand;
    // The hand does more than the change: a write cycle for each key typed, a bit name in
    // the mode panel for the pointer over the bit view. Write cycles and the mode panel
    // are then not compared.
    bool handDoesMore = false;
};

std::string fieldCommand(const char* control, int state) {
    return std::string("CHIP:FIELD ") + fieldOf(control).name + "," + std::to_string(state);
}

const SameAsByHand kSameAsByHand[] = {
    {"FREQ", "B_Calc", [](TForm1&) { return std::string("FREQ 433.92MHZ"); },
     [](HandWindow& h) {
         typeInto(h.control<Edit>("E_fRFI"), "433.92");
         click(h.control<QPushButton>("B_Calc"));
     }},
    {"a combo box", "CB_OPMODE", [](TForm1&) { return fieldCommand("CB_OPMODE", 1); },
     [](HandWindow& h) { choose(h.control<QComboBox>("CB_OPMODE"), 1); }},
    {"MFO", "CB_MFO", [](TForm1&) { return fieldCommand("CB_MFO", zvk::kMfoLdOut); },
     [](HandWindow& h) { choose(h.control<QComboBox>("CB_MFO"), zvk::kMfoLdOut); }},
    {"a radio group", "RG_SSBSEL",
     [](TForm1& f) {
         return fieldCommand("RG_SSBSEL", 1 - f.session().controlState(fieldOf("RG_SSBSEL")));
     },
     [](HandWindow& h) {
         auto* g = h.control<RadioGroup>("RG_SSBSEL");
         choose(g, 1 - g->itemIndex());
     }},
    {"a check box", "CB_AGCEN",
     [](TForm1& f) {
         return fieldCommand("CB_AGCEN", 1 - f.session().controlState(fieldOf("CB_AGCEN")));
     },
     [](HandWindow& h) { click(h.control<QCheckBox>("CB_AGCEN")); }},
    {"a filter edit", "E_RIFF",
     [](TForm1& f) {
         return "IFFILTER:RDIVIDER " +
                std::to_string(f.session().controlState(fieldOf("E_RIFF")) - 1);
     },
     [](HandWindow& h) { click(h.control<UpDown>("UpD_RIFF"), QPoint(8, 17)); }},
    {"the crystal", "E_fXTAL", [](TForm1&) { return std::string("ROSC:FREQ 12MHZ"); },
     [](HandWindow& h) { typeAndEnter(h.control<Edit>("E_fXTAL"), "12"); }},
    {"the LO1 side", "RG_IF1", [](TForm1&) { return std::string("INJ:LO1 LOW"); },
     [](HandWindow& h) { choose(h.control<RadioGroup>("RG_IF1"), 1); }},
    {"a register", "LA00",
     [](TForm1& f) { return "REG0 " + std::to_string(f.session().regs()[0] ^ 1); },
     [](HandWindow& h) { click(h.control<BitLabel>("LA00")); }, true},
    {"*RST", "CB_OPMODE", [](TForm1&) { return std::string("*RST"); },
     [](HandWindow& h) {
         h.control<QMenu>("Settings1")->findChild<QAction*>("default1")->trigger();
     }},
};

TEST_F(RemoteTest, AClientsChangeShowsAsTheUsersOwn) {
    for (const SameAsByHand& c : kSameAsByHand) {
        SCOPED_TRACE(c.what);
        start();
        sendAlways(true);
        ASSERT_NE(serve(), nullptr);
        const auto client = connectClient();
        HandWindow hand;
        {
            auto* box = hand.control<QCheckBox>("CB_SendAlways");
            click(box);
            ASSERT_TRUE(box->isChecked());
        }
        clickTab(control<PageControl>("PageControl1"), pageOf(*form, c.control));
        clickTab(hand.control<PageControl>("PageControl1"), pageOf(*hand.form, c.control));
        QApplication::processEvents();
        const auto before = shownBy(*form);
        const uint64_t remoteWrites = form->session().chip().writeCycles();
        const uint64_t handWrites = hand.form->session().chip().writeCycles();
        const int beeps = beeper.count;

        command(*client, c.command(*form));
        EXPECT_EQ(ask(*client, "SYST:ERR?"), "0,\"No error\"");
        c.byHand(hand);
        QApplication::processEvents();

        auto remote = shownBy(*form);
        auto byHand = shownBy(*hand.form);
        EXPECT_NE(remote, before) << "the command changed nothing the window shows";
        if (c.handDoesMore) {
            remote.erase("panel 1");
            byHand.erase("panel 1");
        } else {
            EXPECT_EQ(form->session().chip().writeCycles() - remoteWrites,
                      hand.form->session().chip().writeCycles() - handWrites);
        }
        for (const auto& [name, text] : byHand) EXPECT_EQ(remote[name], text) << name;
        EXPECT_EQ(regs(), hand.form->session().regs());
        expectChipHoldsImage();
        // The planning step's beeps are for a click, not for a script.
        EXPECT_EQ(beeper.count, beeps);
        form.reset();
        QFile::remove(QString::fromStdString(settingsPath()));
    }
}

TEST_F(RemoteTest, ModeNeedsLabModeAndThePagesFollow) {
    for (const bool lab : {false, true}) {
        SCOPED_TRACE(lab ? "lab mode" : "no lab mode");
        start(lab);
        ASSERT_NE(serve(), nullptr);
        const auto client = connectClient();
        auto* pages = control<PageControl>("PageControl1");
        auto shown = [&](const char* page) {
            return pages->isTabVisible(pages->indexOf(control<QWidget>(page)));
        };
        const auto before = regs();
        command(*client, "MODE ABC");
        const auto error = ask(*client, "SYST:ERR?");
        ASSERT_TRUE(error);
        if (!lab) {
            EXPECT_EQ(error->substr(0, 5), "-221,") << *error;
            EXPECT_EQ(ask(*client, "MODE?"), "SPI");
            EXPECT_FALSE(shown("TabABC"));
            EXPECT_TRUE(shown("TabMode"));
            EXPECT_EQ(regs(), before);
        } else {
            EXPECT_EQ(*error, "0,\"No error\"");
            EXPECT_FALSE(form->session().spiMode());
            EXPECT_TRUE(shown("TabABC"));
            EXPECT_FALSE(shown("TabMode"));
            EXPECT_EQ(pages->currentPage(), control<QWidget>("TabABC"));
            EXPECT_EQ(form->panelText(0), "ABC-mode");
            EXPECT_EQ(control<RadioGroup>("RG_SPI")->itemIndex(), 0);
            EXPECT_FALSE(control<QPushButton>("B_Refresh")->isEnabled());
            // The preset list and the wanted RF follow a preset the client picks.
            const int preset = (form->session().presetIndex() + 3) % 8;
            command(*client, "ABC:PRES " + std::to_string(preset));
            EXPECT_EQ(control<QComboBox>("CB_fRF")->currentIndex(), preset);
            EXPECT_EQ(control<Edit>("E_fRFI")->text(),
                      QString::fromStdString(zvk::formatFrequency(zvk::kAbcPresets[preset].fRF)));
            command(*client, "MODE SPI");
            EXPECT_EQ(ask(*client, "SYST:ERR?"), "0,\"No error\"");
            EXPECT_TRUE(shown("TabMode"));
            EXPECT_FALSE(shown("TabABC"));
            EXPECT_EQ(control<RadioGroup>("RG_SPI")->itemIndex(), 1);
        }
        form.reset();
        QFile::remove(QString::fromStdString(settingsPath()));
    }
}

TEST_F(RemoteTest, ChangesAreRefusedWhileADialogIsOpenButQueriesAnswer) {
    start();
    ASSERT_NE(serve(), nullptr);
    const auto client = connectClient();
    const auto image = regs();
    const auto chip = latched();
    const QString wanted = control<Edit>("E_fRFI")->text();
    std::vector<std::optional<std::string>> errors;
    std::optional<std::string> identity, register0;
    QMessageBox box(QMessageBox::Question, "Question", "Stay?", QMessageBox::Ok, form.get());
    QTimer::singleShot(0, &box, [&] {
        for (const char* change : {"FREQ 868.3MHZ", "REG0 1", "CHIP:WRITE", "*RST"}) {
            command(*client, change);
            errors.push_back(ask(*client, "SYST:ERR?"));
        }
        identity = ask(*client, "*IDN?");
        register0 = ask(*client, "REG0?");
        box.done(0);
    });
    box.exec();
    ASSERT_EQ(errors.size(), 4u);
    for (const auto& e : errors) {
        ASSERT_TRUE(e);
        EXPECT_EQ(e->substr(0, 5), "-221,") << *e;
        EXPECT_NE(e->find("dialog"), std::string::npos) << *e;
    }
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->substr(0, 19), "zvk40310,ZVK40310,v");
    EXPECT_EQ(register0, std::to_string(image[0]));
    EXPECT_EQ(regs(), image);
    EXPECT_EQ(latched(), chip);
    EXPECT_EQ(control<Edit>("E_fRFI")->text(), wanted);
    // With the dialog closed the same change goes through.
    command(*client, "FREQ 868.3MHZ");
    EXPECT_EQ(ask(*client, "SYST:ERR?"), "0,\"No error\"");
    EXPECT_EQ(control<Edit>("E_fRFI")->text(), "868.300");
}

// The window's own write cycle runs the event loop in its waits: a client's line that
// arrives meanwhile runs after the cycle, not inside it.
TEST_F(RemoteTest, ALineThatArrivesDuringAWriteCycleRunsAfterIt) {
    start();
    ASSERT_NE(serve(), nullptr);
    const auto client = connectClient();
    EXPECT_TRUE(ask(*client, "*IDN?"));
    const auto before = regs();
    const uint64_t cycles = form->session().chip().writeCycles();
    ASSERT_TRUE(client->send("FREQ 868.3MHZ\n*OPC?\n"));
    control<QPushButton>("B_WriteReg")->click();
    EXPECT_EQ(form->session().chip().writeCycles(), cycles + 1);
    EXPECT_EQ(regs(), before);
    EXPECT_EQ(awaitLine(*client), "1");
    EXPECT_NE(regs(), before);
    EXPECT_EQ(control<Edit>("E_fRFI")->text(), "868.300");
    expectChipHoldsImage();
}

TEST_F(RemoteTest, TheWindowShowsItsServerItsClientAndTheLastError) {
    start();
    RemoteControlWindow* w = serve();
    ASSERT_NE(w, nullptr);
    const QString port = QString::number(w->port());
    EXPECT_TRUE(w->stateLabel->text().contains("127.0.0.1:" + port))
        << w->stateLabel->text().toStdString();
    EXPECT_FALSE(w->exposureNote->isVisible());
    EXPECT_FALSE(w->startButton->isEnabled());
    EXPECT_EQ(w->folderLabel->text(), QDir::currentPath());
    auto client = connectClient();
    ASSERT_TRUE(client->send("NOSUCH:THING 1\n"));
    EXPECT_EQ(ask(*client, "SYST:ERR:COUNT?"), "1");
    EXPECT_TRUE(w->clientLabel->text().contains("in control"))
        << w->clientLabel->text().toStdString();
    EXPECT_EQ(w->commandLabel->text(), "SYST:ERR:COUNT?");
    EXPECT_TRUE(w->errorLabel->text().startsWith("-113,")) << w->errorLabel->text().toStdString();
    // Stop closes the client; another address is refused with its reason.
    click(w->stopButton);
    EXPECT_TRUE(awaitEnd(*client));
    EXPECT_FALSE(w->listening());
    w->addressEdit->setText(QStringLiteral("localhost"));
    click(w->startButton);
    EXPECT_FALSE(w->listening());
    EXPECT_TRUE(w->stateLabel->text().contains("localhost")) << w->stateLabel->text().toStdString();
    // Beyond the loopback the window says that anyone may control the board.
    w->addressEdit->setText(QStringLiteral("0.0.0.0:0"));
    click(w->startButton);
    ASSERT_TRUE(w->listening()) << w->stateLabel->text().toStdString();
    EXPECT_TRUE(w->exposureNote->isVisible());
    click(w->stopButton);
    EXPECT_FALSE(w->exposureNote->isVisible());
}

TEST_F(RemoteTest, StoreAndLoadFromAClientNameTheFileInTheCaption) {
    const QString working = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    start();
    ASSERT_NE(serve(), nullptr);
    const auto client = connectClient();
    const std::string title = zvk::titleText();
    command(*client, "FREQ 868.3MHZ");
    command(*client, "MMEM:STOR:STAT \"remote\"");
    EXPECT_EQ(ask(*client, "SYST:ERR?"), "0,\"No error\"");
    EXPECT_TRUE(QFileInfo::exists(dir.path() + "/remote.cfg"));
    EXPECT_EQ(form->windowTitle(), QString::fromStdString(title + " remote.cfg"));
    EXPECT_EQ(QFileInfo(form->configFileName()).canonicalFilePath(),
              QFileInfo(dir.path() + "/remote.cfg").canonicalFilePath());
    command(*client, "*RST");
    EXPECT_NE(control<Edit>("E_fRFI")->text(), "868.300");
    command(*client, "MMEM:LOAD:STAT \"remote.cfg\"");
    EXPECT_EQ(ask(*client, "SYST:ERR?"), "0,\"No error\"");
    EXPECT_EQ(control<Edit>("E_fRFI")->text(), "868.300");
    EXPECT_EQ(form->windowTitle(), QString::fromStdString(title + " remote.cfg"));
    form.reset();
    QDir::setCurrent(working);
}

// The window closed (its settings saved) or ended by "Exit" (no close event): either
// way the client sees the end, mid-command, and the port is free.
TEST_F(RemoteTest, EndingTheWindowWithAClientConnectedEndsTheConnection) {
    for (const bool closeFirst : {true, false}) {
        SCOPED_TRACE(closeFirst ? "closed" : "destroyed");
        start();
        ASSERT_NE(serve(), nullptr);
        const uint16_t port = form->remoteControl()->port();
        const auto client = connectClient();
        EXPECT_TRUE(ask(*client, "*IDN?"));
        ASSERT_TRUE(client->send("FREQ 43"));  // no line end yet
        QTest::qWait(10);
        if (closeFirst) {
            EXPECT_TRUE(form->close());
            EXPECT_TRUE(awaitEnd(*client));
        }
        form.reset();
        EXPECT_TRUE(awaitEnd(*client));
        EXPECT_FALSE(TcpClient(port).connected());
        QFile::remove(QString::fromStdString(settingsPath()));
    }
}

}  // namespace
}  // namespace apptest
