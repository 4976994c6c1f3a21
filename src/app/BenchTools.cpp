// SPDX-License-Identifier: MIT
#include "BenchTools.h"

#include <QCloseEvent>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "QtText.h"
#include "TraceWindow.h"
#include "base/Numbers.h"
#include "session/Session.h"
#include "storage/FileText.h"

namespace {

const QColor kLocked(0, 150, 0), kNotLocked(200, 0, 0), kSuspect(220, 0, 220);

QStringList csvHeader(const std::string& header) {
    return qs(header).split(QLatin1Char(','));
}

// Where a value 0..255 of the IF-filter lies in the rectangle.
double iffY(const QRectF& r, int value) {
    return r.bottom() - r.height() * std::clamp(value, 0, 255) / 255.0;
}

int iffValue(const zvk::StatusReading& r) {
    return std::atoi(r.decoded.IFFVAL.c_str());
}

void drawAxesText(QPainter& p, const QRectF& r, const QString& left, const QString& right) {
    p.setPen(Qt::black);
    p.drawRect(r);
    p.drawText(QRectF(r.left(), r.bottom() + 2, r.width(), 14), Qt::AlignLeft, left);
    p.drawText(QRectF(r.left(), r.bottom() + 2, r.width(), 14), Qt::AlignRight, right);
    p.drawText(QRectF(r.left() + 4, r.top() + 2, r.width(), 14), Qt::AlignLeft,
               QStringLiteral("IFFVAL 0..255"));
}

}  // namespace

SweepPlot::SweepPlot(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("SweepPlot"));
    setMinimumHeight(140);
}

void SweepPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const QRectF area(8, 8, width() - 16, height() - 60);
    const QRectF band(8, height() - 34, width() - 16, 14);
    if (points_ == nullptr || points_->empty()) {
        drawAxesText(p, area, QString(), QString());
        return;
    }
    double lo = points_->front().wanted, hi = lo;
    for (const zvk::SweepPoint& pt : *points_) {
        lo = std::min(lo, pt.wanted);
        hi = std::max(hi, pt.wanted);
    }
    const double span = hi > lo ? hi - lo : 1.0;
    const auto x = [&](double f) { return area.left() + area.width() * (f - lo) / span; };
    const double w = std::max(2.0, area.width() / double(points_->size()));
    QPolygonF line;
    for (const zvk::SweepPoint& pt : *points_) {
        const QColor c = !pt.status ? Qt::gray : pt.locked() ? kLocked : kNotLocked;
        p.fillRect(QRectF(x(pt.wanted) - w / 2, band.top(), w, band.height()), c);
        if (pt.status) line << QPointF(x(pt.wanted), iffY(area, iffValue(*pt.status)));
    }
    p.setPen(QPen(Qt::blue, 1.5));
    p.drawPolyline(line);
    drawAxesText(p, area, qs(zvk::fixedText(lo, 3)) + QStringLiteral(" MHz"),
                 qs(zvk::fixedText(hi, 3)) + QStringLiteral(" MHz"));
    p.drawText(QRectF(band.left(), band.bottom() + 2, band.width(), 14), Qt::AlignLeft,
               QStringLiteral("LD: green locked, red no lock"));
}

SweepWindow::SweepWindow(zvk::Session& session, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(&session) {
    setObjectName(QStringLiteral("SweepWindow"));
    setWindowTitle(QStringLiteral("Sweep"));
    const auto mhzBox = [this](double value) {
        auto* b = new QDoubleSpinBox(this);
        b->setRange(0.001, 100000);
        b->setDecimals(3);
        b->setSuffix(QStringLiteral(" MHz"));
        b->setValue(value);
        return b;
    };
    fromBox = mhzBox(400);
    toBox = mhzBox(1000);
    stepBox = mhzBox(10);
    dwellBox = new QSpinBox(this);
    dwellBox->setRange(0, 60000);
    dwellBox->setSuffix(QStringLiteral(" ms"));
    dwellBox->setValue(20);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("From"), fromBox);
    form->addRow(QStringLiteral("To"), toBox);
    form->addRow(QStringLiteral("Step"), stepBox);
    form->addRow(QStringLiteral("Dwell"), dwellBox);
    startButton = new QPushButton(QStringLiteral("Start"), this);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    saveButton = new QPushButton(QStringLiteral("Save CSV…"), this);
    startButton->setToolTip(QStringLiteral(
        "Plans, writes and reads the status at each frequency; afterwards the plan from before "
        "the sweep is set again and written to the chip."));
    cancelButton->setEnabled(false);
    saveButton->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(startButton);
    buttons->addWidget(cancelButton);
    buttons->addStretch();
    buttons->addWidget(saveButton);
    progress = new QProgressBar(this);
    message = new QLabel(this);
    message->setWordWrap(true);
    const QStringList header = csvHeader(zvk::sweepCsvHeader());
    table = new QTableWidget(0, int(header.size()), this);
    table->setHorizontalHeaderLabels(header);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    plot = new SweepPlot(this);
    plot->setPoints(&points_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(progress);
    layout->addWidget(message);
    layout->addWidget(table, 1);
    layout->addWidget(plot, 1);
    resize(760, 640);
    pointTimer_.setSingleShot(true);
    pointTimer_.setInterval(0);
    connect(&pointTimer_, &QTimer::timeout, this, &SweepWindow::step);
    connect(startButton, &QPushButton::clicked, this, &SweepWindow::start);
    connect(cancelButton, &QPushButton::clicked, this, &SweepWindow::cancel);
    connect(saveButton, &QPushButton::clicked, this, &SweepWindow::saveClick);
}

void SweepWindow::start() {
    if (running()) return;
    if (auto blocked = zvk::statusReadBlocked(session_->chip())) {
        message->setText(QStringLiteral("No sweep: ") + qs(*blocked) + QLatin1Char('.'));
        return;
    }
    std::vector<double> f;
    if (auto error = zvk::sweepFrequencies(fromBox->value(), toBox->value(), stepBox->value(), f)) {
        message->setText(qs(*error));
        return;
    }
    planned_ = std::move(f);
    before_ = session_->currentConfig();
    next_ = 0;
    cancelled_ = false;
    points_.clear();
    table->setRowCount(0);
    progress->setRange(0, int(planned_.size()));
    progress->setValue(0);
    message->clear();
    startButton->setEnabled(false);
    cancelButton->setEnabled(true);
    saveButton->setEnabled(false);
    plot->update();
    pointTimer_.start();
}

void SweepWindow::cancel() {
    cancelled_ = true;
}

void SweepWindow::step() {
    if (cancelled_ || !running()) {
        stop();
        return;
    }
    // A point is a transfer of its own: one asked for while the status monitor's read
    // runs below this timer waits for its end instead of losing its status word.
    if (session_->chip().busy()) {
        pointTimer_.start();
        return;
    }
    const double f = planned_[next_++];
    // The dwell time lets the message loop run: a click on "Cancel" lands here.
    zvk::SweepPoint pt = zvk::sweepPoint(*session_, f, uint32_t(dwellBox->value()));
    const std::vector<std::string> cells = zvk::sweepCells(pt);
    const int row = table->rowCount();
    table->insertRow(row);
    for (size_t c = 0; c < cells.size() && int(c) < table->columnCount(); ++c)
        table->setItem(row, int(c), new QTableWidgetItem(qs(cells[c])));
    if (pt.status && pt.status->suspect) message->setText(qs(*pt.status->suspect));
    table->scrollToBottom();
    points_.push_back(std::move(pt));
    progress->setValue(int(next_));
    plot->update();
    if (cancelled_ || !running())
        stop();
    else
        pointTimer_.start();
}

void SweepWindow::stop() {
    // The points planned without showing it: the plan from before the sweep is the plan
    // again, written, and the main window shows it.
    if (before_) session_->restoreConfig(*std::exchange(before_, std::nullopt));
    if (cancelled_)
        message->setText(QStringLiteral("Cancelled after %1 of %2 points.")
                             .arg(points_.size())
                             .arg(planned_.size()));
    next_ = planned_.size();
    startButton->setEnabled(true);
    cancelButton->setEnabled(false);
    saveButton->setEnabled(!points_.empty());
    emit finished();
}

std::optional<QString> SweepWindow::saveCsv(const QString& path) const {
    std::string text = zvk::sweepCsvHeader() + "\n";
    for (const zvk::SweepPoint& pt : points_) text += zvk::sweepCsvLine(pt) + "\n";
    if (auto error = zvk::replaceFileText(ss(path), text))
        return QStringLiteral("Cannot write \"%1\": %2").arg(path, qs(*error));
    return std::nullopt;
}

void SweepWindow::saveClick() {
    withChosenFile(this, QStringLiteral("Save Sweep"), QStringLiteral("sweep.csv"),
                   QStringLiteral("CSV (*.csv);;All files (*)"),
                   [this](const QString& path) { return saveCsv(path); });
}

void SweepWindow::closeEvent(QCloseEvent* event) {
    cancel();
    QWidget::closeEvent(event);
}

StripChart::StripChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("StripChart"));
    setMinimumHeight(160);
}

void StripChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const int bandH = 12;
    const QRectF area(8, 8, width() - 16, height() - 16 - 3 * (bandH + 4) - 16);
    const qint64 end = samples_ && !samples_->empty() ? samples_->back().tMs : 0;
    const qint64 begin = std::max<qint64>(0, end - StatusMonitor::kKeptMs);
    const double span = double(std::max<qint64>(end - begin, 1000));
    const auto x = [&](qint64 t) { return area.right() - area.width() * double(end - t) / span; };
    const char* lanes[] = {"LD", "RSSI", "IFFSTATE"};
    if (samples_ != nullptr && !samples_->empty()) {
        QPolygonF line;
        double prevX = area.left();
        for (const MonitorSample& s : *samples_) {
            const zvk::StatusReading& r = s.reading;
            const double sx = x(s.tMs);
            line << QPointF(sx, iffY(area, iffValue(r)));
            const bool flags[] = {r.decoded.LD == "locked",
                                  r.decoded.RSSI == "in range" || r.decoded.RSSI == "high",
                                  r.decoded.IFFSTATE == "tuned"};
            for (int lane = 0; lane < 3; ++lane) {
                const QRectF cell(prevX, area.bottom() + 4 + lane * (bandH + 4),
                                  std::max(1.0, sx - prevX), bandH);
                p.fillRect(cell, r.suspect ? kSuspect : flags[lane] ? kLocked : kNotLocked);
            }
            prevX = sx;
        }
        p.setPen(QPen(Qt::blue, 1.5));
        p.drawPolyline(line);
    }
    p.setPen(Qt::black);
    for (int lane = 0; lane < 3; ++lane)
        p.drawText(QRectF(area.left() + 2, area.bottom() + 4 + lane * (bandH + 4), 80, bandH),
                   Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(lanes[lane]));
    drawAxesText(p, area, QStringLiteral("-%1 s").arg(qint64(span / 1000)), QStringLiteral("now"));
}

StatusMonitor::StatusMonitor(zvk::Session& session, QWidget* parent)
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
    chart = new StripChart(this);
    chart->setSamples(&samples_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(message);
    layout->addWidget(chart, 1);
    resize(620, 320);
    connect(&timer_, &QTimer::timeout, this, &StatusMonitor::poll);
    connect(startButton, &QPushButton::clicked, this, &StatusMonitor::start);
    connect(stopButton, &QPushButton::clicked, this, &StatusMonitor::stop);
    connect(logButton, &QPushButton::clicked, this, &StatusMonitor::logClick);
    connect(intervalBox, &QSpinBox::valueChanged, this, [this](int ms) {
        if (timer_.isActive()) timer_.start(ms);
    });
}

void StatusMonitor::start() {
    if (!clock_.isValid()) clock_.start();
    timer_.start(intervalBox->value());
    startButton->setEnabled(false);
    stopButton->setEnabled(true);
}

void StatusMonitor::stop() {
    timer_.stop();
    startButton->setEnabled(true);
    stopButton->setEnabled(false);
}

void StatusMonitor::poll() {
    if (!clock_.isValid()) clock_.start();
    if (auto blocked = zvk::statusReadBlocked(session_->chip())) {
        message->setText(QStringLiteral("Not reading: ") + qs(*blocked) + QLatin1Char('.'));
        return;
    }
    // While another transfer holds the link (a sweep's write, the main window's), the
    // read waits for its end: every tick gets its sample.
    ++readsAsked_;
    zvk::requestStatus(session_->chip(),
                       [self = QPointer<StatusMonitor>(this)](const zvk::StatusReading& r) {
                           if (self) self->take(r);
                       });
}

void StatusMonitor::take(const zvk::StatusReading& reading) {
    MonitorSample s{clock_.elapsed(), reading};
    message->setText(s.reading.suspect ? qs(*s.reading.suspect) : QString());
    if (log_.isOpen()) {
        const std::string line = zvk::statusCsvLine(double(s.tMs), s.reading) + "\n";
        log_.write(line.data(), qint64(line.size()));
        log_.flush();
    }
    samples_.push_back(std::move(s));
    while (samples_.back().tMs - samples_.front().tMs > kKeptMs) samples_.pop_front();
    chart->update();
}

std::optional<QString> StatusMonitor::logTo(const QString& path) {
    if (log_.isOpen()) log_.close();
    log_.setFileName(path);
    if (!log_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return QStringLiteral("Cannot write \"%1\": %2").arg(path, log_.errorString());
    const std::string header = zvk::statusCsvHeader() + "\n";
    log_.write(header.data(), qint64(header.size()));
    log_.flush();
    return std::nullopt;
}

void StatusMonitor::logClick() {
    withChosenFile(this, QStringLiteral("Log to CSV"), QStringLiteral("status.csv"),
                   QStringLiteral("CSV (*.csv);;All files (*)"),
                   [this](const QString& path) { return logTo(path); });
}

void StatusMonitor::closeEvent(QCloseEvent* event) {
    stop();
    QWidget::closeEvent(event);
}

void addBenchTools(QMenu* menu, zvk::Session& session, QWidget* parent) {
    menu->addSeparator();
    QAction* sweep = menu->addAction(QStringLiteral("Sweep…"));
    sweep->setObjectName(QStringLiteral("Sweep1"));
    QAction* monitor = menu->addAction(QStringLiteral("Status Monitor…"));
    monitor->setObjectName(QStringLiteral("StatusMonitor1"));
    QObject::connect(sweep, &QAction::triggered, parent, [&session, parent] {
        auto* w = parent->findChild<SweepWindow*>(QString(), Qt::FindDirectChildrenOnly);
        if (w == nullptr) {
            w = new SweepWindow(session, parent);
            // The main window shows what the chip holds after the sweep.
            QObject::connect(w, &SweepWindow::finished, parent,
                             [&session] { session.recomputeFrequencies(); });
        }
        w->show();
        w->raise();
    });
    QObject::connect(monitor, &QAction::triggered, parent, [&session, parent] {
        auto* w = parent->findChild<StatusMonitor*>(QString(), Qt::FindDirectChildrenOnly);
        if (w == nullptr) w = new StatusMonitor(session, parent);
        w->show();
        w->raise();
    });
}
