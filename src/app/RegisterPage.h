// SPDX-License-Identifier: MIT
#pragma once
// "Register Set": the 96 bit labels and the eight register values.
#include <QWidget>
#include <array>
#include <cstdint>

#include "chip/Registers.h"

class QGroupBox;
class BitLabel;
class FastLabel;
class PageControl;

class RegisterPage : public QWidget {
    Q_OBJECT
  public:
    explicit RegisterPage(PageControl* pc);
    // The page's controls, made after the window's fixed areas (the keyboard focus
    // reaches them in that order).
    void build();
    // Bit colours and value labels of the registers that changed since the last call.
    void showRegisters(const zvk::RegisterImage& regs);
    // The bit names as tooltips.
    void nameBits();
    // Frames the bits set in the masks until the next change of the image shown.
    void outlineBits(const zvk::RegisterImage& masks);

    std::array<QGroupBox*, 8> regRows{};
    std::array<std::array<BitLabel*, 12>, 8> bitLabels{};
    std::array<FastLabel*, 8> L_R{};

  signals:
    // The pointer moved over the page's own background (not over a bit).
    void pointerOverPage();

  protected:
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    zvk::RegisterImage shown_{};
    bool shownValid_ = false;
    bool outlined_ = false;
};
