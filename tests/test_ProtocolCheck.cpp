// SPDX-License-Identifier: MIT
// The virtual board as a protocol checker: each deliberately wrong transfer is named or
// ends in a wrong latch, and nothing the program sends on either transport is either.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "TempDir.h"
#include "board/ChipModel.h"
#include "chip/FieldMap.h"
#include "session/Session.h"
#include "usb_test_support.h"

namespace zvk {
namespace {

constexpr uint8_t SDEN = ChipModel::kSden, SCLK = ChipModel::kSclk, SDTA = ChipModel::kSdta,
                  SPISEL = ChipModel::kSpisel;

// Differs from the default image, and from what the tests below send, in every register
// the program writes (R7 is computed).
constexpr std::array<uint16_t, 8> kUnlikeAnythingSent = {0x555, 0x0AA, 0x0F0, 0x60F,
                                                         0x7FF, 0x001, 0x1A5, 0x000};

std::vector<std::string> kinds(const ChipModel& chip) {
    std::vector<std::string> out;
    for (const Violation& v : chip.violations()) out.emplace_back(violationName(v.kind));
    return out;
}

// A 16-bit word bit-banged onto the chip with one fault at a time.
struct Wave {
    bool lsbFirst = false, dataWithClock = false, invertClock = false, invertSden = false,
         sden = true, clockWithSden = false;
};

void bitBang(ChipModel& chip, uint16_t word, const Wave& w) {
    const uint8_t clk0 = w.invertClock ? SCLK : 0, clk1 = w.invertClock ? 0 : SCLK;
    const uint8_t en0 = w.invertSden ? SDEN : 0, en1 = w.invertSden ? 0 : SDEN;
    chip.setLines(uint8_t(SPISEL | clk0 | en0));
    for (int i = 0; i < 16; ++i) {
        const int b = w.lsbFirst ? i : 15 - i;
        const uint8_t d = ((word >> b) & 1) ? SDTA : 0;
        if (!w.dataWithClock) chip.setLines(uint8_t(SPISEL | clk0 | en0 | d));
        chip.setLines(uint8_t(SPISEL | clk1 | en0 | d));
        // The last clock left high, to rise together with SDEN.
        if (!(w.clockWithSden && i == 15)) chip.setLines(uint8_t(SPISEL | clk0 | en0 | d));
    }
    if (w.clockWithSden) {
        chip.setLines(uint8_t(SPISEL | en1));  // SCLK falls as SDEN rises
        chip.setLines(uint8_t(SPISEL));
    } else if (w.sden) {
        chip.setLines(uint8_t(SPISEL | clk0 | en1));
        chip.setLines(uint8_t(SPISEL | clk0 | en0));
    }
}

// The adapter's request as the program would send it, or cut short.
std::vector<char> request(std::initializer_list<uint8_t> head, size_t length = 64) {
    std::vector<char> p(length, 0);
    size_t i = 0;
    for (uint8_t b : head)
        if (i < length) p[i++] = char(b);
    return p;
}

TEST(ProtocolCheck, EachFaultIsNamedOrLatchesWrong) {
    constexpr uint16_t kWord = 0x5A36;  // R3 = 0x5A3
    const uint16_t meant = uint16_t(kWord >> 4);
    struct Case {
        const char* fault;
        Wave wave;                               // a bit-banged word, when no adapter request
        std::vector<std::vector<char>> adapter;  // requests after the adapter's claim
        bool configure = true;                   // the adapter was configured first
        std::optional<std::string> kind;         // none: the fault shows as a wrong latch
    };
    const std::vector<char> spiWrite = request({0x07, 0x01, 50, 16, 0x5A, 0x36});
    const Case cases[] = {
        {"LSB first", {.lsbFirst = true}, {}, true, std::nullopt},
        {"data set with the clock edge", {.dataWithClock = true}, {}, true, "data-with-clock-edge"},
        {"inverted clock", {.invertClock = true}, {}, true, "clock-high-at-enable-edge"},
        {"inverted SDEN", {.invertSden = true}, {}, true, "clock-while-enabled"},
        {"SDEN with the last clock", {.clockWithSden = true}, {}, true, "enable-with-clock"},
        {"SDEN missing", {.sden = false}, {}, true, std::nullopt},
        {"a 6-byte adapter request",
         {},
         {request({0x07, 0x01, 50, 16, 0x5A, 0x36}, 6)},
         true,
         "request-length"},
        {"a write before Configure", {}, {spiWrite}, false, "before-configure"},
        {"an unknown opcode", {}, {request({0x09})}, true, "unknown-command"},
        {"a wrong selector",
         {},
         {request({0x07, 0x02, 50, 16, 0x5A, 0x36})},
         true,
         "unknown-selector"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        test::UsbBoard b;
        b.chip.powerOn(kUnlikeAnythingSent);
        if (c.adapter.empty()) {
            bitBang(b.chip, kWord, c.wave);
        } else {
            if (c.configure) {
                b.connect();
                b.chip.clearViolations();
            }
            // Straight onto the bus, as a faulty program would: found, opened, claimed.
            const LibusbApi& api = *b.bus.api();
            api.usb_init();
            api.usb_find_busses();
            api.usb_find_devices();
            usb_dev_handle* h = nullptr;
            for (struct usb_bus* bus = api.usb_get_busses(); bus && !h; bus = bus->next)
                for (struct usb_device* d = bus->devices; d && !h; d = d->next)
                    if (d->descriptor.idVendor == 0x03E9) h = api.usb_open(d);
            ASSERT_NE(h, nullptr);
            api.usb_claim_interface(h, 0);
            for (std::vector<char> r : c.adapter) {
                api.usb_bulk_write(h, 0x01, r.data(), int(r.size()), 1000);
                char reply[64];
                api.usb_bulk_read(h, 0x81, reply, 64, 1000);
            }
            // The request log keeps the length the program sent.
            ASSERT_FALSE(b.bus.requests().empty());
            EXPECT_EQ(b.bus.requests().back().size(), c.adapter.back().size());
        }
        if (c.kind) {
            ASSERT_FALSE(b.chip.violations().empty());
            EXPECT_EQ(kinds(b.chip).front(), *c.kind);
        } else {
            EXPECT_TRUE(b.chip.violations().empty()) << ::testing::PrintToString(kinds(b.chip));
            EXPECT_NE(b.chip.latched()[3], meant);
        }
    }
    // The same word sent right latches and is clean: the rows fail for their faults alone.
    test::UsbBoard b;
    b.chip.powerOn(kUnlikeAnythingSent);
    bitBang(b.chip, kWord, {});
    EXPECT_EQ(b.chip.latched()[3], meant);
    EXPECT_TRUE(b.chip.violations().empty());
}

TEST(ProtocolCheck, AViolationCarriesItsFrameAndTimeAndReachesTheTrace) {
    SteppingClock clock{0};
    ChipModel chip(clock);
    Trace trace(clock);
    chip.setTrace(&trace);
    std::vector<Violation> heard;
    chip.setViolationListener([&](const Violation& v) { heard.push_back(v); });
    bitBang(chip, 0x0012, {});  // frame 0, clean
    clock.advance(40);
    // Three bits, then SDEN: neither a read request nor a register frame; still counted.
    for (uint8_t d : {SDTA, uint8_t(0), SDTA}) {
        chip.setLines(uint8_t(SPISEL | d));
        chip.setLines(uint8_t(SPISEL | d | SCLK));
        chip.setLines(uint8_t(SPISEL | d));
    }
    chip.setLines(uint8_t(SPISEL | SDEN));
    chip.setLines(SPISEL);
    // A frame latched with SPISEL low.
    chip.setLines(0);
    for (int i = 15; i >= 0; --i) {
        const uint8_t d = ((0x4564 >> i) & 1) ? SDTA : 0;
        chip.setLines(d);
        chip.setLines(uint8_t(d | SCLK));
        chip.setLines(d);
    }
    chip.setLines(SDEN);
    chip.setLines(0);
    ASSERT_EQ(chip.violations().size(), 2u);
    EXPECT_EQ(chip.violations()[0].kind, ViolationKind::ShortFrame);
    EXPECT_EQ(chip.violations()[0].frame, 1u);
    EXPECT_EQ(chip.violations()[0].timeUs, 40u);
    EXPECT_EQ(chip.violations()[1].kind, ViolationKind::LatchWithoutSpisel);
    EXPECT_EQ(chip.violations()[1].frame, 2u);
    EXPECT_EQ(chip.ignoredEdges(), 1u);
    EXPECT_EQ(heard.size(), 2u);
    size_t traced = 0;
    for (const TraceEvent& e : trace.events()) traced += e.kind == TraceEvent::Kind::Violation;
    EXPECT_EQ(traced, 2u);
    // The ABC pattern moves the three lines together with SPISEL low, by design.
    chip.clearViolations();
    for (uint8_t pattern : {0x06, 0x01, 0x07, 0x00}) chip.setLines(pattern);
    EXPECT_TRUE(chip.violations().empty());
}

class ProgramTraffic : public test::TempDir {
  protected:
    ProgramTraffic() : TempDir("zvk-protocol") {}
    SteppingClock clock;
};

// Every clocked transfer the program makes, on both transports, passes the check; the
// chip starts from an image unlike the one sent, so the latched registers prove that each
// register arrived.
TEST_F(ProgramTraffic, MakesNoViolationOnEitherTransport) {
    // Receive, MFO "LD out" (the write cycle also measures the lock time on the port),
    // a plan that locks.
    const std::array<uint16_t, 7> sent = {0x08D, 0x8E4, 0xF04, 0x801, 0x05B, 0x2BC, 0xE5B};
    for (const char* boardName : {"virtual", "virtual-usb"}) {
        SCOPED_TRACE(boardName);
        SessionOptions o;
        o.boardName = boardName;
        o.settingsPath = (dir / "zvk40310.INI").string();
        std::ofstream(o.settingsPath) << "[CFG]\nSPISEL=1\n";
        o.clock = &clock;
        o.realtime = false;
        Session s(o);
        ChipModel& chip = *s.board().chip;
        chip.powerOn(kUnlikeAnythingSent);
        s.startUp();
        ChipController& cc = s.chip();
        cc.setSendAlways(true);
        for (size_t i = 0; i < sent.size(); ++i) {
            ASSERT_NE(sent[i], kUnlikeAnythingSent[i]);
            cc.setRegister(i, sent[i]);
        }
        cc.afterChange();  // the write cycle
        EXPECT_EQ(s.usbInUse(), std::string(boardName) == "virtual-usb");
        if (!s.usbInUse()) {
            EXPECT_TRUE(cc.lastLockTime().has_value()) << "lock time measured";
        }
        for (size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(chip.latched()[i], sent[i]) << "R" << i;
        // MFO as serial output for the register read.
        cc.setField(field("MFO"), 1);
        cc.afterChange();
        EXPECT_TRUE(cc.registerRead(7).has_value());
        s.tick();  // the detection tick
        EXPECT_FALSE(chip.frames().empty());
        EXPECT_EQ(kinds(chip), std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace zvk
