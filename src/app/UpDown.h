// SPDX-License-Identifier: MIT
#pragma once
#include <QWidget>

class QLineEdit;
class QTimer;

// An up-down spinner beside a numeric edit (its buddy). A press on the upper or lower
// half steps the number in the edit by one within [minimum, maximum], without wrapping,
// and repeats while the button is held; the arrow keys in the edit step it as well. A
// text that is not a number is left alone, so the release handler sees what the user
// typed. mouseReleased() is the release of the mouse button that stepped.
class UpDown : public QWidget {
    Q_OBJECT
  public:
    UpDown(QLineEdit* buddy, int minimum, int maximum, QWidget* parent = nullptr);

    // Steps as a press on the upper (+1) or lower (-1) half does.
    void step(int direction);

  signals:
    // The buddy's text was changed by a step.
    void stepped();
    void mouseReleased();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QLineEdit* buddy_;
    int min_, max_;
    int pressed_ = 0;  // +1 upper half held, -1 lower half held
    QTimer* repeat_;
};
