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
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <utility>

#include "PlanWindow.h"
#include "QtText.h"
#include "TraceWindow.h"
#include "base/Numbers.h"
#include "session/Session.h"
#include "storage/FileText.h"

namespace {

QStringList csvHeader(const std::string& header) {
    return qs(header).split(QLatin1Char(','));
}

}  // namespace

StatusPlotView::StatusPlotView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("StatusPlotView"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void StatusPlotView::setPlot(zvk::StatusPlot plot) {
    plot_ = std::move(plot);
    picture_ = QImage();
    update();
}

QSize StatusPlotView::sizeHint() const {
    return {int(zvk::kStatusPlotWidth), plot_.height > 0 ? int(plot_.height) : 340};
}

QRectF StatusPlotView::pictureRect() const {
    return fittedPicture(size(), plot_.width, plot_.height);
}

QPointF StatusPlotView::toPicture(const QPointF& p) const {
    return pictureUnits(pictureRect(), plot_.width, plot_.height, p);
}

QString StatusPlotView::readoutAt(const QPointF& p) const {
    const QPointF at = toPicture(p);
    const zvk::PlotMark* m = zvk::markAt(plot_, at.x(), at.y());
    return m ? qs(m->text) : QString();
}

void StatusPlotView::mouseMoveEvent(QMouseEvent* event) {
    pointer_ = event->position();
    update();
}

void StatusPlotView::leaveEvent(QEvent*) {
    pointer_.reset();
    update();
}

void StatusPlotView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const QRectF r = pictureRect();
    if (r.isEmpty()) return;
    const QSize pixels = (r.size() * devicePixelRatioF()).toSize();
    if (picture_.size() != pixels) {
        picture_ = renderPlan(plot_.svg, pixels);
        picture_.setDevicePixelRatio(devicePixelRatioF());
    }
    painter.drawImage(r.topLeft(), picture_);
    if (!pointer_) return;
    const QPointF at = toPicture(*pointer_);
    const zvk::PlotMark* m = zvk::markAt(plot_, at.x(), at.y());
    if (m == nullptr) return;
    // The read under the pointer: its cell's middle through the plot and the lanes, its
    // value as a dot, and what it says in a box along the top of the plot.
    const double scale = r.width() / plot_.width;
    const auto widget = [&](double x, double y) {
        return QPointF(r.x() + x * scale, r.y() + y * scale);
    };
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0, 0, 0, 140), 1, Qt::DashLine));
    painter.drawLine(widget(m->x, plot_.area.y0), widget(m->x, plot_.lanes.y1));
    if (std::isfinite(m->y)) {
        painter.setPen(QPen(Qt::black, 1.5));
        painter.setBrush(Qt::white);
        painter.drawEllipse(widget(m->x, m->y), 4, 4);
    }
    const QString text = qs(m->text);
    QFont font = painter.font();
    font.setPixelSize(std::max(10, int(std::lround(11 * scale))));
    painter.setFont(font);
    const QFontMetricsF fm(font);
    QRectF box(0, 0, fm.horizontalAdvance(text) + 10, fm.height() + 6);
    const QPointF top = widget(m->x, plot_.area.y0);
    box.moveTopLeft(QPointF(top.x() + 8, top.y() + 4));
    if (box.right() > width() - 2) box.moveRight(top.x() - 8);
    if (box.left() < 2) box.moveLeft(2);
    painter.setPen(QColor(90, 90, 90));
    painter.setBrush(QColor(255, 255, 240, 235));
    painter.drawRect(box);
    painter.setPen(Qt::black);
    painter.drawText(box, Qt::AlignCenter, text);
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
    savePictureButton = new QPushButton(QStringLiteral("Save Picture…"), this);
    savePictureButton->setObjectName(QStringLiteral("SaveSweepPicture"));
    cancelButton->setEnabled(false);
    saveButton->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(startButton);
    buttons->addWidget(cancelButton);
    buttons->addStretch();
    buttons->addWidget(savePictureButton);
    buttons->addWidget(saveButton);
    progress = new QProgressBar(this);
    message = new QLabel(this);
    message->setWordWrap(true);
    const QStringList header = csvHeader(zvk::sweepCsvHeader());
    table = new QTableWidget(0, int(header.size()), this);
    table->setHorizontalHeaderLabels(header);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    plot = new StatusPlotView(this);
    plot->setObjectName(QStringLiteral("SweepPlot"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(progress);
    layout->addWidget(message);
    layout->addWidget(table, 1);
    layout->addWidget(plot, 2);
    resize(760, 860);
    pointTimer_.setSingleShot(true);
    pointTimer_.setInterval(0);
    connect(&pointTimer_, &QTimer::timeout, this, &SweepWindow::step);
    connect(startButton, &QPushButton::clicked, this, &SweepWindow::start);
    connect(cancelButton, &QPushButton::clicked, this, &SweepWindow::cancel);
    connect(saveButton, &QPushButton::clicked, this, &SweepWindow::saveClick);
    connect(savePictureButton, &QPushButton::clicked, this, [this] {
        const zvk::StatusPlot& p = plot->plot();
        savePictureClick(this, QStringLiteral("sweep.svg"), p.svg, p.width, p.height);
    });
    // Before a sweep the plot shows the range the boxes name.
    for (QDoubleSpinBox* box : {fromBox, toBox, stepBox})
        connect(box, &QDoubleSpinBox::valueChanged, this, [this] {
            if (!running()) redrawPlot();
        });
    connect(dwellBox, &QSpinBox::valueChanged, this, [this] {
        if (!running()) redrawPlot();
    });
    redrawPlot();
}

void SweepWindow::redrawPlot() {
    std::vector<double> range;
    if (running() || !points_.empty()) {
        range = planned_;
    } else if (zvk::sweepFrequencies(fromBox->value(), toBox->value(), stepBox->value(), range)) {
        range.clear();
    }
    plot->setPlot(zvk::drawSweepPlot(points_, range, uint32_t(dwellBox->value())));
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
    redrawPlot();
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
    redrawPlot();
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
    connect(&redrawTimer_, &QTimer::timeout, this, &StatusMonitor::redrawChart);
    connect(savePictureButton, &QPushButton::clicked, this, [this] {
        redrawChart();
        const zvk::StatusPlot& p = chart->plot();
        savePictureClick(this, QStringLiteral("status.svg"), p.svg, p.width, p.height);
    });
    redrawChart();
    connect(&timer_, &QTimer::timeout, this, &StatusMonitor::poll);
    connect(startButton, &QPushButton::clicked, this, &StatusMonitor::start);
    connect(stopButton, &QPushButton::clicked, this, &StatusMonitor::stop);
    connect(logButton, &QPushButton::clicked, this, &StatusMonitor::logClick);
    connect(intervalBox, &QSpinBox::valueChanged, this, [this](int ms) {
        if (timer_.isActive()) timer_.start(ms);
        redrawTimer_.start();
    });
}

void StatusMonitor::redrawChart() {
    chart->setPlot(zvk::drawMonitorChart(samples_, intervalBox->value(), double(kKeptMs)));
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
