// SPDX-License-Identifier: MIT
#pragma once
#include <QFile>
#include <QMenu>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "session/Session.h"

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
// The diagnosis, the sweep, the status monitor and the configuration comparison follow.
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
    TraceWindow* traceWindow() const { return window_; }
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

  private:
    void startTraceClick();
    void saveVcdClick();
    void updateItems();
    void writeLog();

    zvk::Session* session_;
    TraceWindow* window_ = nullptr;
    PlanWindow* planWindow_ = nullptr;
    QFile log_;
    std::string logPending_;  // lines for the log file, written with the view's flush
    std::unique_ptr<zvk::TraceText> text_;
};
