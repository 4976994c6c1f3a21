// SPDX-License-Identifier: MIT
#include "FrequencyPage.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>

#include "Layout.h"
#include "RadioGroup.h"
#include "UpDown.h"
#include "session/EditRules.h"

using namespace layout;

namespace {

// A captioned edit, with a spinner when it has a range: the repeated rows of the page.
struct EditRow {
    Edit* FrequencyPage::*edit;
    UpDown* FrequencyPage::*spinner;  // null: no spinner
    const char* name;
    const char* spinnerName;
    const char* caption;
    int labelX, labelY, x, y, w;
    const zvk::EditRule* rule;  // the spinner's range and the start text; null: text below
    const char* text;
};

void buildRows(FrequencyPage* page, QWidget* parent, std::initializer_list<EditRow> rows) {
    for (const EditRow& r : rows) {
        label(parent, QString::fromLatin1(r.caption), r.labelX, r.labelY);
        const QString text =
            r.rule != nullptr ? QString::number(r.rule->fallback) : QString::fromLatin1(r.text);
        Edit* e = edit(parent, r.name, text, r.x, r.y, r.w);
        page->*r.edit = e;
        if (r.spinner != nullptr) page->*r.spinner = spinner(parent, r.spinnerName, e, *r.rule);
    }
}

}  // namespace

FrequencyPage::FrequencyPage(PageControl* pc) {
    addPage(this, pc, "TabFIFF", QStringLiteral("Frequency and IFF Control"));
}

void FrequencyPage::build() {
    GroupBox2 = group(this, "GroupBox2", QStringLiteral("IF Filter Auto-Adjustment Control"), 8, 0,
                      193, 113);
    CB_IFFTUNE = check(GroupBox2, "CB_IFFTUNE", QStringLiteral("Auto Adjustment"), 8, 16, 97, 17);
    CB_IFFHLT = check(GroupBox2, "CB_IFFHLT", QStringLiteral("Halt"), 120, 16, 65, 17);
    using P = FrequencyPage;
    buildRows(this, GroupBox2,
              {
                  {&P::E_RIFF, &P::UpD_RIFF, "E_RIFF", "UpD_RIFF", "RIFF Divider", 16, 40, 112, 32,
                   57, &zvk::kRiffEdit, nullptr},
                  {&P::E_IFFRES, &P::UpD_IFFAdj, "E_IFFRES", "UpD_IFFAdj", "IFF Preset Value", 16,
                   64, 112, 56, 57, &zvk::kIffresEdit, nullptr},
                  {&P::E_IF2CH, nullptr, "E_IF2CH", nullptr, "IFF centre freq. [MHz]", 16, 88, 136,
                   80, 49, nullptr, "2"},
              });

    B_CalcFS = button(this, "B_CalcFS", QStringLiteral("CalcFS"), 216, 8, 75, 25);
    B_CalcNA = button(this, "B_CalcNA", QStringLiteral("CalcNA"), 216, 48, 75, 25);
    B_CalcFS->hide();
    B_CalcNA->hide();

    GroupBox8 = group(this, "GroupBox8", QString(), 8, 112, 193, 241);
    buildRows(
        this, GroupBox8,
        {
            {&P::E_fXTAL, nullptr, "E_fXTAL", nullptr, "f xtal [MHz]", 24, 24, 88, 16, 49, nullptr,
             "10.000"},
            {&P::E_R, &P::UpD_R, "E_R", "UpD_R", "R Divider", 32, 56, 88, 48, 57, &zvk::kREdit,
             nullptr},
            {&P::E_fRFI, nullptr, "E_fRFI", nullptr, "f RF [MHz]", 24, 96, 88, 88, 49, nullptr,
             "433.000"},
            {&P::E_A, &P::UpD_A, "E_A", "UpD_A", "A", 64, 136, 88, 128, 57, &zvk::kAEdit, nullptr},
            {&P::E_N, &P::UpD_N, "E_N", "UpD_N", "N", 64, 168, 88, 160, 57, &zvk::kNEdit, nullptr},
        });
    B_Calc = button(GroupBox8, "B_Calc", QStringLiteral("Calculate"), 8, 208, 75, 25);
    buildRows(
        this, GroupBox8,
        {{&P::E_Ntot, nullptr, "E_Ntot", nullptr, "Ntot", 93, 212, 128, 204, 49, nullptr, "100"}});

    GroupBox20 = group(this, "GroupBox20", QStringLiteral("Injection Side"), 208, 112, 97, 161);
    RG_IF1 = radio(GroupBox20, "RG_IF1", QStringLiteral("LO1"),
                   {QStringLiteral("high"), QStringLiteral("low")}, 1, 8, 24, 73, 57, 0);
    RG_SSBSEL = radio(GroupBox20, "RG_SSBSEL", QStringLiteral("LO2"),
                      {QStringLiteral("high"), QStringLiteral("low")}, 1, 8, 88, 73, 57, 0);
    RG_LO2Div = radio(this, "RG_LO2Div", QStringLiteral("LO2 Div"),
                      {QStringLiteral("4"), QStringLiteral("8")}, 1, 216, 288, 73, 57, 0);
}
