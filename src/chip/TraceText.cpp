// SPDX-License-Identifier: MIT
#include "chip/TraceText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/Numbers.h"
#include "chip/ChipController.h"
#include "chip/FieldMap.h"
#include "transport/Violation.h"
#include "transport/Zvk_spiusb.h"

namespace zvk {

namespace {

constexpr uint8_t kSden = 0x01, kSclk = 0x02, kSdta = 0x04, kSpisel = 0x08, kModsel = 0x10;

std::string hex(unsigned value, int digits) {
    return "0x" + hexText(value, digits);
}

void appendHex(std::string& out, unsigned value, int digits) {
    out += "0x";
    appendHexText(out, value, digits);
}

void appendNumber(std::string& out, uint64_t value) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, r.ptr);
}

// The word an SpiWrite request carries: its bits, most significant first, from byte 4 on.
uint16_t spiWriteWord(const TraceEvent& e) {
    const int bits = std::min<int>(e.request[3], 16);
    const uint16_t raw = uint16_t((e.request[4] << 8) | e.request[5]);
    return bits == 0 ? 0 : uint16_t(raw >> (16 - bits));
}

// Bit k (0 first) of the bits an SpiRead reply carries, most significant first from byte 4.
bool spiReadBit(const TraceEvent& e, int k) {
    return ((e.reply[size_t(4 + k / 8)] >> (7 - k % 8)) & 1) != 0;
}

std::string commandText(const TraceEvent& e) {
    const uint8_t op = uint8_t(e.a);
    std::string t = "usb " + commandName(op);
    switch (op) {
        case TZVK_SPIUSB::kWritePort:
            t += " lines " + hex(e.request[2], 2);
            break;
        case TZVK_SPIUSB::kSetLevel:
            t += " enable " + std::to_string(e.request[1]) + ", " +
                 std::to_string((e.request[2] << 8) | e.request[3]) + " mV";
            break;
        case TZVK_SPIUSB::kSpiWrite:
            t += " " + std::to_string(e.request[3]) + " bits " +
                 hex(spiWriteWord(e), e.request[3] > 8 ? 4 : 1) + ", delay " +
                 std::to_string(e.request[2]);
            break;
        case TZVK_SPIUSB::kSpiRead: {
            t +=
                " " + std::to_string(e.request[3]) + " bits, delay " + std::to_string(e.request[2]);
            if (e.b) t += " -> " + hex(e.reply[4], 2) + " " + hex(e.reply[5], 2);
            break;
        }
        case TZVK_SPIUSB::kGetVersion:
            if (e.b) {
                std::string v;
                for (int i = 1; i < TraceEvent::kPacketHead; ++i) {
                    const char c = char(e.reply[size_t(i)]);
                    v += c >= 0x20 && c < 0x7F ? c : '.';
                }
                t += " -> \"" + v + "...\"";
            }
            break;
        case TZVK_SPIUSB::kReadInput:
            t += " " + std::to_string(e.request[1]) + "/" + std::to_string(e.request[2]);
            if (e.b)
                t += " -> " + std::to_string(e.reply[3]) +
                     (e.reply[3] == 0 ? " (MFO high)" : " (MFO low)");
            break;
        case TZVK_SPIUSB::kReadAnalog:
            t += " channel " + std::to_string(e.request[1]);
            if (e.b) t += " -> " + std::to_string(e.reply[1] * 256 + e.reply[2]);
            break;
        default:
            break;
    }
    if (!e.b) t += " (no reply)";
    return t;
}

}  // namespace

std::string commandName(uint8_t opcode) {
    if (const char* name = TZVK_SPIUSB::commandName(opcode)) return name;
    return "command " + hex(opcode, 2);
}

TraceText::TraceText(const Trace& trace, const RegisterImage& held, uint8_t lines)
    : trace_(&trace), held_(held), lines_(lines) {}

std::string TraceText::line(const TraceEvent& e) {
    // The text is made in a buffer kept from line to line; most events show only in the
    // VCD and cost neither a time stamp nor an allocation.
    scratch_.clear();
    appendText(e, scratch_);
    if (scratch_.empty()) return {};
    std::string out;
    out.reserve(20 + scratch_.size());
    appendStamp(e, out);
    out += scratch_;
    return out;
}

std::string TraceText::stamp(const TraceEvent& e) const {
    std::string out;
    appendStamp(e, out);
    return out;
}

void TraceText::appendStamp(const TraceEvent& e, std::string& out) const {
    // Nanoseconds, rounded, shown as microseconds with three decimals, right-aligned in 12.
    const uint64_t ns = uint64_t(std::llround(trace_->microseconds(e) * 1000.0));
    char digits[32];
    char* end = std::to_chars(digits, digits + 24, ns / 1000).ptr;
    const uint64_t frac = ns % 1000;
    *end++ = '.';
    *end++ = char('0' + frac / 100);
    *end++ = char('0' + frac / 10 % 10);
    *end++ = char('0' + frac % 10);
    const size_t n = size_t(end - digits);
    if (n < 12) out.append(12 - n, ' ');
    out.append(digits, n);
    out += " us  ";
}

std::string TraceText::text(const TraceEvent& e) {
    std::string out;
    appendText(e, out);
    return out;
}

void TraceText::appendText(const TraceEvent& e, std::string& out) {
    switch (e.kind) {
        case TraceEvent::Kind::Frame: {
            const int reg = e.b & 7;
            RegisterImage next = held_;
            next[size_t(reg)] = e.c;
            out += 'R';
            appendNumber(out, unsigned(reg));
            out += " <- ";
            appendHex(out, e.c, 3);
            out += " (frame ";
            appendHex(out, e.a, 4);
            out += ')';
            for (const Field& f : kFieldMap) {
                // Only the written register's fields can change.
                if (f.encoding == Encoding::Status ||
                    (f.reg != reg && (f.high.width == 0 || f.high.reg != reg)))
                    continue;
                const uint32_t before = fieldValue(held_, f), after = fieldValue(next, f);
                if (before == after) continue;
                out += "  ";
                out += f.name;
                out += ' ';
                appendNumber(out, before);
                out += "->";
                appendNumber(out, after);
            }
            held_ = next;
            return;
        }
        case TraceEvent::Kind::ReadWord: {
            if (e.c != 0) {
                // The read after the lock-time measurement: every bit is the pin.
                out += "lock-detect sample (R";
                appendNumber(out, e.a);
                out += " read, MFO LD out) -> ";
                appendHex(out, e.b, 3);
                out += "  LD " + lockSampleFlag(e.b);
                return;
            }
            out += 'R';
            appendNumber(out, e.a);
            out += " -> ";
            appendHex(out, e.b, 3);
            if (e.a == 7) {
                const StatusDecoding d = decodeStatus(e.b, fieldValue(held_, field("SHOWLD")) != 0);
                out += "  IFFVAL " + d.IFFVAL + ", IFFSTATE " + d.IFFSTATE;
                if (!d.LD.empty()) out += ", LD " + d.LD;
                out += ", RSSI " + d.RSSI;
            }
            return;
        }
        case TraceEvent::Kind::ChipLatch:
            out += "chip latched ";
            appendHex(out, e.a, 4);
            out += " (R";
            appendNumber(out, (e.a >> 1) & 7u);
            out += " = ";
            appendHex(out, unsigned(e.a >> 4), 3);
            out += ')';
            return;
        case TraceEvent::Kind::Violation:
            out += "violation ";
            out += violationName(ViolationKind(e.a));
            out += " in frame ";
            appendNumber(out, unsigned(e.b) | unsigned(e.c) << 16);
            return;
        case TraceEvent::Kind::Command:
            out += commandText(e);
            return;
        case TraceEvent::Kind::Lines: {
            const uint8_t before = lines_, now = uint8_t(e.a);
            lines_ = now;
            // Nearly every line write is a clock or data edge inside a frame: shown by the
            // VCD only, and passed over here at once.
            if (((before ^ now) & (kSpisel | kModsel)) == 0 && (now & kSpisel) != 0) return;
            std::string t;
            for (const auto& [bit, name] : {std::pair{kSpisel, "SPISEL"}, {kModsel, "MODSEL"}}) {
                if ((before ^ now) & bit)
                    t += std::string(t.empty() ? "" : ", ") + name + " " +
                         std::to_string((before & bit) != 0) + "->" +
                         std::to_string((now & bit) != 0);
            }
            // With SPISEL low the three serial lines are the A, B and C pins.
            if (!(now & kSpisel) && ((before ^ now) & (kSden | kSclk | kSdta))) {
                if (!t.empty()) t += ", ";
                t += "ABC pins A " + std::to_string((now & kSden) != 0) + ", B " +
                     std::to_string((now & kSclk) != 0) + ", C " +
                     std::to_string((now & kSdta) != 0);
            }
            if (!t.empty()) out += "lines " + hex(now, 2) + "  " + t;
            return;
        }
        case TraceEvent::Kind::Mfo:
            return;
    }
}

namespace {

// Writes value changes of the six signals in time order.
class VcdWriter {
  public:
    explicit VcdWriter(std::string& out) : out_(out) {}
    static constexpr const char* kNames[6] = {"SDEN", "SCLK", "SDTA", "SPISEL", "MODSEL", "MFO"};

    void header(const std::string& version, uint8_t lines) {
        out_ +=
            "$comment\n  zvk40310 trace of the serial lines. Port writes lie at least 1 ns apart:\n"
            "  where the program's clock shows no time between two of them (it counts\n"
            "  microseconds, and on the virtual board accesses take no time at all) they\n"
            "  are stepped by 1 ns. The adapter's lines are drawn as each command implies\n"
            "  them at a nominal 1 MHz clock (SDTA set at the start of each 1000 ns bit,\n"
            "  SCLK high from 250 to 750 ns), SpiRead's twelve clocks included.\n$end\n";
        out_ +=
            "$version " + version + " $end\n$timescale 1 ns $end\n$scope module zvk40310 $end\n";
        for (int i = 0; i < 6; ++i)
            out_ += "$var wire 1 " + std::string(1, char('!' + i)) + " " + kNames[i] + " $end\n";
        out_ += "$upscope $end\n$enddefinitions $end\n#0\n$dumpvars\n";
        for (int i = 0; i < 5; ++i) {
            level_[size_t(i)] = (lines >> i) & 1;
            out_ += char('0' + level_[size_t(i)]);
            out_ += char('!' + i);
            out_ += '\n';
        }
        out_ += "0&\n$end\n";
    }
    // The next instant: never before the last one written, and after it when asked.
    uint64_t at(uint64_t ns) {
        now_ = std::max(ns, now_ + 1);
        return now_;
    }
    void set(uint64_t t, int signal, int level) {
        if (level_[size_t(signal)] == level) return;
        level_[size_t(signal)] = level;
        if (t != stamped_ || !anyStamp_) {
            out_ += "#" + std::to_string(t) + "\n";
            stamped_ = t;
            anyStamp_ = true;
        }
        out_ += char('0' + level);
        out_ += char('!' + signal);
        out_ += '\n';
        now_ = std::max(now_, t);
    }
    void lines(uint64_t t, uint8_t value) {
        for (int i = 0; i < 5; ++i) set(t, i, (value >> i) & 1);
    }
    int level(int signal) const { return level_[size_t(signal)]; }

  private:
    std::string& out_;
    std::array<int, 6> level_{};
    uint64_t now_ = 0, stamped_ = 0;
    bool anyStamp_ = false;
};

constexpr int kBitNs = 1000;

}  // namespace

std::string traceVcd(const Trace& trace, uint8_t lines, const std::string& version) {
    std::string out;
    VcdWriter w(out);
    w.header(version, lines);
    enum { SDEN, SCLK, SDTA, SPISEL, MODSEL, MFO };
    for (const TraceEvent& e : trace.events()) {
        const uint64_t ns = uint64_t(trace.microseconds(e) * 1000.0);
        switch (e.kind) {
            case TraceEvent::Kind::Lines:
                w.lines(w.at(ns), uint8_t(e.a));
                break;
            case TraceEvent::Kind::Mfo:
                w.set(w.at(ns), MFO, e.a != 0);
                break;
            case TraceEvent::Kind::Command: {
                const uint8_t op = uint8_t(e.a);
                if (op == TZVK_SPIUSB::kWritePort) {
                    w.lines(w.at(ns), e.request[2]);
                } else if (op == TZVK_SPIUSB::kReadInput && e.b) {
                    w.set(w.at(ns), MFO, e.reply[3] == 0);
                } else if (op == TZVK_SPIUSB::kSpiWrite) {
                    const int bits = std::min<int>(e.request[3], 16);
                    const uint16_t word = spiWriteWord(e);
                    uint64_t t = w.at(ns);
                    w.set(t, SDEN, 0);
                    for (int b = bits - 1; b >= 0; --b, t += kBitNs) {
                        w.set(t, SDTA, (word >> b) & 1);
                        w.set(t + 250, SCLK, 1);
                        w.set(t + 750, SCLK, 0);
                    }
                    w.set(t, SDEN, 1);
                    w.set(t + kBitNs / 2, SDEN, 0);
                } else if (op == TZVK_SPIUSB::kSpiRead) {
                    const int bits = std::min<int>(e.request[3], 64);
                    uint64_t t = w.at(ns);
                    for (int k = 0; k < bits; ++k, t += kBitNs) {
                        if (e.b) w.set(t, MFO, spiReadBit(e, k));
                        w.set(t + 250, SCLK, 1);
                        w.set(t + 750, SCLK, 0);
                    }
                }
                break;
            }
            default:
                break;
        }
    }
    return out;
}

}  // namespace zvk
