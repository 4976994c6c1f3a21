// SPDX-License-Identifier: MIT
#pragma once
// "Frequency and IFF Control": the IF filter, the synthesizer's dividers and frequencies,
// and the injection sides.
#include <QWidget>

class QCheckBox;
class QGroupBox;
class QPushButton;
class Edit;
class PageControl;
class RadioGroup;
class UpDown;

class FrequencyPage : public QWidget {
    Q_OBJECT
  public:
    explicit FrequencyPage(PageControl* pc);
    // The page's controls, made after the window's fixed areas (the keyboard focus
    // reaches them in that order).
    void build();
    QGroupBox *GroupBox2, *GroupBox8, *GroupBox20;
    QCheckBox *CB_IFFTUNE, *CB_IFFHLT;
    Edit *E_RIFF, *E_IFFRES, *E_IF2CH, *E_fXTAL, *E_R, *E_fRFI, *E_A, *E_N, *E_Ntot;
    UpDown *UpD_RIFF, *UpD_IFFAdj, *UpD_R, *UpD_A, *UpD_N;
    QPushButton *B_CalcFS, *B_CalcNA, *B_Calc;
    RadioGroup *RG_IF1, *RG_SSBSEL, *RG_LO2Div;
};
