// SPDX-License-Identifier: MIT
#include "RemoteControlWindow.h"

#include <QApplication>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QVBoxLayout>
#include <tuple>
#include <utility>
#include <vector>

#include "QtText.h"
#include "session/Session.h"

using zvk::remote::ScpiServer;

namespace {

// How soon a server held off during a transfer looks again: a write cycle takes a few
// milliseconds, and a busy loop of looks would only slow it.
constexpr int kRetryMs = 5;
// The longest command the window shows; the rest is "…".
constexpr int kShownCommandLength = 120;

// A client's line as a label shows it: control characters and bytes that are no text
// would garble the window, so they show as "?".
QString shownCommand(std::string_view text) {
    QString s;
    for (const char c : text.substr(0, kShownCommandLength)) {
        const auto b = static_cast<unsigned char>(c);
        s += b >= 0x20 && b < 0x7F ? QChar::fromLatin1(c) : QLatin1Char('?');
    }
    if (text.size() > size_t(kShownCommandLength)) s += QStringLiteral("…");
    return s;
}

}  // namespace

struct RemoteControlWindow::Snapshot {
    zvk::RegisterImage regs;
    bool spi;
    int preset, band;
    std::string fxtal, frf, r, n, a;
    int rgIf1;
    double fRF, fXTAL;
    int injlo1;
    bool operator==(const Snapshot&) const = default;
};

RemoteControlWindow::Snapshot RemoteControlWindow::snapshot() const {
    const zvk::FrequencyState& fs = session_->frequencies();
    return {session_->regs(),
            session_->spiMode(),
            session_->presetIndex(),
            session_->bandPreset(),
            session_->edits().fxtal,
            session_->edits().frf,
            session_->dividerEdits().r,
            session_->dividerEdits().n,
            session_->dividerEdits().a,
            session_->edits().rgIf1,
            fs.fRF,
            fs.fXTAL,
            fs.INJLO1};
}

RemoteControlWindow::RemoteControlWindow(zvk::Session& session, bool labMode, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(&session), labMode_(labMode) {
    setObjectName(QStringLiteral("RemoteControlWindow"));
    setWindowTitle(QStringLiteral("Remote Control"));
    addressEdit =
        new QLineEdit(QStringLiteral("127.0.0.1:%1").arg(zvk::remote::kDefaultScpiPort), this);
    addressEdit->setObjectName(QStringLiteral("E_Listen"));
    addressEdit->setToolTip(
        QStringLiteral("ADDR:PORT, such as 127.0.0.1:5025 or [::1]:5025; port 0 takes a free one"));
    startButton = new QPushButton(QStringLiteral("Start"), this);
    startButton->setObjectName(QStringLiteral("B_Start"));
    stopButton = new QPushButton(QStringLiteral("Stop"), this);
    stopButton->setObjectName(QStringLiteral("B_Stop"));
    auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        l->setWordWrap(true);
        return l;
    };
    stateLabel = label("L_State");
    clientLabel = label("L_Client");
    commandLabel = label("L_Command");
    errorLabel = label("L_Error");
    folderLabel = label("L_Files");
    exposureNote = label("L_Exposure");
    exposureNote->setText(QStringLiteral(
        "Listening beyond this computer: SCPI has no authentication, so anyone who reaches "
        "this port controls the board."));
    exposureNote->setStyleSheet(QStringLiteral("color: #B00000"));
    exposureNote->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(addressEdit, 1);
    buttons->addWidget(startButton);
    buttons->addWidget(stopButton);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Listen on"), buttons);
    form->addRow(QStringLiteral("State"), stateLabel);
    form->addRow(QStringLiteral("Client"), clientLabel);
    form->addRow(QStringLiteral("Last command"), commandLabel);
    form->addRow(QStringLiteral("Last error"), errorLabel);
    form->addRow(QStringLiteral("Files"), folderLabel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(exposureNote);
    resize(460, sizeHint().height());

    connect(startButton, &QPushButton::clicked, this, [this] { start(); });
    connect(stopButton, &QPushButton::clicked, this, &RemoteControlWindow::stop);
    connect(addressEdit, &QLineEdit::returnPressed, this, [this] {
        if (!listening()) start();
    });
    idleTimer_.setSingleShot(true);
    connect(&idleTimer_, &QTimer::timeout, this, &RemoteControlWindow::idleDue);
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, &RemoteControlWindow::updateWatches);
    showState();
}

RemoteControlWindow::~RemoteControlWindow() {
    stop();
}

bool RemoteControlWindow::listening() const {
    return server_ && server_->listening();
}

uint16_t RemoteControlWindow::port() const {
    return listening() ? server_->port() : 0;
}

std::optional<QString> RemoteControlWindow::start() {
    stop();
    std::string error;
    const auto where = zvk::remote::parseListenAddress(ss(addressEdit->text().trimmed()), error);
    if (!where) {
        stopReason_ = QStringLiteral("\"%1\": %2").arg(addressEdit->text(), qs(error));
        showState();
        return stopReason_;
    }
    // The folder is fixed while the server runs, so a script's relative names keep meaning
    // the same files.
    zvk::remote::InstrumentOptions io;
    io.labMode = labMode_;
    io.filesDir = ss(QDir::currentPath());
    instrument_ = std::make_unique<zvk::remote::Instrument>(*session_, io);
    instrument_->setChangeGuard([]() -> std::optional<std::string> {
        // The dialog holds the user's answer to the window's state as it stands: a change
        // underneath it would be answered blind.
        if (QApplication::activeModalWidget() != nullptr)
            return std::string("a dialog is open in the window");
        return std::nullopt;
    });
    zvk::remote::ServerOptions so;
    so.listen = *where;
    so.notice = [this](const std::string& text) { showError(qs(text)); };
    server_.reset();
    server_ = std::make_unique<ScpiServer>(static_cast<zvk::remote::LineHandler&>(*this), so);
    try {
        server_->start();
    } catch (const zvk::remote::ListenError& e) {
        server_.reset();
        stopReason_ = qs(e.what());
        showState();
        return stopReason_;
    }
    stopReason_.clear();
    commandLabel->clear();
    errorLabel->clear();
    updateWatches();
    return std::nullopt;
}

void RemoteControlWindow::stop() {
    if (server_) server_->stop();
    // The descriptors are closed: no notifier may watch them into the next round.
    updateWatches();
}

void RemoteControlWindow::updateWatches() {
    if (serving_) return;  // serve() looks when the server is done
    std::vector<ScpiServer::Watch> watches;
    if (server_) watches = server_->watches();
    auto retire = [](QSocketNotifier*& n) {
        if (n == nullptr) return;
        n->setEnabled(false);
        n->deleteLater();
        n = nullptr;
    };
    auto follow = [this](QSocketNotifier*& n, int fd, QSocketNotifier::Type type, bool wanted) {
        if (!wanted) {
            if (n) n->setEnabled(false);
            return;
        }
        if (n == nullptr) {
            n = new QSocketNotifier(qintptr(fd), type, this);
            const bool read = type == QSocketNotifier::Read;
            connect(n, &QSocketNotifier::activated, this,
                    [this, fd, read] { serve(fd, read, !read); });
        }
        n->setEnabled(true);
    };
    std::map<int, Notifiers> kept;
    for (const ScpiServer::Watch& w : watches) {
        Notifiers n;
        if (auto it = notifiers_.find(w.fd); it != notifiers_.end()) {
            n = it->second;
            notifiers_.erase(it);
        }
        follow(n.read, w.fd, QSocketNotifier::Read, w.read);
        follow(n.write, w.fd, QSocketNotifier::Write, w.write);
        kept[w.fd] = n;
    }
    for (auto& [fd, n] : notifiers_) {
        retire(n.read);
        retire(n.write);
    }
    notifiers_ = std::move(kept);
    const int ms = server_ ? server_->msUntilTimer() : -1;
    if (ms < 0)
        idleTimer_.stop();
    else
        idleTimer_.start(ms);
    showState();
}

bool RemoteControlWindow::mayServe() const {
    return !serving_ && !session_->transferRunning();
}

void RemoteControlWindow::holdOff() {
    for (auto& [fd, n] : notifiers_) {
        if (n.read) n.read->setEnabled(false);
        if (n.write) n.write->setEnabled(false);
    }
    if (!serving_) retryTimer_.start(kRetryMs);
}

void RemoteControlWindow::serve(int fd, bool readable, bool writable) {
    if (!server_) return;
    if (!mayServe()) {
        holdOff();
        return;
    }
    // A command's transfer runs the event loop in its waits: nothing may enter the server
    // again until it is done.
    serving_ = true;
    holdOff();
    server_->descriptorReady(fd, readable, writable);
    serving_ = false;
    updateWatches();
}

void RemoteControlWindow::idleDue() {
    if (!server_) return;
    if (!mayServe()) {
        holdOff();
        return;
    }
    serving_ = true;
    server_->timerDue();
    serving_ = false;
    updateWatches();
}

std::string RemoteControlWindow::line(std::string_view text) {
    commandLabel->setText(shownCommand(text));
    const Snapshot before = snapshot();
    const size_t errorsBefore = instrument_->errors().count();
    const std::string newestBefore = instrument_->errors().newest();
    emit lineStarted();
    std::string reply = instrument_->execute(text);
    const std::string newest = instrument_->errors().newest();
    if (instrument_->errors().count() > errorsBefore || newest != newestBefore)
        errorLabel->setText(qs(newest));
    emit lineFinished(!(snapshot() == before));
    return reply;
}

void RemoteControlWindow::overlong() {
    instrument_->refuseOverlongLine();
    commandLabel->setText(
        QStringLiteral("(a line over %1 bytes, dropped)").arg(zvk::remote::kMaxLineLength));
    errorLabel->setText(qs(instrument_->errors().newest()));
}

void RemoteControlWindow::clientChanged() {
    instrument_->clientChanged();
    commandLabel->clear();
    errorLabel->clear();
}

void RemoteControlWindow::showError(const QString& text) {
    errorLabel->setText(text);
}

void RemoteControlWindow::showState() {
    const bool on = listening();
    if (on)
        stateLabel->setText(QStringLiteral("Listening on %1").arg(qs(server_->address())));
    else
        stateLabel->setText(stopReason_.isEmpty() ? QStringLiteral("Stopped")
                                                  : QStringLiteral("Stopped: ") + stopReason_);
    const QString client = on ? qs(server_->clientAddress()) : QString();
    clientLabel->setText(client.isEmpty() ? QStringLiteral("none")
                                          : QStringLiteral("%1 is in control").arg(client));
    exposureNote->setVisible(on && !server_->loopbackOnly());
    folderLabel->setText(instrument_ && on ? qs(instrument_->options().filesDir)
                                           : QDir::currentPath());
    addressEdit->setEnabled(!on);
    startButton->setEnabled(!on);
    stopButton->setEnabled(on);
}
