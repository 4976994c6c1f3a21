// SPDX-License-Identifier: MIT
#include "TraceWindow.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

#include "BenchTools.h"
#include "CompareItems.h"
#include "DiagnoseDialog.h"
#include "PlanWindow.h"
#include "QtText.h"
#include "storage/FileText.h"

LogView::LogView(size_t keep, QWidget* parent) : QAbstractScrollArea(parent), keep_(keep) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setBackgroundRole(QPalette::Base);
}

void LogView::append(std::vector<std::string>& lines) {
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    for (std::string& l : lines) {
        if (lines_.size() == keep_) lines_.pop_front();
        lines_.push_back(std::move(l));
    }
    lines.clear();
    updateRange();
    if (atEnd) bar->setValue(bar->maximum());
    viewport()->update();
}

void LogView::clear() {
    lines_.clear();
    updateRange();
    viewport()->update();
}

QString LogView::text() const {
    QStringList all;
    for (const std::string& l : lines_) all << QString::fromStdString(l);
    return all.join(QLatin1Char('\n'));
}

void LogView::updateRange() {
    const int rowsInSight = std::max(1, viewport()->height() / fontMetrics().height());
    verticalScrollBar()->setPageStep(rowsInSight);
    verticalScrollBar()->setRange(0, std::max(0, int(lines_.size()) - rowsInSight));
}

void LogView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateRange();
}

void LogView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const int h = fontMetrics().height();
    const size_t first = size_t(std::max(0, verticalScrollBar()->value()));
    int y = fontMetrics().ascent();
    for (size_t i = first; i < lines_.size() && y - h < viewport()->height(); ++i, y += h)
        p.drawText(4, y, QString::fromStdString(lines_[i]));
}

TraceWindow::TraceWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("TraceWindow"));
    setWindowTitle(QStringLiteral("Trace"));
    view_ = new LogView(kKeptLines, this);
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPixelSize(11);
    view_->setFont(mono);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    resize(640, 360);
    flushTimer_.setSingleShot(true);
    // Twenty times a second at most: drawing the lines in sight costs more than a write
    // cycle, so a burst of cycles shares one repaint.
    flushTimer_.setInterval(50);
    connect(&flushTimer_, &QTimer::timeout, this, &TraceWindow::flush);
}

void TraceWindow::add(std::string line) {
    pending_.push_back(std::move(line));
    if (!flushTimer_.isActive()) flushTimer_.start();
}

void TraceWindow::flush() {
    if (pending_.empty()) return;
    view_->append(pending_);
    emit flushed();
}

ToolsMenu::ToolsMenu(zvk::Session& session, QWidget* parent)
    : QMenu(QStringLiteral("Tools"), parent), session_(&session) {
    setObjectName(QStringLiteral("Tools1"));
    FrequencyPlan1 = addAction(QStringLiteral("Frequency Plan"));
    FrequencyPlan1->setObjectName(QStringLiteral("FrequencyPlan1"));
    connect(FrequencyPlan1, &QAction::triggered, this, &ToolsMenu::showPlan);
    addSeparator();
    StartTrace1 = addAction(QStringLiteral("Start Trace…"));
    StartTrace1->setObjectName(QStringLiteral("StartTrace1"));
    ShowTrace1 = addAction(QStringLiteral("Show Trace"));
    ShowTrace1->setObjectName(QStringLiteral("ShowTrace1"));
    StopTrace1 = addAction(QStringLiteral("Stop Trace"));
    StopTrace1->setObjectName(QStringLiteral("StopTrace1"));
    SaveVcd1 = addAction(QStringLiteral("Save VCD…"));
    SaveVcd1->setObjectName(QStringLiteral("SaveVcd1"));
    connect(StartTrace1, &QAction::triggered, this, &ToolsMenu::startTraceClick);
    connect(StopTrace1, &QAction::triggered, this, &ToolsMenu::stopTrace);
    connect(ShowTrace1, &QAction::triggered, this, [this] {
        if (!window_) return;
        window_->show();
        window_->raise();
    });
    connect(SaveVcd1, &QAction::triggered, this, &ToolsMenu::saveVcdClick);
    addDiagnoseItem(this, session);
    addBenchTools(this, session, parent);
    updateItems();
    addCompareItems(*this, session);
}

PlanWindow* ToolsMenu::showPlan() {
    if (!planWindow_) planWindow_ = new PlanWindow(session_->frequencies(), parentWidget());
    planWindow_->show();
    planWindow_->raise();
    return planWindow_;
}

void ToolsMenu::planChanged() {
    if (planWindow_) planWindow_->planChanged();
}

void ToolsMenu::updateItems() {
    const bool running = log_.isOpen();
    StartTrace1->setEnabled(!running);
    StopTrace1->setEnabled(running);
    // A closed trace window keeps its lines (and, while tracing, takes new ones).
    ShowTrace1->setEnabled(window_ != nullptr);
    SaveVcd1->setEnabled(session_->trace() != nullptr);
}

std::optional<QString> ToolsMenu::startTrace(const QString& logPath) {
    stopTrace();
    log_.setFileName(logPath);
    if (!log_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return QStringLiteral("Cannot write the trace log \"%1\": %2")
            .arg(logPath, log_.errorString());
    if (!window_) {
        window_ = new TraceWindow(parentWidget());
        connect(window_, &TraceWindow::flushed, this, &ToolsMenu::writeLog);
    }
    window_->view()->clear();
    zvk::Trace& trace = session_->startTrace(TraceWindow::kKeptLines);
    text_ = std::make_unique<zvk::TraceText>(session_->traceText());
    trace.setListener([this](const zvk::TraceEvent& e) {
        std::string line = text_->line(e);
        if (line.empty()) return;
        logPending_ += line;
        logPending_ += '\n';
        window_->add(std::move(line));
    });
    window_->show();
    window_->raise();
    updateItems();
    return std::nullopt;
}

void ToolsMenu::stopTrace() {
    session_->stopTrace();
    if (zvk::Trace* t = session_->trace()) t->setListener({});
    if (window_) window_->flush();
    writeLog();
    if (log_.isOpen()) log_.close();
    updateItems();
}

void ToolsMenu::writeLog() {
    if (logPending_.empty() || !log_.isOpen()) return;
    log_.write(logPending_.data(), qint64(logPending_.size()));
    log_.flush();
    logPending_.clear();
}

std::optional<QString> ToolsMenu::saveVcd(const QString& path) {
    if (session_->trace() == nullptr) return QStringLiteral("No trace has been recorded.");
    if (auto error = zvk::replaceFileText(ss(path), session_->traceVcd()))
        return QStringLiteral("Cannot write \"%1\": %2").arg(path, qs(*error));
    return std::nullopt;
}

void withChosenFile(QWidget* parent, const QString& title, const QString& name,
                    const QString& filter,
                    const std::function<std::optional<QString>(const QString&)>& step) {
    const QString path = QFileDialog::getSaveFileName(parent, title, name, filter);
    if (path.isEmpty()) return;
    if (const auto error = step(path)) QMessageBox::warning(parent, title, *error);
}

void ToolsMenu::startTraceClick() {
    withChosenFile(parentWidget(), QStringLiteral("Start Trace"), QStringLiteral("trace.log"),
                   QStringLiteral("Trace log (*.log);;All files (*)"),
                   [this](const QString& path) { return startTrace(path); });
}

void ToolsMenu::saveVcdClick() {
    withChosenFile(parentWidget(), QStringLiteral("Save VCD"), QStringLiteral("trace.vcd"),
                   QStringLiteral("Value change dump (*.vcd);;All files (*)"),
                   [this](const QString& path) { return saveVcd(path); });
}
