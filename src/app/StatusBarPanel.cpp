// SPDX-License-Identifier: MIT
#include "StatusBarPanel.h"

#include <QEvent>
#include <QPainter>

#include "TextFit.h"

namespace {
constexpr int kTextInset = 2;  // between the panel's edge and its text
}  // namespace

StatusBarPanel::StatusBarPanel(QWidget* parent) : QFrame(parent) {
    // The status bar draws each item's sunken bevel itself, two pixels outside the item:
    // a frame of the panel's own would be a second one inside it.
    setFrameStyle(QFrame::NoFrame);
}

void StatusBarPanel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    // Measuring a text costs more than the rest of a pointer movement over the bit view,
    // which names one of a few dozen bits each time: each text is measured once.
    auto found = fits_.constFind(text);
    if (found == fits_.constEnd()) {
        if (fits_.size() >= kRememberedTexts) fits_.clear();
        found = fits_.insert(text, fit(text));
    }
    textFont_ = found->font;
    shown_ = found->shown;
    layout_ = QStaticText();
    updateToolTip();
    update();
}

void StatusBarPanel::setNote(const QString& note) {
    note_ = note;
    updateToolTip();
}

void StatusBarPanel::updateToolTip() {
    // The whole text only where the panel had to cut it short.
    QString tip = shown_ == text_ ? QString() : text_;
    if (!note_.isEmpty()) tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + note_;
    setToolTip(tip);
}

StatusBarPanel::Fit StatusBarPanel::fit(const QString& text) const {
    // A text too wide for the panel takes a narrower face; beyond that (a refused plan's
    // reason) it ends in an ellipsis and is whole in the tooltip.
    const int room = contentsRect().width() - 2 * kTextInset;
    if (const auto f = textfit::fittingFont(font(), text, room)) return {*f, text};
    return {font(), fontMetrics().elidedText(text, Qt::ElideRight, room)};
}

void StatusBarPanel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) fits_.clear();
    QFrame::changeEvent(event);
}

void StatusBarPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (layout_.text() != shown_) {
        layout_.setText(shown_);
        layout_.setTextFormat(Qt::PlainText);
        layout_.prepare(QTransform(), textFont_);
    }
    QPainter p(this);
    const QRect inner = contentsRect().adjusted(kTextInset, 0, -kTextInset, 0);
    p.setClipRect(inner);
    p.setPen(palette().color(QPalette::WindowText));
    p.setFont(textFont_);
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
        auto* p = new StatusBarPanel(this);
        p->setObjectName(QStringLiteral("Panel%1").arg(i));
        p->setFixedWidth(widths[i] - 2 * kItemBevel);
        addWidget(p);
        panels_[size_t(i)] = p;
    }
}
