// SPDX-License-Identifier: MIT
#pragma once
// Runs zvk40310ctl as a user runs it: a separate process, its standard output, standard
// error and exit code. The binary's path comes from the build (ZVK_CTL_PATH).
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
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

inline CtlResult runCtl(const std::vector<std::string>& args) {
    char errPath[] = "/tmp/zvk-ctl-err-XXXXXX";
    const int fd = mkstemp(errPath);
    if (fd >= 0) close(fd);
    std::string cmd = shellQuoted(ZVK_CTL_PATH);
    for (const std::string& a : args) cmd += " " + shellQuoted(a);
    cmd += " 2>" + shellQuoted(errPath) + " </dev/null";
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
    return r;
}

// The arguments of a command line split at blanks (none of ours quote anything).
inline std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> v;
    std::istringstream ss(line);
    for (std::string w; ss >> w;) v.push_back(w);
    return v;
}

// A command line as one text, e.g. runCtl("plan --rf 384 --json"). An argument that is
// empty or holds a blank needs the list form. (A braced list of two texts is ambiguous
// between both forms and does not compile: write it as one line.)
inline CtlResult runCtl(const std::string& line) {
    return runCtl(words(line));
}

}  // namespace zvk::test
