// SPDX-License-Identifier: MIT
#include "TraceWindow.h"

#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

LogView::LogView(size_t keep, QWidget* parent) : QAbstractScrollArea(parent), keep_(keep) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setBackgroundRole(QPalette::Base);
}

void LogView::append(std::vector<std::string>& lines) {
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    for (std::string& l : lines) {
        if (lines_.size() == keep_) lines_.pop_front();
        lines_.push_back(std::move(l));
    }
    lines.clear();
    updateRange();
    if (atEnd) bar->setValue(bar->maximum());
    viewport()->update();
}

void LogView::clear() {
    lines_.clear();
    updateRange();
    viewport()->update();
}

QString LogView::text() const {
    QStringList all;
    for (const std::string& l : lines_) all << QString::fromStdString(l);
    return all.join(QLatin1Char('\n'));
}

void LogView::updateRange() {
    const int rowsInSight = std::max(1, viewport()->height() / fontMetrics().height());
    verticalScrollBar()->setPageStep(rowsInSight);
    verticalScrollBar()->setRange(0, std::max(0, int(lines_.size()) - rowsInSight));
}

void LogView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateRange();
}

void LogView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const int h = fontMetrics().height();
    const size_t first = size_t(std::max(0, verticalScrollBar()->value()));
    int y = fontMetrics().ascent();
    for (size_t i = first; i < lines_.size() && y - h < viewport()->height(); ++i, y += h)
        p.drawText(4, y, QString::fromStdString(lines_[i]));
}

TraceWindow::TraceWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("TraceWindow"));
    setWindowTitle(QStringLiteral("Trace"));
    view_ = new LogView(kKeptLines, this);
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPixelSize(11);
    view_->setFont(mono);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    resize(640, 360);
    flushTimer_.setSingleShot(true);
    // Twenty times a second at most: drawing the lines in sight costs more than a write
    // cycle, so a burst of cycles shares one repaint.
    flushTimer_.setInterval(50);
    connect(&flushTimer_, &QTimer::timeout, this, &TraceWindow::flush);
}

void TraceWindow::add(std::string line) {
    pending_.push_back(std::move(line));
    if (!flushTimer_.isActive()) flushTimer_.start();
}

void TraceWindow::flush() {
    if (pending_.empty()) return;
    view_->append(pending_);
    emit flushed();
}
