// SPDX-License-Identifier: MIT
#pragma once
#include <QWidget>

#include "board/ChipModel.h"

class QLabel;
class QListWidget;
class QPushButton;

// "Virtual Board > Protocol Check…": the protocol violations the virtual board has seen,
// one line each, added as they occur. Empty is what a correct program shows.
class ProtocolCheckWindow : public QWidget {
    Q_OBJECT
  public:
    ProtocolCheckWindow(zvk::ChipModel& chip, QWidget* parent = nullptr);
    QListWidget* List;
    QLabel* Summary;
    QPushButton* Clear;
    // A violation as the list shows it.
    static QString lineOf(const zvk::Violation& v);

  private:
    void add(const zvk::Violation& v);
    void showCount();
    zvk::ChipModel* model_;
};
