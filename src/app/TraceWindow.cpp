// SPDX-License-Identifier: MIT
#include "TraceWindow.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QVBoxLayout>

#include "QtText.h"
#include "storage/FileText.h"

TraceWindow::TraceWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("TraceWindow"));
    setWindowTitle(QStringLiteral("Trace"));
    view_ = new QPlainTextEdit(this);
    view_->setReadOnly(true);
    view_->setMaximumBlockCount(kKeptLines);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setStyleHint(QFont::Monospace);
    mono.setPixelSize(11);
    view_->setFont(mono);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    resize(640, 360);
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(0);
    connect(&flushTimer_, &QTimer::timeout, this, &TraceWindow::flush);
}

void TraceWindow::add(const QString& line) {
    pending_ << line;
    if (!flushTimer_.isActive()) flushTimer_.start();
}

void TraceWindow::flush() {
    if (pending_.isEmpty()) return;
    view_->appendPlainText(pending_.join(QLatin1Char('\n')));
    pending_.clear();
}

ToolsMenu::ToolsMenu(zvk::Session& session, QWidget* parent)
    : QMenu(QStringLiteral("Tools"), parent), session_(&session) {
    setObjectName(QStringLiteral("Tools1"));
    StartTrace1 = addAction(QStringLiteral("Start Trace…"));
    StartTrace1->setObjectName(QStringLiteral("StartTrace1"));
    StopTrace1 = addAction(QStringLiteral("Stop Trace"));
    StopTrace1->setObjectName(QStringLiteral("StopTrace1"));
    SaveVcd1 = addAction(QStringLiteral("Save VCD…"));
    SaveVcd1->setObjectName(QStringLiteral("SaveVcd1"));
    connect(StartTrace1, &QAction::triggered, this, &ToolsMenu::startTraceClick);
    connect(StopTrace1, &QAction::triggered, this, &ToolsMenu::stopTrace);
    connect(SaveVcd1, &QAction::triggered, this, &ToolsMenu::saveVcdClick);
    updateItems();
}

void ToolsMenu::updateItems() {
    const bool running = log_.isOpen();
    StartTrace1->setEnabled(!running);
    StopTrace1->setEnabled(running);
    SaveVcd1->setEnabled(session_->trace() != nullptr);
}

std::optional<QString> ToolsMenu::startTrace(const QString& logPath) {
    stopTrace();
    log_.setFileName(logPath);
    if (!log_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return QStringLiteral("Cannot write the trace log \"%1\": %2")
            .arg(logPath, log_.errorString());
    if (!window_) window_ = new TraceWindow(parentWidget());
    window_->view()->clear();
    zvk::Trace& trace = session_->startTrace(TraceWindow::kKeptLines);
    text_ = std::make_unique<zvk::TraceText>(session_->traceText());
    trace.setListener([this](const zvk::TraceEvent& e) {
        const std::string line = text_->line(e);
        if (line.empty()) return;
        log_.write(line.data(), qint64(line.size()));
        log_.write("\n", 1);
        window_->add(QString::fromStdString(line));
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
    if (log_.isOpen()) log_.close();
    updateItems();
}

std::optional<QString> ToolsMenu::saveVcd(const QString& path) {
    if (session_->trace() == nullptr) return QStringLiteral("No trace has been recorded.");
    if (auto error = zvk::replaceFileText(ss(path), session_->traceVcd()))
        return QStringLiteral("Cannot write \"%1\": %2").arg(path, qs(*error));
    return std::nullopt;
}

void ToolsMenu::startTraceClick() {
    const QString path = QFileDialog::getSaveFileName(
        parentWidget(), QStringLiteral("Start Trace"), QStringLiteral("trace.log"),
        QStringLiteral("Trace log (*.log);;All files (*)"));
    if (path.isEmpty()) return;
    if (const auto error = startTrace(path))
        QMessageBox::warning(parentWidget(), QStringLiteral("Start Trace"), *error);
}

void ToolsMenu::saveVcdClick() {
    const QString path = QFileDialog::getSaveFileName(
        parentWidget(), QStringLiteral("Save VCD"), QStringLiteral("trace.vcd"),
        QStringLiteral("Value change dump (*.vcd);;All files (*)"));
    if (path.isEmpty()) return;
    if (const auto error = saveVcd(path))
        QMessageBox::warning(parentWidget(), QStringLiteral("Save VCD"), *error);
}
