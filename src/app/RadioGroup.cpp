// SPDX-License-Identifier: MIT
#include "RadioGroup.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QResizeEvent>
#include <algorithm>

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, int columns,
                       QWidget* parent)
    : QGroupBox(caption, parent), columns_(std::max(1, columns)) {
    group_ = new QButtonGroup(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        b->setObjectName(QStringLiteral("item%1").arg(i));
        group_->addButton(b, i);
        buttons_.push_back(b);
    }
    connect(group_, &QButtonGroup::idToggled, this, &RadioGroup::buttonToggled);
    arrangeItems();
}

void RadioGroup::setItemIndex(int index) {
    if (buttons_.isEmpty()) return;
    index = std::clamp(index, -1, int(buttons_.size()) - 1);
    if (index == index_) return;
    if (index < 0) {
        // An exclusive group cannot be emptied; lift the rule for the moment it takes.
        index_ = -1;
        group_->setExclusive(false);
        for (QRadioButton* b : buttons_) b->setChecked(false);
        group_->setExclusive(true);
        emit itemIndexChanged(-1);
        return;
    }
    buttons_[index]->setChecked(true);  // buttonToggled records it and tells
}

void RadioGroup::buttonToggled(int id, bool checked) {
    if (!checked || id == index_) return;
    index_ = id;
    emit itemIndexChanged(id);
    emit clicked();
}

void RadioGroup::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    arrangeItems();
}

void RadioGroup::arrangeItems() {
    if (buttons_.isEmpty()) return;
    const int top = title().isEmpty() ? 4 : fontMetrics().height() + 1;
    const int rows = (int(buttons_.size()) + columns_ - 1) / columns_;
    const int areaW = width() - 16;
    const int areaH = std::max(1, height() - top - 4);
    const int colW = areaW / columns_;
    const int rowH = areaH / rows;
    const int buttonH = std::min(rowH, fontMetrics().height() + 4);
    for (int i = 0; i < buttons_.size(); ++i) {
        // Items run down the first column, then the next, as the classic toolkit lays
        // them out.
        const int col = i / rows;
        const int row = i % rows;
        const int y = top + row * rowH + (rowH - buttonH) / 2;
        buttons_[i]->setGeometry(8 + col * colW, y, colW - 2, buttonH);
    }
}
