// SPDX-License-Identifier: MIT
#pragma once
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <optional>
#include <vector>

#include "session/Sweep.h"
#include "storage/ConfigFile.h"

class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QDoubleSpinBox;
class QTableWidget;

namespace zvk {
class Session;
}

// Lock and IF-filter value against frequency: the IF-filter value as a line on 0..255,
// the lock flag as a band below it, green where locked and red where not.
class SweepPlot : public QWidget {
    Q_OBJECT
  public:
    explicit SweepPlot(QWidget* parent = nullptr);
    void setPoints(const std::vector<zvk::SweepPoint>* points) { points_ = points; }
    QSize sizeHint() const override { return {480, 200}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const std::vector<zvk::SweepPoint>* points_ = nullptr;
};

// "Sweep…": the sweep of the command-line tool with a progress bar, a cancel button, a
// table and a plot. One point runs at a time from the message loop, so the window answers
// between points and inside each dwell time; "Cancel" stops after the current point.
class SweepWindow : public QWidget {
    Q_OBJECT
  public:
    SweepWindow(zvk::Session& session, QWidget* parent);
    QDoubleSpinBox* fromBox;
    QDoubleSpinBox* toBox;
    QDoubleSpinBox* stepBox;
    QSpinBox* dwellBox;
    QPushButton* startButton;
    QPushButton* cancelButton;
    QPushButton* saveButton;
    QProgressBar* progress;
    QTableWidget* table;
    QLabel* message;
    SweepPlot* plot;
    const std::vector<zvk::SweepPoint>& points() const { return points_; }
    bool running() const { return next_ < planned_.size(); }
    void start();
    void cancel();
    // The points as the command-line tool writes them; the error text when the file
    // cannot be written.
    std::optional<QString> saveCsv(const QString& path) const;

  signals:
    // The sweep ran to its end or was cancelled; the main window shows the chip's state.
    void finished();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void step();
    void stop();
    void saveClick();
    zvk::Session* session_;
    std::vector<double> planned_;
    std::optional<zvk::Config> before_;  // the plan the sweep started from
    size_t next_ = 0;
    bool cancelled_ = false;
    std::vector<zvk::SweepPoint> points_;
    QTimer pointTimer_;
};

// One read of the status monitor.
struct MonitorSample {
    qint64 tMs = 0;
    zvk::StatusReading reading;
};

// IFFVAL over the last ten minutes as a line, and below it the LD, RSSI and IFFSTATE
// flags as bands; a read that looks like a board not answering is marked red.
class StripChart : public QWidget {
    Q_OBJECT
  public:
    explicit StripChart(QWidget* parent = nullptr);
    void setSamples(const std::deque<MonitorSample>* samples) { samples_ = samples; }
    QSize sizeHint() const override { return {560, 220}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const std::deque<MonitorSample>* samples_ = nullptr;
};

// "Status Monitor…": the status read every interval while the window is started, with the
// same rule as "Refresh": no read while the chip cannot shift the status out, and a line
// that says why.
class StatusMonitor : public QWidget {
    Q_OBJECT
  public:
    static constexpr qint64 kKeptMs = 10 * 60 * 1000;
    StatusMonitor(zvk::Session& session, QWidget* parent);
    QSpinBox* intervalBox;
    QPushButton* startButton;
    QPushButton* stopButton;
    QPushButton* logButton;
    QLabel* message;
    StripChart* chart;
    const std::deque<MonitorSample>& samples() const { return samples_; }
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

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void take(const zvk::StatusReading& reading);
    void logClick();
    zvk::Session* session_;
    QTimer timer_;
    QElapsedTimer clock_;
    std::deque<MonitorSample> samples_;
    int readsAsked_ = 0;
    QFile log_;
};

// Adds "Sweep…" and "Status Monitor…" to the Tools menu; the windows are made at their
// first use; the main window follows the chip once a sweep ends.
void addBenchTools(QMenu* menu, zvk::Session& session, QWidget* parent);
