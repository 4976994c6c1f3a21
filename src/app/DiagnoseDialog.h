// SPDX-License-Identifier: MIT
#pragma once
#include <QDialog>
#include <QString>

class QMenu;
class QPlainTextEdit;

namespace zvk {
class Session;
}

// "Diagnose…": the doctor's lines about this machine (libusb, the adapter, the parallel
// ports, lockdown, real-time priority, the settings file), each failure with its fix.
class DiagnoseDialog : public QDialog {
    Q_OBJECT
  public:
    DiagnoseDialog(zvk::Session& session, QWidget* parent);
    // Runs the checks again and shows their lines.
    void refresh();
    QString text() const;

  private:
    zvk::Session* session_;
    QPlainTextEdit* view_;
};

// Adds "Diagnose…" to the Tools menu; the dialog opens on the window.
void addDiagnoseItem(QMenu* tools, zvk::Session& session);
