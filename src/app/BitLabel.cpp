#include "BitLabel.h"

#include <QMouseEvent>
#include <QPainter>

FastLabel::FastLabel(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {
    // Always opaque: a repaint never has to draw the group box underneath again.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void FastLabel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    update();
}

void FastLabel::setBackground(const QColor& colour) {
    if (colour == background_) return;
    background_ = colour;
    update();
}

QSize FastLabel::sizeHint() const {
    const QFontMetrics fm = fontMetrics();
    return QSize(fm.horizontalAdvance(text_) + 2, fm.height());
}

void FastLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
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
    p.drawStaticText(QPointF(x, y), layout_);
}

BitLabel::BitLabel(int reg, int bit, QWidget* parent)
    : FastLabel(QStringLiteral("%1").arg(bit, 2, 10, QLatin1Char('0')), parent),
      reg_(reg),
      bit_(bit) {
    setMouseTracking(true);
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

void BitLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) pressed_ = true;
}

void BitLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_) return;
    pressed_ = false;
    if (rect().contains(event->position().toPoint())) emit clicked();
}

void BitLabel::mouseMoveEvent(QMouseEvent*) {
    emit mouseMoved();
}
