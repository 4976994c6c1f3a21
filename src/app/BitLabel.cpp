// SPDX-License-Identifier: MIT
#include "BitLabel.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

FastLabel::FastLabel(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {
    // Always opaque: a repaint never has to draw the group box underneath again.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void FastLabel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    changed();
}

void FastLabel::setBackground(const QColor& colour) {
    if (colour == background_) return;
    background_ = colour;
    changed();
}

void FastLabel::changed() {
    if (row_ != nullptr)
        row_->labelChanged();
    else
        update();
}

void FastLabel::changeEvent(QEvent* event) {
    // A new face (a text made to fit) lays the text out again.
    if (event->type() == QEvent::FontChange) {
        layout_ = QStaticText();
        changed();
    }
    QWidget::changeEvent(event);
}

void FastLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.translate(-pos());
    paintAt(p);
}

void FastLabel::paintAt(QPainter& p) {
    p.save();
    p.translate(pos());
    p.fillRect(rect(), background_.isValid() ? background_ : palette().color(QPalette::Window));
    if (layout_.text() != text_) {
        layout_.setText(text_);
        layout_.setTextFormat(Qt::PlainText);
        layout_.prepare(QTransform(), font());
    }
    const QSizeF ts = layout_.size();
    qreal x = 0;
    if (alignment_ & Qt::AlignHCenter) x = (width() - ts.width()) / 2;
    if (alignment_ & Qt::AlignRight) x = width() - ts.width();
    const qreal y = (height() - ts.height()) / 2;
    p.setPen(palette().color(QPalette::WindowText));
    p.setFont(font());
    p.drawStaticText(QPointF(x, y), layout_);
    p.restore();
}

BitLabel::BitLabel(int reg, int bit, QWidget* parent)
    : FastLabel(QStringLiteral("%1").arg(bit, 2, 10, QLatin1Char('0')), parent),
      reg_(reg),
      bit_(bit) {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::white);  // readable on both red and blue
    setPalette(pal);
    setBackground(clearColour());
}

void BitLabel::setBitValue(bool set) {
    if (set == set_) return;
    set_ = set;
    setBackground(set ? setColour() : clearColour());
}

void BitLabel::setOutlined(bool outlined) {
    if (outlined == outlined_) return;
    outlined_ = outlined;
    changed();
}

void BitLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) looks_[0] = looks_[1] = QPixmap();
    FastLabel::changeEvent(event);
}

void BitLabel::paintAt(QPainter& p) {
    QPixmap& look = looks_[set_ ? 1 : 0];
    if (look.isNull() || look.size() != size()) {
        look = QPixmap(size());
        QPainter lp(&look);
        lp.translate(-pos());
        FastLabel::paintAt(lp);
    }
    p.drawPixmap(pos(), look);
    if (outlined_) {
        // Yellow stands out from both bit colours.
        p.save();
        p.setPen(QPen(QColor(255, 255, 0), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(pos(), size()).adjusted(1, 1, -1, -1));
        p.restore();
    }
}

RegisterRow::RegisterRow(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {
    // Movements without a button count: they name the bit under the pointer.
    setMouseTracking(true);
}

void RegisterRow::adopt(FastLabel* label) {
    label->setDrawingRow(this);
    label->hide();
    labels_.push_back(label);
    strip_ = strip_.united(label->geometry());
    labelChanged();
}

void RegisterRow::labelChanged() {
    if (repaintPending_) return;
    repaintPending_ = true;
    update(strip_);
}

BitLabel* RegisterRow::bitAt(const QPoint& pos) const {
    for (FastLabel* l : labels_)
        if (l->geometry().contains(pos))
            if (auto* b = qobject_cast<BitLabel*>(l)) return b;
    return nullptr;
}

void RegisterRow::paintEvent(QPaintEvent* event) {
    // Labels alone lie clear of the frame and the caption, which then need no new paint.
    const int top = fontMetrics().height();
    const QRect inner(3, top, width() - 6, height() - top - 3);
    if (!inner.contains(event->region().boundingRect())) QGroupBox::paintEvent(event);
    repaintPending_ = false;
    QPainter p(this);
    for (FastLabel* l : labels_)
        if (event->region().intersects(l->geometry())) l->paintAt(p);
}

void RegisterRow::mouseMoveEvent(QMouseEvent* event) {
    // Over the row but beside its labels, nothing happens.
    if (BitLabel* b = bitAt(event->position().toPoint())) emit b->mouseMoved();
}

void RegisterRow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) pressed_ = bitAt(event->position().toPoint());
}

void RegisterRow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    BitLabel* b = bitAt(event->position().toPoint());
    if (b != nullptr && b == pressed_) emit b->clicked();
    pressed_ = nullptr;
}

bool RegisterRow::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (BitLabel* b = bitAt(help->pos()))
            QToolTip::showText(help->globalPos(), b->toolTip(), this, b->geometry());
        else
            QToolTip::hideText();
        return true;
    }
    return QGroupBox::event(event);
}
