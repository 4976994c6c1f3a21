// SPDX-License-Identifier: MIT
#include "Groups.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "Layout.h"
#include "TextFit.h"
#include "chip/ChipController.h"
#include "plan/FrequencyPlan.h"
#include "plan/TuningRows.h"

using namespace layout;

TuningInfoGroup::TuningInfoGroup(QWidget* parent)
    : QGroupBox(QStringLiteral("Tuning Info [MHz]"), parent) {
    setObjectName(QStringLiteral("GroupBox10"));
    setGeometry(8, 0, 457, 65);
    for (size_t i = 0; i < zvk::kTuningInfoGroupRows; ++i) {
        const zvk::TuningRow& row = zvk::kTuningRows[i];
        const int x = 8 + 64 * int(i);
        QLabel* l = label(this, QString::fromLatin1(row.label), x, 16);
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, Qt::blue);
        l->setPalette(p);
        l->resize(l->sizeHint().width(), kLabelHeight);
        // E_fRFinfo ... E_fPFDinfo
        const std::string name = std::string("E_") + row.key + "info";
        edits_[i] = infoEdit(this, name.c_str(), x, 32, 57, true);
    }
}

void TuningInfoGroup::showPlan(const zvk::TuningInfo& t) {
    for (size_t i = 0; i < zvk::kTuningInfoGroupRows; ++i) {
        const zvk::TuningItem& item = t.*zvk::kTuningRows[i].item;
        edits_[i]->setText(QString::fromStdString(item.text));
        setRed(edits_[i], item.red, true);
    }
}

void TuningInfoGroup::showCorrection(const zvk::CorrectedFrequencies* c,
                                     const zvk::CrystalCorrection& set) {
    for (size_t i = 0; i < zvk::kTuningInfoGroupRows; ++i) {
        QStringList note;
        if (c != nullptr)
            note << QString::fromStdString(
                zvk::correctedValueText(c->*zvk::kTuningRows[i].corrected, c->ppm));
        if (i == 0 && set.planOnCorrectedCrystal)
            note << QString::fromStdString(zvk::nominalRfNote(set.ppm));
        textfit::setNote(edits_[i], note.join(QLatin1Char('\n')));
    }
}

StatusReadbackGroup::StatusReadbackGroup(QWidget* parent)
    : QGroupBox(QStringLiteral("IC Status"), parent) {
    setObjectName(QStringLiteral("GroupBox13"));
    setGeometry(328, 144, 137, 257);
    label(this, QStringLiteral("IFFVAL"), 16, 32);
    E_IFFVAL = infoEdit(this, "E_IFFVAL", 72, 32, 49, false);
    label(this, QStringLiteral("IFFSTATE"), 16, 72);
    E_IFFSTATE = infoEdit(this, "E_IFFSTATE", 72, 64, 49, false);
    label(this, QStringLiteral("LD"), 16, 104);
    E_LD = infoEdit(this, "E_LD", 72, 96, 49, false);
    label(this, QStringLiteral("RSSI"), 16, 136);
    E_RSSI = infoEdit(this, "E_RSSI", 72, 128, 49, false);
    L_LDT = label(this, QStringLiteral("LD Time [ms]"), 8, 168);
    L_LDT->setObjectName(QStringLiteral("L_LDT"));
    E_LDT = infoEdit(this, "E_LDT", 72, 160, 49, false);
    B_Refresh = button(this, "B_Refresh", QStringLiteral("Refresh"), 32, 208, 75, 25);
}

void StatusReadbackGroup::clear() {
    for (QLineEdit* e : {E_IFFVAL, E_IFFSTATE, E_LD, E_RSSI, E_LDT}) e->clear();
}

void StatusReadbackGroup::showStatus(const zvk::StatusDecoding& d) {
    E_IFFVAL->setText(QString::fromStdString(d.IFFVAL));
    E_IFFSTATE->setText(QString::fromStdString(d.IFFSTATE));
    E_LD->setText(QString::fromStdString(d.LD));
    E_RSSI->setText(QString::fromStdString(d.RSSI));
}

void StatusReadbackGroup::showLockTimeRow(bool visible) {
    L_LDT->setVisible(visible);
    E_LDT->setVisible(visible);
}

void StatusReadbackGroup::showLockTime(const std::string& text, bool red) {
    E_LDT->setText(QString::fromStdString(text));
    setRed(E_LDT, red, true);
}

void StatusReadbackGroup::showLockFlag(const std::string& text) {
    E_LD->setText(QString::fromStdString(text));
}

namespace {
QStringList bandCaptions() {
    QStringList bands;
    for (const zvk::BandPreset& p : zvk::kBandPresets) bands << QString::fromLatin1(p.caption);
    return bands;
}
}  // namespace

BandPresetGroup::BandPresetGroup(QWidget* parent)
    : RadioGroup(QString(), bandCaptions(), 4, parent) {
    setObjectName(QStringLiteral("RGFreq"));
    setGeometry(0, 472, 321, 33);
    arrangeItems();
    setItemIndex(-1);
}

void SideControls::addLogo() {
    Image1 = new QLabel(parent_);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(328, 72, 139, 50);
    Image1->setScaledContents(true);
}

void SideControls::addSendControls() {
    B_WriteReg = button(parent_, "B_WriteReg", QStringLiteral("Send to IC"), 368, 416, 75, 25);
    CB_SendAlways =
        check(parent_, "CB_SendAlways", QStringLiteral("Send always"), 352, 448, 97, 17);
}

void SideControls::addModeSelection() {
    RG_SPI = radio(parent_, "RG_SPI", QStringLiteral("Mode Selection"),
                   {QStringLiteral("ABC"), QStringLiteral("SPI")}, 2, 328, 472, 145, 33, 1);
}
