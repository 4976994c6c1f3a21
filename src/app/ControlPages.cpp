// SPDX-License-Identifier: MIT
#include "ControlPages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>

#include "Layout.h"
#include "RadioGroup.h"

using layout::Control;
using C = layout::Control;

namespace {

template <typename T>
T* named(QWidget* page, const char* name) {
    return page->findChild<T*>(QString::fromLatin1(name));
}

const std::vector<Control>& modeTable() {
    static const std::vector<Control> t = {
        {C::Group, "GroupBox4", "Mode Control", {}, 0, 8, 273, 97},
        {C::Label, "", "Operation Mode", {}, 16, 32, 0, 0, 0, 1, "GroupBox4"},
        {C::Combo,
         "CB_OPMODE",
         "",
         {"Shutdown", "Receive", "RO and Bias only", "Synthesizer only"},
         136,
         24,
         121,
         0,
         0,
         1,
         "GroupBox4"},
        {C::Label, "", "multi functional output", {}, 16, 64, 0, 0, 0, 1, "GroupBox4"},
        {C::Combo,
         "CB_MFO",
         "",
         {"0000 - Z state", "0001 - SPI out", "0010 - Logic 0", "0011- -Logic 1", "0100 - RO out",
          "0101 - IF out", "0110 - RXBase", "0111 - RXEBase", "1000 - LD out", "1001 - NDiv/RSSIH",
          "1010 - RDiv/RSSIL", "1011 - IFFCCO out", "1100 - Presc out", "1101 - NDiv/RSSIH",
          "1110 - RDIV/RSSIL", "1111 - IFFadjRDiv", ""},
         136,
         56,
         121,
         0,
         1,
         1,
         "GroupBox4"},
        {C::Radio,
         "RG_SHOWLD",
         "function of LDRSSIL bit",
         {"RSSI Low Flag", "Lock Detect"},
         16,
         128,
         209,
         33,
         0,
         2},
        {C::Radio,
         "RG_SLCSEL",
         "Bit Slicer Mode",
         {"averaging", "peak detector"},
         16,
         176,
         209,
         33,
         0,
         2},
        {C::Radio, "RG_DTAPOL", "DTAO Polarity", {"negative", "positive"}, 32, 224, 177, 33, 0, 2},
        {C::Radio, "RG_MODSEL", "Demodulation Type", {"FSK", "ASK"}, 32, 272, 177, 33, 0, 2},
    };
    return t;
}

const std::vector<Control>& gainTable() {
    static const std::vector<Control> t = {
        {C::Group, "GroupBox3", "Receiver Gain Settings", {}, 8, 0, 209, 217},
        {C::Label, "", "LNA", {}, 16, 32, 0, 0, 0, 1, "GroupBox3"},
        {C::Combo,
         "CB_LNAGAIN",
         "",
         {"default - 18 dB", "default -   4 dB", "default", "default +  2 dB"},
         88,
         24,
         97,
         0,
         0,
         1,
         "GroupBox3"},
        {C::Label, "", "IF Filter", {}, 16, 56, 0, 0, 0, 1, "GroupBox3"},
        {C::Combo,
         "CB_IFFGAIN",
         "",
         {" -14 dB", "   -6 dB", "    0 dB", "  +6 dB"},
         88,
         48,
         97,
         0,
         2,
         1,
         "GroupBox3"},
        {C::Radio,
         "RG_MIX1GAIN",
         "1st Mixer (MIX1GAIN)",
         {"14 dB", " 0 dB"},
         8,
         80,
         177,
         33,
         0,
         2,
         "GroupBox3"},
        {C::Radio,
         "RG_MIX2GAIN",
         "2nd Mixer (MIX2GAIN)",
         {" 9 dB", "-2 dB"},
         8,
         112,
         177,
         33,
         0,
         2,
         "GroupBox3"},
        {C::Radio,
         "RG_DEMGAIN",
         "Demodulator Gain",
         {"low", "high"},
         8,
         144,
         177,
         33,
         1,
         2,
         "GroupBox3"},
        {C::Radio, "RG_RSSIGAIN", "RSSIGAIN", {"low", "high"}, 8, 176, 177, 33, 0, 2, "GroupBox3"},
        {C::Group, "GroupBox1", "Automatic Gain Control", {}, 8, 216, 209, 137},
        {C::Check, "CB_AGCEN", "Enable AGC", {}, 16, 24, 97, 17, 0, 1, "GroupBox1"},
        {C::Label, "", "Delay Settings", {}, 16, 48, 0, 0, 0, 1, "GroupBox1"},
        {C::Combo,
         "CB_AGCDEL",
         "",
         {"no delay", " 3 / f_IFF", "15/ f_IFF", "31/ f_IFF"},
         96,
         44,
         89,
         0,
         -1,
         1,
         "GroupBox1"},
        {C::Radio,
         "RG_AGCMODE",
         "Delay Mode",
         {"only increase with delay", "decrease and increase with delay"},
         8,
         64,
         193,
         65,
         0,
         1,
         "GroupBox1"},
    };
    return t;
}

const std::vector<Control>& pllTable() {
    static const std::vector<Control> t = {
        {C::Group, "GroupBox5", "PLL Config", {}, 8, 0, 225, 209},
        {C::Label, "", "CPCUR", {}, 16, 24, 0, 0, 0, 1, "GroupBox5"},
        {C::Combo,
         "CB_CPCUR",
         "",
         {"100 µA", "400 µA", "400 µA Dn", "400 µA Up"},
         96,
         16,
         81,
         0,
         0,
         1,
         "GroupBox5"},
        {C::Label, "", "LDTIME", {}, 16, 48, 0, 0, 0, 1, "GroupBox5"},
        {C::Combo,
         "CB_LDTIME",
         "",
         {" 2  / f_R", " 4  / f_R", " 8  / f_R", "16 / f_R"},
         96,
         40,
         81,
         0,
         3,
         1,
         "GroupBox5"},
        {C::Label, "", "ROCUR", {}, 16, 72, 0, 0, 0, 1, "GroupBox5"},
        {C::Combo,
         "CB_ROCUR",
         "",
         {"  85µA", "170µA", "270µA", "355µA"},
         96,
         64,
         81,
         0,
         3,
         1,
         "GroupBox5"},
        {C::Radio, "RG_PRESCUR", "PRESCUR", {"20 µA", "30 µA"}, 16, 96, 81, 49, 0, 1, "GroupBox5"},
        {C::Radio,
         "RG_PFDPOL",
         "PFDPOL",
         {"positive", "negative"},
         120,
         96,
         81,
         49,
         0,
         1,
         "GroupBox5"},
        {C::Radio,
         "RG_LDMODE",
         "LDMODE",
         {"always check", "up to 1st lock"},
         16,
         152,
         97,
         49,
         0,
         1,
         "GroupBox5"},
        {C::Radio, "RG_LDERR", "LDERR", {"15 ns", "30 ns"}, 120, 152, 81, 49, 0, 1, "GroupBox5"},
        {C::Group, "GroupBox6", "VCO Config", {}, 8, 208, 225, 129},
        {C::Radio,
         "RG_VCORANGE",
         "VCO Range for",
         {"VCC=3V", "VCC=5V"},
         8,
         16,
         121,
         49,
         1,
         1,
         "GroupBox6"},
        {C::Radio,
         "RG_VCOBUF",
         "VCO Buffer Current",
         {" 900 µA", "1040 µA"},
         8,
         72,
         105,
         49,
         0,
         1,
         "GroupBox6"},
        {C::Radio,
         "RG_VCOCUR",
         "VCO Core Current",
         {"450 µA", "520 µA"},
         120,
         72,
         97,
         49,
         0,
         1,
         "GroupBox6"},
    };
    return t;
}

}  // namespace

ModePage::ModePage(PageControl* pc) {
    layout::addPage(this, pc, "TabMode", QStringLiteral("Mode Control"));
}

void ModePage::build() {
    layout::build(this, modeTable());
    GroupBox4 = named<QGroupBox>(this, "GroupBox4");
    CB_OPMODE = named<QComboBox>(this, "CB_OPMODE");
    CB_MFO = named<QComboBox>(this, "CB_MFO");
    RG_SHOWLD = named<RadioGroup>(this, "RG_SHOWLD");
    RG_SLCSEL = named<RadioGroup>(this, "RG_SLCSEL");
    RG_DTAPOL = named<RadioGroup>(this, "RG_DTAPOL");
    RG_MODSEL = named<RadioGroup>(this, "RG_MODSEL");
}

GainPage::GainPage(PageControl* pc) {
    layout::addPage(this, pc, "TabGain", QStringLiteral("Gain Control"));
}

void GainPage::build() {
    layout::build(this, gainTable());
    GroupBox3 = named<QGroupBox>(this, "GroupBox3");
    GroupBox1 = named<QGroupBox>(this, "GroupBox1");
    CB_LNAGAIN = named<QComboBox>(this, "CB_LNAGAIN");
    CB_IFFGAIN = named<QComboBox>(this, "CB_IFFGAIN");
    CB_AGCDEL = named<QComboBox>(this, "CB_AGCDEL");
    RG_MIX1GAIN = named<RadioGroup>(this, "RG_MIX1GAIN");
    RG_MIX2GAIN = named<RadioGroup>(this, "RG_MIX2GAIN");
    RG_DEMGAIN = named<RadioGroup>(this, "RG_DEMGAIN");
    RG_RSSIGAIN = named<RadioGroup>(this, "RG_RSSIGAIN");
    RG_AGCMODE = named<RadioGroup>(this, "RG_AGCMODE");
    CB_AGCEN = named<QCheckBox>(this, "CB_AGCEN");
}

PllPage::PllPage(PageControl* pc) {
    layout::addPage(this, pc, "TabPLL", QStringLiteral("PLL Control"));
}

void PllPage::build() {
    layout::build(this, pllTable());
    GroupBox5 = named<QGroupBox>(this, "GroupBox5");
    GroupBox6 = named<QGroupBox>(this, "GroupBox6");
    CB_CPCUR = named<QComboBox>(this, "CB_CPCUR");
    CB_LDTIME = named<QComboBox>(this, "CB_LDTIME");
    CB_ROCUR = named<QComboBox>(this, "CB_ROCUR");
    RG_PRESCUR = named<RadioGroup>(this, "RG_PRESCUR");
    RG_PFDPOL = named<RadioGroup>(this, "RG_PFDPOL");
    RG_LDMODE = named<RadioGroup>(this, "RG_LDMODE");
    RG_LDERR = named<RadioGroup>(this, "RG_LDERR");
    RG_VCORANGE = named<RadioGroup>(this, "RG_VCORANGE");
    RG_VCOBUF = named<RadioGroup>(this, "RG_VCOBUF");
    RG_VCOCUR = named<RadioGroup>(this, "RG_VCOCUR");
}
