// SPDX-License-Identifier: MIT
#pragma once
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <optional>
#include <vector>

#include "session/StatusPlot.h"
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

// A plot of status reads as the core draws it (the sweep's against frequency, the
// monitor's against time), scaled to the widget with its proportions kept; the read under
// the pointer is named over it, with a line through its cell and a dot on its value.
class StatusPlotView : public QWidget {
    Q_OBJECT
  public:
    explicit StatusPlotView(QWidget* parent = nullptr);
    void setPlot(zvk::StatusPlot plot);
    const zvk::StatusPlot& plot() const { return plot_; }
    // Where the picture lies in the widget, and a widget point in the picture's units.
    QRectF pictureRect() const;
    QPointF toPicture(const QPointF& p) const;
    // What the read-out says at a widget point; empty where no read is.
    QString readoutAt(const QPointF& p) const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {320, 180}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    zvk::StatusPlot plot_;
    QImage picture_;  // the plot rendered at the size shown
    std::optional<QPointF> pointer_;
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
    StatusPlotView* plot;
    QPushButton* savePictureButton;
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
    // The plot of the points so far over the frequencies planned (the boxes' range before
    // a sweep).
    void redrawPlot();
    zvk::Session* session_;
    std::vector<double> planned_;
    std::optional<zvk::Config> before_;  // the plan the sweep started from
    size_t next_ = 0;
    bool cancelled_ = false;
    std::vector<zvk::SweepPoint> points_;
    QTimer pointTimer_;
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

// Adds "Sweep…" and "Status Monitor…" to the Tools menu; the windows are made at their
// first use; the main window follows the chip once a sweep ends.
void addBenchTools(QMenu* menu, zvk::Session& session, QWidget* parent);
