// SPDX-License-Identifier: MIT
#pragma once
#include <QFile>
#include <QMenu>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "session/Session.h"

class CrystalCorrectionDialog;
class PlanWindow;
class RemoteControlWindow;
class TraceWindow;

// Asks where to save (title, proposed name, filter) and runs step with the file chosen; an
// error text from step becomes a warning box. Nothing happens when the user cancels.
void withChosenFile(QWidget* parent, const QString& title, const QString& name,
                    const QString& filter,
                    const std::function<std::optional<QString>(const QString&)>& step);

// "Tools": the frequency plan's picture, and recording what goes over the wire: "Start
// Trace…" asks for the log file and opens the trace window, "Stop Trace" ends the
// recording, "Save VCD…" writes the lines of the events kept in memory as a VCD file.
// "Crystal Correction…" sets the crystal's error the window shows the real frequencies
// with. The diagnosis, the sweep, the status monitor and the configuration comparison
// follow.
class ToolsMenu : public QMenu {
    Q_OBJECT
  public:
    // The window's session ends before its menus: the session stops a running trace.
    ToolsMenu(zvk::Session& session, QWidget* parent);

    QAction* FrequencyPlan1;
    QAction* StartTrace1;
    // Brings back the trace window once closed, its lines as they were.
    QAction* ShowTrace1;
    QAction* StopTrace1;
    QAction* SaveVcd1;
    QAction* CrystalCorrection1;
    TraceWindow* traceWindow() const { return window_; }
    // "Crystal Correction…" opens the dialog (made at its first use) with the entries
    // starting from the correction in use.
    CrystalCorrectionDialog* showCorrection();
    CrystalCorrectionDialog* correctionDialog() const { return correctionDialog_; }
    // The dialog's OK: the correction applies; a change of what N and A are planned on
    // plans the wanted RF again, as a crystal change does.
    void applyCorrection(const zvk::CrystalCorrection& c);
    // "Frequency Plan" opens the picture of the plan (once made, the same window again).
    PlanWindow* showPlan();
    PlanWindow* planWindow() const { return planWindow_; }
    // The tuning info shows a new plan: the picture follows.
    void planChanged();
    // "Remote Control…" shows the main window's remote control; null where it has none.
    QAction* RemoteControl1;
    RemoteControlWindow* showRemoteControl();

    // The steps behind the items, with the files already chosen.
    // An error text when the log file cannot be made.
    std::optional<QString> startTrace(const QString& logPath);
    void stopTrace();
    std::optional<QString> saveVcd(const QString& path);

  signals:
    // The correction changed without a new plan: the corrected values are shown again.
    void correctionChanged();

  private:
    void startTraceClick();
    void saveVcdClick();
    void updateItems();
    void writeLog();

    zvk::Session* session_;
    TraceWindow* window_ = nullptr;
    PlanWindow* planWindow_ = nullptr;
    CrystalCorrectionDialog* correctionDialog_ = nullptr;
    QFile log_;
    std::string logPending_;  // lines for the log file, written with the view's flush
    std::unique_ptr<zvk::TraceText> text_;
};
