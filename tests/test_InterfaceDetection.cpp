// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "board/Board.h"
#include "chip/ChipController.h"
#include "session/InterfaceDetection.h"
#include "transport/Lpt.h"
#include "transport/Zvk_spiusb.h"
#include "usb_test_support.h"

namespace zvk {
namespace {

struct LevelCommand {
    int enable;
    int millivolts;
    bool operator==(const LevelCommand&) const = default;
};

// The window's wiring of one board: the board, the line layer, the adapter object and the
// detection over them, built in the order the window builds them.
struct Wiring {
    explicit Wiring(const char* kind, int base = 0x378, bool unpluggedAtStart = false)
        : board(findBoardKind(kind)->make(clock, base)), lpt(*board->port, clock) {
        lpt.setBase(base);
        if (unpluggedAtStart) board->vusb->faults().unplugged = true;
        adapter = std::make_unique<TZVK_SPIUSB>(board->usbApi, reportUsbProblems(reporter));
        det = std::make_unique<InterfaceDetection>(lpt, *adapter);
        det->startUpConstruct();
    }
    // What FormCreate does between reading the settings and the mode switch.
    void startUp(bool level = true, int32_t vpwm = 5000) {
        det->level = level;
        det->vpwm = vpwm;
        lpt.setDriverOpen(board->portOpened);
        if (board->portOpened) det->link().resetLines();
        board->vusb->resetCounts();
        mark();
        det->startUpAfterPortOpen();
    }
    // Requests of one command the adapter received since the last mark.
    std::vector<VirtualUsbBus::Request> sent(uint8_t command) {
        std::vector<VirtualUsbBus::Request> out;
        const auto& all = board->vusb->requests();
        for (size_t i = firstRequest; i < all.size(); ++i)
            if (all[i][0] == command) out.push_back(all[i]);
        return out;
    }
    std::vector<LevelCommand> levels() {
        std::vector<LevelCommand> out;
        for (const auto& p : sent(0x05)) out.push_back({p[1], p[2] << 8 | p[3]});
        return out;
    }
    void mark() { firstRequest = board->vusb->requests().size(); }
    const InterfaceView& view() { return det->view(); }

    SteppingClock clock;
    test::RecordingReporter reporter;
    std::unique_ptr<Board> board;
    Lpt lpt;
    std::unique_ptr<TZVK_SPIUSB> adapter;
    std::unique_ptr<InterfaceDetection> det;
    size_t firstRequest = 0;
};

TEST(InterfaceDetection, AdapterFoundAtStartUpSetsLevelAndMenus) {
    struct Case {
        bool level;
        LevelCommand command;
    };
    for (const Case& c : {Case{true, {1, 3300}}, Case{false, {0, 0}}}) {
        Wiring b("virtual-usb");
        EXPECT_TRUE(b.det->usbInUse());
        EXPECT_TRUE(b.view().tUsbEnabled);
        b.startUp(c.level, 3300);
        const InterfaceView& v = b.view();
        EXPECT_EQ(v.panel, "USB found") << c.level;
        EXPECT_FALSE(v.lptMenuEnabled);
        EXPECT_TRUE(v.tUsbEnabled);
        EXPECT_TRUE(v.extVrefEnabled);
        EXPECT_EQ(v.extVrefTicked, !c.level);
        EXPECT_EQ(v.setVpwmEnabled, c.level);
        EXPECT_EQ(v.lptTicked, 0);
        EXPECT_EQ(b.levels(), (std::vector<LevelCommand>{c.command}));
        // no version check before the first tick
        EXPECT_TRUE(b.sent(0x80).empty());
    }
}

TEST(InterfaceDetection, TickResendsLevelAndShowsMeasuredReference) {
    struct Case {
        bool level;
        uint16_t external;
        LevelCommand command;
        const char* panel;
    };
    const Case cases[] = {
        {true, 1200, {1, 3300}, "USB found, int. Lvl: 3.30V"},
        {false, 2500, {0, 0}, "USB found, ext. Lvl: 2.50V"},
        {false, 5, {0, 0}, "USB found, ext. Lvl: 0.01V"},
    };
    for (const Case& c : cases) {
        Wiring b("virtual-usb");
        b.board->vusb->setExternalLevel(c.external);
        b.startUp(c.level, 3300);
        b.mark();
        for (int i = 0; i < 3; ++i) {
            b.det->tick();
            EXPECT_EQ(b.view().panel, c.panel);
        }
        EXPECT_EQ(b.levels(), std::vector<LevelCommand>(3, c.command)) << c.panel;
        const auto reads = b.sent(0x85);
        ASSERT_EQ(reads.size(), 3u);
        EXPECT_EQ(reads[0][1], 7);  // the channel measuring the reference
        EXPECT_EQ(b.sent(0x80).size(), 3u);
        EXPECT_TRUE(b.det->usbInUse());
        EXPECT_FALSE(b.view().lptMenuEnabled);
    }
}

// Pulled out inside a tick, after the version check: the level read gets no answer and
// the panel must not show the request's own bytes as a measured level.
TEST(InterfaceDetection, LevelReadWithoutAnswerKeepsUsbFound) {
    for (int passing : {4, 5}) {  // the level read's request, or its reply, is the first lost
        Wiring b("virtual-usb");
        b.startUp(true, 3300);
        b.board->vusb->faults().unplugAfter = passing;
        b.det->tick();
        EXPECT_EQ(b.view().panel, "USB found") << passing;
        b.det->tick();  // the next tick sees the adapter gone
        EXPECT_EQ(b.view().panel, "LPT Port Address: 0x0378");
    }
}

TEST(InterfaceDetection, WrongVersionFallsBackToThePort) {
    Wiring b("virtual-usb");
    b.startUp();
    b.board->vusb->faults().wrongVersion = true;
    b.mark();
    b.det->tick();
    const InterfaceView& v = b.view();
    EXPECT_FALSE(b.det->usbInUse());
    EXPECT_EQ(v.panel, "LPT Port Address: 0x0378");
    EXPECT_TRUE(v.lptMenuEnabled);
    EXPECT_FALSE(v.tUsbEnabled);
    // seen once, the level items stay usable
    EXPECT_TRUE(v.extVrefEnabled);
    EXPECT_TRUE(v.setVpwmEnabled);
    EXPECT_TRUE(b.levels().empty());
    EXPECT_TRUE(b.sent(0x85).empty());
}

TEST(InterfaceDetection, TransportFollowsTheAdapterAtEachTick) {
    Wiring b("virtual-usb");
    b.startUp();
    b.det->tick();
    // The register routines go where the detection decided: the MODSEL line of an
    // after-change routine is one line write.
    ChipController cc(b.det->link());
    cc.setRealtime(false);
    b.det->setController(&cc);
    auto writeGoesTo = [&b, &cc] {
        const uint64_t portWrites = b.board->vport->writes();
        const uint64_t usb = b.board->vusb->transfers();
        cc.afterChange();
        if (b.board->vport->writes() > portWrites) return std::string("port");
        if (b.board->vusb->transfers() > usb) return std::string("usb");
        return std::string("nowhere");
    };
    EXPECT_EQ(writeGoesTo(), "usb");

    b.board->vusb->faults().unplugged = true;
    EXPECT_EQ(writeGoesTo(), "usb");  // nothing changes before the tick
    b.det->tick();
    EXPECT_EQ(b.view().panel, "LPT Port Address: 0x0378");
    EXPECT_TRUE(b.view().lptMenuEnabled);
    EXPECT_EQ(writeGoesTo(), "port");

    b.board->vusb->faults().unplugged = false;
    b.det->tick();
    EXPECT_EQ(b.view().panel, "USB found, int. Lvl: 5.00V");
    EXPECT_FALSE(b.view().lptMenuEnabled);
    EXPECT_EQ(writeGoesTo(), "usb");
}

TEST(InterfaceDetection, AdapterPluggedInAfterStartIsNeverUsed) {
    Wiring b("virtual-usb", 0x378, /*unpluggedAtStart=*/true);
    b.startUp();
    EXPECT_EQ(b.view().panel, "LPT Port Address: 0x0378");
    b.board->vusb->faults().unplugged = false;
    b.board->vusb->resetCounts();
    b.det->tick();
    EXPECT_FALSE(b.det->usbInUse());
    EXPECT_EQ(b.board->vusb->transfers(), 0u);
    EXPECT_FALSE(b.view().extVrefEnabled);
    EXPECT_FALSE(b.view().setVpwmEnabled);
}

TEST(InterfaceDetection, StartUpTicksTheStoredBase) {
    struct Case {
        int stored;
        int base;
        int ticked;
        const char* panel;
    };
    const Case cases[] = {
        {0, 0x378, 0, "LPT Port Address: 0x0378"},
        {0x378, 0x378, 0, "LPT Port Address: 0x0378"},
        {0x3BC, 0x3BC, 1, "LPT Port Address: 0x03BC"},
        {0x278, 0x278, 2, "LPT Port Address: 0x0278"},
        {0xD010, 0xD010, 2, "LPT Port Address: 0xD010"},
    };
    for (const Case& c : cases) {
        Wiring b("virtual", c.stored);
        b.startUp();
        EXPECT_EQ(b.lpt.base(), c.base);
        EXPECT_EQ(b.view().lptTicked, c.ticked) << c.panel;
        EXPECT_EQ(b.view().panel, c.panel);
        EXPECT_TRUE(b.view().lptMenuEnabled);
        EXPECT_FALSE(b.view().tUsbEnabled);
        EXPECT_FALSE(b.view().extVrefEnabled);
        EXPECT_FALSE(b.view().setVpwmEnabled);
        b.det->tick();
        EXPECT_EQ(b.view().panel, c.panel);
    }
}

TEST(InterfaceDetection, FixedAddressItemsShowThreeDigits) {
    Wiring b("virtual", 0x278);
    b.startUp();
    b.det->choose3BC();
    EXPECT_EQ(b.lpt.base(), 0x3BC);
    EXPECT_EQ(b.view().lptTicked, 1);
    EXPECT_EQ(b.view().panel, "LPT Port Address: 0x3BC");
    b.det->choose378();
    EXPECT_EQ(b.lpt.base(), 0x378);
    EXPECT_EQ(b.view().lptTicked, 0);
    EXPECT_EQ(b.view().panel, "LPT Port Address: 0x378");
    // the tick writes four digits again
    b.det->tick();
    EXPECT_EQ(b.view().panel, "LPT Port Address: 0x0378");
}

TEST(InterfaceDetection, UserDefinedAddressIsReadAsHex) {
    struct Case {
        const char* text;
        int base;
        const char* panel;
    };
    const Case cases[] = {
        {"3bc", 0x3BC, "LPT Port Address: 0x3BC"},  // "user defined" ticked, not "0x3BC"
        {"278", 0x278, "LPT Port Address: 0x278"},    {"0378", 0x378, "LPT Port Address: 0x378"},
        {"1", 0x1, "LPT Port Address: 0x001"},        {"d010", 0xD010, "LPT Port Address: 0xD010"},
        {"FFFD", 0xFFFD, "LPT Port Address: 0xFFFD"},
    };
    for (const Case& c : cases) {
        Wiring b("virtual", 0x3BC);
        b.startUp();
        std::string error;
        EXPECT_TRUE(b.det->chooseUserDefined(c.text, &error)) << c.text << ": " << error;
        EXPECT_EQ(b.lpt.base(), c.base) << c.text;
        EXPECT_EQ(b.view().lptTicked, 2) << c.text;
        EXPECT_EQ(b.view().panel, c.panel);
    }
}

TEST(InterfaceDetection, UserDefinedAddressThatIsNoPortAddressChangesNothing) {
    for (const char* text : {"", "zz", "0x378", "$378", "-5", "+378", "3 78", " 378", "378h", "0",
                             "FFFE", "10000", "FFFFFFFFFFFFFFFFFF"}) {
        Wiring b("virtual", 0x3BC);
        b.startUp();
        const InterfaceView before = b.view();
        std::string error;
        EXPECT_FALSE(b.det->chooseUserDefined(text, &error)) << '"' << text << '"';
        EXPECT_EQ(b.lpt.base(), 0x3BC) << text;
        EXPECT_EQ(b.view().lptTicked, before.lptTicked) << text;
        EXPECT_EQ(b.view().panel, before.panel) << text;
        EXPECT_NE(error.find(std::string("\"") + text + "\""), std::string::npos) << error;
    }
}

TEST(InterfaceDetection, CancelledUserDefinedDialogKeepsTheBase) {
    Wiring b("virtual", 0x278);
    b.startUp();
    b.det->choose378();
    b.lpt.setBase(0x278);  // as if an earlier user entry had set it
    const std::string initial = b.det->userDefinedInitialText();
    EXPECT_EQ(initial, "0278");
    EXPECT_TRUE(b.det->chooseUserDefined(initial, nullptr));
    EXPECT_EQ(b.lpt.base(), 0x278);
    EXPECT_EQ(b.view().lptTicked, 2);
    EXPECT_EQ(b.view().panel, "LPT Port Address: 0x278");
}

TEST(InterfaceDetection, SetVpwmClampsStoresAndSends) {
    struct Case {
        std::optional<std::string> text;  // nullopt: cancelled
        int32_t before;
        int32_t after;
    };
    const Case cases[] = {
        {"6000", 3300, 5000},       {"-5", 3300, 0},   {"3300", 5000, 3300},
        {"+42", 5000, 42},          {"5000", 0, 5000}, {std::nullopt, 3300, 3300},
        {std::nullopt, 9000, 5000},  // a hand-edited settings value is brought into range
    };
    for (const Case& c : cases) {
        Wiring b("virtual-usb");
        b.startUp(true, c.before);
        b.mark();
        EXPECT_EQ(b.det->setVpwmInitialText(), std::to_string(c.before));
        std::string error;
        EXPECT_TRUE(b.det->setVpwm(c.text, &error)) << error;
        EXPECT_EQ(b.det->vpwm, c.after) << c.text.value_or("cancel");
        EXPECT_EQ(b.levels(), (std::vector<LevelCommand>{{1, c.after}}))
            << c.text.value_or("cancel");
    }
}

TEST(InterfaceDetection, SetVpwmWithNoIntegerSendsNothing) {
    // Beyond 32 bits is no valid number either: the conversion error, not 5000 mV.
    for (const char* text : {"", "abc", "3.3", "1e3", "12a", "3,300", "--5", "99999999999"}) {
        Wiring b("virtual-usb");
        b.startUp(true, 3300);
        b.mark();
        std::string error;
        EXPECT_FALSE(b.det->setVpwm(std::string(text), &error)) << text;
        EXPECT_EQ(b.det->vpwm, 3300);
        EXPECT_TRUE(b.levels().empty()) << text;
        EXPECT_NE(error.find(std::string("\"") + text + "\""), std::string::npos) << error;
        // What the dialog takes is told as it is: 6000 is taken, and sent as 5000.
        EXPECT_EQ(error.find("0 to 5000"), std::string::npos) << error;
        EXPECT_NE(error.find("above 5000 is sent as 5000"), std::string::npos) << error;
    }
}

TEST(InterfaceDetection, ExtVrefTogglesTheReference) {
    Wiring b("virtual-usb");
    b.board->vusb->setExternalLevel(1800);
    b.startUp(true, 3300);
    b.mark();

    EXPECT_FALSE(b.det->extVrefClick());  // to the external reference: no message
    EXPECT_TRUE(b.view().extVrefTicked);
    EXPECT_FALSE(b.det->level);
    EXPECT_FALSE(b.view().setVpwmEnabled);
    b.det->tick();
    EXPECT_EQ(b.view().panel, "USB found, ext. Lvl: 1.80V");
    EXPECT_TRUE(b.view().extVrefTicked);
    EXPECT_FALSE(b.view().setVpwmEnabled);

    EXPECT_TRUE(b.det->extVrefClick());  // back to the internal one: ask to disconnect
    EXPECT_FALSE(b.view().extVrefTicked);
    EXPECT_TRUE(b.det->level);
    EXPECT_TRUE(b.view().setVpwmEnabled);
    b.det->tick();
    EXPECT_EQ(b.view().panel, "USB found, int. Lvl: 3.30V");

    const std::vector<LevelCommand> expected = {{0, 0}, {0, 0}, {1, 3300}, {1, 3300}};
    EXPECT_EQ(b.levels(), expected);
}

TEST(InterfaceDetection, OutOfRangeStoredLevelIsClampedWhenSent) {
    struct Case {
        int32_t vpwm;
        int sent;
    };
    for (const Case& c : {Case{70000, 5000}, Case{-1, 0}}) {
        Wiring b("virtual-usb");
        b.startUp(true, c.vpwm);
        b.det->tick();
        EXPECT_EQ(b.levels(), (std::vector<LevelCommand>{{1, c.sent}, {1, c.sent}}));
    }
}

}  // namespace
}  // namespace zvk

namespace zvk {
namespace {

// A port whose driver can be had at some bases only.
struct PickyPort : ClosedPortIo {
    std::vector<int> usable;
    bool switchBase(int base, std::string* why) override {
        if (std::find(usable.begin(), usable.end(), base) != usable.end()) return true;
        if (why != nullptr) *why = "no driver at " + std::to_string(base);
        return false;
    }
};

TEST(InterfaceDetection, AChosenBaseWhoseDriverFailsKeepsTheBaseInUse) {
    struct Case {
        const char* what;
        std::function<bool(InterfaceDetection&)> choose;
        int base;  // the base chosen
    };
    const Case cases[] = {
        {"0x3BC item",
         [](InterfaceDetection& d) {
             d.choose3BC();
             return true;
         },
         0x3BC},
        {"user defined", [](InterfaceDetection& d) { return d.chooseUserDefined("2BC", nullptr); },
         0x2BC},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PickyPort port;
        port.usable = {0x378};
        SteppingClock clock;
        Lpt lpt(port, clock);
        lpt.setBase(0x378);
        TZVK_SPIUSB adapter(nullptr, {});
        InterfaceDetection det(lpt, adapter);
        det.startUpConstruct();
        lpt.startUp(true);
        det.startUpAfterPortOpen();
        std::vector<std::string> refused;
        det.baseRefused = [&](const std::string& why) { refused.push_back(why); };

        EXPECT_TRUE(c.choose(det));
        EXPECT_EQ(lpt.base(), 0x378);
        EXPECT_EQ(det.view().panel, "LPT Port Address: 0x378");
        EXPECT_EQ(det.view().lptTicked, 0);
        EXPECT_EQ(refused, std::vector<std::string>{"no driver at " + std::to_string(c.base)});

        // Once the driver can be had there, the same choice takes it.
        port.usable.push_back(c.base);
        refused.clear();
        c.choose(det);
        EXPECT_EQ(lpt.base(), c.base);
        EXPECT_TRUE(refused.empty());
    }
}

}  // namespace
}  // namespace zvk
