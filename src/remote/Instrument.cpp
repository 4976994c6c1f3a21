// SPDX-License-Identifier: MIT
#include "remote/Instrument.h"

#include <cmath>
#include <cstdio>
#include <exception>

#include "base/Numbers.h"
#include "base/Version.h"
#include "chip/FieldMap.h"
#include "remote/FilePath.h"
#include "session/EditRules.h"
#include "session/LockCheck.h"
#include "session/StatusPoll.h"
#include "storage/ConfigFile.h"
#include "storage/FileText.h"

namespace zvk::remote {

namespace {

// A command refused: the code and the detail go into the error queue, nothing changes.
struct Refusal {
    int code;
    std::string detail;
};

[[noreturn]] void refuse(int code, std::string detail) {
    throw Refusal{code, std::move(detail)};
}

// One node of a header as the table writes it: "FREQuency", "[:NEXT]", "REGister#".
struct PatternNode {
    std::string form;
    bool optional = false;
    bool suffix = false;
};

std::vector<PatternNode> patternOf(std::string_view header) {
    std::vector<PatternNode> nodes;
    size_t i = 0;
    while (i < header.size()) {
        PatternNode n;
        if (header[i] == '[') {
            n.optional = true;
            ++i;
        }
        if (i < header.size() && header[i] == ':') ++i;
        while (i < header.size() && header[i] != ':' && header[i] != '[' && header[i] != ']')
            n.form += header[i++];
        if (i < header.size() && header[i] == ']') ++i;
        if (!n.form.empty() && n.form.back() == '#') {
            n.suffix = true;
            n.form.pop_back();
        }
        nodes.push_back(std::move(n));
    }
    return nodes;
}

// Whether the received nodes from r on match the pattern from p on; the numeric suffix of
// a node that takes one goes into suffix (-2: none was given, -1: too large).
bool matches(const std::vector<PatternNode>& pattern, size_t p,
             const std::vector<std::string>& received, size_t r, int& suffix) {
    if (p == pattern.size()) return r == received.size();
    const PatternNode& n = pattern[p];
    if (n.optional && matches(pattern, p + 1, received, r, suffix)) return true;
    if (r == received.size()) return false;
    if (n.suffix) {
        const SuffixedMnemonic m = splitSuffix(received[r]);
        if (!mnemonicMatches(m.name, n.form)) return false;
        const int before = suffix;
        suffix = m.suffix.value_or(-2);
        if (matches(pattern, p + 1, received, r + 1, suffix)) return true;
        suffix = before;
        return false;
    }
    return mnemonicMatches(received[r], n.form) && matches(pattern, p + 1, received, r + 1, suffix);
}

std::string joined(const std::vector<std::string>& nodes) {
    std::string t;
    for (const std::string& n : nodes) t += (t.empty() ? "" : ":") + n;
    return t.substr(0, 60);
}

// A frequency in Hz as a reply: every digit the plan's MHz value has, no separators.
std::string hzText(double mhz) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", mhz * 1e6);
    return buf;
}

void expectCount(const ProgramUnit& u, size_t n) {
    if (u.params.size() < n)
        refuse(kMissingParameter, std::to_string(n) + " parameter(s) expected");
    if (u.params.size() > n)
        refuse(kParameterNotAllowed, std::to_string(u.params.size()) + " parameters where " +
                                         std::to_string(n) + (n == 1 ? " is" : " are") + " taken");
}

// A frequency parameter in MHz: a number in Hz unless its suffix says otherwise, or one of
// the names the command takes (DEF, MIN) with its value.
double frequencyMhz(const Parameter& p, const char* what,
                    std::initializer_list<std::pair<const char*, double>> names) {
    if (p.kind == Parameter::Kind::Character) {
        for (const auto& [name, value] : names)
            if (p.text == name) return value;
        std::string taken;
        for (const auto& n : names) taken += std::string(taken.empty() ? "" : ", ") + n.first;
        refuse(kInvalidCharacterData,
               p.text + " is no " + what + (taken.empty() ? "" : "; names taken: " + taken));
    }
    if (p.kind != Parameter::Kind::Number)
        refuse(kDataTypeError, std::string(what) + " is a number");
    // Divided rather than multiplied by an inverse: 433920000 Hz is the double nearest
    // 433.92 MHz, as the edit's text would give it.
    double mhz = 0;
    if (p.unit.empty() || p.unit == "HZ")
        mhz = p.value / 1e6;
    else if (p.unit == "KHZ")
        mhz = p.value / 1e3;
    else if (p.unit == "MHZ")
        mhz = p.value;
    else if (p.unit == "GHZ")
        mhz = p.value * 1e3;
    else
        refuse(kInvalidSuffix, p.unit + " is no frequency unit (HZ, KHZ, MHZ, GHZ)");
    if (!std::isfinite(mhz)) refuse(kDataOutOfRange, p.text + " is beyond any frequency");
    return mhz;
}

// A whole number in min..max, or MIN, MAX and the names the command takes.
long long integerIn(const Parameter& p, const std::string& what, long long min, long long max,
                    std::optional<long long> def = std::nullopt) {
    if (p.kind == Parameter::Kind::Character) {
        if (p.text == "MIN" || p.text == "MINIMUM") return min;
        if (p.text == "MAX" || p.text == "MAXIMUM") return max;
        if (def && (p.text == "DEF" || p.text == "DEFAULT")) return *def;
        refuse(kInvalidCharacterData,
               p.text + " is no " + what + " (a number, MIN or MAX" + (def ? ", DEF)" : ")"));
    }
    if (p.kind != Parameter::Kind::Number) refuse(kDataTypeError, what + " is a number");
    if (!p.unit.empty()) refuse(kInvalidSuffix, what + " takes no suffix: " + p.unit);
    if (!p.integer) {
        if (p.value < double(min) || p.value > double(max))
            refuse(kDataOutOfRange, what + " " + p.text + " is outside " + std::to_string(min) +
                                        ".." + std::to_string(max));
        refuse(kIllegalParameterValue, what + " " + p.text + " is no whole number");
    }
    if (*p.integer < min || *p.integer > max)
        refuse(kDataOutOfRange, what + " " + p.text + " is outside " + std::to_string(min) + ".." +
                                    std::to_string(max));
    return *p.integer;
}

bool booleanOf(const Parameter& p, const std::string& what) {
    if (p.kind == Parameter::Kind::Character) {
        if (p.text == "ON") return true;
        if (p.text == "OFF") return false;
        refuse(kInvalidCharacterData, p.text + " is no " + what + " (ON, OFF, 1 or 0)");
    }
    return integerIn(p, what, 0, 1) == 1;
}

// HIGH or LOW: an injection side as the radio groups' items 0 and 1.
int sideOf(const Parameter& p, const char* what) {
    if (p.kind != Parameter::Kind::Character)
        refuse(kDataTypeError, std::string(what) + " is HIGH or LOW");
    if (p.text == "HIGH") return 0;
    if (p.text == "LOW") return 1;
    refuse(kInvalidCharacterData, p.text + " is no " + what + " (HIGH or LOW)");
}

std::string nameParameter(const Parameter& p, const char* what) {
    if (p.kind == Parameter::Kind::Number) refuse(kDataTypeError, std::string(what) + " is a name");
    return p.text;
}

}  // namespace

const std::vector<Instrument::Command>& Instrument::table() {
    using I = Instrument;
    static const std::vector<Command> commands = {
        {"*IDN", nullptr, &I::idnQuery, false},
        {"*RST", &I::rst, nullptr, true},
        {"*CLS", &I::cls, nullptr, false},
        {"*OPC", &I::opc, &I::opcQuery, false},
        {"*WAI", &I::wai, nullptr, false},
        {"*ESE", &I::eseSet, &I::eseQuery, false},
        {"*ESR", nullptr, &I::esrQuery, false},
        {"*SRE", &I::sreSet, &I::sreQuery, false},
        {"*STB", nullptr, &I::stbQuery, false},
        {"SYSTem:ERRor[:NEXT]", nullptr, &I::errorQuery, false},
        {"SYSTem:ERRor:COUNt", nullptr, &I::errorCountQuery, false},
        {"SYSTem:VERSion", nullptr, &I::versionQuery, false},
        {"FREQuency", &I::frequencySet, &I::frequencyQuery, true},
        {"FREQuency:LO1", nullptr, &I::lo1Query, false},
        {"FREQuency:LO2", nullptr, &I::lo2Query, false},
        {"FREQuency:IF1", nullptr, &I::if1Query, false},
        {"FREQuency:IF2", nullptr, &I::if2Query, false},
        {"FREQuency:PFD", nullptr, &I::pfdQuery, false},
        {"FREQuency:CHANnel", nullptr, &I::channelQuery, false},
        {"ROSCillator:FREQuency", &I::crystalSet, &I::crystalQuery, true},
        {"INJection:LO1", &I::injectionLo1Set, &I::injectionLo1Query, true},
        {"INJection:LO2", &I::injectionLo2Set, &I::injectionLo2Query, true},
        {"IFFilter:RDIVider", &I::filterDividerSet, &I::filterDividerQuery, true},
        {"IFFilter:PRESet", &I::filterPresetSet, &I::filterPresetQuery, true},
        {"IFFilter:AUTO", &I::filterAutoSet, &I::filterAutoQuery, true},
        {"IFFilter:HALT", &I::filterHaltSet, &I::filterHaltQuery, true},
        {"IFFilter:FREQuency", nullptr, &I::filterFrequencyQuery, false},
        {"LOCK", nullptr, &I::lockQuery, false},
        {"CHIP:STATus", nullptr, &I::statusQuery, false},
        {"REGister#", &I::registerSet, &I::registerQuery, true},
        {"CHIP:FIELD", &I::fieldSet, &I::fieldQuery, true},
        {"CHIP:WRITe", &I::chipWrite, nullptr, true},
        {"MODE", &I::modeSet, &I::modeQuery, true},
        {"ABC:PRESet", &I::presetSet, &I::presetQuery, true},
        {"MMEMory:LOAD:STATe", &I::loadState, nullptr, true},
        {"MMEMory:STORe:STATe", &I::storeState, nullptr, true},
    };
    return commands;
}

std::vector<Instrument::CommandInfo> Instrument::commands() {
    std::vector<CommandInfo> out;
    for (const Command& c : table())
        out.push_back({c.header, c.set != nullptr, c.query != nullptr, c.changes});
    return out;
}

Instrument::Instrument(Session& session, InstrumentOptions options)
    : session_(session), options_(std::move(options)) {}

void Instrument::setChangeGuard(std::function<std::optional<std::string>()> guard) {
    guard_ = std::move(guard);
}

void Instrument::clientChanged() {
    errors_.clear();
    errors_.clearEventStatus();
    ese_ = 0;
    sre_ = 0;
    path_.clear();
}

void Instrument::refuseOverlongLine() {
    errors_.push(kTooMuchData, "the line is longer than the server takes; nothing of it ran");
}

std::string Instrument::identity() const {
    std::string board;
    if (session_.usbInUse()) {
        board = "usb";
        if (const auto n = session_.adapterName())
            board += " bus " + std::to_string(n->bus) + " dev " + std::to_string(n->device);
    } else {
        char base[16];
        std::snprintf(base, sizeof base, "0x%X", unsigned(session_.portBase()));
        board = std::string("lpt ") + base;
    }
    if (session_.isVirtual()) board = "virtual-" + board;
    for (char& c : board)
        if (c == ',' || c == ';') c = ' ';
    return std::string("zvk40310,ZVK40310,") + board + "," + kProgramVersion;
}

const Instrument::Command* Instrument::find(const std::vector<std::string>& nodes,
                                            int& suffix) const {
    static const std::vector<std::vector<PatternNode>> patterns = [] {
        std::vector<std::vector<PatternNode>> all;
        for (const Command& c : table()) all.push_back(patternOf(c.header));
        return all;
    }();
    for (size_t i = 0; i < patterns.size(); ++i) {
        int s = -2;
        if (matches(patterns[i], 0, nodes, 0, s)) {
            suffix = s;
            return &table()[i];
        }
    }
    return nullptr;
}

std::string Instrument::execute(std::string_view line) {
    std::vector<std::string> answers;
    // Each line starts at the root.
    path_.clear();
    for (std::string_view text : splitUnits(line)) {
        ParsedUnit parsed = parseUnit(text);
        if (parsed.error) {
            errors_.push(parsed.error->code, parsed.error->detail);
            break;
        }
        try {
            run(parsed.unit, answers);
        } catch (const Refusal& r) {
            errors_.push(r.code, r.detail);
            break;
        } catch (const std::exception& e) {
            errors_.push(kExecutionError, e.what());
            break;
        }
    }
    std::string reply;
    for (const std::string& a : answers) reply += (reply.empty() ? "" : ";") + a;
    return reply;
}

void Instrument::run(const ProgramUnit& unit, std::vector<std::string>& answers) {
    std::vector<std::string> nodes;
    if (!unit.common && !unit.absolute) nodes = path_;
    nodes.insert(nodes.end(), unit.nodes.begin(), unit.nodes.end());
    int suffix = -2;
    const Command* c = find(nodes, suffix);
    if (!c) refuse(kUndefinedHeader, joined(nodes) + (unit.query ? "?" : ""));
    if (!unit.common) path_.assign(nodes.begin(), nodes.end() - 1);
    const Handler h = unit.query ? c->query : c->set;
    if (!h)
        refuse(kUndefinedHeader,
               std::string(c->header) + (unit.query ? " has no query form" : " is a query only"));
    if (!unit.query && c->changes && guard_)
        if (auto why = guard_()) refuse(kSettingsConflict, *why);
    Call call{unit, suffix, {}};
    (this->*h)(call);
    if (unit.query) answers.push_back(std::move(call.reply));
}

// ---- common commands

void Instrument::idnQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = identity();
}

void Instrument::rst(Call& c) {
    expectCount(c.unit, 0);
    const uint64_t cycles = session_.chip().writeCycles();
    session_.defaults();
    // The chip holds the default image afterwards, also without "Send always".
    if (session_.chip().writeCycles() == cycles) session_.writeCycle();
}

void Instrument::cls(Call& c) {
    expectCount(c.unit, 0);
    errors_.clear();
    errors_.clearEventStatus();
}

// Every command has ended when the next is read: the operation is complete at once.
void Instrument::opc(Call& c) {
    expectCount(c.unit, 0);
    errors_.setEventStatusBits(kOperationComplete);
}

void Instrument::opcQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = "1";
}

void Instrument::wai(Call& c) {
    expectCount(c.unit, 0);
}

void Instrument::eseSet(Call& c) {
    expectCount(c.unit, 1);
    ese_ = uint8_t(integerIn(c.unit.params[0], "*ESE", 0, 255));
}

void Instrument::eseQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = std::to_string(ese_);
}

void Instrument::esrQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = std::to_string(errors_.takeEventStatus());
}

void Instrument::sreSet(Call& c) {
    expectCount(c.unit, 1);
    sre_ = uint8_t(integerIn(c.unit.params[0], "*SRE", 0, 255) & ~0x40);
}

void Instrument::sreQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = std::to_string(sre_);
}

void Instrument::stbQuery(Call& c) {
    expectCount(c.unit, 0);
    // Bit 2: the error queue holds an entry; bit 5: an enabled event; bit 6: a bit that
    // *SRE enables is set.
    int stb = 0;
    if (errors_.count() > 0) stb |= 1 << 2;
    if (errors_.eventStatus() & ese_) stb |= 1 << 5;
    if (stb & sre_) stb |= 1 << 6;
    c.reply = std::to_string(stb);
}

// ---- SYSTem

void Instrument::errorQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = errors_.next();
}

void Instrument::errorCountQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = std::to_string(errors_.count());
}

void Instrument::versionQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = "1999.0";
}

// ---- the plan

void Instrument::requireSpiMode(const char* what) const {
    if (!session_.spiMode())
        refuse(kSettingsConflict,
               std::string("the chip is in ABC mode, where ") + what + " cannot be set");
}

void Instrument::frequencySet(Call& c) {
    expectCount(c.unit, 1);
    const double mhz = frequencyMhz(c.unit.params[0], "frequency", {{"DEF", Session::kDefaultFrf}});
    requireSpiMode("the wanted frequency");
    if (auto refusal = session_.planRefusal(std::nullopt, mhz)) refuse(kDataOutOfRange, *refusal);
    const uint64_t cycles = session_.chip().writeCycles();
    // As a user types the frequency and presses "Calculate".
    session_.writeWantedEdit(formatFrequency(mhz));
    session_.calculateClicked();
    if (session_.chip().writeCycles() == cycles) session_.writeCycle();
}

void Instrument::frequencyQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = hzText(session_.tunedFrequencies().fRFt);
}

void Instrument::lo1Query(Call& c) {
    expectCount(c.unit, 0);
    c.reply = hzText(std::fabs(session_.tunedFrequencies().fLO1));
}

void Instrument::lo2Query(Call& c) {
    expectCount(c.unit, 0);
    c.reply = hzText(std::fabs(session_.tunedFrequencies().fLO2));
}

void Instrument::if1Query(Call& c) {
    expectCount(c.unit, 0);
    c.reply = hzText(std::fabs(session_.tunedFrequencies().fIF1));
}

void Instrument::if2Query(Call& c) {
    expectCount(c.unit, 0);
    c.reply = hzText(std::fabs(session_.tunedFrequencies().fIF2));
}

void Instrument::pfdQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = hzText(std::fabs(session_.tunedFrequencies().fPFD));
}

void Instrument::channelQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = hzText(std::fabs(session_.tunedFrequencies().fCH));
}

void Instrument::crystalSet(Call& c) {
    expectCount(c.unit, 1);
    const double mhz = frequencyMhz(c.unit.params[0], "crystal frequency",
                                    {{"DEF", Session::kDefaultFxtal}, {"MIN", kMinXtal}});
    requireSpiMode("the crystal");
    // Below the minimum the edit would hold the minimum instead: refused, not changed.
    if (mhz < kMinXtal)
        refuse(kDataOutOfRange, "f XTAL " + formatFrequency(mhz) + " MHz is below " +
                                    formatFrequency(kMinXtal) + " MHz");
    if (auto refusal = session_.planRefusal(mhz, std::nullopt)) refuse(kDataOutOfRange, *refusal);
    session_.writeCrystalEdit(formatFrequency(mhz), false);
}

void Instrument::crystalQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = hzText(xtalEditState(session_.edits().fxtal));
}

void Instrument::injectionLo1Set(Call& c) {
    expectCount(c.unit, 1);
    const int item = sideOf(c.unit.params[0], "LO1 injection side");
    requireSpiMode("the injection sides");
    session_.selectInjection(item);
}

void Instrument::injectionLo1Query(Call& c) {
    expectCount(c.unit, 0);
    const int item = session_.edits().rgIf1;
    c.reply = item == 0 ? "HIGH" : item == 1 ? "LOW" : "NONE";
}

void Instrument::injectionLo2Set(Call& c) {
    expectCount(c.unit, 1);
    const int item = sideOf(c.unit.params[0], "LO2 injection side");
    requireSpiMode("the injection sides");
    session_.selectControl(field("SSBSEL"), item);
}

void Instrument::injectionLo2Query(Call& c) {
    expectCount(c.unit, 0);
    c.reply = session_.controlState(field("SSBSEL")) == 0 ? "HIGH" : "LOW";
}

void Instrument::numberFieldSet(Call& c, const Field& f) {
    expectCount(c.unit, 1);
    const EditRule* rule = numberEditRule(f);
    const long long v =
        rule ? integerIn(c.unit.params[0], f.name, rule->min, rule->max, rule->fallback)
             : integerIn(c.unit.params[0], f.name, 0, (1LL << f.width) - 1);
    requireSpiMode(f.name);
    // As the user types it: the edit's handler and the full update.
    session_.numberEdited(f, std::to_string(v), false);
}

void Instrument::checkFieldSet(Call& c, const Field& f) {
    expectCount(c.unit, 1);
    const bool on = booleanOf(c.unit.params[0], f.name);
    requireSpiMode(f.name);
    session_.selectControl(f, on ? 1 : 0);
}

void Instrument::filterDividerSet(Call& c) {
    numberFieldSet(c, field("RIFF"));
}

void Instrument::filterDividerQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = std::to_string(session_.controlState(field("RIFF")));
}

void Instrument::filterPresetSet(Call& c) {
    numberFieldSet(c, field("IFFPRES"));
}

void Instrument::filterPresetQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = std::to_string(session_.controlState(field("IFFPRES")));
}

void Instrument::filterAutoSet(Call& c) {
    checkFieldSet(c, field("IFTUNE"));
}

void Instrument::filterAutoQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = std::to_string(session_.controlState(field("IFTUNE")));
}

void Instrument::filterHaltSet(Call& c) {
    checkFieldSet(c, field("IFHLT"));
}

void Instrument::filterHaltQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = std::to_string(session_.controlState(field("IFHLT")));
}

void Instrument::filterFrequencyQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = hzText(std::fabs(session_.tunedFrequencies().fIFF));
}

// ---- the chip

std::optional<StatusReading> Instrument::statusRead() {
    const auto reading = session_.readStatus();
    if (!reading) refuse(kExecutionError, "another transfer is running; the status was not read");
    if (reading->skipped) refuse(kExecutionError, "the port is held by another program");
    return reading;
}

void Instrument::lockQuery(Call& c) {
    expectCount(c.unit, 0);
    if (auto why = lockUnreadable(session_)) refuse(kSettingsConflict, *why);
    const auto reading = statusRead();
    c.reply = statusField(reading->word, field("LDRSSIL")) ? "1" : "0";
}

void Instrument::statusQuery(Call& c) {
    expectCount(c.unit, 0);
    if (auto why = session_.statusReadBlocked()) refuse(kSettingsConflict, *why);
    const auto r = statusRead();
    char word[8];
    std::snprintf(word, sizeof word, "#H%03X", unsigned(r->word));
    auto quotedText = [](const std::string& t) { return "\"" + t + "\""; };
    c.reply = std::string(word) + "," + std::to_string(statusField(r->word, field("IFFVAL"))) +
              "," + std::to_string(statusField(r->word, field("IFFSTATE"))) + "," +
              std::to_string(statusField(r->word, field("LDRSSIL"))) + "," +
              std::to_string(statusField(r->word, field("RSSIH"))) + "," +
              quotedText(r->decoded.IFFSTATE) + "," + quotedText(r->decoded.LD) + "," +
              quotedText(r->decoded.RSSI);
}

namespace {
// REG's suffix: the register 0..7, never SCPI's default 1, which would make a REG without
// its number write R1.
void checkRegisterSuffix(const ProgramUnit& u, int suffix) {
    if (suffix >= 0 && suffix <= 7) return;
    refuse(kHeaderSuffixOutOfRange,
           u.nodes.back().substr(0, 20) + ": REG takes a register number 0..7");
}
}  // namespace

void Instrument::registerSet(Call& c) {
    checkRegisterSuffix(c.unit, c.suffix);
    expectCount(c.unit, 1);
    const std::string name = "R" + std::to_string(c.suffix);
    const auto v = integerIn(c.unit.params[0], name, 0, 0xFFF);
    requireSpiMode("the registers");
    session_.setRegisterBits(c.suffix, uint16_t(v));
}

void Instrument::registerQuery(Call& c) {
    checkRegisterSuffix(c.unit, c.suffix);
    expectCount(c.unit, 0);
    c.reply = std::to_string(session_.regs()[size_t(c.suffix)]);
}

namespace {
const Field& namedField(const Parameter& p) {
    const std::string name = nameParameter(p, "a field");
    const Field* f = findField(name);
    if (!f) refuse(kIllegalParameterValue, "no field is named " + name);
    return *f;
}
}  // namespace

void Instrument::fieldSet(Call& c) {
    expectCount(c.unit, 2);
    const Field& f = namedField(c.unit.params[0]);
    if (f.encoding == Encoding::Status)
        refuse(kIllegalParameterValue,
               std::string(f.name) + " is a status field, which the chip sets itself");
    const StateRange range = controlStateRange(f);
    const EditRule* rule = numberEditRule(f);
    const int state =
        int(integerIn(c.unit.params[1], f.name, range.min, range.max,
                      rule ? std::optional<long long>(rule->fallback) : std::nullopt));
    requireSpiMode(f.name);
    if (f.encoding == Encoding::Mfo) {
        if (mfoRestriction(state, options_.labMode) != state)
            refuse(kSettingsConflict, "MFO item " + std::to_string(state) +
                                          " needs lab mode; without it MFO takes 0..5 and 8");
        session_.chooseMfo(state, options_.labMode);
        session_.afterChange();
    } else if (rule) {
        session_.numberEdited(f, std::to_string(state), false);
    } else {
        session_.selectControl(f, state);
    }
}

void Instrument::fieldQuery(Call& c) {
    expectCount(c.unit, 1);
    const Field& f = namedField(c.unit.params[0]);
    c.reply = std::to_string(f.encoding == Encoding::Status ? int(fieldValue(session_.regs(), f))
                                                            : session_.controlState(f));
}

void Instrument::chipWrite(Call& c) {
    expectCount(c.unit, 0);
    session_.writeCycle();
}

void Instrument::modeSet(Call& c) {
    expectCount(c.unit, 1);
    const Parameter& p = c.unit.params[0];
    if (p.kind != Parameter::Kind::Character) refuse(kDataTypeError, "the mode is SPI or ABC");
    if (p.text != "SPI" && p.text != "ABC")
        refuse(kInvalidCharacterData, p.text + " is no mode (SPI or ABC)");
    if (!options_.labMode) refuse(kSettingsConflict, "the mode is chosen in lab mode only");
    const bool spi = p.text == "SPI";
    if (spi != session_.spiMode()) session_.switchMode(spi);
}

void Instrument::modeQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = session_.spiMode() ? "SPI" : "ABC";
}

void Instrument::presetSet(Call& c) {
    expectCount(c.unit, 1);
    const int index = int(integerIn(c.unit.params[0], "ABC preset", 0, 7));
    if (session_.spiMode())
        refuse(kSettingsConflict, "the chip is in SPI mode; ABC presets are chosen in ABC mode");
    session_.chooseAbcPreset(index);
}

void Instrument::presetQuery(Call& c) {
    expectCount(c.unit, 0);
    c.reply = std::to_string(session_.presetIndex());
}

// ---- files

namespace {
std::string fileParameter(const ProgramUnit& u) {
    expectCount(u, 1);
    if (u.params[0].kind != Parameter::Kind::String)
        refuse(kDataTypeError, "the file name is a quoted string");
    return u.params[0].text;
}
}  // namespace

void Instrument::loadState(Call& c) {
    const std::string name = fileParameter(c.unit);
    const FileInFolder file = fileInFolder(options_.filesDir, name, true);
    if (file.code) refuse(file.code, file.why);
    if (auto refusal = configFileRefusal(file.path)) refuse(kExecutionError, *refusal);
    // A file that breaks off would keep the lines before the bad one: it is read first.
    Config probe = session_.currentConfig();
    if (auto error = loadConfig(file.path, probe)) refuse(kExecutionError, *error);
    if (auto error = session_.loadConfiguration(file.path)) refuse(kExecutionError, *error);
}

void Instrument::storeState(Call& c) {
    const std::string name = fileParameter(c.unit);
    const FileInFolder file = fileInFolder(options_.filesDir, configSaveName(name), false);
    if (file.code) refuse(file.code, file.why);
    const SaveLock lock(file.path);
    if (lock.refusal()) refuse(kExecutionError, *lock.refusal());
    if (auto error = session_.saveConfiguration(file.path)) refuse(kExecutionError, *error);
}

}  // namespace zvk::remote
