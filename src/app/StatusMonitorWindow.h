// SPDX-License-Identifier: MIT
#pragma once
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <optional>

#include "StatusPlotView.h"
#include "session/StatusPlot.h"

class QLabel;
class QPushButton;
class QSpinBox;

namespace zvk {
class Session;
}

// "Status Monitor…": the status read every interval while the window is started, with the
// same rule as "Refresh": no read while the chip cannot shift the status out, and a line
// that says why.
class StatusMonitorWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr qint64 kKeptMs = 10 * 60 * 1000;
    StatusMonitorWindow(zvk::Session& session, QWidget* parent);
    QSpinBox* intervalBox;
    QPushButton* startButton;
    QPushButton* stopButton;
    QPushButton* logButton;
    QLabel* message;
    StatusPlotView* chart;
    QPushButton* savePictureButton;
    const std::deque<zvk::StatusSample>& samples() const { return samples_; }
    // Reads asked for since the monitor was made (each gets its sample).
    int readsAsked() const { return readsAsked_; }
    bool polling() const { return timer_.isActive(); }
    void start();
    void stop();
    // Every read from now on also goes to this CSV file; the error text when it cannot be
    // made.
    std::optional<QString> logTo(const QString& path);
    // One read now, as the timer makes it.
    void poll();
    // The chart of the samples kept, as it stands now.
    void redrawChart();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void take(const zvk::StatusReading& reading);
    void logClick();
    zvk::Session* session_;
    QTimer timer_;
    // The chart follows the reads at most five times a second: drawing costs more than a
    // read at the shortest interval.
    QTimer redrawTimer_;
    QElapsedTimer clock_;
    std::deque<zvk::StatusSample> samples_;
    int readsAsked_ = 0;
    QFile log_;
};
