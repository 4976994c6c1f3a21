// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "chip/FieldMap.h"
#include "storage/RegisterMap.h"

namespace zvk {
namespace {

void expectSame(const Config& a, const Config& b) {
    EXPECT_EQ(a.regs, b.regs);
    EXPECT_EQ(a.spisel, b.spisel);
    EXPECT_EQ(a.frf, b.frf);
    EXPECT_EQ(a.pllmux, b.pllmux);
    EXPECT_EQ(a.fxtal, b.fxtal);
    EXPECT_EQ(a.injlo1, b.injlo1);
}

Config sample() {
    Config c;
    c.regs = {0x08C, 0x8F4, 0xA5C, 0x100, 0x04B, 0x2AC, 0xE4B, 0x005};
    c.frf = 433.92;
    c.pllmux = 3;
    return c;
}

// Configurations near the edges of what a file holds: both maps give each back exactly,
// frequencies to the last bit.
TEST(RegisterMap, BothMapsReadBackWhatTheyWrite) {
    std::vector<Config> cases(4, sample());
    cases[1].regs[3] = 0x110F;  // lab mode's bit 12 beside N's upper bits
    cases[1].spisel = false;
    cases[1].injlo1 = 0;
    cases[2].regs = {0xFFFF, 0, 0xFFFF, 0, 0xFFFF, 0, 0xFFFF, 0};
    cases[2].pllmux = INT16_MIN;
    cases[2].injlo1 = INT16_MAX;
    cases[3].frf = 0.1 + 0.2;  // no short decimal text of its own
    cases[3].fxtal = 12.8;
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const Config& c = cases[i];
        expectSame(registerMapFromJson("m.json", registerMapJson(c).dump(2)), c);
        expectSame(registerMapFromCsv("m.csv", registerMapCsv(c)), c);
        // The fields a map lists agree with its registers, N's two runs included.
        const nlohmann::json fields = registerMapJson(c)["fields"];
        for (const Field& f : kFieldMap) EXPECT_EQ(fields[f.name], fieldValue(c.regs, f));
    }
}

TEST(RegisterMap, MapsThatHoldNoConfigurationAreRefusedNamingTheEntry) {
    const std::string json = registerMapJson(sample()).dump();
    const std::string csv = registerMapCsv(sample());
    auto replaced = [](std::string text, const std::string& from, const std::string& to) {
        const size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
        return text;
    };
    const struct {
        bool isJson;
        std::string text;
        const char* says;
    } cases[] = {
        {true, replaced(json, "\"0x08C\"", "65536"), "R0 is not a register value"},
        {true, replaced(json, "\"0x08C\"", "-1"), "R0 is not a register value"},
        {true, replaced(json, "\"0x08C\"", "\"12a\""), "R0: \"12a\" is not an integer"},
        {true, replaced(json, "\"A\":28", "\"A\":27"), "field A is 27 but the registers give 28"},
        {true, replaced(json, "\"A\":28", "\"A\":\"28\""), "field A is not a number"},
        {true, replaced(json, "\"A\":28", "\"Q\":28"), "no field is named \"Q\""},
        {true, replaced(json, "\"fRF\":433.92", "\"fRF\":\"433.92\""), "fRF is not a number"},
        {true, replaced(json, "\"fRF\":433.92", "\"fRF\":1e39"),
         "fRF: \"1e+39\" is not a frequency"},
        {true, replaced(json, "\"fXtal\":10.0", "\"fXtal\":0.5"),
         "fXtal: \"0.5\" is not a frequency"},
        {true, replaced(json, "\"PLLMUX\":3", "\"PLLMUX\":32768"), "PLLMUX: \"32768\" is outside"},
        {true, replaced(json, "\"INJLO1\":1", "\"INJLOX\":1"), "no INJLO1"},
        {false, replaced(csv, "register,R2,2,0,12,0xA5C", "register,R2,2,0,12,0x10000"),
         "R2: \"0x10000\" is outside 0..65535"},
        {false, replaced(csv, "field,N[6:0],2,5,7,82", "field,N[6:0],2,5,7,128"),
         "N[6:0]: \"128\" is outside 0..127"},
        {false, replaced(csv, "field,N[6:0],2,5,7,82", "field,N,2,5,7,83"),
         "field N is 83 but the registers give 82"},
        {false, replaced(csv, "field,A,2,0,5,28", "field,A,2,0,5"), "line "},
        {false, replaced(csv, "field,A,", "fold,A,"), "is no register, field or item"},
        {false, replaced(csv, "item,fXtal,,,,10", "item,fXtal,,,,1e39"),
         "fXtal: \"1e39\" is not a frequency"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string file = c.isJson ? "m.json" : "m.csv";
        try {
            (void)(c.isJson ? registerMapFromJson(file, c.text) : registerMapFromCsv(file, c.text));
            ADD_FAILURE() << "imported";
        } catch (const BadConfigValue& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind(file + ": ", 0), 0u) << message;
            EXPECT_NE(message.find(c.says), std::string::npos) << message;
        }
    }
}

// NAME=VALUE as set and new give it: what it changed, or a refusal that changed nothing.
TEST(RegisterMap, AnAssignmentChangesOneValueOrNothing) {
    const struct {
        const char* assignment;
        const char* before;  // nullptr: refused, saying says
        const char* after;
        const char* says;
    } cases[] = {
        {"opmode=2", "0", "2", ""},
        {"N=1000", "82", "1000", ""},
        {"r3=0x1100", "0x100", "0x1100", ""},
        {"FRF=100.5", "433.920", "100.500", ""},
        {"PLLMUX=-7", "3", "-7", ""},
        {"SPISEL=0", "1", "0", ""},
        {"N=2048", nullptr, nullptr, "N: \"2048\" is outside 0..2047"},
        {"RSSIH=1", nullptr, nullptr, "RSSIH: a bit of the status register"},
        {"R8=1", nullptr, nullptr, "R8: no field, register"},
        {"R0=0x10000", nullptr, nullptr, "R0: \"0x10000\" is outside"},
        {"fXtal=0.9", nullptr, nullptr, "fXtal: \"0.9\" is not a frequency from 1.000 MHz"},
        {"=1", nullptr, nullptr, "\"=1\" is not NAME=VALUE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.assignment);
        Config config = sample();
        try {
            const ConfigChange change = assignConfigValue(config, c.assignment);
            ASSERT_NE(c.before, nullptr) << "accepted";
            EXPECT_EQ(change.before, c.before);
            EXPECT_EQ(change.after, c.after);
            EXPECT_NE(configText(config, "", "", ""), configText(sample(), "", "", ""));
            // Its "before" given back restores the configuration.
            const std::string name = change.name;
            assignConfigValue(config, name + "=" + change.before);
            expectSame(config, sample());
        } catch (const BadConfigValue& e) {
            EXPECT_EQ(c.before, nullptr) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
            expectSame(config, sample());
        }
    }
}

}  // namespace
}  // namespace zvk
