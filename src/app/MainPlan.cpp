// SPDX-License-Identifier: MIT
// The main window's frequency-plan handlers: the planning and recompute steps as the
// window shows them, the frequency, divider and filter edits, the presets and "Calculate".
#include <QLineEdit>

#include "Main.h"
#include "QtText.h"
#include "RadioGroup.h"
#include "TextFit.h"
#include "ToolsMenu.h"

using namespace zvk;

void TForm1::readFrequencyState() {
    session_->readFrequencyState();
}

void TForm1::dividersRead(const FrequencyState& s) {
    setEditText(E_N(), QString::number(s.N));
    setEditText(E_A(), QString::number(s.A));
    setEditText(E_R(), QString::number(s.R));
}

void TForm1::beep() {
    // The planning step's beeps confirm a click; a script's hundred plans would only ring.
    if (!remoteLine_) beeper_->beep();
}

bool TForm1::planDividers(float fRF) {
    return session_->planDividers(fRF);
}

void TForm1::planRefused(const std::string& reason) {
    // Not a message box: closing one would activate the window and plan again.
    // The panel may be too narrow for the whole reason: the tuning info it leaves standing
    // carries it too, while the panel shows it.
    refusal_ = qs(reason);
    setPanelText(1, refusal_);
    tuning_->setToolTip(refusal_);
}

void TForm1::planShown(const FrequencyState&) {
    reverseSync();
    showTuningInfo();
}

void TForm1::recomputeFrequencies() {
    session_->recomputeFrequencies();
}

void TForm1::showTuningInfo() {
    const TuningInfo t = ShowTuningInfo(*fs_);
    showTuningTexts(t);
    programWrite(E_A(), qs(t.A));
    programWrite(E_N(), qs(t.N));
    programWrite(E_R(), qs(t.R));
    programWrite(E_RIFF(), qs(t.RIFF));
    if (Tools1) Tools1->planChanged();
}

void TForm1::showTuningTexts(const TuningInfo& t) {
    tuning_->showPlan(t);
    E_Ntot()->setText(qs(t.Ntot.text));
    layout::setRed(E_Ntot(), t.Ntot.red, false);
    E_IF2CH()->setText(qs(t.IF2CH.text));
    layout::setRed(E_IF2CH(), t.IF2CH.red, false);
    showCorrection();
}

void TForm1::showCorrection() {
    // The nominal values stay as they were; the tooltips carry what the chip really does.
    const CrystalCorrection& set = session_->crystalCorrection();
    std::optional<CorrectedFrequencies> real;
    if (set.ppm != 0) real = session_->correctedFrequencies();
    tuning_->showCorrection(real ? &*real : nullptr, set);
    textfit::setNote(E_IF2CH(), real ? qs(correctedValueText(real->fIFF, real->ppm)) : QString());
}

void TForm1::defaultsApplied() {
    setWindowTitle(titleText_ + QStringLiteral(" Default Settings"));
}

void TForm1::E_fXTALChange() {
    const bool byProgram = programmatic_;
    replaceText(E_fXTAL(), qs(session_->takeCrystal(ss(E_fXTAL()->text()))));
    session_->crystalChanged(byProgram);
    programmatic_ = false;
}

void TForm1::E_fRFIChange() {
    replaceText(E_fRFI(), qs(session_->takeWantedFrequency(ss(E_fRFI()->text()))));
}

void TForm1::numberEdited(const NumberEdit& n) {
    session_->numberEdited(*n.field, ss(n.edit->text()), programmatic_);
    programmatic_ = false;
}

void TForm1::E_RIFFChange() {
    numberEdited(*numberEdit(E_RIFF()));
}

void TForm1::E_IFFRESChange() {
    numberEdited(*numberEdit(E_IFFRES()));
}

void TForm1::E_RKeyUp() {
    numberEdited(*numberEdit(E_R()));
}

void TForm1::E_AKeyUp() {
    numberEdited(*numberEdit(E_A()));
}

void TForm1::E_NKeyUp() {
    numberEdited(*numberEdit(E_N()));
}

void TForm1::spinnerReleased(QLineEdit* edit, const Field& f, const EditRule& rule) {
    const auto error = session_->spinnerReleased(f, rule, ss(edit->text()), programmatic_);
    if (error) {
        showError(*error);
        return;
    }
    programmatic_ = false;
}

void TForm1::UpD_RMouseUp() {
    spinnerReleased(E_R(), field("R"), kREdit);
}

void TForm1::UpD_AMouseUp() {
    spinnerReleased(E_A(), field("A"), kAEdit);
}

void TForm1::UpD_NMouseUp() {
    spinnerReleased(E_N(), field("N"), kNEdit);
}

void TForm1::B_CalcClick() {
    session_->calculateClicked();
}

void TForm1::B_CalcFSClick() {
    programmatic_ = true;
    recomputeFrequencies();
    programmatic_ = false;
}

void TForm1::B_CalcNAClick() {
    const bool before = programmatic_;
    programmatic_ = true;
    const auto error = session_->planTypedFrequency(ss(E_fRFI()->text()));
    programmatic_ = error ? before : false;
    if (error) showError(*error);
}

void TForm1::RG_IF1Click() {
    session_->injectionChosen(RG_IF1()->itemIndex());
}

void TForm1::RGFreqClick() {
    if (const auto error = session_->chooseBandPreset(RGFreq()->itemIndex())) showError(*error);
}
