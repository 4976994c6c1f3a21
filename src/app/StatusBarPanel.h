// SPDX-License-Identifier: MIT
#pragma once
#include <QFrame>
#include <QHash>
#include <QStaticText>

// One panel of the status bar. The bit view writes a bit name into the middle panel on
// every pointer movement, so a new text only repaints the panel: no size hints, no
// relayout of the bar.
class StatusBarPanel : public QFrame {
    Q_OBJECT
  public:
    explicit StatusBarPanel(QWidget* parent = nullptr);
    QString text() const { return text_; }
    void setText(const QString& text);
    // A note the tooltip carries below the text, whatever the text (empty: none).
    void setNote(const QString& note);
    QString note() const { return note_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // A text as the panel shows it: the face that holds it, or elided in the panel's own.
    struct Fit {
        QFont font;
        QString shown;
    };
    Fit fit(const QString& text) const;
    static constexpr qsizetype kRememberedTexts = 256;

    void updateToolTip();

    QString text_;
    QString note_;
    QString shown_;
    QFont textFont_;
    QStaticText layout_;  // emptied with each new text, laid out again when painted
    QHash<QString, Fit> fits_;
};

#include <QStatusBar>
#include <array>

// The window's status bar: the page panel, the mode panel and the interface panel.
class MainStatusBar : public QStatusBar {
    Q_OBJECT
  public:
    explicit MainStatusBar(QWidget* parent = nullptr);
    QString text(int panel) const { return panels_.at(size_t(panel))->text(); }
    void setText(int panel, const QString& text) { panels_.at(size_t(panel))->setText(text); }
    StatusBarPanel* panel(int panel) const { return panels_.at(size_t(panel)); }

  private:
    std::array<StatusBarPanel*, 3> panels_{};
};
