// SPDX-License-Identifier: MIT
// libFuzzer target: zvk40310ctl's JSON output for arbitrary file names and file contents.
// Whatever the name's bytes and the file hold, show and export either refuse the file in
// one line or print one JSON object that parses.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"

namespace {

const std::string& scratchDir() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/zvk-fuzz-cli-XXXXXX";
        const char* made = ::mkdtemp(tmpl);
        return std::string(made != nullptr ? made : "/tmp");
    }();
    return dir;
}

// Runs one command in this process with its standard output captured.
std::string run(const std::vector<std::string>& args) {
    zvk::cli::CommandContext context;
    CLI::App app;
    app.require_subcommand(1);
    zvk::cli::addConfigCommands(app, context);
    std::vector<char*> argv;
    std::vector<std::string> words = args;
    for (std::string& w : words) argv.push_back(w.data());
    std::ostringstream out;
    std::streambuf* saved = std::cout.rdbuf(out.rdbuf());
    try {
        app.parse(int(argv.size()), argv.data());
    } catch (const CLI::ParseError&) {
    } catch (const zvk::cli::BadInput&) {
    } catch (const zvk::cli::Unreachable&) {
    }
    std::cout.rdbuf(saved);
    return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte: how many of the following bytes name the file; the rest is its text.
    const size_t n = std::min<size_t>(data[0], size - 1);
    std::string name(reinterpret_cast<const char*>(data + 1), n);
    for (char& c : name)
        if (c == '/' || c == '\0') c = '_';
    if (name.empty() || name == "." || name == "..") name = "x";
    const std::string path = scratchDir() + "/" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data + 1 + n), std::streamsize(size - 1 - n));

    for (const auto& args :
         {std::vector<std::string>{"zvk40310ctl", "show", path, "--json"},
          std::vector<std::string>{"zvk40310ctl", "export", path, "--format", "json"}}) {
        const std::string out = run(args);
        if (out.empty()) continue;  // refused in one line on standard error
        const auto j = nlohmann::json::parse(out, nullptr, false);
        if (j.is_discarded() || !j.is_object()) __builtin_trap();
    }
    ::unlink(path.c_str());
    return 0;
}
