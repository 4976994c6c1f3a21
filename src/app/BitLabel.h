// SPDX-License-Identifier: MIT
#pragma once
#include <QColor>
#include <QGroupBox>
#include <QPixmap>
#include <QStaticText>
#include <QVector>
#include <QWidget>

class QPainter;
class RegisterRow;

// A small label that paints its own text on an optional opaque background. The bit view
// sets 96 colours and 8 texts on every change of the register image and every pointer
// movement over it, so setting what is already shown must cost nothing and a real change
// only schedules a repaint of this one widget.
class FastLabel : public QWidget {
    Q_OBJECT
  public:
    explicit FastLabel(const QString& text, QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);
    // An invalid colour paints the window's background colour.
    QColor background() const { return background_; }
    void setBackground(const QColor& colour);
    void setAlignment(Qt::Alignment a) { alignment_ = a; }

    // The bit view draws its labels itself (see RegisterRow): such a label is hidden, keeps
    // its name, place, tooltip and signals, and a change only marks its place in the row.
    void setDrawingRow(RegisterRow* row) { row_ = row; }
    // Draws the label at its place, with p on the parent.
    virtual void paintAt(QPainter& p);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void changed();

  private:
    RegisterRow* row_ = nullptr;
    QString text_;
    QColor background_;
    Qt::Alignment alignment_ = Qt::AlignCenter;
    // Laying the text out is the dear part of painting; it is done once per text.
    QStaticText layout_;
};

// One bit of the register view: red for 1, blue for 0. Its row hands on the pointer's
// clicks and movements (movements without a pressed button as well) as its signals.
class BitLabel : public FastLabel {
    Q_OBJECT
  public:
    BitLabel(int reg, int bit, QWidget* parent = nullptr);

    int reg() const { return reg_; }
    int bit() const { return bit_; }
    bool isSet() const { return set_; }
    void setBitValue(bool set);
    // A frame around the bit: it differs from a file the image was compared with.
    bool isOutlined() const { return outlined_; }
    void setOutlined(bool outlined);

    static QColor setColour() { return QColor(255, 0, 0); }
    static QColor clearColour() { return QColor(0, 0, 255); }
    void paintAt(QPainter& p) override;

  protected:
    void changeEvent(QEvent* event) override;

  signals:
    void clicked();
    void mouseMoved();

  private:
    int reg_, bit_;
    bool set_ = false;
    bool outlined_ = false;
    QPixmap looks_[2];  // clear, set: drawn once, copied on every repaint
};

// A row of the register view: a group box that draws its bit labels and its value label
// and hands the pointer's movements, clicks and tooltips on to them. One repaint per row
// instead of one per label keeps a redraw of the whole view cheap.
class RegisterRow : public QGroupBox {
    Q_OBJECT
  public:
    explicit RegisterRow(const QString& caption, QWidget* parent = nullptr);
    // The label becomes part of the row's drawing.
    void adopt(FastLabel* label);
    // A label of the row changed: the strip of labels is drawn again, once however many
    // of them changed before the next repaint.
    void labelChanged();
    BitLabel* bitAt(const QPoint& pos) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

  private:
    QVector<FastLabel*> labels_;
    QRect strip_;  // where the labels are
    bool repaintPending_ = false;
    BitLabel* pressed_ = nullptr;
};
