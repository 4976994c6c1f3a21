// SPDX-License-Identifier: MIT
#pragma once
// The three pages of field controls whose layout is one table each: "Mode Control",
// "Gain Control" and "PLL Control".
#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class PageControl;
class RadioGroup;

class ModePage : public QWidget {
    Q_OBJECT
  public:
    explicit ModePage(PageControl* pc);
    // The page's controls, made after the window's fixed areas (the keyboard focus
    // reaches them in that order).
    void build();
    QGroupBox* GroupBox4;
    QComboBox *CB_OPMODE, *CB_MFO;
    RadioGroup *RG_SHOWLD, *RG_SLCSEL, *RG_DTAPOL, *RG_MODSEL;
};

class GainPage : public QWidget {
    Q_OBJECT
  public:
    explicit GainPage(PageControl* pc);
    // The page's controls, made after the window's fixed areas (the keyboard focus
    // reaches them in that order).
    void build();
    QGroupBox *GroupBox3, *GroupBox1;
    QComboBox *CB_LNAGAIN, *CB_IFFGAIN, *CB_AGCDEL;
    RadioGroup *RG_MIX1GAIN, *RG_MIX2GAIN, *RG_DEMGAIN, *RG_RSSIGAIN, *RG_AGCMODE;
    QCheckBox* CB_AGCEN;
};

class PllPage : public QWidget {
    Q_OBJECT
  public:
    explicit PllPage(PageControl* pc);
    // The page's controls, made after the window's fixed areas (the keyboard focus
    // reaches them in that order).
    void build();
    QGroupBox *GroupBox5, *GroupBox6;
    QComboBox *CB_CPCUR, *CB_LDTIME, *CB_ROCUR;
    RadioGroup *RG_PRESCUR, *RG_PFDPOL, *RG_LDMODE, *RG_LDERR, *RG_VCORANGE, *RG_VCOBUF, *RG_VCOCUR;
};
