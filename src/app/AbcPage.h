// SPDX-License-Identifier: MIT
#pragma once
// "ABC Mode": the preconfigured frequency and the mode pins that select it.
#include <QWidget>
#include <array>

class QComboBox;
class QGroupBox;
class QLineEdit;
class PageControl;

class AbcPage : public QWidget {
    Q_OBJECT
  public:
    explicit AbcPage(PageControl* pc);
    // The page's controls, made after the window's fixed areas (the keyboard focus
    // reaches them in that order).
    void build();
    // The levels of the pins A, B and C.
    void showPins(int a, int b, int c);

    QGroupBox* GroupBox9;
    QComboBox* CB_fRF;
    QLineEdit *E_MA, *E_MB, *E_MC;
};
