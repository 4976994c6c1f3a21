// SPDX-License-Identifier: MIT
#pragma once
#include <QDialog>

#include "plan/CrystalCorrection.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zvk {
class Session;
}

// "Crystal Correction…": the crystal's error in ppm, typed or found from a measurement of
// the plan the window shows (LO1 with a counter, or a known signal's offset), and whether
// N and A are planned on the corrected crystal. OK hands the correction over only when
// every entry is usable; a refusal is shown in the dialog and changes nothing.
class CrystalCorrectionDialog : public QDialog {
    Q_OBJECT
  public:
    CrystalCorrectionDialog(zvk::Session& session, QWidget* parent);
    // The entries start from the session's correction and the plan it shows now.
    void reset();
    // The correction the entries make; the refusal is shown otherwise.
    std::optional<zvk::CrystalCorrection> correction();
    // The measurement buttons: the entry takes the correction a measurement gives.
    bool calibrateFromLo1();
    bool calibrateFromRfOffset();

    QLineEdit* E_ppm;
    QLineEdit* E_LO1Measured;
    QPushButton* B_FromLO1;
    QLineEdit* E_RFOffset;
    QPushButton* B_FromRFOffset;
    QLabel* L_NominalPlan;
    QCheckBox* CB_PlanCorrected;
    QLabel* L_Message;
    QPushButton* B_OK;

  signals:
    // OK with usable entries.
    void chosen(const zvk::CrystalCorrection& c);

  private:
    bool calibrate(zvk::CrystalMeasurement kind, QLineEdit* entry, const char* input);
    void okClick();
    void refuse(const std::string& reason);
    zvk::Session* session_;
};
