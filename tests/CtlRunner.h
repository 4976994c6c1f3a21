// SPDX-License-Identifier: MIT
#pragma once
// Runs zvk40310ctl as a user runs it: a separate process, its standard output, standard
// error and exit code. The binary's path comes from the build (ZVK_CTL_PATH) unless ZVK_CTL
// names another. A sanitizer's report in the child fails the test whatever it expected.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace zvk::test {

struct CtlResult {
    int code = -1;
    std::string out, err;
    nlohmann::json json() const { return nlohmann::json::parse(out); }
};

inline std::string shellQuoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string ctlPath() {
    const char* chosen = std::getenv("ZVK_CTL");
    return chosen != nullptr && *chosen != '\0' ? chosen : ZVK_CTL_PATH;
}

// A sanitized child stops at its first finding with an exit code no command uses.
constexpr int kSanitizerExit = 86;

inline void checkNoSanitizerReport(const std::vector<std::string>& args, int code,
                                   const std::string& err) {
    const bool reported = code == kSanitizerExit || err.find("Sanitizer") != std::string::npos ||
                          err.find("runtime error:") != std::string::npos;
    if (!reported) return;
    std::string line;
    for (const std::string& a : args) line.append(" ").append(a);
    ADD_FAILURE() << "zvk40310ctl" << line << ": sanitizer report\n" << err;
}

inline CtlResult runCtl(const std::vector<std::string>& args) {
    char errPath[] = "/tmp/zvk-ctl-err-XXXXXX";
    const int fd = mkstemp(errPath);
    if (fd >= 0) close(fd);
    // (Built up by append: GCC 12 at -O3 sees a false overlap in a chain of operator+.)
    std::string cmd = "ASAN_OPTIONS=${ASAN_OPTIONS:-exitcode=86} ";
    cmd.append("UBSAN_OPTIONS=${UBSAN_OPTIONS:-exitcode=86:print_stacktrace=1} ");
    cmd.append(shellQuoted(ctlPath()));
    for (const std::string& a : args) cmd.append(" ").append(shellQuoted(a));
    cmd.append(" 2>").append(shellQuoted(errPath)).append(" </dev/null");
    CtlResult r;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
        const int status = pclose(p);
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::stringstream err;
    err << std::ifstream(errPath).rdbuf();
    r.err = err.str();
    std::filesystem::remove(errPath);
    checkNoSanitizerReport(args, r.code, r.err);
    return r;
}

// The arguments of a command line split at blanks (none of ours quote anything).
inline std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> v;
    std::istringstream ss(line);
    for (std::string w; ss >> w;) v.push_back(w);
    return v;
}

// An output's lines, without their line ends.
inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> v;
    std::istringstream ss(text);
    for (std::string l; std::getline(ss, l);) v.push_back(l);
    return v;
}

// A command line as one text, e.g. runCtl("plan --rf 384 --json"). An argument that is
// empty or holds a blank needs the list form. (A braced list of two texts is ambiguous
// between both forms and does not compile: write it as one line.)
inline CtlResult runCtl(const std::string& line) {
    return runCtl(words(line));
}

}  // namespace zvk::test
