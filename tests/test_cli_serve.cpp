// SPDX-License-Identifier: MIT
// zvk40310ctl serve: the board as an SCPI instrument on a TCP port, reached by raw sockets
// and by clients nobody here wrote (PyVISA with its Python backend, lxi).
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "CtlProcess.h"
#include "CtlRunner.h"
#include "ScpiClient.h"
#include "TempDir.h"
#include "base/Version.h"

namespace zvk {
namespace {

using test::CtlProcess;
using test::TcpClient;

// A program run through the shell to its end: its standard output and exit code.
struct Ran {
    int code = -1;
    std::string out;
};
Ran runShell(const std::string& command) {
    Ran r;
    if (FILE* p = popen((command + " 2>&1").c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
        const int status = pclose(p);
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return r;
}

// LOCK? once the synthesizer has settled: it reads 0 for a few milliseconds after a
// step, as a real one does, so it is asked again (a bounded number of times) until 1.
std::optional<std::string> lockAfterSettling(TcpClient& c) {
    std::optional<std::string> lock;
    for (int tries = 0; tries < 500 && (lock = c.query("LOCK?")) == "0"; ++tries) ::usleep(2000);
    return lock;
}

class CliServe : public test::TempDir {
  protected:
    CliServe() : TempDir("zvk-cli-serve") {}
    void SetUp() override {
        TempDir::SetUp();
        std::filesystem::create_directory(dir / "files");
        std::filesystem::copy_file(std::string(ZVK_SOURCE_DIR) + "/docs/examples/receiver-433.cfg",
                                   dir / "files" / "receiver-433.cfg");
    }
    // serve on the virtual board on a free port, its files under files/; the port read
    // from its first line.
    std::unique_ptr<CtlProcess> serve(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args = {"serve",       "--board", "virtual",    "--listen",
                                         "127.0.0.1:0", "--files", file("files")};
        args.insert(args.end(), extra.begin(), extra.end());
        auto p = std::make_unique<CtlProcess>(args, dir.string());
        const auto line = p->readLine();
        const std::string prefix = "listening on 127.0.0.1:";
        if (!line || line->rfind(prefix, 0) != 0) {
            ADD_FAILURE() << "no address line: " << line.value_or("(none)") << "\n" << p->err();
            return p;
        }
        port = uint16_t(std::stoi(line->substr(prefix.size())));
        return p;
    }
    uint16_t port = 0;
};

// The answers a bench script relies on: the identity, a tuning round with its lock, an
// error read back, the files under --files.
TEST_F(CliServe, AnswersIdentityTuningLockAndErrors) {
    auto server = serve();
    TcpClient c(port);
    ASSERT_TRUE(c.connected());
    EXPECT_EQ(c.query("*IDN?"),
              std::string("zvk40310,ZVK40310,virtual-lpt 0x378,") + kProgramVersion);
    ASSERT_TRUE(c.send("MMEM:LOAD:STAT \"receiver-433.cfg\"\n"));
    for (const double mhz : {433.92, 400.0, 470.125}) {
        SCOPED_TRACE(mhz);
        char command[64];
        std::snprintf(command, sizeof command, "FREQ %.3fMHZ\n", mhz);
        ASSERT_TRUE(c.send(command));
        const auto tuned = c.query("FREQ?");
        ASSERT_TRUE(tuned.has_value());
        // The channel raster is far finer than a megahertz.
        EXPECT_NEAR(std::stod(*tuned), mhz * 1e6, 1e6) << *tuned;
        EXPECT_EQ(lockAfterSettling(c), "1");
    }
    // A header the instrument does not know: no reply, and the error queue has it.
    ASSERT_TRUE(c.send("FREQ:BOGUS 1\n"));
    const auto error = c.query("SYST:ERR?");
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->rfind("-113,", 0), 0u) << *error;
    EXPECT_EQ(c.query("SYST:ERR?"), "0,\"No error\"");

    // MMEM names lie under --files, whatever the working folder.
    ASSERT_TRUE(c.send("MMEM:STOR:STAT \"saved.cfg\"\n"));
    EXPECT_EQ(c.query("SYST:ERR?"), "0,\"No error\"");
    EXPECT_TRUE(std::filesystem::exists(dir / "files" / "saved.cfg"));
    EXPECT_FALSE(std::filesystem::exists(dir / "saved.cfg"));
    for (const std::string& outside : {std::string("../escaped.cfg"), file("absolute.cfg")}) {
        ASSERT_TRUE(c.send("MMEM:STOR:STAT \"" + outside + "\"\n"));
        const auto refused = c.query("SYST:ERR?");
        ASSERT_TRUE(refused.has_value());
        EXPECT_NE(refused->rfind("0,", 0), 0u) << outside << ": " << *refused;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "escaped.cfg"));
    EXPECT_FALSE(std::filesystem::exists(dir / "absolute.cfg"));
    server->signal(SIGTERM);
    EXPECT_EQ(server->wait(), 0) << server->err();
}

// Junk, a megabyte line and a client that leaves mid-command end in errors or a closed
// connection; the register image stays as it was.
// Without a settings file the instrument starts as the window's first start does: the
// default settings in SPI mode, so a client can tune at once.
TEST_F(CliServe, AFirstStartServesTheDefaultSettings) {
    auto server = serve({"--settings", file("none.ini")});
    TcpClient c(port);
    ASSERT_TRUE(c.connected());
    const auto tuned = c.query("FREQ?");
    ASSERT_TRUE(tuned.has_value());
    EXPECT_NEAR(std::stod(*tuned), 384e6, 1e3) << *tuned;
    EXPECT_EQ(c.query("FREQ 433.92MHZ;*OPC?"), "1");
    EXPECT_EQ(c.query("SYST:ERR?"), "0,\"No error\"");
    // The default operation mode leaves the synthesizer off: LOCK? answers, and says so.
    EXPECT_EQ(c.query("LOCK?"), "0");
    server->signal(SIGTERM);
    EXPECT_EQ(server->wait(), 0) << server->err();
}

TEST_F(CliServe, BadInputChangesNothingAndEndsNothing) {
    auto server = serve();
    auto registers = [&](TcpClient& c) {
        std::string all;
        for (int n = 0; n < 8; ++n)
            all += c.query("REG" + std::to_string(n) + "?").value_or("?") + ",";
        return all;
    };
    std::string before;
    {
        TcpClient c(port);
        ASSERT_TRUE(c.send("MMEM:LOAD:STAT \"receiver-433.cfg\"\n"));
        before = registers(c);
        EXPECT_NE(before, "0,0,0,0,0,0,0,0,");
        std::string junk;
        for (int i = 0; i < 20000; ++i) junk += char((i * 7919) % 251 + 1);
        ASSERT_TRUE(c.send(junk + "\n"));
        // The junk's errors may fill the queue: the long line's error goes to an empty one.
        ASSERT_TRUE(c.send("*CLS\n"));
        ASSERT_TRUE(c.send(std::string(1 << 20, 'R') + "\n"));
        // Read what the junk got back (a query in it may have had an answer) up to ours.
        ASSERT_TRUE(c.send("*IDN?\n"));
        std::optional<std::string> line;
        while ((line = c.readLine()) && line->rfind("zvk40310,", 0) != 0) {
        }
        ASSERT_TRUE(line.has_value());
        bool tooMuch = false;
        for (int i = 0; i < 30; ++i) {
            const auto e = c.query("SYST:ERR?");
            ASSERT_TRUE(e.has_value());
            tooMuch = tooMuch || e->rfind("-223,", 0) == 0;
            if (e->rfind("0,", 0) == 0) break;
        }
        EXPECT_TRUE(tooMuch);
        EXPECT_EQ(registers(c), before);
        // Mid-command: half a line, then gone.
        ASSERT_TRUE(c.send("REG3 #H1F"));
        c.reset();
    }
    TcpClient next(port);
    EXPECT_EQ(registers(next), before);
    EXPECT_EQ(next.query("SYST:ERR?"), "0,\"No error\"");
    server->signal(SIGINT);
    EXPECT_EQ(server->wait(), 0) << server->err();
}

// One client at a time: the second is told who is in control and closed.
TEST_F(CliServe, ASecondClientIsRefused) {
    auto server = serve({"--log", file("commands.log")});
    TcpClient first(port);
    ASSERT_TRUE(first.query("*IDN?").has_value());
    TcpClient second(port);
    const auto told = second.readLine();
    ASSERT_TRUE(told.has_value());
    EXPECT_NE(told->find("another client (127.0.0.1:"), std::string::npos) << *told;
    EXPECT_FALSE(second.readLine().has_value());
    EXPECT_TRUE(second.ended());
    EXPECT_TRUE(first.query("*OPC?").has_value());
    server->signal(SIGTERM);
    EXPECT_EQ(server->wait(), 0) << server->err();
    std::ifstream log(file("commands.log"));
    std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    for (const char* entry : {" *IDN?\n", " (refused: 127.0.0.1:", " *OPC?\n", " (stopped)\n"})
        EXPECT_NE(text.find(entry), std::string::npos) << entry << "\n" << text;
}

// What serve refuses before it serves, with the exit code and the input named.
TEST_F(CliServe, RefusesBadOptionsAndAPortInUse) {
    auto server = serve();
    const std::string taken = "127.0.0.1:" + std::to_string(port);
    const struct {
        std::vector<std::string> args;
        int code;
        std::string said;
    } cases[] = {
        {{"--listen", "nonsense"}, 1, "--listen \"nonsense\""},
        {{"--listen", "127.0.0.1:70000"}, 1, "127.0.0.1:70000"},
        {{"--listen", "192.0.2.1:0"}, 1, "192.0.2.1:0 is no address of this computer"},
        {{"--listen", taken}, 2, taken + " is in use by another program"},
        {{"--idle-timeout", "-1"}, 1, "--idle-timeout \"-1\""},
        {{"--idle-timeout", "soon"}, 1, "--idle-timeout"},
        {{"--files", file("none")}, 1, "--files \"" + file("none") + "\" is not a folder"},
        {{"--log", file("none/x.log")}, 1, file("none/x.log")},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"serve", "--board", "virtual"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const test::CtlResult r = test::runCtl(args);
        EXPECT_EQ(r.code, c.code) << c.args.back() << ": " << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    // A script cannot start a server.
    std::ofstream(file("serve.txt")) << "serve\n";
    const test::CtlResult script = test::runCtl({"run", file("serve.txt"), "--board", "virtual"});
    EXPECT_EQ(script.code, 1);
    EXPECT_NE(script.err.find("line 1: serve runs on its own"), std::string::npos) << script.err;
    server->signal(SIGTERM);
    EXPECT_EQ(server->wait(), 0);
}

// Listening where other computers reach it works, and is said.
TEST_F(CliServe, ListeningBeyondTheLoopbackIsSaid) {
    CtlProcess p({"serve", "--board", "virtual", "--listen", "0.0.0.0:0", "--json"});
    const auto line = p.readLine();
    ASSERT_TRUE(line.has_value()) << p.err();
    const auto j = nlohmann::json::parse(*line);
    EXPECT_GT(j["port"].get<int>(), 0);
    EXPECT_EQ(j["listen"], "0.0.0.0:" + std::to_string(j["port"].get<int>()));
    p.signal(SIGTERM);
    EXPECT_EQ(p.wait(), 0);
    EXPECT_NE(p.err().find("other computers can reach"), std::string::npos) << p.err();
}

// Debian's PyVISA with its Python backend, as a lab's bench script uses it.
TEST_F(CliServe, PyVisaDrivesIt) {
    auto server = serve();
    const std::string script = file("bench.py");
    std::ofstream(script) << R"(import sys
import time
import pyvisa
rm = pyvisa.ResourceManager('@py')
rx = rm.open_resource('TCPIP::127.0.0.1::%s::SOCKET' % sys.argv[1],
                      read_termination='\n', write_termination='\n', timeout=10000)
print(rx.query('*IDN?'))
rx.write('MMEM:LOAD:STAT "receiver-433.cfg"')
rx.write('FREQ 433.92MHZ')
print(rx.query('FREQ?'))
# Asked until the synthesizer has settled (a few milliseconds).
for tries in range(500):
    lock = rx.query('LOCK?')
    if lock == '1':
        break
    time.sleep(0.002)
print(lock)
rx.write('FREQ 1e12')
print(rx.query('SYST:ERR?'))
print(rx.query('SYST:ERR?'))
rx.close()
)";
    const Ran r =
        runShell("/usr/bin/python3 " + test::shellQuoted(script) + " " + std::to_string(port));
    ASSERT_EQ(r.code, 0) << r.out;
    const auto lines = test::lines(r.out);
    ASSERT_EQ(lines.size(), 5u) << r.out;
    EXPECT_EQ(lines[0].rfind("zvk40310,ZVK40310,", 0), 0u) << lines[0];
    EXPECT_NEAR(std::stod(lines[1]), 433.92e6, 1e6);
    EXPECT_EQ(lines[2], "1");
    EXPECT_EQ(lines[3].rfind("-222,", 0), 0u) << lines[3];
    EXPECT_EQ(lines[4], "0,\"No error\"");
    server->signal(SIGTERM);
    EXPECT_EQ(server->wait(), 0) << server->err();
}

// lxi's raw-socket mode (it ends the command with "\n" and reads one reply).
TEST_F(CliServe, LxiReadsTheIdentity) {
    auto server = serve();
    const Ran r = runShell("lxi scpi -r -a 127.0.0.1 -p " + std::to_string(port) + " '*IDN?'");
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(r.out, std::string("zvk40310,ZVK40310,virtual-lpt 0x378,") + kProgramVersion + "\n");
    server->signal(SIGTERM);
    EXPECT_EQ(server->wait(), 0) << server->err();
}

// The example script of the documentation, as a user runs it.
TEST_F(CliServe, TheExampleSweepRuns) {
    auto server = serve();
    const Ran r =
        runShell("/usr/bin/python3 " +
                 test::shellQuoted(std::string(ZVK_SOURCE_DIR) + "/docs/examples/scpi-sweep.py") +
                 " --port " + std::to_string(port) + " --load receiver-433.cfg 400 460 20");
    ASSERT_EQ(r.code, 0) << r.out;
    const auto lines = test::lines(r.out);
    ASSERT_EQ(lines.size(), 6u) << r.out;
    EXPECT_EQ(lines[1], "f_MHz,tuned_Hz,lock");
    for (size_t i = 2; i < lines.size(); ++i) {
        const double mhz = 400 + 20 * double(i - 2);
        EXPECT_EQ(lines[i].rfind(std::to_string(int(mhz)) + ".000,", 0), 0u) << lines[i];
        EXPECT_NEAR(std::stod(lines[i].substr(lines[i].find(',') + 1)), mhz * 1e6, 1e6);
        EXPECT_EQ(lines[i].substr(lines[i].rfind(',') + 1), "1") << lines[i];
    }
    server->signal(SIGTERM);
    EXPECT_EQ(server->wait(), 0) << server->err();
}

}  // namespace
}  // namespace zvk
