// SPDX-License-Identifier: MIT
#pragma once
#include <QAbstractScrollArea>
#include <QFile>
#include <QMenu>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "session/Session.h"

// The newest lines of a log, drawn as far as they are in sight. A write cycle appends a
// few dozen lines; a text document would lay every one of them out, which costs the
// window more than the cycle itself. Follows the end while the view is at the end.
class LogView : public QAbstractScrollArea {
    Q_OBJECT
  public:
    LogView(size_t keep, QWidget* parent = nullptr);
    // Takes the lines over; they become text only when they come into sight.
    void append(std::vector<std::string>& lines);
    void clear();
    size_t lineCount() const { return lines_.size(); }
    // Every kept line, one per line.
    QString text() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void updateRange();
    size_t keep_;
    std::deque<std::string> lines_;
};

// The trace as it runs: a window of its own that appends the log's lines as they come and
// keeps the newest 100,000 of them; the log file keeps all.
class TraceWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kKeptLines = 100000;
    explicit TraceWindow(QWidget* parent = nullptr);
    // Queues a line; the view takes the queued lines together, 50 ms after the first of
    // them, so that a burst of write cycles costs one append and one repaint.
    void add(std::string line);
    void flush();
    LogView* view() const { return view_; }

  signals:
    // The queued lines went into the view (the log file follows at the same moments).
    void flushed();

  private:
    LogView* view_;
    std::vector<std::string> pending_;
    QTimer flushTimer_;
};

// "Tools": recording what goes over the wire. "Start Trace…" asks for the log file and
// opens the trace window, "Stop Trace" ends the recording, "Save VCD…" writes the lines
// of the events kept in memory as a VCD file.
class PlanWindow;

// Asks where to save (title, proposed name, filter) and runs step with the file chosen; an
// error text from step becomes a warning box. Nothing happens when the user cancels.
void withChosenFile(QWidget* parent, const QString& title, const QString& name,
                    const QString& filter,
                    const std::function<std::optional<QString>(const QString&)>& step);

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
