#pragma once
#include <QFrame>
#include <QStaticText>

// One panel of the status bar. The bit view writes a bit name into the middle panel on
// every pointer movement, so a new text only repaints the panel: no size hints, no
// relayout of the bar.
class StatusPanel : public QFrame {
    Q_OBJECT
  public:
    explicit StatusPanel(QWidget* parent = nullptr);
    QString text() const { return text_; }
    void setText(const QString& text);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
    QStaticText layout_;
};
