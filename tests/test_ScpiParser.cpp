// SPDX-License-Identifier: MIT
// SCPI's syntax as a client writes it, and the error queue that answers SYST:ERR?.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "remote/ErrorQueue.h"
#include "remote/ScpiParser.h"

namespace zvk::remote {
namespace {

// A parsed unit written back as one line, so a table can say what it expects:
// "*IDN ?", ":FREQ ! N[433.92|MHZ]", "MMEM:LOAD:STAT S[a'b]", "INJ:LO1 C[HIGH]".
std::string shown(const ProgramUnit& u) {
    std::string t = u.absolute ? ":" : "";
    for (size_t i = 0; i < u.nodes.size(); ++i) t += (i ? ":" : "") + u.nodes[i];
    t += u.query ? " ?" : " !";
    for (const Parameter& p : u.params) {
        switch (p.kind) {
            case Parameter::Kind::Number:
                t += " N[" + p.text + "|" + p.unit + "|" +
                     (p.integer ? std::to_string(*p.integer) : std::string("-")) + "]";
                break;
            case Parameter::Kind::Character:
                t += " C[" + p.text + "]";
                break;
            case Parameter::Kind::String:
                t += " S[" + p.text + "]";
                break;
        }
    }
    return t;
}

TEST(ScpiParser, ParsesHeadersAndParameters) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"*IDN?", "*IDN ?"},
        {"*idn?", "*IDN ?"},
        {"*ESE 32", "*ESE ! N[32||32]"},
        {"FREQ 433920000", "FREQ ! N[433920000||433920000]"},
        {"freq 433.92MHz", "FREQ ! N[433.92MHz|MHZ|-]"},
        {"Freq 433.92 MHZ", "FREQ ! N[433.92 MHZ|MHZ|-]"},
        {"FREQ 4.3392E8", "FREQ ! N[4.3392E8||433920000]"},
        {"FREQ 4.3392e+8 hz", "FREQ ! N[4.3392e+8 hz|HZ|433920000]"},
        {"FREQ .5GHZ", "FREQ ! N[.5GHZ|GHZ|-]"},
        {"FREQ -5", "FREQ ! N[-5||-5]"},
        {"FREQ +12", "FREQ ! N[+12||12]"},
        {":FREQuency:LO1?", ":FREQUENCY:LO1 ?"},
        {"  SYST:ERR?  ", "SYST:ERR ?"},
        {"REG3 #H8D", "REG3 ! N[#H8D||141]"},
        {"REG3 #b1010", "REG3 ! N[#b1010||10]"},
        {"REG3 #Q17", "REG3 ! N[#Q17||15]"},
        {"REG3 MAX", "REG3 ! C[MAX]"},
        {"INJ:LO1 high", "INJ:LO1 ! C[HIGH]"},
        {"CHIP:FIELD OPMODE,1", "CHIP:FIELD ! C[OPMODE] N[1||1]"},
        {"CHIP:FIELD opmode , 1", "CHIP:FIELD ! C[OPMODE] N[1||1]"},
        {"CHIP:FIELD? MFO", "CHIP:FIELD ? C[MFO]"},
        {"MMEM:LOAD:STAT \"a.cfg\"", "MMEM:LOAD:STAT ! S[a.cfg]"},
        {"MMEM:LOAD:STAT 'a.cfg'", "MMEM:LOAD:STAT ! S[a.cfg]"},
        // Doubled quotes stand for one; the other kind of quote is plain text.
        {"MMEM:STOR:STAT \"say \"\"hi\"\"\"", "MMEM:STOR:STAT ! S[say \"hi\"]"},
        {"MMEM:STOR:STAT 'it''s'", "MMEM:STOR:STAT ! S[it's]"},
        {"MMEM:STOR:STAT \"a,b;c\"", "MMEM:STOR:STAT ! S[a,b;c]"},
        {"MMEM:STOR:STAT \"it's\"", "MMEM:STOR:STAT ! S[it's]"},
    };
    for (const Case& c : cases) {
        const ParsedUnit p = parseUnit(c.text);
        ASSERT_FALSE(p.error) << c.text << ": " << p.error->code << " " << p.error->detail;
        EXPECT_EQ(shown(p.unit), c.expected) << c.text;
    }
}

TEST(ScpiParser, RefusesBrokenSyntaxWithItsCode) {
    struct Case {
        const char* text;
        int code;
    };
    const Case cases[] = {
        {"FREQ 1.2.3", kNumericDataError},
        {"FREQ 12abc3", kInvalidSuffix},
        {"FREQ 1 E+", kNumericDataError},
        {"FREQ -", kNumericDataError},
        {"FREQ 1e999", kNumericDataError},
        {"REG0 #HXYZ", kNumericDataError},
        {"REG0 #H", kNumericDataError},
        {"REG0 #B102", kNumericDataError},
        {"REG0 #HFFFFFFFFFFFFFFFFFFFF", kNumericDataError},
        {"REG0 #15abc", kDataTypeError},
        {"FREQ 433,", kSyntaxError},
        {"CHIP:FIELD A,,1", kSyntaxError},
        {"CHIP:FIELD ,1", kSyntaxError},
        {"MMEM:LOAD:STAT \"a.cfg", kStringDataError},
        {"MMEM:LOAD:STAT \"a\"b", kSyntaxError},
        {"FREQ::LO1?", kSyntaxError},
        {"FREQ:?", kSyntaxError},
        {"FR?EQ", kSyntaxError},
        {"1FREQ", kSyntaxError},
        {"*", kSyntaxError},
        {"FREQ(1)", kInvalidCharacter},
        {"FR\xc3\xa9Q 1", kInvalidCharacter},
        {"\x01\x02\x03", kInvalidCharacter},
        {"FREQ @", kInvalidCharacter},
        {"INJ:LO1 HI-GH", kInvalidCharacter},
        {"*ID-N?", kInvalidCharacter},
    };
    for (const Case& c : cases) {
        const ParsedUnit p = parseUnit(c.text);
        ASSERT_TRUE(p.error) << c.text << " parsed as " << shown(p.unit);
        EXPECT_EQ(p.error->code, c.code) << c.text << ": " << p.error->detail;
        EXPECT_FALSE(p.error->detail.empty()) << c.text;
    }
}

TEST(ScpiParser, SplitsALineIntoUnitsOutsideQuotes) {
    struct Case {
        const char* line;
        std::vector<std::string> units;
    };
    const Case cases[] = {
        {"FREQ:LO1?;LO2?", {"FREQ:LO1?", "LO2?"}},
        {"*RST; FREQ 1e6 ;:FREQ?", {"*RST", "FREQ 1e6", ":FREQ?"}},
        {"MMEM:STOR:STAT \"a;b\";*OPC?", {"MMEM:STOR:STAT \"a;b\"", "*OPC?"}},
        {"MMEM:STOR:STAT 'a\";b';X", {"MMEM:STOR:STAT 'a\";b'", "X"}},
        {"FREQ?;", {"FREQ?"}},
        {";;FREQ?;; ;", {"FREQ?"}},
        {"", {}},
        // An unclosed quote runs to the end of the line: its parse says so.
        {"MMEM:LOAD:STAT \"a;b", {"MMEM:LOAD:STAT \"a;b"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> got;
        for (std::string_view u : splitUnits(c.line)) got.emplace_back(u);
        EXPECT_EQ(got, c.units) << c.line;
    }
}

TEST(ScpiParser, MatchesTheLongOrTheShortFormOnly) {
    struct Case {
        const char* received;
        const char* defined;
        bool match;
    };
    const Case cases[] = {
        {"FREQ", "FREQuency", true},
        {"freq", "FREQuency", true},
        {"FREQUENCY", "FREQuency", true},
        {"frequency", "FREQuency", true},
        {"FREQU", "FREQuency", false},
        {"FRE", "FREQuency", false},
        {"FREQUENCYX", "FREQuency", false},
        {"LO1", "LO1", true},
        {"lo1", "LO1", true},
        {"LO", "LO1", false},
        {"ROSC", "ROSCillator", true},
        {"ROSCILLATOR", "ROSCillator", true},
        {"CHAN", "CHANnel", true},
        {"STAT", "STATe", true},
        {"STATUS", "STATe", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mnemonicMatches(c.received, c.defined), c.match)
            << c.received << " vs " << c.defined;
}

TEST(ScpiParser, SplitsNumericSuffixes) {
    struct Case {
        const char* mnemonic;
        const char* name;
        std::optional<int> suffix;
    };
    const Case cases[] = {
        {"REG3", "REG", 3},   {"REGISTER7", "REGISTER", 7}, {"REG", "REG", std::nullopt},
        {"REG10", "REG", 10}, {"REG007", "REG", 7},         {"REG99999999", "REG", -1},
        {"LO1", "LO", 1},
    };
    for (const Case& c : cases) {
        const SuffixedMnemonic m = splitSuffix(c.mnemonic);
        EXPECT_EQ(m.name, c.name) << c.mnemonic;
        EXPECT_EQ(m.suffix, c.suffix) << c.mnemonic;
    }
}

// Binary junk and very long parameters end in an error or a parse, never a crash: the
// sanitized build runs this.
TEST(ScpiParser, SurvivesJunkAndVeryLongParameters) {
    std::string junk;
    uint32_t x = 12345;
    for (int i = 0; i < 20000; ++i) {
        x = x * 1103515245u + 12345u;
        junk += char(x >> 16);
    }
    size_t units = 0;
    for (std::string_view u : splitUnits(junk)) {
        parseUnit(u);
        ++units;
    }
    EXPECT_GT(units, 0u);
    const std::string digits(1 << 20, '7');
    const ParsedUnit longNumber = parseUnit("FREQ " + digits);
    ASSERT_TRUE(longNumber.error);
    EXPECT_EQ(longNumber.error->code, kNumericDataError);
    const ParsedUnit longString = parseUnit("MMEM:LOAD:STAT \"" + digits + "\"");
    ASSERT_FALSE(longString.error);
    EXPECT_EQ(longString.unit.params[0].text.size(), digits.size());
    // A run of quotes: one opens, pairs stand for one quote each, the last one closes.
    const ParsedUnit quotes = parseUnit("FREQ " + std::string(1 << 20, '\''));
    ASSERT_FALSE(quotes.error);
    EXPECT_EQ(quotes.unit.params[0].text, std::string((1 << 19) - 1, '\''));
    EXPECT_TRUE(parseUnit("FREQ " + std::string((1 << 20) + 1, '\'')).error);
}

TEST(ErrorQueue, AnswersInOrderThenNoError) {
    ErrorQueue q;
    EXPECT_EQ(q.next(), "0,\"No error\"");
    q.push(kUndefinedHeader, "FOO?");
    q.push(kDataOutOfRange, "N = 2100 does not fit its 11 bits");
    q.push(kSettingsConflict);
    EXPECT_EQ(q.count(), 3u);
    EXPECT_EQ(q.next(), "-113,\"Undefined header;FOO?\"");
    EXPECT_EQ(q.next(), "-222,\"Data out of range;N = 2100 does not fit its 11 bits\"");
    EXPECT_EQ(q.next(), "-221,\"Settings conflict\"");
    EXPECT_EQ(q.next(), "0,\"No error\"");
    EXPECT_EQ(q.count(), 0u);
}

TEST(ErrorQueue, OverflowReplacesTheNewestEntryOnce) {
    ErrorQueue q;
    const size_t pushed = ErrorQueue::kCapacity + 5;
    for (size_t i = 0; i < pushed; ++i) q.push(kUndefinedHeader, "E" + std::to_string(i));
    ASSERT_EQ(q.count(), ErrorQueue::kCapacity);
    for (size_t i = 0; i + 1 < ErrorQueue::kCapacity; ++i)
        EXPECT_EQ(q.next(), "-113,\"Undefined header;E" + std::to_string(i) + "\"");
    EXPECT_EQ(q.next(), "-350,\"Queue overflow\"");
    EXPECT_EQ(q.next(), "0,\"No error\"");
    // Read empty, it takes errors again.
    q.push(kSyntaxError);
    EXPECT_EQ(q.next(), "-102,\"Syntax error\"");
}

TEST(ErrorQueue, KeepsAClientsDetailOnOneQuotedLine) {
    ErrorQueue q;
    q.push(kUndefinedHeader, std::string("A\"B\nC\xff") + std::string(500, 'x'));
    const std::string e = q.next();
    EXPECT_EQ(e.rfind("-113,\"Undefined header;A\"\"B?C?", 0), 0u) << e;
    EXPECT_EQ(e.find('\n'), std::string::npos);
    EXPECT_LT(e.size(), 200u);
    EXPECT_EQ(e.back(), '"');
}

TEST(ErrorQueue, SetsTheEventStatusBitOfEachClass) {
    struct Case {
        int code;
        uint8_t bit;
    };
    const Case cases[] = {
        {kSyntaxError, kCommandErrorBit},        {kUndefinedHeader, kCommandErrorBit},
        {kSettingsConflict, kExecutionErrorBit}, {kFileNameError, kExecutionErrorBit},
        {kQueueOverflow, kDeviceErrorBit},       {kQueryInterrupted, kQueryErrorBit},
    };
    for (const Case& c : cases) {
        ErrorQueue q;
        q.push(c.code);
        EXPECT_EQ(q.takeEventStatus(), c.bit) << c.code;
        EXPECT_EQ(q.takeEventStatus(), 0) << c.code;
        EXPECT_STRNE(errorText(c.code), "Unknown error");
    }
}

}  // namespace
}  // namespace zvk::remote
