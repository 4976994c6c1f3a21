// SPDX-License-Identifier: MIT
#pragma once
#include <QImage>
#include <QWidget>
#include <optional>

#include "session/StatusPlot.h"

// A plot of status reads as the core draws it (the sweep's against frequency, the
// monitor's against time), scaled to the widget with its proportions kept; the read under
// the pointer is named over it, with a line through its cell and a dot on its value.
class StatusPlotView : public QWidget {
    Q_OBJECT
  public:
    explicit StatusPlotView(QWidget* parent = nullptr);
    void setPlot(zvk::StatusPlot plot);
    const zvk::StatusPlot& plot() const { return plot_; }
    // Where the picture lies in the widget, and a widget point in the picture's units.
    QRectF pictureRect() const;
    QPointF toPicture(const QPointF& p) const;
    // What the read-out says at a widget point; empty where no read is.
    QString readoutAt(const QPointF& p) const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {320, 180}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    zvk::StatusPlot plot_;
    QImage picture_;  // the plot rendered at the size shown
    std::optional<QPointF> pointer_;
};
