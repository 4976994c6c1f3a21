// SPDX-License-Identifier: MIT
// libFuzzer target: what zvk40310ctl takes from files and script lines besides the
// configuration file itself. The first byte picks the reader, the rest is its input:
//   0  import of a register map (.json), 1 import of a register map (.csv): a map that
//      imports gives a configuration file that loads, and its export imports again to the
//      same file;
//   2  set: a configuration file's text, then NAME=VALUE lines: a refused set leaves the
//      file byte for byte as it was, one that succeeds leaves a file that loads;
//   3  a script's lines split into words: the words quoted again split into the same words;
//   4  a sweep list: what it gives is at most the limit of finite numbers.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "session/Sweep.h"
#include "storage/ConfigFile.h"
#include "storage/FileText.h"

namespace {

const std::string& scratchDir() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/zvk-fuzz-input-XXXXXX";
        const char* made = ::mkdtemp(tmpl);
        return std::string(made != nullptr ? made : "/tmp");
    }();
    return dir;
}

std::string put(const std::string& name, const std::string& text) {
    const std::string path = scratchDir() + "/" + name;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    return path;
}

// One command of zvk40310ctl in this process: whether it succeeded, and its standard output.
bool run(std::vector<std::string> args, std::string* out = nullptr) {
    zvk::cli::CommandContext context;
    CLI::App app;
    app.require_subcommand(1);
    zvk::cli::addConfigCommands(app, context);
    zvk::cli::refuseEmptyValues(&app);
    args.insert(args.begin(), "zvk40310ctl");
    std::vector<char*> argv;
    for (std::string& w : args) argv.push_back(w.data());
    // Standard output into a file for the command's time: its text goes out through
    // std::cout and printf alike.
    std::cout.flush();
    std::fflush(stdout);
    const std::string capture = scratchDir() + "/stdout";
    const int saved = ::dup(1);
    const int file = ::open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ::dup2(file, 1);
    ::close(file);
    bool ok = true;
    try {
        app.parse(int(argv.size()), argv.data());
    } catch (const CLI::ParseError&) {
        ok = false;
    } catch (const zvk::cli::BadInput&) {
        ok = false;
    } catch (const zvk::cli::Unreachable&) {
        ok = false;
    }
    std::cout.flush();
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(saved);
    if (out != nullptr) *out = zvk::readFileText(capture).value_or("");
    return ok;
}

void importMap(const std::string& text, const char* extension) {
    const std::string map = put(std::string("map.") + extension, text);
    const std::string cfg = scratchDir() + "/imported.cfg";
    ::unlink(cfg.c_str());
    if (!run({"import", map, "-o", cfg})) return;
    zvk::Config c;
    if (zvk::loadConfig(cfg, c)) __builtin_trap();
    // What export writes of it imports to the same file again.
    std::string exported;
    if (!run({"export", cfg, "--format", extension}, &exported)) __builtin_trap();
    const std::string again = scratchDir() + "/again.cfg";
    if (!run({"import", put(std::string("again.") + extension, exported), "-o", again}))
        __builtin_trap();
    zvk::Config back;
    if (zvk::loadConfig(again, back)) __builtin_trap();
    if (zvk::configText(back, "", "", "") != zvk::configText(c, "", "", "")) __builtin_trap();
}

void setFields(const std::string& input) {
    // The file's text up to the first NUL, then one assignment per line.
    const size_t split = input.find('\0');
    const std::string cfg = put("set.cfg", input.substr(0, split));
    const std::string before = zvk::readFileText(cfg).value_or("");
    std::vector<std::string> args = {"set", cfg};
    if (split != std::string::npos) {
        std::istringstream lines(input.substr(split + 1));
        for (std::string line; std::getline(lines, line);) args.push_back(line);
    }
    if (args.size() == 2) args.push_back("OPMODE=1");
    if (!run(args)) {
        if (zvk::readFileText(cfg).value_or("") != before) __builtin_trap();
        return;
    }
    zvk::Config c;
    if (zvk::loadConfig(cfg, c)) __builtin_trap();
}

std::string singleQuoted(const std::string& word) {
    std::string q = "'";
    for (char ch : word) q += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return q + "'";
}

void splitScript(const std::string& text) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::string error;
        const auto words = zvk::cli::shellWords(line, error);
        if (!words) {
            if (error.empty()) __builtin_trap();
            continue;
        }
        std::string again;
        for (const std::string& w : *words) again += singleQuoted(w) + " ";
        const auto same = zvk::cli::shellWords(again, error);
        if (!same || *same != *words) __builtin_trap();
    }
}

void readList(const std::string& text) {
    std::vector<double> f;
    if (zvk::readSweepList(put("list.csv", text), f)) return;
    if (f.empty() || f.size() > zvk::kMaxSweepPoints) __builtin_trap();
    for (double v : f)
        if (!std::isfinite(v)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 5) {
        case 0:
            importMap(input, "json");
            break;
        case 1:
            importMap(input, "csv");
            break;
        case 2:
            setFields(input);
            break;
        case 3:
            splitScript(input);
            break;
        default:
            readList(input);
            break;
    }
    return 0;
}
