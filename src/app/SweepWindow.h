// SPDX-License-Identifier: MIT
#pragma once
#include <QTimer>
#include <QWidget>
#include <optional>
#include <vector>

#include "StatusPlotView.h"
#include "session/Sweep.h"
#include "storage/ConfigFile.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QDoubleSpinBox;
class QTableWidget;

namespace zvk {
class Session;
}

// "Sweep…": the sweep of the command-line tool with a progress bar, a cancel button, a
// table and a plot. With "Lock time" each point's write cycle is timed instead of its
// status read (MFO at "LD out" for the sweep). One point runs at a time from the message loop, so
// the window answers between points and inside each dwell time; "Cancel" stops after the current
// point.
class SweepWindow : public QWidget {
    Q_OBJECT
  public:
    SweepWindow(zvk::Session& session, QWidget* parent);
    QDoubleSpinBox* fromBox;
    QDoubleSpinBox* toBox;
    QDoubleSpinBox* stepBox;
    QSpinBox* dwellBox;
    QCheckBox* lockTimeBox;
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
    // The columns of the points shown: with the lock time's when that was asked for.
    void showHeader(bool lockTime);
    // What the lock times came to, over which transport and how finely timed.
    QString lockTimeSummary() const;
    // The plot of the points so far over the frequencies planned (the boxes' range before
    // a sweep).
    void redrawPlot();
    zvk::Session* session_;
    std::vector<double> planned_;
    std::optional<zvk::Config> before_;  // the plan the sweep started from
    size_t next_ = 0;
    bool cancelled_ = false;
    bool lockTime_ = false;  // the points shown carry lock times
    std::vector<zvk::SweepPoint> points_;
    QTimer pointTimer_;
};
