// SPDX-License-Identifier: MIT
#pragma once
#include <QAbstractScrollArea>
#include <QFile>
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
