#include "StatusPanel.h"

#include <QPainter>

StatusPanel::StatusPanel(QWidget* parent) : QFrame(parent) {
    // The status bar draws each item's sunken bevel itself, two pixels outside the item:
    // a frame of the panel's own would be a second one inside it.
    setFrameStyle(QFrame::NoFrame);
}

void StatusPanel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    update();
}

void StatusPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (layout_.text() != text_) {
        layout_.setText(text_);
        layout_.setTextFormat(Qt::PlainText);
        layout_.prepare(QTransform(), font());
    }
    QPainter p(this);
    const QRect inner = contentsRect().adjusted(2, 0, -2, 0);
    p.setClipRect(inner);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawStaticText(
        QPointF(inner.left(), inner.top() + (inner.height() - layout_.size().height()) / 2),
        layout_);
}

namespace {
constexpr int kItemBevel = 2;  // QStatusBar's frame around an item, on each side
}  // namespace

MainStatusBar::MainStatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("StatusBar1"));
    setSizeGripEnabled(false);
    setFixedHeight(19);
    // The panels' widths with the bevel the status bar draws around each of them.
    const int widths[3] = {140, 160, 140};
    for (int i = 0; i < 3; ++i) {
        auto* p = new StatusPanel(this);
        p->setObjectName(QStringLiteral("Panel%1").arg(i));
        p->setFixedWidth(widths[i] - 2 * kItemBevel);
        addWidget(p);
        panels_[size_t(i)] = p;
    }
}
