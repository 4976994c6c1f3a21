// SPDX-License-Identifier: MIT
#pragma once
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <optional>

#include "session/Session.h"

// The trace as it runs: a window of its own that appends the log's lines as they come and
// keeps the newest 100,000 of them; the log file keeps all.
class TraceWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kKeptLines = 100000;
    explicit TraceWindow(QWidget* parent = nullptr);
    // Queues a line; the view takes the queued lines at once at the next turn of the
    // event loop, so a write cycle's hundreds of events cost one append.
    void add(const QString& line);
    void flush();
    QPlainTextEdit* view() const { return view_; }

  private:
    QPlainTextEdit* view_;
    QStringList pending_;
    QTimer flushTimer_;
};

// "Tools": recording what goes over the wire. "Start Trace…" asks for the log file and
// opens the trace window, "Stop Trace" ends the recording, "Save VCD…" writes the lines
// of the events kept in memory as a VCD file.
class ToolsMenu : public QMenu {
    Q_OBJECT
  public:
    // The window's session ends before its menus: the session stops a running trace.
    ToolsMenu(zvk::Session& session, QWidget* parent);

    QAction* StartTrace1;
    QAction* StopTrace1;
    QAction* SaveVcd1;
    TraceWindow* traceWindow() const { return window_; }

    // The steps behind the items, with the files already chosen.
    // An error text when the log file cannot be made.
    std::optional<QString> startTrace(const QString& logPath);
    void stopTrace();
    std::optional<QString> saveVcd(const QString& path);

  private:
    void startTraceClick();
    void saveVcdClick();
    void updateItems();

    zvk::Session* session_;
    TraceWindow* window_ = nullptr;
    QFile log_;
    std::unique_ptr<zvk::TraceText> text_;
};
