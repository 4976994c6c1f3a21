// The main window's controls: positions, captions, item lists and initial states.
#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include "BitLabel.h"
#include "Main.h"
#include "PageControl.h"
#include "RadioGroup.h"
#include "StatusPanel.h"
#include "Unit2.h"
#include "UpDown.h"

namespace {

// The classic frame around the client area: 4-pixel borders and a 19-pixel caption.
constexpr int kClientWidth = kFrameWidth - 8;
constexpr int kClientHeight = kFrameHeight - 8 - 19;
constexpr int kEditHeight = 21;
constexpr int kLabelHeight = 13;

QLabel* label(QWidget* parent, const QString& text, int x, int y) {
    auto* l = new QLabel(text, parent);
    l->move(x, y);
    l->resize(l->sizeHint().width(), kLabelHeight);
    return l;
}

QGroupBox* group(QWidget* parent, const char* name, const QString& caption, int x, int y, int w,
                 int h) {
    auto* g = new QGroupBox(caption, parent);
    g->setObjectName(QString::fromLatin1(name));
    g->setGeometry(x, y, w, h);
    return g;
}

QComboBox* combo(QWidget* parent, const char* name, int x, int y, int w, const QStringList& items,
                 int index) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->addItems(items);
    c->setCurrentIndex(index);
    c->setGeometry(x, y, w, kEditHeight);
    return c;
}

RadioGroup* radio(QWidget* parent, const char* name, const QString& caption,
                  const QStringList& items, int columns, int x, int y, int w, int h, int index) {
    auto* r = new RadioGroup(caption, items, columns, parent);
    r->setObjectName(QString::fromLatin1(name));
    r->setGeometry(x, y, w, h);
    r->setItemIndex(index);
    return r;
}

QCheckBox* check(QWidget* parent, const char* name, const QString& caption, int x, int y, int w,
                 int h) {
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setGeometry(x, y, w, h);
    return c;
}

Edit* edit(QWidget* parent, const char* name, const QString& text, int x, int y, int w) {
    auto* e = new Edit(text, parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(x, y, w, kEditHeight);
    return e;
}

// A divider or filter edit's spinner, stepping within the edit's range.
UpDown* spinner(QWidget* parent, const char* name, QLineEdit* buddy, const zvk::EditRule& rule) {
    auto* u = new UpDown(buddy, rule.min, rule.max, parent);
    u->setObjectName(QString::fromLatin1(name));
    const QRect b = buddy->geometry();
    u->setGeometry(b.right() + 1, b.top(), 16, b.height());
    return u;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, int x, int y, int w,
                    int h) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, y, w, h);
    return b;
}

// A read-only field the program fills: bold, on the button face.
QLineEdit* infoEdit(QWidget* parent, const char* name, int x, int y, int w, bool bold) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setReadOnly(true);
    e->setFocusPolicy(Qt::ClickFocus);
    if (bold) {
        QFont f = e->font();
        f.setBold(true);
        e->setFont(f);
    }
    QPalette p = e->palette();
    p.setColor(QPalette::Base, p.color(QPalette::Button));
    e->setPalette(p);
    e->setGeometry(x, y, w, kEditHeight);
    return e;
}

QWidget* page(PageControl* pc, const char* name, const QString& caption) {
    auto* w = new QWidget;
    w->setObjectName(QString::fromLatin1(name));
    pc->addPage(w, caption);
    return w;
}

}  // namespace

void TForm1::buildMenus() {
    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    auto item = [](QMenu* menu, const char* name, const QString& caption) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    File1 = MainMenu1->addMenu(QStringLiteral("File"));
    File1->setObjectName(QStringLiteral("File1"));
    LoadConfig1 = item(File1, "LoadConfig1", QStringLiteral("Load Config"));
    SaveConfig1 = item(File1, "SaveConfig1", QStringLiteral("Save Config"));
    Exit1 = item(File1, "Exit1", QStringLiteral("Exit"));

    LPT1 = MainMenu1->addMenu(QStringLiteral("LPT"));
    LPT1->setObjectName(QStringLiteral("LPT1"));
    LptGroup = new QActionGroup(this);
    LptGroup->setExclusive(true);
    N0x3781 = item(LPT1, "N0x3781", QStringLiteral("0x378"));
    N0x3BC1 = item(LPT1, "N0x3BC1", QStringLiteral("0x3BC"));
    userdefined1 = item(LPT1, "userdefined1", QStringLiteral("user defined"));
    for (QAction* a : {N0x3781, N0x3BC1, userdefined1}) {
        a->setCheckable(true);
        LptGroup->addAction(a);
    }

    Settings1 = MainMenu1->addMenu(QStringLiteral("Settings"));
    Settings1->setObjectName(QStringLiteral("Settings1"));
    default1 = item(Settings1, "default1", QStringLiteral("Defaults"));
    extVref1 = item(Settings1, "extVref1", QStringLiteral("ext. Vref"));
    extVref1->setCheckable(true);
    extVref1->setEnabled(false);
    SetVpwm1 = item(Settings1, "SetVpwm1", QStringLiteral("Set Vpwm"));
    SetVpwm1->setEnabled(false);

    About1 = MainMenu1->addAction(QStringLiteral("About"));
    About1->setObjectName(QStringLiteral("About1"));

    T_Check = new QTimer(this);
    T_Check->setObjectName(QStringLiteral("T_Check"));
    T_Check->setInterval(1000);
    T_Check->start();
    T_USB = new QTimer(this);
    T_USB->setObjectName(QStringLiteral("T_USB"));
    T_USB->setInterval(100000);
}

void TForm1::buildFixedAreas() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(central);
    setFixedSize(kClientWidth, kClientHeight);

    GroupBox10 = group(central, "GroupBox10", QStringLiteral("Tuning Info [MHz]"), 8, 0, 457, 65);
    const char* const names[7] = {"E_fRFinfo",  "E_fCHinfo",  "E_fIF1info", "E_fIF2info",
                                  "E_fLO1info", "E_fLO2info", "E_fPFDinfo"};
    const char* const captions[7] = {"f RF", "f CH", "f IF1", "f IF2", "f LO1", "f LO2", "f PFD"};
    QLineEdit** const edits[7] = {&E_fRFinfo,  &E_fCHinfo,  &E_fIF1info, &E_fIF2info,
                                  &E_fLO1info, &E_fLO2info, &E_fPFDinfo};
    for (int i = 0; i < 7; ++i) {
        const int x = 8 + 64 * i;
        QLabel* l = label(GroupBox10, QString::fromLatin1(captions[i]), x, 16);
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, Qt::blue);
        l->setPalette(p);
        l->resize(l->sizeHint().width(), kLabelHeight);
        *edits[i] = infoEdit(GroupBox10, names[i], x, 32, 57, true);
    }

    PageControl1 = new PageControl(central);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, 72, 321, 401);
    TabMode = page(PageControl1, "TabMode", QStringLiteral("Mode Control"));
    TabGain = page(PageControl1, "TabGain", QStringLiteral("Gain Control"));
    TabPLL = page(PageControl1, "TabPLL", QStringLiteral("PLL Control"));
    TabFIFF = page(PageControl1, "TabFIFF", QStringLiteral("Frequency and IFF Control"));
    TabABC = page(PageControl1, "TabABC", QStringLiteral("ABC Mode"));
    TabReg2 = page(PageControl1, "TabReg2", QStringLiteral("Register Set"));
    PageControl1->setCurrentIndex(0);

    Image1 = new QLabel(central);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(328, 72, 139, 50);
    Image1->setScaledContents(true);

    GroupBox13 = group(central, "GroupBox13", QStringLiteral("IC Status"), 328, 144, 137, 257);
    label(GroupBox13, QStringLiteral("IFFVAL"), 16, 32);
    E_IFFVAL = infoEdit(GroupBox13, "E_IFFVAL", 72, 32, 49, false);
    label(GroupBox13, QStringLiteral("IFFSTATE"), 16, 72);
    E_IFFSTATE = infoEdit(GroupBox13, "E_IFFSTATE", 72, 64, 49, false);
    label(GroupBox13, QStringLiteral("LD"), 16, 104);
    E_LD = infoEdit(GroupBox13, "E_LD", 72, 96, 49, false);
    label(GroupBox13, QStringLiteral("RSSI"), 16, 136);
    E_RSSI = infoEdit(GroupBox13, "E_RSSI", 72, 128, 49, false);
    L_LDT = label(GroupBox13, QStringLiteral("LD Time [ms]"), 8, 168);
    L_LDT->setObjectName(QStringLiteral("L_LDT"));
    E_LDT = infoEdit(GroupBox13, "E_LDT", 72, 160, 49, false);
    B_Refresh = button(GroupBox13, "B_Refresh", QStringLiteral("Refresh"), 32, 208, 75, 25);

    B_WriteReg = button(central, "B_WriteReg", QStringLiteral("Send to IC"), 368, 416, 75, 25);
    CB_SendAlways =
        check(central, "CB_SendAlways", QStringLiteral("Send always"), 352, 448, 97, 17);

    QStringList bands;
    for (const zvk::BandPreset& p : zvk::kBandPresets) bands << QString::fromLatin1(p.caption);
    RGFreq = radio(central, "RGFreq", QString(), bands, 4, 0, 472, 321, 33, -1);
    RG_SPI = radio(central, "RG_SPI", QStringLiteral("Mode Selection"),
                   {QStringLiteral("ABC"), QStringLiteral("SPI")}, 2, 328, 472, 145, 33, 1);
}

void TForm1::buildModePage() {
    GroupBox4 = group(TabMode, "GroupBox4", QStringLiteral("Mode Control"), 0, 8, 273, 97);
    label(GroupBox4, QStringLiteral("Operation Mode"), 16, 32);
    CB_OPMODE = combo(GroupBox4, "CB_OPMODE", 136, 24, 121,
                      {QStringLiteral("Shutdown"), QStringLiteral("Receive"),
                       QStringLiteral("RO and Bias only"), QStringLiteral("Synthesizer only")},
                      0);
    label(GroupBox4, QStringLiteral("multi functional output"), 16, 64);
    CB_MFO =
        combo(GroupBox4, "CB_MFO", 136, 56, 121,
              {QStringLiteral("0000 - Z state"), QStringLiteral("0001 - SPI out"),
               QStringLiteral("0010 - Logic 0"), QStringLiteral("0011- -Logic 1"),
               QStringLiteral("0100 - RO out"), QStringLiteral("0101 - IF out"),
               QStringLiteral("0110 - RXBase"), QStringLiteral("0111 - RXEBase"),
               QStringLiteral("1000 - LD out"), QStringLiteral("1001 - NDiv/RSSIH"),
               QStringLiteral("1010 - RDiv/RSSIL"), QStringLiteral("1011 - IFFCCO out"),
               QStringLiteral("1100 - Presc out"), QStringLiteral("1101 - NDiv/RSSIH"),
               QStringLiteral("1110 - RDIV/RSSIL"), QStringLiteral("1111 - IFFadjRDiv"), QString()},
              1);
    RG_SHOWLD = radio(TabMode, "RG_SHOWLD", QStringLiteral("function of LDRSSIL bit"),
                      {QStringLiteral("RSSI Low Flag"), QStringLiteral("Lock Detect")}, 2, 16, 128,
                      209, 33, 0);
    RG_SLCSEL = radio(TabMode, "RG_SLCSEL", QStringLiteral("Bit Slicer Mode"),
                      {QStringLiteral("averaging"), QStringLiteral("peak detector")}, 2, 16, 176,
                      209, 33, 0);
    RG_DTAPOL =
        radio(TabMode, "RG_DTAPOL", QStringLiteral("DTAO Polarity"),
              {QStringLiteral("negative"), QStringLiteral("positive")}, 2, 32, 224, 177, 33, 0);
    RG_MODSEL = radio(TabMode, "RG_MODSEL", QStringLiteral("Demodulation Type"),
                      {QStringLiteral("FSK"), QStringLiteral("ASK")}, 2, 32, 272, 177, 33, 0);
}

void TForm1::buildGainPage() {
    GroupBox3 =
        group(TabGain, "GroupBox3", QStringLiteral("Receiver Gain Settings"), 8, 0, 209, 217);
    label(GroupBox3, QStringLiteral("LNA"), 16, 32);
    CB_LNAGAIN = combo(GroupBox3, "CB_LNAGAIN", 88, 24, 97,
                       {QStringLiteral("default - 18 dB"), QStringLiteral("default -   4 dB"),
                        QStringLiteral("default"), QStringLiteral("default +  2 dB")},
                       0);
    label(GroupBox3, QStringLiteral("IF Filter"), 16, 56);
    CB_IFFGAIN = combo(GroupBox3, "CB_IFFGAIN", 88, 48, 97,
                       {QStringLiteral(" -14 dB"), QStringLiteral("   -6 dB"),
                        QStringLiteral("    0 dB"), QStringLiteral("  +6 dB")},
                       2);
    RG_MIX1GAIN = radio(GroupBox3, "RG_MIX1GAIN", QStringLiteral("1st Mixer (MIX1GAIN)"),
                        {QStringLiteral("14 dB"), QStringLiteral(" 0 dB")}, 2, 8, 80, 177, 33, 0);
    RG_MIX2GAIN = radio(GroupBox3, "RG_MIX2GAIN", QStringLiteral("2nd Mixer (MIX2GAIN)"),
                        {QStringLiteral(" 9 dB"), QStringLiteral("-2 dB")}, 2, 8, 112, 177, 33, 0);
    RG_DEMGAIN = radio(GroupBox3, "RG_DEMGAIN", QStringLiteral("Demodulator Gain"),
                       {QStringLiteral("low"), QStringLiteral("high")}, 2, 8, 144, 177, 33, 1);
    RG_RSSIGAIN = radio(GroupBox3, "RG_RSSIGAIN", QStringLiteral("RSSIGAIN"),
                        {QStringLiteral("low"), QStringLiteral("high")}, 2, 8, 176, 177, 33, 0);

    GroupBox1 =
        group(TabGain, "GroupBox1", QStringLiteral("Automatic Gain Control"), 8, 216, 209, 137);
    CB_AGCEN = check(GroupBox1, "CB_AGCEN", QStringLiteral("Enable AGC"), 16, 24, 97, 17);
    label(GroupBox1, QStringLiteral("Delay Settings"), 16, 48);
    CB_AGCDEL = combo(GroupBox1, "CB_AGCDEL", 96, 44, 89,
                      {QStringLiteral("no delay"), QStringLiteral(" 3 / f_IFF"),
                       QStringLiteral("15/ f_IFF"), QStringLiteral("31/ f_IFF")},
                      -1);
    RG_AGCMODE = radio(GroupBox1, "RG_AGCMODE", QStringLiteral("Delay Mode"),
                       {QStringLiteral("only increase with delay"),
                        QStringLiteral("decrease and increase with delay")},
                       1, 8, 64, 193, 65, 0);
}

void TForm1::buildPllPage() {
    GroupBox5 = group(TabPLL, "GroupBox5", QStringLiteral("PLL Config"), 8, 0, 225, 209);
    label(GroupBox5, QStringLiteral("CPCUR"), 16, 24);
    CB_CPCUR = combo(GroupBox5, "CB_CPCUR", 96, 16, 81,
                     {QStringLiteral("100 µA"), QStringLiteral("400 µA"),
                      QStringLiteral("400 µA Dn"), QStringLiteral("400 µA Up")},
                     0);
    label(GroupBox5, QStringLiteral("LDTIME"), 16, 48);
    CB_LDTIME = combo(GroupBox5, "CB_LDTIME", 96, 40, 81,
                      {QStringLiteral(" 2  / f_R"), QStringLiteral(" 4  / f_R"),
                       QStringLiteral(" 8  / f_R"), QStringLiteral("16 / f_R")},
                      3);
    label(GroupBox5, QStringLiteral("ROCUR"), 16, 72);
    CB_ROCUR = combo(GroupBox5, "CB_ROCUR", 96, 64, 81,
                     {QStringLiteral("  85µA"), QStringLiteral("170µA"), QStringLiteral("270µA"),
                      QStringLiteral("355µA")},
                     3);
    RG_PRESCUR = radio(GroupBox5, "RG_PRESCUR", QStringLiteral("PRESCUR"),
                       {QStringLiteral("20 µA"), QStringLiteral("30 µA")}, 1, 16, 96, 81, 49, 0);
    RG_PFDPOL =
        radio(GroupBox5, "RG_PFDPOL", QStringLiteral("PFDPOL"),
              {QStringLiteral("positive"), QStringLiteral("negative")}, 1, 120, 96, 81, 49, 0);
    RG_LDMODE = radio(GroupBox5, "RG_LDMODE", QStringLiteral("LDMODE"),
                      {QStringLiteral("always check"), QStringLiteral("up to 1st lock")}, 1, 16,
                      152, 97, 49, 0);
    RG_LDERR = radio(GroupBox5, "RG_LDERR", QStringLiteral("LDERR"),
                     {QStringLiteral("15 ns"), QStringLiteral("30 ns")}, 1, 120, 152, 81, 49, 0);

    GroupBox6 = group(TabPLL, "GroupBox6", QStringLiteral("VCO Config"), 8, 208, 225, 129);
    RG_VCORANGE = radio(GroupBox6, "RG_VCORANGE", QStringLiteral("VCO Range for"),
                        {QStringLiteral("VCC=3V"), QStringLiteral("VCC=5V")}, 1, 8, 16, 121, 49, 1);
    RG_VCOBUF = radio(GroupBox6, "RG_VCOBUF", QStringLiteral("VCO Buffer Current"),
                      {QStringLiteral(" 900 µA"), QStringLiteral("1040 µA")}, 1, 8, 72, 105, 49, 0);
    RG_VCOCUR = radio(GroupBox6, "RG_VCOCUR", QStringLiteral("VCO Core Current"),
                      {QStringLiteral("450 µA"), QStringLiteral("520 µA")}, 1, 120, 72, 97, 49, 0);
}

void TForm1::buildFrequencyPage() {
    GroupBox2 = group(TabFIFF, "GroupBox2", QStringLiteral("IF Filter Auto-Adjustment Control"), 8,
                      0, 193, 113);
    CB_IFFTUNE = check(GroupBox2, "CB_IFFTUNE", QStringLiteral("Auto Adjustment"), 8, 16, 97, 17);
    CB_IFFHLT = check(GroupBox2, "CB_IFFHLT", QStringLiteral("Halt"), 120, 16, 65, 17);
    label(GroupBox2, QStringLiteral("RIFF Divider"), 16, 40);
    E_RIFF = edit(GroupBox2, "E_RIFF", QString::number(zvk::kRiffEdit.fallback), 112, 32, 57);
    UpD_RIFF = spinner(GroupBox2, "UpD_RIFF", E_RIFF, zvk::kRiffEdit);
    label(GroupBox2, QStringLiteral("IFF Preset Value"), 16, 64);
    E_IFFRES = edit(GroupBox2, "E_IFFRES", QString::number(zvk::kIffresEdit.fallback), 112, 56, 57);
    UpD_IFFAdj = spinner(GroupBox2, "UpD_IFFAdj", E_IFFRES, zvk::kIffresEdit);
    label(GroupBox2, QStringLiteral("IFF centre freq. [MHz]"), 16, 88);
    E_IF2CH = edit(GroupBox2, "E_IF2CH", QStringLiteral("2"), 136, 80, 49);

    B_CalcFS = button(TabFIFF, "B_CalcFS", QStringLiteral("CalcFS"), 216, 8, 75, 25);
    B_CalcNA = button(TabFIFF, "B_CalcNA", QStringLiteral("CalcNA"), 216, 48, 75, 25);
    B_CalcFS->hide();
    B_CalcNA->hide();

    GroupBox8 = group(TabFIFF, "GroupBox8", QString(), 8, 112, 193, 241);
    label(GroupBox8, QStringLiteral("f xtal [MHz]"), 24, 24);
    E_fXTAL = edit(GroupBox8, "E_fXTAL", QStringLiteral("10.000"), 88, 16, 49);
    label(GroupBox8, QStringLiteral("R Divider"), 32, 56);
    E_R = edit(GroupBox8, "E_R", QString::number(zvk::kREdit.fallback), 88, 48, 57);
    UpD_R = spinner(GroupBox8, "UpD_R", E_R, zvk::kREdit);
    label(GroupBox8, QStringLiteral("f RF [MHz]"), 24, 96);
    E_fRFI = edit(GroupBox8, "E_fRFI", QStringLiteral("433.000"), 88, 88, 49);
    label(GroupBox8, QStringLiteral("A"), 64, 136);
    E_A = edit(GroupBox8, "E_A", QString::number(zvk::kAEdit.fallback), 88, 128, 57);
    UpD_A = spinner(GroupBox8, "UpD_A", E_A, zvk::kAEdit);
    label(GroupBox8, QStringLiteral("N"), 64, 168);
    E_N = edit(GroupBox8, "E_N", QString::number(zvk::kNEdit.fallback), 88, 160, 57);
    UpD_N = spinner(GroupBox8, "UpD_N", E_N, zvk::kNEdit);
    B_Calc = button(GroupBox8, "B_Calc", QStringLiteral("Calculate"), 8, 208, 75, 25);
    label(GroupBox8, QStringLiteral("Ntot"), 93, 212);
    E_Ntot = edit(GroupBox8, "E_Ntot", QStringLiteral("100"), 128, 204, 49);

    GroupBox20 = group(TabFIFF, "GroupBox20", QStringLiteral("Injection Side"), 208, 112, 97, 161);
    RG_IF1 = radio(GroupBox20, "RG_IF1", QStringLiteral("LO1"),
                   {QStringLiteral("high"), QStringLiteral("low")}, 1, 8, 24, 73, 57, 0);
    RG_SSBSEL = radio(GroupBox20, "RG_SSBSEL", QStringLiteral("LO2"),
                      {QStringLiteral("high"), QStringLiteral("low")}, 1, 8, 88, 73, 57, 0);
    RG_LO2Div = radio(TabFIFF, "RG_LO2Div", QStringLiteral("LO2 Div"),
                      {QStringLiteral("4"), QStringLiteral("8")}, 1, 216, 288, 73, 57, 0);
}

void TForm1::buildAbcPage() {
    GroupBox9 = group(TabABC, "GroupBox9", QStringLiteral("Preconfigured Frequencies Mode"), 8, 8,
                      297, 169);
    label(GroupBox9, QStringLiteral("f RF [MHz]"), 24, 36);
    CB_fRF = new QComboBox(GroupBox9);
    CB_fRF->setObjectName(QStringLiteral("CB_fRF"));
    CB_fRF->setEditable(true);
    // Only the list's entries count: a typed text that matches none selects nothing.
    CB_fRF->setInsertPolicy(QComboBox::NoInsert);
    for (const zvk::AbcPreset& p : zvk::kAbcPresets) CB_fRF->addItem(QString::fromLatin1(p.item));
    CB_fRF->setCurrentIndex(-1);
    CB_fRF->setEditText(QStringLiteral("select fRF"));
    CB_fRF->setGeometry(104, 32, 97, kEditHeight);

    QLineEdit** const pins[3] = {&E_MA, &E_MB, &E_MC};
    const char* const names[3] = {"E_MA", "E_MB", "E_MC"};
    const char* const captions[3] = {"A", "B", "C"};
    for (int i = 0; i < 3; ++i) {
        const int x = 40 + 80 * i;
        QLabel* l = new QLabel(QString::fromLatin1(captions[i]), GroupBox9);
        QFont f = l->font();
        f.setBold(true);
        f.setPixelSize(24);
        l->setFont(f);
        l->setAlignment(Qt::AlignCenter);
        l->setGeometry(x, 72, 41, 30);
        *pins[i] = infoEdit(GroupBox9, names[i], x, 112, 41, true);
        (*pins[i])->setAlignment(Qt::AlignCenter);
        (*pins[i])->setText(QStringLiteral("0"));
    }
}

void TForm1::buildRegisterPage() {
    for (int r = 0; r < 8; ++r) {
        auto* row = new RegisterRow(QStringLiteral("Control Word Register %1").arg(r), TabReg2);
        row->setObjectName(QStringLiteral("GroupBoxR%1").arg(r));
        row->setGeometry(8, 8 + 40 * r, 289, 41);
        regRows[size_t(r)] = row;
        for (int b = 11; b >= 0; --b) {
            auto* l = new BitLabel(r, b, row);
            l->setObjectName(QString::fromStdString(zvk::bitLabelName(r, b)));
            l->setGeometry(8 + 16 * (11 - b), 16, 12, 13);
            row->adopt(l);
            bitLabels[size_t(r)][size_t(b)] = l;
        }
        auto* v = new FastLabel(QStringLiteral("0x0AB"), row);
        v->setObjectName(QStringLiteral("L_R%1").arg(r));
        v->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        v->setGeometry(232, 16, 31, 13);
        row->adopt(v);
        L_R[size_t(r)] = v;
    }
    auto* one = new FastLabel(QStringLiteral("1"), TabReg2);
    one->setBackground(BitLabel::setColour());
    one->setGeometry(8, 336, 12, 13);
    label(TabReg2, QStringLiteral("red: register bit is high"), 24, 336);
    auto* zero = new FastLabel(QStringLiteral("0"), TabReg2);
    zero->setBackground(BitLabel::clearColour());
    zero->setGeometry(152, 336, 12, 13);
    label(TabReg2, QStringLiteral("blue: register bit is low"), 168, 336);
    for (FastLabel* l : {one, zero}) {
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, Qt::white);
        l->setPalette(p);
    }
    // Pointer movements over the page's own background count even without a button.
    TabReg2->setMouseTracking(true);
    TabReg2->installEventFilter(this);
}

void TForm1::buildStatusBar() {
    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setFixedHeight(19);
    const int widths[3] = {140, 160, 140};
    for (int i = 0; i < 3; ++i) {
        auto* p = new StatusPanel(StatusBar1);
        p->setObjectName(QStringLiteral("Panel%1").arg(i));
        p->setFixedWidth(widths[i]);
        StatusBar1->addWidget(p);
        panels_[size_t(i)] = p;
    }
}
