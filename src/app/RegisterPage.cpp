// SPDX-License-Identifier: MIT
#include "RegisterPage.h"

#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>

#include "BitLabel.h"
#include "Layout.h"
#include "chip/FieldMap.h"

RegisterPage::RegisterPage(PageControl* pc) {
    layout::addPage(this, pc, "TabReg2", QStringLiteral("Register Set"));
}

void RegisterPage::build() {
    for (int r = 0; r < 8; ++r) {
        auto* row = new RegisterRow(QStringLiteral("Control Word Register %1").arg(r), this);
        row->setObjectName(QStringLiteral("GroupBoxR%1").arg(r));
        row->setGeometry(8, 8 + 40 * r, 289, 41);
        regRows[size_t(r)] = row;
        for (int b = 11; b >= 0; --b) {
            auto* l = new BitLabel(r, b, row);
            l->setObjectName(QString::fromStdString(zvk::bitLabelName(r, b)));
            l->setGeometry(8 + 16 * (11 - b), 16, 12, 13);
            row->adopt(l);
            bitLabels[size_t(r)][size_t(b)] = l;
        }
        auto* v = new FastLabel(QStringLiteral("0x0AB"), row);
        v->setObjectName(QStringLiteral("L_R%1").arg(r));
        v->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        v->setGeometry(232, 16, 31, 13);
        row->adopt(v);
        L_R[size_t(r)] = v;
    }
    auto* one = new FastLabel(QStringLiteral("1"), this);
    one->setBackground(BitLabel::setColour());
    one->setGeometry(8, 336, 12, 13);
    layout::label(this, QStringLiteral("red: register bit is high"), 24, 336);
    auto* zero = new FastLabel(QStringLiteral("0"), this);
    zero->setBackground(BitLabel::clearColour());
    zero->setGeometry(152, 336, 12, 13);
    layout::label(this, QStringLiteral("blue: register bit is low"), 168, 336);
    for (FastLabel* l : {one, zero}) {
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, Qt::white);
        l->setPalette(p);
    }
    // Pointer movements over the page's own background count even without a button.
    setMouseTracking(true);
}

void RegisterPage::mouseMoveEvent(QMouseEvent* event) {
    emit pointerOverPage();
    QWidget::mouseMoveEvent(event);
}

void RegisterPage::showRegisters(const zvk::RegisterImage& regs) {
    // The comparison's outline belongs to the image it was made with.
    if (outlined_ && shownValid_ && regs != shown_) outlineBits({});
    for (int r = 0; r < 8; ++r) {
        const uint16_t v = regs[size_t(r)];
        if (shownValid_ && shown_[size_t(r)] == v) continue;
        for (int b = 0; b < 12; ++b)
            bitLabels[size_t(r)][size_t(b)]->setBitValue(zvk::bitTest(v, b));
        L_R[size_t(r)]->setText(QString::fromStdString(zvk::registerText(v)));
        shown_[size_t(r)] = v;
    }
    shownValid_ = true;
}

void RegisterPage::outlineBits(const zvk::RegisterImage& masks) {
    outlined_ = false;
    for (int r = 0; r < 8; ++r)
        for (int b = 0; b < 12; ++b) {
            const bool on = zvk::bitTest(masks[size_t(r)], b);
            bitLabels[size_t(r)][size_t(b)]->setOutlined(on);
            outlined_ = outlined_ || on;
        }
}

void RegisterPage::nameBits() {
    for (int r = 0; r < 8; ++r)
        for (int b = 0; b < 12; ++b)
            bitLabels[size_t(r)][size_t(b)]->setToolTip(QString::fromStdString(zvk::bitName(r, b)));
}
