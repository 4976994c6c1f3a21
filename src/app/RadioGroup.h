// SPDX-License-Identifier: MIT
#pragma once
#include <QGroupBox>
#include <QStringList>
#include <QVector>

class QButtonGroup;
class QRadioButton;

// A captioned group of radio buttons laid out in columns, with one selected item or
// none. clicked() follows the selection: it is emitted once whenever an item becomes
// selected that was not selected before, whether the user clicked it or the program set
// it; clearing the selection emits nothing.
class RadioGroup : public QGroupBox {
    Q_OBJECT
  public:
    RadioGroup(const QString& caption, const QStringList& items, int columns,
               QWidget* parent = nullptr);

    int itemIndex() const { return index_; }
    // Below -1 selects nothing, beyond the last item selects the last.
    void setItemIndex(int index);
    int count() const { return int(buttons_.size()); }
    QRadioButton* button(int index) const { return buttons_.value(index); }
    // Lays the items out in the group's present size (done again at every resize).
    void arrangeItems();

  signals:
    // Any change of the selection, none included, before clicked().
    void itemIndexChanged(int index);
    void clicked();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void buttonToggled(int id, bool checked);

    int columns_;
    int index_ = -1;
    QButtonGroup* group_;
    QVector<QRadioButton*> buttons_;
};
