// SPDX-License-Identifier: MIT
#pragma once
// The examples of a manual page as a shell would take them: the lines of the .EX blocks of
// its EXAMPLES section, with the roff escapes resolved and continued lines joined, so that
// a test runs exactly what the manual shows.
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zvk::test {

inline std::string unRoff(const std::string& line) {
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '\\' || i + 1 >= line.size()) {
            out += line[i];
            continue;
        }
        const char next = line[++i];
        if (next == '-') {
            out += '-';
        } else if (next == 'e') {
            out += '\\';
        } else if (next == '~' || next == ' ') {
            out += ' ';
        } else if (next == '&') {
        } else if (next == '(' && line.compare(i + 1, 2, "ti") == 0) {
            out += '~';
            i += 2;
        } else {
            out += '\\';
            out += next;
        }
    }
    return out;
}

// A command line split at blanks, as the examples need no quoting.
inline std::vector<std::string> exampleWords(const std::string& line) {
    std::vector<std::string> v;
    std::istringstream ss(line);
    for (std::string w; ss >> w;) v.push_back(w);
    return v;
}

inline std::vector<std::string> manPageExamples(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> commands;
    bool inExamples = false, inBlock = false;
    std::string pending;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(".SH", 0) == 0) {
            inExamples = line.find("EXAMPLES") != std::string::npos;
            continue;
        }
        if (!inExamples) continue;
        if (line == ".EX") {
            inBlock = true;
        } else if (line == ".EE") {
            inBlock = false;
        } else if (inBlock && !line.empty() && line[0] != '.') {
            std::string text = unRoff(line);
            // A backslash at the end continues the command on the next line.
            if (!text.empty() && text.back() == '\\') {
                text.pop_back();
                pending += text;
                continue;
            }
            commands.push_back(pending + text);
            pending.clear();
        }
    }
    return commands;
}

}  // namespace zvk::test
