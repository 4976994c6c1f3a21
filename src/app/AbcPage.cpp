// SPDX-License-Identifier: MIT
#include "AbcPage.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>

#include "Layout.h"
#include "plan/FrequencyPlan.h"

using namespace layout;

AbcPage::AbcPage(PageControl* pc) {
    addPage(this, pc, "TabABC", QStringLiteral("ABC Mode"));
}

void AbcPage::build() {
    GroupBox9 =
        group(this, "GroupBox9", QStringLiteral("Preconfigured Frequencies Mode"), 8, 8, 297, 169);
    label(GroupBox9, QStringLiteral("f RF [MHz]"), 24, 36);
    CB_fRF = new QComboBox(GroupBox9);
    CB_fRF->setObjectName(QStringLiteral("CB_fRF"));
    CB_fRF->setEditable(true);
    // Only the list's entries count: a typed text that matches none selects nothing.
    CB_fRF->setInsertPolicy(QComboBox::NoInsert);
    for (const zvk::AbcPreset& p : zvk::kAbcPresets) CB_fRF->addItem(QString::fromLatin1(p.item));
    CB_fRF->setCurrentIndex(-1);
    CB_fRF->setEditText(QStringLiteral("select fRF"));
    CB_fRF->setGeometry(104, 32, 97, kEditHeight);

    QLineEdit** const pins[3] = {&E_MA, &E_MB, &E_MC};
    const char* const names[3] = {"E_MA", "E_MB", "E_MC"};
    const char* const captions[3] = {"A", "B", "C"};
    for (int i = 0; i < 3; ++i) {
        const int x = 40 + 80 * i;
        QLabel* l = new QLabel(QString::fromLatin1(captions[i]), GroupBox9);
        QFont f = l->font();
        f.setBold(true);
        f.setPixelSize(24);
        l->setFont(f);
        l->setAlignment(Qt::AlignCenter);
        l->setGeometry(x, 72, 41, 30);
        *pins[i] = infoEdit(GroupBox9, names[i], x, 112, 41, true);
        (*pins[i])->setAlignment(Qt::AlignCenter);
        (*pins[i])->setText(QStringLiteral("0"));
    }
}

void AbcPage::showPins(int a, int b, int c) {
    E_MA->setText(QString::number(a));
    E_MB->setText(QString::number(b));
    E_MC->setText(QString::number(c));
}
