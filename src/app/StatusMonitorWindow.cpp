// SPDX-License-Identifier: MIT
#include "StatusMonitorWindow.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "PlanWindow.h"
#include "QtText.h"
#include "ToolsMenu.h"
#include "base/Numbers.h"
#include "session/Session.h"
#include "storage/FileText.h"

StatusMonitorWindow::StatusMonitorWindow(zvk::Session& session, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(&session) {
    setObjectName(QStringLiteral("StatusMonitor"));
    setWindowTitle(QStringLiteral("Status Monitor"));
    intervalBox = new QSpinBox(this);
    intervalBox->setRange(10, 3600000);
    intervalBox->setSuffix(QStringLiteral(" ms"));
    intervalBox->setValue(100);
    startButton = new QPushButton(QStringLiteral("Start"), this);
    stopButton = new QPushButton(QStringLiteral("Stop"), this);
    logButton = new QPushButton(QStringLiteral("Log to CSV…"), this);
    stopButton->setEnabled(false);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Interval"), this));
    row->addWidget(intervalBox);
    row->addWidget(startButton);
    row->addWidget(stopButton);
    row->addStretch();
    row->addWidget(logButton);
    message = new QLabel(this);
    message->setWordWrap(true);
    chart = new StatusPlotView(this);
    chart->setObjectName(QStringLiteral("StatusChart"));
    savePictureButton = new QPushButton(QStringLiteral("Save Picture…"), this);
    savePictureButton->setObjectName(QStringLiteral("SaveMonitorPicture"));
    row->addWidget(savePictureButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(message);
    layout->addWidget(chart, 1);
    resize(700, 520);
    redrawTimer_.setSingleShot(true);
    redrawTimer_.setInterval(200);
    connect(&redrawTimer_, &QTimer::timeout, this, &StatusMonitorWindow::redrawChart);
    connect(savePictureButton, &QPushButton::clicked, this, [this] {
        redrawChart();
        const zvk::StatusPlot& p = chart->plot();
        savePictureClick(this, QStringLiteral("status.svg"), p.svg, p.width, p.height);
    });
    redrawChart();
    connect(&timer_, &QTimer::timeout, this, &StatusMonitorWindow::poll);
    connect(startButton, &QPushButton::clicked, this, &StatusMonitorWindow::start);
    connect(stopButton, &QPushButton::clicked, this, &StatusMonitorWindow::stop);
    connect(logButton, &QPushButton::clicked, this, &StatusMonitorWindow::logClick);
    connect(intervalBox, &QSpinBox::valueChanged, this, [this](int ms) {
        if (timer_.isActive()) timer_.start(ms);
        redrawTimer_.start();
    });
}

void StatusMonitorWindow::redrawChart() {
    chart->setPlot(zvk::drawMonitorChart(samples_, intervalBox->value(), double(kKeptMs)));
}

void StatusMonitorWindow::start() {
    if (!clock_.isValid()) clock_.start();
    timer_.start(intervalBox->value());
    startButton->setEnabled(false);
    stopButton->setEnabled(true);
}

void StatusMonitorWindow::stop() {
    timer_.stop();
    startButton->setEnabled(true);
    stopButton->setEnabled(false);
}

void StatusMonitorWindow::poll() {
    if (!clock_.isValid()) clock_.start();
    if (auto blocked = session_->statusReadBlocked()) {
        message->setText(QStringLiteral("Not reading: ") + qs(*blocked) + QLatin1Char('.'));
        return;
    }
    // While another transfer holds the link (a sweep's write, the main window's), the
    // read waits for its end: every tick gets its sample.
    ++readsAsked_;
    session_->requestStatus(
        [self = QPointer<StatusMonitorWindow>(this)](const zvk::StatusReading& r) {
            if (self) self->take(r);
        });
}

void StatusMonitorWindow::take(const zvk::StatusReading& reading) {
    if (reading.skipped) {
        // No sample: the chart leaves the time empty, the log says why.
        message->setText(QStringLiteral("Port busy: no read."));
        if (log_.isOpen()) {
            const std::string line = zvk::statusCsvLine(double(clock_.elapsed()), reading) + "\n";
            log_.write(line.data(), qint64(line.size()));
            log_.flush();
        }
        return;
    }
    zvk::StatusSample s{double(clock_.elapsed()), reading};
    message->setText(s.reading.suspect ? qs(*s.reading.suspect) : QString());
    if (log_.isOpen()) {
        const std::string line = zvk::statusCsvLine(double(s.tMs), s.reading) + "\n";
        log_.write(line.data(), qint64(line.size()));
        log_.flush();
    }
    samples_.push_back(std::move(s));
    while (samples_.back().tMs - samples_.front().tMs > double(kKeptMs)) samples_.pop_front();
    if (!redrawTimer_.isActive()) redrawTimer_.start();
}

std::optional<QString> StatusMonitorWindow::logTo(const QString& path) {
    if (log_.isOpen()) log_.close();
    log_.setFileName(path);
    if (!log_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return QStringLiteral("Cannot write \"%1\": %2").arg(path, log_.errorString());
    const std::string header = zvk::statusCsvHeader() + "\n";
    log_.write(header.data(), qint64(header.size()));
    log_.flush();
    return std::nullopt;
}

void StatusMonitorWindow::logClick() {
    withChosenFile(this, QStringLiteral("Log to CSV"), QStringLiteral("status.csv"),
                   QStringLiteral("CSV (*.csv);;All files (*)"),
                   [this](const QString& path) { return logTo(path); });
}

void StatusMonitorWindow::closeEvent(QCloseEvent* event) {
    stop();
    QWidget::closeEvent(event);
}
