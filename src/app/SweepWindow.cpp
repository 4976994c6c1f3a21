// SPDX-License-Identifier: MIT
#include "SweepWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "PlanWindow.h"
#include "QtText.h"
#include "ToolsMenu.h"
#include "base/Numbers.h"
#include "session/Session.h"
#include "storage/FileText.h"

namespace {

QStringList csvHeader(const std::string& header) {
    return qs(header).split(QLatin1Char(','));
}

}  // namespace

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
    lockTimeBox = new QCheckBox(QStringLiteral("Lock time"), this);
    lockTimeBox->setObjectName(QStringLiteral("SweepLockTime"));
    lockTimeBox->setToolTip(QStringLiteral(
        "Times the synthesizer's lock after each point's write cycle: MFO is at \"1000 - LD "
        "out\" for the sweep, so the chip cannot shift the status out and the status columns "
        "stay empty."));
    form->addRow(QString(), lockTimeBox);
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
    table = new QTableWidget(this);
    showHeader(false);
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
    // An empty table shows the columns a sweep would fill.
    connect(lockTimeBox, &QCheckBox::toggled, this, [this](bool on) {
        if (!running() && points_.empty()) showHeader(on);
    });
    redrawPlot();
}

void SweepWindow::showHeader(bool lockTime) {
    const QStringList header = csvHeader(zvk::sweepCsvHeader(lockTime));
    table->setColumnCount(int(header.size()));
    table->setHorizontalHeaderLabels(header);
}

QString SweepWindow::lockTimeSummary() const {
    const zvk::LockTimeSummary sum = zvk::sweepLockTimes(points_);
    const std::string over = session_->transportName();
    if (sum.measured == 0)
        return QStringLiteral(
                   "No lock time measured over %1: the lock-detect pin was low "
                   "already after each write.")
            .arg(qs(over));
    QString t = QStringLiteral("Lock time %1").arg(qs(zvk::lockTimeRangeText(sum)));
    if (sum.capped > 0)
        t += QStringLiteral(", %1 of them capped (no lock by the cap)").arg(sum.capped);
    return t + QStringLiteral("; ") + qs(zvk::lockTimeResolutionText(sum.resolutionMs, over)) +
           QLatin1Char('.');
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
    std::vector<double> f;
    if (auto error = zvk::sweepFrequencies(fromBox->value(), toBox->value(), stepBox->value(), f)) {
        message->setText(qs(*error));
        return;
    }
    const bool lockTime = lockTimeBox->isChecked();
    // Taken before the sweep's own MFO setting, which the end of the sweep undoes.
    zvk::Config before = session_->currentConfig();
    if (auto blocked = zvk::prepareSweep(*session_, lockTime)) {
        message->setText(QStringLiteral("No sweep: ") + qs(*blocked) + QLatin1Char('.'));
        return;
    }
    // Over the adapter too: one command per sample is coarse, and the sweep says how coarse.
    session_->setTimeLockOnEveryLink(lockTime);
    lockTime_ = lockTime;
    showHeader(lockTime);
    planned_ = std::move(f);
    before_ = std::move(before);
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
    if (session_->transferRunning()) {
        pointTimer_.start();
        return;
    }
    const double f = planned_[next_++];
    // The dwell time lets the message loop run: a click on "Cancel" lands here.
    zvk::SweepPoint pt = zvk::sweepPoint(*session_, f, uint32_t(dwellBox->value()), lockTime_);
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
    const bool wasRunning = before_.has_value();
    if (before_) session_->restoreConfig(*std::exchange(before_, std::nullopt));
    // The window's own write cycles over the adapter time nothing, as before the sweep.
    session_->setTimeLockOnEveryLink(false);
    QStringList said;
    if (cancelled_)
        said << QStringLiteral("Cancelled after %1 of %2 points.")
                    .arg(points_.size())
                    .arg(planned_.size());
    if (lockTime_ && wasRunning) said << lockTimeSummary();
    if (!said.isEmpty()) message->setText(said.join(QLatin1Char(' ')));
    next_ = planned_.size();
    startButton->setEnabled(true);
    cancelButton->setEnabled(false);
    saveButton->setEnabled(!points_.empty());
    emit finished();
}

std::optional<QString> SweepWindow::saveCsv(const QString& path) const {
    std::string text = zvk::sweepCsvHeader(lockTime_) + "\n";
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
