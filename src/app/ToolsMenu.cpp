// SPDX-License-Identifier: MIT
#include "ToolsMenu.h"

#include <QFileDialog>
#include <QMessageBox>

#include "CompareItems.h"
#include "CrystalCorrectionDialog.h"
#include "DiagnoseDialog.h"
#include "PlanWindow.h"
#include "QtText.h"
#include "RemoteControlWindow.h"
#include "StatusMonitorWindow.h"
#include "SweepWindow.h"
#include "TraceWindow.h"
#include "storage/FileText.h"

namespace {

// "Sweep…" and "Status Monitor…"; the windows are made at their first use; the main
// window follows the chip once a sweep ends.
void addSweepAndMonitor(QMenu* menu, zvk::Session& session, QWidget* parent) {
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
        auto* w = parent->findChild<StatusMonitorWindow*>(QString(), Qt::FindDirectChildrenOnly);
        if (w == nullptr) w = new StatusMonitorWindow(session, parent);
        w->show();
        w->raise();
    });
}

}  // namespace

ToolsMenu::ToolsMenu(zvk::Session& session, QWidget* parent)
    : QMenu(QStringLiteral("Tools"), parent), session_(&session) {
    setObjectName(QStringLiteral("Tools1"));
    FrequencyPlan1 = addAction(QStringLiteral("Frequency Plan"));
    FrequencyPlan1->setObjectName(QStringLiteral("FrequencyPlan1"));
    connect(FrequencyPlan1, &QAction::triggered, this, &ToolsMenu::showPlan);
    CrystalCorrection1 = addAction(QStringLiteral("Crystal Correction…"));
    CrystalCorrection1->setObjectName(QStringLiteral("CrystalCorrection1"));
    connect(CrystalCorrection1, &QAction::triggered, this, &ToolsMenu::showCorrection);
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
    addSweepAndMonitor(this, session, parent);
    updateItems();
    addCompareItems(*this, session);
    addSeparator();
    RemoteControl1 = addAction(QStringLiteral("Remote Control…"));
    RemoteControl1->setObjectName(QStringLiteral("RemoteControl1"));
    connect(RemoteControl1, &QAction::triggered, this, &ToolsMenu::showRemoteControl);
}

RemoteControlWindow* ToolsMenu::showRemoteControl() {
    auto* w =
        parentWidget()->findChild<RemoteControlWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (w == nullptr) return nullptr;
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

PlanWindow* ToolsMenu::showPlan() {
    if (!planWindow_)
        planWindow_ =
            new PlanWindow(session_->frequencies(), session_->crystalCorrection(), parentWidget());
    planWindow_->show();
    planWindow_->raise();
    return planWindow_;
}

CrystalCorrectionDialog* ToolsMenu::showCorrection() {
    if (!correctionDialog_) {
        correctionDialog_ = new CrystalCorrectionDialog(*session_, parentWidget());
        connect(correctionDialog_, &CrystalCorrectionDialog::chosen, this,
                &ToolsMenu::applyCorrection);
    }
    correctionDialog_->reset();
    correctionDialog_->open();
    return correctionDialog_;
}

void ToolsMenu::applyCorrection(const zvk::CrystalCorrection& c) {
    const zvk::CrystalCorrection before = session_->crystalCorrection();
    session_->setCrystalCorrection(c);
    // N and A depend on the correction only while it is planned on (before or now).
    const bool replan =
        (before.planOnCorrectedCrystal || c.planOnCorrectedCrystal) &&
        (before.planOnCorrectedCrystal != c.planOnCorrectedCrystal || before.ppm != c.ppm);
    if (replan) {
        session_->planWanted();
        session_->recomputeFrequencies();
    } else {
        emit correctionChanged();
    }
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
