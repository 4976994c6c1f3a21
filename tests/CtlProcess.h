// SPDX-License-Identifier: MIT
#pragma once
// zvk40310ctl as a running process the test talks to while it runs: its standard input
// written line by line, its standard output read as it comes, a signal sent, its exit
// code waited for. (CtlRunner runs a command to its end.)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "CtlRunner.h"

namespace zvk::test {

class CtlProcess {
  public:
    explicit CtlProcess(const std::vector<std::string>& args,
                        const std::string& workingDir = std::string()) {
        char errPath[] = "/tmp/zvk-ctl-err-XXXXXX";
        const int errFd = mkstemp(errPath);
        errPath_ = errPath;
        args_ = args;
        int in[2];
        int out[2];
        if (errFd < 0 || ::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::dup2(errFd, 2);
            if (!workingDir.empty() && ::chdir(workingDir.c_str()) != 0) ::_exit(127);
            ::setenv("ASAN_OPTIONS", "exitcode=86", 0);
            ::setenv("UBSAN_OPTIONS", "exitcode=86:print_stacktrace=1", 0);
            const std::string path = ctlPath();
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(path.c_str()));
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(path.c_str(), argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        ::close(errFd);
        in_ = in[1];
        out_ = out[0];
    }
    ~CtlProcess() {
        closeInput();
        if (pid_ > 0 && code_ == kRunning) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
        std::filesystem::remove(errPath_);
    }
    CtlProcess(const CtlProcess&) = delete;
    CtlProcess& operator=(const CtlProcess&) = delete;

    bool started() const { return pid_ > 0; }
    bool write(const std::string& text) {
        size_t at = 0;
        while (at < text.size()) {
            const ssize_t n = ::write(in_, text.data() + at, text.size() - at);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            at += size_t(n);
        }
        return true;
    }
    void closeInput() {
        if (in_ >= 0) ::close(in_);
        in_ = -1;
    }
    // The next line of standard output; nullopt at its end, or when none comes for a long
    // time (a process that waits for more input than it should fails the test, not hangs it).
    std::optional<std::string> readLine() {
        for (int tries = 0; tries < 600; ++tries) {
            const size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            if (ended_) return std::nullopt;
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char chunk[4096];
            const ssize_t n = ::read(out_, chunk, sizeof chunk);
            if (n <= 0) {
                ended_ = true;
            } else {
                buffer_.append(chunk, size_t(n));
            }
        }
        return std::nullopt;
    }
    void signal(int number) {
        if (pid_ > 0) ::kill(pid_, number);
    }
    // The exit code once the process ends (-1 when a signal ended it); the lines of
    // standard output not read yet go to rest.
    int wait() {
        if (code_ != kRunning) return code_;
        closeInput();
        while (auto line = readLine()) rest.push_back(*line);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        checkNoSanitizerReport(args_, code_, err());
        return code_;
    }
    // What the process wrote on standard error so far.
    std::string err() const {
        std::stringstream s;
        s << std::ifstream(errPath_).rdbuf();
        return s.str();
    }

    std::vector<std::string> rest;

  private:
    static constexpr int kRunning = -1000;
    std::vector<std::string> args_;
    std::string errPath_;
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    std::string buffer_;
    bool ended_ = false;
    int code_ = kRunning;
};

}  // namespace zvk::test
