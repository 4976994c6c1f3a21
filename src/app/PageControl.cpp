// SPDX-License-Identifier: MIT
#include "PageControl.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStackedWidget>
#include <QStyleOptionTab>
#include <algorithm>

namespace {
constexpr int kFrame = 2;  // the page frame's width
}  // namespace

PageControl::PageControl(QWidget* parent) : QWidget(parent) {
    stack_ = new QStackedWidget(this);
}

int PageControl::addPage(QWidget* page, const QString& caption) {
    pages_.push_back({page, caption, true});
    stack_->addWidget(page);
    if (current_ < 0) {
        current_ = int(pages_.size()) - 1;
        stack_->setCurrentWidget(page);
    }
    relayout();
    return int(pages_.size()) - 1;
}

int PageControl::indexOf(QWidget* page) const {
    for (int i = 0; i < pages_.size(); ++i)
        if (pages_[i].widget == page) return i;
    return -1;
}

void PageControl::setCurrentIndex(int index) {
    if (index < 0 || index >= pages_.size() || !pages_[index].visible || index == current_) return;
    current_ = index;
    stack_->setCurrentWidget(pages_[index].widget);
    relayout();
}

void PageControl::setTabVisible(int index, bool visible) {
    if (index < 0 || index >= pages_.size() || pages_[index].visible == visible) return;
    pages_[index].visible = visible;
    if (!visible && index == current_) {
        // The next visible page takes over, as when a shown page is taken away.
        int next = -1;
        for (int i = 1; i <= pages_.size() && next < 0; ++i) {
            const int j = (index + i) % int(pages_.size());
            if (pages_[j].visible) next = j;
        }
        current_ = next;
        if (next >= 0) stack_->setCurrentWidget(pages_[next].widget);
    } else if (visible && current_ < 0) {
        current_ = index;
        stack_->setCurrentWidget(pages_[index].widget);
    }
    stack_->setVisible(current_ >= 0);
    relayout();
}

QRect PageControl::tabRect(int index) const {
    return tabRects_.value(index);
}

int PageControl::tabHeight() const {
    return fontMetrics().height() + 8;
}

int PageControl::tabWidth(int index) const {
    return fontMetrics().horizontalAdvance(pages_[index].caption) +
           style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, this);
}

QStyleOptionTab PageControl::tabOption(int index, int positionInRow, int rowSize) const {
    QStyleOptionTab tab;
    tab.initFrom(this);
    tab.rect = tabRects_.value(index);
    tab.text = pages_.value(index).caption;
    tab.shape = QTabBar::RoundedNorth;
    tab.position = rowSize == 1                   ? QStyleOptionTab::OnlyOneTab
                   : positionInRow == 0           ? QStyleOptionTab::Beginning
                   : positionInRow == rowSize - 1 ? QStyleOptionTab::End
                                                  : QStyleOptionTab::Middle;
    if (index == current_)
        tab.state |= QStyle::State_Selected;
    else
        tab.state &= ~QStyle::State_Selected;
    tab.state &= ~QStyle::State_HasFocus;
    return tab;
}

QRect PageControl::tabTextRect(int index) const {
    for (const QVector<int>& rr : rows_) {
        const int k = int(rr.indexOf(index));
        if (k < 0) continue;
        const QStyleOptionTab tab = tabOption(index, k, int(rr.size()));
        return style()->subElementRect(QStyle::SE_TabBarTabText, &tab, this);
    }
    return {};
}

void PageControl::relayout() {
    tabRects_ = QVector<QRect>(pages_.size());
    rows_.clear();
    const int w = width();
    // Fill rows left to right; a tab that does not fit starts the next row.
    QVector<int> row;
    int used = 0;
    for (int i = 0; i < pages_.size(); ++i) {
        if (!pages_[i].visible) continue;
        const int tw = tabWidth(i);
        if (!row.isEmpty() && used + tw > w) {
            rows_.push_back(row);
            row.clear();
            used = 0;
        }
        row.push_back(i);
        used += tw;
    }
    if (!row.isEmpty()) rows_.push_back(row);

    // The row that holds the selected tab sits next to the page.
    for (int r = 0; r < rows_.size(); ++r) {
        if (rows_[r].contains(current_)) {
            QVector<int> sel = rows_.takeAt(r);
            rows_.push_back(sel);
            break;
        }
    }

    const int th = tabHeight();
    for (int r = 0; r < rows_.size(); ++r) {
        const QVector<int>& rr = rows_[r];
        int natural = 0;
        for (int i : rr) natural += tabWidth(i);
        // Several rows are stretched to the full width, as a wrapped tab strip looks.
        const int extra = rows_.size() > 1 ? std::max(0, w - natural) : 0;
        int x = 0;
        for (int k = 0; k < rr.size(); ++k) {
            const int i = rr[k];
            int tw = tabWidth(i);
            tw += extra / int(rr.size()) + (k < extra % int(rr.size()) ? 1 : 0);
            tabRects_[i] = QRect(x, r * th, tw, th);
            x += tw;
        }
    }
    const int top = int(rows_.size()) * th;
    stack_->setGeometry(kFrame, top + kFrame, std::max(0, w - 2 * kFrame),
                        std::max(0, height() - top - 2 * kFrame));
    update();
}

void PageControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QStyleOptionTabWidgetFrame frame;
    frame.initFrom(this);
    const int top = int(rows_.size()) * tabHeight();
    frame.rect = QRect(0, top, width(), height() - top);
    frame.shape = QTabBar::RoundedNorth;
    style()->drawPrimitive(QStyle::PE_FrameTabWidget, &frame, &p, this);

    for (const QVector<int>& rr : rows_) {
        for (int k = 0; k < rr.size(); ++k) {
            const QStyleOptionTab tab = tabOption(rr[k], k, int(rr.size()));
            style()->drawControl(QStyle::CE_TabBarTab, &tab, &p, this);
        }
    }
}

void PageControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint pos = event->position().toPoint();
    for (int i = 0; i < tabRects_.size(); ++i) {
        if (!pages_[i].visible || !tabRects_[i].contains(pos)) continue;
        if (i == current_) return;
        setCurrentIndex(i);
        emit userChanged(i);
        return;
    }
}

void PageControl::resizeEvent(QResizeEvent*) {
    relayout();
}

void PageControl::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) relayout();
    QWidget::changeEvent(event);
}
