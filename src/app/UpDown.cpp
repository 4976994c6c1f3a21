// SPDX-License-Identifier: MIT
#include "UpDown.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QTimer>
#include <algorithm>

#include "base/Numbers.h"

UpDown::UpDown(QLineEdit* buddy, int minimum, int maximum, QWidget* parent)
    : QWidget(parent), buddy_(buddy), min_(minimum), max_(maximum) {
    repeat_ = new QTimer(this);
    connect(repeat_, &QTimer::timeout, this, [this] {
        repeat_->setInterval(50);
        if (pressed_ != 0) step(pressed_);
    });
    buddy_->installEventFilter(this);
    setFocusPolicy(Qt::NoFocus);
}

void UpDown::step(int direction) {
    const auto typed = zvk::parseDecimal(buddy_->text().toStdString());
    if (!typed) return;
    const long long from = std::clamp<long long>(*typed, min_, max_);
    const int next = int(std::clamp<long long>(from + direction, min_, max_));
    const QString text = QString::number(next);
    if (text == buddy_->text()) return;
    buddy_->setText(text);
    emit stepped();
}

void UpDown::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int half = height() / 2;
    const QRect up(0, 0, width(), half);
    const QRect down(0, half, width(), height() - half);
    for (int i = 0; i < 2; ++i) {
        QStyleOptionButton b;
        b.initFrom(this);
        b.rect = i == 0 ? up : down;
        const bool sunken = (i == 0 && pressed_ == 1) || (i == 1 && pressed_ == -1);
        b.state |= sunken ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawControl(QStyle::CE_PushButtonBevel, &b, &p, this);
        QStyleOption arrow;
        arrow.initFrom(this);
        arrow.rect = b.rect.adjusted(3, 2, -3, -2);
        style()->drawPrimitive(i == 0 ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown,
                               &arrow, &p, this);
    }
}

void UpDown::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int upperHalf = height() / 2;  // whole pixels: the middle row belongs below
    pressed_ = event->position().y() < upperHalf ? 1 : -1;
    step(pressed_);
    repeat_->start(400);
    update();
}

void UpDown::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || pressed_ == 0) return;
    pressed_ = 0;
    repeat_->stop();
    update();
    emit mouseReleased();
}

bool UpDown::eventFilter(QObject* watched, QEvent* event) {
    if (watched == buddy_ && event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Up || k->key() == Qt::Key_Down) {
            step(k->key() == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
