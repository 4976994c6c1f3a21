// SPDX-License-Identifier: MIT
#pragma once
#include <QDialog>
#include <QString>
#include <optional>

#include "chip/Registers.h"

class QAction;
class QLabel;
class QListWidget;
class QMenu;
class RegisterPage;
namespace zvk {
class Session;
}

// What "Compare with File…" shows: every difference between the window's configuration and
// the file, one per line, as zvk40310ctl diff lists them.
class CompareDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CompareDialog(QWidget* parent);
    QListWidget* list() const { return list_; }
    QLabel* summary() const { return summary_; }

  private:
    QLabel* summary_;
    QListWidget* list_;
};

// The "Tools" items of comparing and of the adapter's return, with the steps behind them.
class CompareItems : public QObject {
    Q_OBJECT
  public:
    CompareItems(QMenu& tools, zvk::Session& session);

    QAction* CompareWithFile1;
    QAction* ResendOnReturn1;
    CompareDialog* dialog() const { return dialog_; }

    // The comparison with the file already chosen: the dialog shows the list and the bit
    // view outlines the bits that differ. The message when the file does not load.
    std::optional<QString> compareWith(const QString& path);

  private:
    void compareClick();
    RegisterPage* registerPage() const;

    QMenu* tools_;
    zvk::Session* session_;
    CompareDialog* dialog_ = nullptr;
};

// The hook the "Tools" menu calls once its own items are there.
void addCompareItems(QMenu& tools, zvk::Session& session);
