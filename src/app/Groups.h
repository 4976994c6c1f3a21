// SPDX-License-Identifier: MIT
#pragma once
// The window's areas beside the pages: the tuning info, the chip's status, the band
// presets, and the logo with the send and mode controls.
#include <QGroupBox>
#include <QWidget>
#include <array>
#include <string>

#include "RadioGroup.h"
#include "plan/TuningRows.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
namespace zvk {
struct StatusDecoding;
}  // namespace zvk

// "Tuning Info [MHz]": the seven frequencies of the plan, red outside their ranges.
class TuningInfoGroup : public QGroupBox {
    Q_OBJECT
  public:
    explicit TuningInfoGroup(QWidget* parent);
    void showPlan(const zvk::TuningInfo& t);
    // Each edit's tooltip carries its frequency on the corrected crystal while a correction
    // is set (c null: the nominal values alone); f RF's also says, while N and A are
    // planned on the corrected crystal, that it is the nominal plan's.
    void showCorrection(const zvk::CorrectedFrequencies* c, const zvk::CrystalCorrection& set);

  private:
    // E_fRFinfo ... E_fPFDinfo, one per row of the group.
    std::array<QLineEdit*, zvk::kTuningInfoGroupRows> edits_{};
};

// "IC Status": the decoded status register, the lock time and "Refresh".
class StatusReadbackGroup : public QGroupBox {
    Q_OBJECT
  public:
    explicit StatusReadbackGroup(QWidget* parent);
    void clear();
    void showStatus(const zvk::StatusDecoding& d);
    void showLockTimeRow(bool visible);
    void showLockTime(const std::string& text, bool red);
    void showLockFlag(const std::string& text);
    QLineEdit *E_IFFVAL, *E_IFFSTATE, *E_LD, *E_RSSI, *E_LDT;
    QLabel* L_LDT;
    QPushButton* B_Refresh;
};

// The band presets under the pages.
class BandPresetGroup : public RadioGroup {
    Q_OBJECT
  public:
    explicit BandPresetGroup(QWidget* parent);
};

// Right of the pages: the logo, "Send to IC", "Send always" and the mode selection. They
// are made in three steps, so that the keyboard focus moves through the window in the
// order it always has.
class SideControls : public QObject {
    Q_OBJECT
  public:
    explicit SideControls(QWidget* parent) : QObject(parent), parent_(parent) {}
    void addLogo();
    void addSendControls();
    void addModeSelection();
    QLabel* Image1;
    QPushButton* B_WriteReg;
    QCheckBox* CB_SendAlways;
    RadioGroup* RG_SPI;

  private:
    QWidget* parent_;
};
