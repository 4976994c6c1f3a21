// SPDX-License-Identifier: MIT
#pragma once
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "remote/Instrument.h"
#include "remote/ScpiServer.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSocketNotifier;

namespace zvk {
class Session;
}

// "Remote Control…": the SCPI server of `zvk40310ctl serve` on the window's own session,
// so that a lab script drives the board the window shows. The server runs on the window's
// thread: a socket notifier for each descriptor it names and a timer for its idle limit
// hand it the event loop's news, and each command line runs between two events, as a
// user's click does. While a transfer runs (its waits run the event loop) the server is
// not entered; it looks again a moment later.
class RemoteControlWindow : public QWidget, private zvk::remote::LineHandler {
    Q_OBJECT
  public:
    // labMode as the window has it; MMEM files are relative to the working folder the
    // server starts in.
    RemoteControlWindow(zvk::Session& session, bool labMode, QWidget* parent);
    ~RemoteControlWindow() override;
    RemoteControlWindow(const RemoteControlWindow&) = delete;
    RemoteControlWindow& operator=(const RemoteControlWindow&) = delete;

    QLineEdit* addressEdit;
    QPushButton* startButton;
    QPushButton* stopButton;
    QLabel* stateLabel;    // listening on ADDR:PORT, or stopped (and why)
    QLabel* clientLabel;   // the client in control
    QLabel* commandLabel;  // the last command line
    QLabel* errorLabel;    // the last error queued for the client, or a notice
    QLabel* exposureNote;  // shown while listening beyond this computer
    QLabel* folderLabel;   // where MMEM files are

    // Listens on the address in the edit; the reason (shown in the window too) when it
    // cannot.
    std::optional<QString> start();
    // Closes the client and the listening socket.
    void stop();
    bool listening() const;
    // The port listened on (the free one the system chose for port 0).
    uint16_t port() const;
    // The command set while the server runs; null before the first start.
    zvk::remote::Instrument* instrument() { return instrument_.get(); }

  signals:
    // A client's line is about to run.
    void lineStarted();
    // It ran; changed: the session's state is not what it was before.
    void lineFinished(bool changed);

  private:
    // LineHandler
    std::string line(std::string_view text) override;
    void overlong() override;
    void clientChanged() override;

    // A notifier or the idle timer fired.
    void serve(int fd, bool readable, bool writable);
    void idleDue();
    // The notifiers and the idle timer as the server wants them now.
    void updateWatches();
    // Silences the notifiers and looks again shortly: the server must not run inside a
    // transfer or inside itself.
    void holdOff();
    bool mayServe() const;
    void showState();
    void showError(const QString& text);

    // What a line may change that the window shows, to tell a change from a query.
    struct Snapshot;
    Snapshot snapshot() const;

    zvk::Session* session_;
    bool labMode_;
    std::unique_ptr<zvk::remote::Instrument> instrument_;
    // After the instrument: the server goes first.
    std::unique_ptr<zvk::remote::ScpiServer> server_;
    struct Notifiers {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };
    std::map<int, Notifiers> notifiers_;
    QTimer idleTimer_;
    QTimer retryTimer_;
    bool serving_ = false;
    QString stopReason_;
};
