// SPDX-License-Identifier: MIT
#include "StatusPlotView.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "PlanWindow.h"
#include "QtText.h"

StatusPlotView::StatusPlotView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("StatusPlotView"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void StatusPlotView::setPlot(zvk::StatusPlot plot) {
    plot_ = std::move(plot);
    picture_ = QImage();
    update();
}

QSize StatusPlotView::sizeHint() const {
    return {int(zvk::kStatusPlotWidth), plot_.height > 0 ? int(plot_.height) : 340};
}

QRectF StatusPlotView::pictureRect() const {
    return fittedPicture(size(), plot_.width, plot_.height);
}

QPointF StatusPlotView::toPicture(const QPointF& p) const {
    return pictureUnits(pictureRect(), plot_.width, plot_.height, p);
}

QString StatusPlotView::readoutAt(const QPointF& p) const {
    const QPointF at = toPicture(p);
    const zvk::PlotMark* m = zvk::markAt(plot_, at.x(), at.y());
    return m ? qs(m->text) : QString();
}

void StatusPlotView::mouseMoveEvent(QMouseEvent* event) {
    pointer_ = event->position();
    update();
}

void StatusPlotView::leaveEvent(QEvent*) {
    pointer_.reset();
    update();
}

void StatusPlotView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const QRectF r = pictureRect();
    if (r.isEmpty()) return;
    const QSize pixels = (r.size() * devicePixelRatioF()).toSize();
    if (picture_.size() != pixels) {
        picture_ = renderPlan(plot_.svg, pixels);
        picture_.setDevicePixelRatio(devicePixelRatioF());
    }
    painter.drawImage(r.topLeft(), picture_);
    if (!pointer_) return;
    const QPointF at = toPicture(*pointer_);
    const zvk::PlotMark* m = zvk::markAt(plot_, at.x(), at.y());
    if (m == nullptr) return;
    // The read under the pointer: its cell's middle through the plot and the lanes, its
    // value as a dot, and what it says in a box along the top of the plot.
    const double scale = r.width() / plot_.width;
    const auto widget = [&](double x, double y) {
        return QPointF(r.x() + x * scale, r.y() + y * scale);
    };
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0, 0, 0, 140), 1, Qt::DashLine));
    painter.drawLine(widget(m->x, plot_.area.y0), widget(m->x, plot_.lanes.y1));
    if (std::isfinite(m->y)) {
        painter.setPen(QPen(Qt::black, 1.5));
        painter.setBrush(Qt::white);
        painter.drawEllipse(widget(m->x, m->y), 4, 4);
    }
    const QString text = qs(m->text);
    QFont font = painter.font();
    font.setPixelSize(std::max(10, int(std::lround(11 * scale))));
    painter.setFont(font);
    const QFontMetricsF fm(font);
    QRectF box(0, 0, fm.horizontalAdvance(text) + 10, fm.height() + 6);
    const QPointF top = widget(m->x, plot_.area.y0);
    box.moveTopLeft(QPointF(top.x() + 8, top.y() + 4));
    if (box.right() > width() - 2) box.moveRight(top.x() - 8);
    if (box.left() < 2) box.moveLeft(2);
    painter.setPen(QColor(90, 90, 90));
    painter.setBrush(QColor(255, 255, 240, 235));
    painter.drawRect(box);
    painter.setPen(Qt::black);
    painter.drawText(box, Qt::AlignCenter, text);
}
