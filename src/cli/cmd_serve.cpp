// SPDX-License-Identifier: MIT
// serve: the board as a lab instrument, SCPI text commands over TCP, until SIGINT or
// SIGTERM.
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <iostream>

#include "cli/Cli.h"
#include "cli/Json.h"
#include "remote/Instrument.h"
#include "remote/InstrumentLines.h"
#include "remote/ScpiServer.h"

namespace zvk::cli {

namespace {

struct ServeOptions {
    std::string listen = "127.0.0.1:5025";
    BoardOptions board;
    bool lab = false;
    std::string files = ".";
    std::string log;
    std::string idleTimeout;
    bool json = false;
};

// The longest idle limit: a day. More is a typo, and 0 already means none.
constexpr double kMaxIdleTimeoutS = 86400;

std::atomic<bool> g_stopServing{false};
remote::ScpiServer* g_serving = nullptr;

void onStopSignal(int) {
    g_stopServing = true;
    if (g_serving != nullptr) g_serving->wake();
}

// SIGINT and SIGTERM end the serving after the command being answered; the old handlers
// come back with it.
class StopSignals {
  public:
    explicit StopSignals(remote::ScpiServer& server) {
        g_stopServing = false;
        g_serving = &server;
        struct sigaction sa {};
        sa.sa_handler = onStopSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &oldInt_);
        sigaction(SIGTERM, &sa, &oldTerm_);
    }
    ~StopSignals() {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
        g_serving = nullptr;
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

int idleTimeoutMs(const std::string& text) {
    if (text.empty()) return remote::kDefaultIdleTimeoutMs;
    const double s = parseNumber(text, "--idle-timeout");
    if (!(s >= 0 && s <= kMaxIdleTimeoutS))
        throw BadInput("--idle-timeout \"" + text + "\" is not a number of seconds from 0 to " +
                       std::to_string(int(kMaxIdleTimeoutS)));
    // A limit below a millisecond would close a client at once: it is one millisecond.
    return s == 0 ? 0 : std::max(1, int(std::lround(s * 1000)));
}

int serve(CommandContext& ctx, ServeOptions& o) {
    std::string error;
    const auto listen = remote::parseListenAddress(o.listen, error);
    if (!listen) throw BadInput("--listen \"" + o.listen + "\": " + error);
    const int idleMs = idleTimeoutMs(o.idleTimeout);
    struct stat st {};
    if (::stat(o.files.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw BadInput("--files \"" + o.files + "\" is not a folder");
    std::vector<NamedFile> outputs = boardOutputs(o.board);
    if (!o.log.empty()) outputs.push_back({"--log", o.log});
    checkFiles(ctx, outputs, {{"the settings file", settingsPathOf(o.board)}}, o.json);

    const std::shared_ptr<CtlSession> s = openSession(ctx, o.board, {}, o.json);
    // An instrument answers from the state the window would show: without a settings file
    // that is the first start's, the default settings in SPI mode (the bare start-up
    // state is ABC mode with an empty image, where FREQ and LOCK? are refused).
    if (!s->settingsExisted) {
        s->core->setSpiMode(true);
        s->core->applyDefaults(true);
    }
    remote::Instrument instrument(*s->core, {o.lab, o.files});
    remote::InstrumentLines lines(instrument);
    remote::ServerOptions so;
    so.listen = *listen;
    so.idleTimeoutMs = idleMs;
    so.logPath = o.log;
    so.notice = [](const std::string& text) {
        std::cerr << "zvk40310ctl: serve: " << text << "\n";
    };
    remote::ScpiServer server(lines, so);
    try {
        server.start();
    } catch (const remote::ListenError& e) {
        if (e.kind == remote::ListenError::kInUse || e.kind == remote::ListenError::kFailed)
            throw Unreachable(e.what());
        throw BadInput(e.what());
    }
    if (!server.loopbackOnly())
        std::cerr << "zvk40310ctl: serve: listening on " << server.address()
                  << ", which other computers can reach: the protocol has no authentication, so "
                     "anyone who reaches the port controls the board\n";
    StopSignals signals(server);
    // One line either way: a script reads the port from it.
    if (o.json)
        std::cout << jsonLine({{"listen", server.address()}, {"port", server.port()}}) << "\n";
    else
        std::cout << "listening on " << server.address() << "\n";
    flushOutput();
    server.serveUntil(g_stopServing);
    return kOk;
}

}  // namespace

void addServeCommand(CLI::App& app, CommandContext& ctx) {
    auto o = std::make_shared<ServeOptions>();
    CLI::App* c = app.add_subcommand(
        "serve", "the board as a lab instrument: SCPI commands over TCP until SIGINT or SIGTERM");
    c->add_option("--listen", o->listen,
                  "ADDR:PORT to listen on; port 0 takes a free one (default 127.0.0.1:5025; "
                  "another address than the loopback lets other computers in)");
    addBoardOptions(c, o->board);
    c->add_flag("--lab", o->lab, "lab mode: a client may change the mode (MODE) and MFO");
    c->add_option("--files", o->files,
                  "the folder MMEM file names are relative to (default the working folder)");
    c->add_option("--log", o->log, "a log of the commands received, appended to FILE");
    c->add_option("--idle-timeout", o->idleTimeout,
                  "seconds a client may stay silent before it is closed (default 300, 0: no "
                  "limit)");
    c->add_flag("--json", o->json, "the address listened on as a JSON object");
    c->callback([o, &ctx] { ctx.exitCode = serve(ctx, *o); });
    refuseEmptyValues(c);
}

}  // namespace zvk::cli
