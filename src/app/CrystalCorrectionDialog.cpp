// SPDX-License-Identifier: MIT
#include "CrystalCorrectionDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "QtText.h"
#include "session/Session.h"

namespace {

// The captions name the entries, and the refusals name them the same way.
constexpr const char* kPpmInput = "Correction [ppm]";
constexpr const char* kLo1Input = "Measured LO1 [MHz]";
constexpr const char* kRfOffsetInput = "RF offset [Hz]";

QPushButton* useButton(QWidget* parent, const char* name) {
    auto* b = new QPushButton(QStringLiteral("Use"), parent);
    b->setObjectName(QString::fromLatin1(name));
    // Return in an entry means OK, not a measurement.
    b->setAutoDefault(false);
    return b;
}

QLineEdit* entry(QWidget* parent, const char* name) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

}  // namespace

CrystalCorrectionDialog::CrystalCorrectionDialog(zvk::Session& session, QWidget* parent)
    : QDialog(parent), session_(&session) {
    setObjectName(QStringLiteral("CrystalCorrectionDialog"));
    setWindowTitle(QStringLiteral("Crystal Correction"));
    E_ppm = entry(this, "E_ppm");
    E_ppm->setToolTip(
        QStringLiteral("The crystal's error in parts per million: positive when it runs fast "
                       "(the sign rtl-sdr's -p and hackrf's -C take)."));
    auto* top = new QFormLayout;
    top->addRow(QString::fromLatin1(kPpmInput), E_ppm);

    auto* measure = new QGroupBox(QStringLiteral("From a measurement of the plan shown"), this);
    L_NominalPlan = new QLabel(measure);
    L_NominalPlan->setObjectName(QStringLiteral("L_NominalPlan"));
    E_LO1Measured = entry(measure, "E_LO1Measured");
    B_FromLO1 = useButton(measure, "B_FromLO1");
    E_RFOffset = entry(measure, "E_RFOffset");
    E_RFOffset->setToolTip(
        QStringLiteral("How far a known signal is really received above the nominal f RF, in Hz."));
    B_FromRFOffset = useButton(measure, "B_FromRFOffset");
    auto* rows = new QFormLayout(measure);
    rows->addRow(L_NominalPlan);
    auto* lo1 = new QHBoxLayout;
    lo1->addWidget(E_LO1Measured, 1);
    lo1->addWidget(B_FromLO1);
    rows->addRow(QString::fromLatin1(kLo1Input), lo1);
    auto* rf = new QHBoxLayout;
    rf->addWidget(E_RFOffset, 1);
    rf->addWidget(B_FromRFOffset);
    rows->addRow(QString::fromLatin1(kRfOffsetInput), rf);

    CB_PlanCorrected = new QCheckBox(QStringLiteral("Plan on corrected crystal"), this);
    CB_PlanCorrected->setObjectName(QStringLiteral("CB_PlanCorrected"));
    CB_PlanCorrected->setToolTip(QStringLiteral(
        "N and A for the channel nearest the wanted RF on the corrected crystal; otherwise "
        "the planner ignores the correction and only the tooltips show it."));
    L_Message = new QLabel(this);
    L_Message->setObjectName(QStringLiteral("L_Message"));
    L_Message->setWordWrap(true);
    QPalette red = L_Message->palette();
    red.setColor(QPalette::WindowText, QColor(192, 0, 0));
    L_Message->setPalette(red);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    B_OK = buttons->button(QDialogButtonBox::Ok);
    B_OK->setObjectName(QStringLiteral("B_OK"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(measure);
    layout->addWidget(CB_PlanCorrected);
    layout->addWidget(L_Message);
    layout->addWidget(buttons);
    connect(B_FromLO1, &QPushButton::clicked, this, &CrystalCorrectionDialog::calibrateFromLo1);
    connect(B_FromRFOffset, &QPushButton::clicked, this,
            &CrystalCorrectionDialog::calibrateFromRfOffset);
    connect(buttons, &QDialogButtonBox::accepted, this, &CrystalCorrectionDialog::okClick);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    reset();
}

void CrystalCorrectionDialog::reset() {
    const zvk::CrystalCorrection& c = session_->crystalCorrection();
    E_ppm->setText(qs(zvk::crystalPpmText(c.ppm)));
    CB_PlanCorrected->setChecked(c.planOnCorrectedCrystal);
    E_LO1Measured->clear();
    E_RFOffset->clear();
    L_Message->clear();
    // What a measurement is held against: the dividers the window shows, nominal crystal.
    const zvk::CorrectedFrequencies nominal = zvk::correctedFrequencies(session_->frequencies(), 0);
    L_NominalPlan->setText(QStringLiteral("Nominal plan: f LO1 %1 MHz, f RF %2 MHz")
                               .arg(qs(zvk::correctedFrequencyText(nominal.fLO1)),
                                    qs(zvk::correctedFrequencyText(nominal.fRF))));
}

void CrystalCorrectionDialog::refuse(const std::string& reason) {
    L_Message->setText(qs(reason));
}

bool CrystalCorrectionDialog::calibrate(zvk::CrystalMeasurement kind, QLineEdit* measured,
                                        const char* input) {
    double ppm = 0;
    if (auto refusal = zvk::crystalPpmFromMeasurement(session_->frequencies(), kind,
                                                      ss(measured->text()), input, ppm)) {
        refuse(*refusal);
        return false;
    }
    E_ppm->setText(qs(zvk::crystalPpmText(ppm)));
    L_Message->clear();
    return true;
}

bool CrystalCorrectionDialog::calibrateFromLo1() {
    return calibrate(zvk::CrystalMeasurement::Lo1, E_LO1Measured, kLo1Input);
}

bool CrystalCorrectionDialog::calibrateFromRfOffset() {
    return calibrate(zvk::CrystalMeasurement::RfOffset, E_RFOffset, kRfOffsetInput);
}

std::optional<zvk::CrystalCorrection> CrystalCorrectionDialog::correction() {
    zvk::CrystalCorrection c;
    if (auto refusal = zvk::parseCrystalPpm(ss(E_ppm->text()), kPpmInput, c.ppm)) {
        refuse(*refusal);
        return std::nullopt;
    }
    c.planOnCorrectedCrystal = CB_PlanCorrected->isChecked();
    return c;
}

void CrystalCorrectionDialog::okClick() {
    const auto c = correction();
    if (!c) return;
    accept();
    emit chosen(*c);
}
