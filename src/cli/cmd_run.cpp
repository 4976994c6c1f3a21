// SPDX-License-Identifier: MIT
// run: a script of commands against one session, so that a status read sees what the
// write before it sent.
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/Cli.h"
#include "storage/FileText.h"

namespace zvk::cli {

std::optional<std::vector<std::string>> shellWords(const std::string& line, std::string& error) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else if (c == '#' && !inWord) {
            break;  // a comment to the end of the line
        } else if (c == '\\') {
            if (i + 1 == line.size()) {
                error = "a backslash ends the line";
                return std::nullopt;
            }
            word += line[++i];
            inWord = true;
        } else if (c == '\'') {
            const size_t end = line.find('\'', i + 1);
            if (end == std::string::npos) {
                error = "a single quote is not closed";
                return std::nullopt;
            }
            word += line.substr(i + 1, end - i - 1);
            i = end;
            inWord = true;
        } else if (c == '"') {
            // Inside double quotes a backslash escapes only \, ", $ and `.
            size_t j = i + 1;
            for (; j < line.size() && line[j] != '"'; ++j) {
                if (line[j] == '\\' && j + 1 < line.size() &&
                    std::string_view("\\\"$`").find(line[j + 1]) != std::string_view::npos)
                    ++j;
                word += line[j];
            }
            if (j >= line.size()) {
                error = "a double quote is not closed";
                return std::nullopt;
            }
            i = j;
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

namespace {

struct RunOptions {
    std::string script;
    BoardOptions board;
    bool json = false;
};

// The options that belong to run itself: a line may not change the board or the trace.
const char* const kScriptOptions[] = {"--board", "--port", "--level",     "--settings",
                                      "--trace", "--vcd",  "--trace-json"};

// One line's command: its exit code (0 for success), the reason printed on standard error.
int runLine(const std::vector<std::string>& words, int number) {
    const std::string where = "zvk40310ctl: line " + std::to_string(number) + ": ";
    for (const std::string& w : words) {
        for (const char* option : kScriptOptions) {
            const std::string o = option;
            if (w == o || w.rfind(o + "=", 0) == 0) {
                std::cerr << where << o << " belongs to run, not to a line of its script\n";
                return kBadInput;
            }
        }
    }
    if (!words.empty() && words[0] == "run") {
        std::cerr << where << "a script cannot run another script\n";
        return kBadInput;
    }
    CLI::App app{"zvk40310ctl"};
    app.require_subcommand(1);
    addCommands(app);
    // CLI11 takes the words last first.
    std::vector<std::string> args(words.rbegin(), words.rend());
    return runCommand(app, where, [&] { app.parse(args); });
}

int runScript(RunOptions& o) {
    std::string text;
    if (o.script == "-") {
        std::ostringstream in;
        in << std::cin.rdbuf();
        text = in.str();
    } else {
        std::string error;
        const auto file = readFileText(o.script, &error);
        if (!file) throw BadInput("Cannot read the script \"" + o.script + "\": " + error);
        text = *file;
    }
    if (o.board.trace == "-" && o.board.vcd == "-")
        throw BadInput("--trace and --vcd cannot both go to standard output");
    Script script{o.board, o.json, nullptr};
    g_script = &script;
    int worst = kOk;
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        std::string error;
        auto words = shellWords(line, error);
        int code = kOk;
        // A line that starts with "-" may fail without stopping the script.
        bool mayFail = false;
        if (words && !words->empty() && (*words)[0].size() > 1 && (*words)[0][0] == '-' &&
            (*words)[0][1] != '-') {
            mayFail = true;
            (*words)[0].erase(0, 1);
        } else if (words && !words->empty() && (*words)[0] == "-") {
            mayFail = true;
            words->erase(words->begin());
        }
        if (!words) {
            std::cerr << "zvk40310ctl: line " << number << ": " << error << "\n";
            code = kBadInput;
        } else if (!words->empty()) {
            code = runLine(*words, number);
        }
        std::cout.flush();
        worst = std::max(worst, code);
        if (code != kOk && !mayFail) {
            worst = code;
            break;
        }
    }
    if (script.session) {
        nlohmann::json j;
        script.session->finishTrace(j, true);
        if (j.contains("trace")) printResult(true, nlohmann::json{{"trace", j["trace"]}}, {});
    }
    g_script = nullptr;
    return worst;
}

}  // namespace

void addRunCommand(CLI::App& app) {
    auto o = std::make_shared<RunOptions>();
    CLI::App* r = app.add_subcommand(
        "run", "run the commands of a script, one per line, against one session");
    r->add_option("script", o->script, "the script file, or - for standard input")->required();
    addBoardOptions(r, o->board);
    r->add_flag("--json", o->json, "every command's output as one JSON object per line");
    r->callback([o] { g_exitCode = runScript(*o); });
}

}  // namespace zvk::cli
