// SPDX-License-Identifier: MIT
// run: a script of commands against one session, so that a status read sees what the
// write before it sent.
#include <cerrno>
#include <iostream>

#include "base/FileRead.h"
#include "base/Text.h"
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

// The longest line a script may have: far more than any command line needs, and a file
// of random bytes is refused at its first long line rather than split into words.
constexpr size_t kMaxScriptLine = 65536;

// The options that belong to run itself: a line may not change the board or the trace.
const char* const kScriptOptions[] = {"--board", "--port", "--level",     "--settings",
                                      "--trace", "--vcd",  "--trace-json"};

// One line's command, run in the script's line context: its exit code (0 for success), the
// reason printed on standard error; *reported tells whether a failure printed its line.
int runLine(CommandContext& line, const std::vector<std::string>& words, int number,
            bool* reported) {
    *reported = true;
    const std::string where = "zvk40310ctl: line " + std::to_string(number) + ": ";
    for (const std::string& w : words) {
        for (const char* option : kScriptOptions) {
            const std::string o = option;
            if (w == o || w.rfind(o + "=", 0) == 0) {
                std::cerr << where << o << " belongs to run, not to a line of its script\n";
                return kBadInput;
            }
        }
        if (line.jsonLines() && (w == "--help" || w == "-h")) {
            std::cerr << where << w
                      << " prints text, and with run --json standard output carries JSON only\n";
            return kBadInput;
        }
    }
    if (!words.empty() && words[0] == "run") {
        std::cerr << where << "a script cannot run another script\n";
        return kBadInput;
    }
    CLI::App app{"zvk40310ctl"};
    app.require_subcommand(1);
    addCommands(app, line);
    if (!words.empty() && !words[0].empty() && words[0][0] != '-') {
        if (const auto unknown = unknownCommand(app, words[0])) {
            std::cerr << where << *unknown << "\n";
            return kBadInput;
        }
    }
    // CLI11 takes the words last first.
    std::vector<std::string> args(words.rbegin(), words.rend());
    return runCommand(
        app, line, where, [&] { app.parse(args); }, reported);
}

// The script's text: a file or standard input, within the limits of a script.
std::string scriptText(const std::string& script) {
    ReadFailure failure;
    std::optional<std::string> text;
    if (script == "-") {
        text = readDescriptor(0, size_t(kMaxFileSize), &failure);
    } else {
        std::string error;
        int number = 0;
        text = readFileText(script, &error, &number);
        failure = {number, error};
    }
    const std::string name =
        script == "-" ? "the script on standard input" : "the script " + quotedPath(script);
    if (!text && failure.number == EFBIG)
        throw BadInput(name + " holds more than 16 MiB, the most a script may hold");
    if (!text) throw BadInput("Cannot read " + name + ": " + failure.reason);
    // An editor's byte-order mark is no part of the first command.
    if (text->rfind("\xEF\xBB\xBF", 0) == 0) text->erase(0, 3);
    return *text;
}

// The script's lines, each with the words of its command (nullopt and the reason for a
// line that does not split). A script without any command is refused: running nothing is
// no success.
struct ScriptLine {
    std::optional<std::vector<std::string>> words;
    std::string error;
};
std::vector<ScriptLine> scriptLines(const std::string& text, const std::string& script) {
    std::vector<ScriptLine> lines;
    bool anyCommand = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const size_t length = end - pos;
        if (length > kMaxScriptLine)
            throw BadInput("line " + std::to_string(lines.size() + 1) +
                           " of the script is longer than " + std::to_string(kMaxScriptLine) +
                           " bytes, the most a script line may hold");
        ScriptLine line;
        line.words = shellWords(text.substr(pos, length), line.error);
        anyCommand = anyCommand || !line.words || !line.words->empty();
        lines.push_back(std::move(line));
        pos = end + 1;
    }
    if (!anyCommand)
        throw BadInput((script == "-" ? std::string("the script on standard input")
                                      : "the script " + quotedPath(script)) +
                       " is empty: it holds no command");
    return lines;
}

int runScript(CommandContext& ctx, RunOptions& o) {
    if (o.board.trace == "-" && o.board.vcd == "-")
        throw BadInput("--trace and --vcd cannot both go to standard output");
    const std::string text = scriptText(o.script);
    std::vector<ScriptLine> lines = scriptLines(text, o.script);
    // The script's own outputs can be written before its first line runs.
    std::vector<NamedFile> inputs = {{"the settings file", settingsPathOf(o.board)}};
    if (o.script != "-") inputs.push_back({"the script", o.script});
    checkFiles(ctx, boardOutputs(o.board), inputs, o.json);
    Script script{o.board, o.json, nullptr, o.script, false};
    // Every line runs in the script; what a line saved stays said until the script ends.
    CommandContext line;
    line.script = &script;
    int worst = kOk;
    for (size_t i = 0; i < lines.size(); ++i) {
        const int number = int(i) + 1;
        auto& words = lines[i].words;
        int code = kOk;
        bool reported = true;
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
            std::cerr << "zvk40310ctl: line " << number << ": " << lines[i].error << "\n";
            code = kBadInput;
        } else if (!words->empty()) {
            code = runLine(line, *words, number, &reported);
        }
        bool outputGone = false;
        try {
            flushOutput();
        } catch (const OutputFailed& e) {
            code = reportOutputFailure("zvk40310ctl: line " + std::to_string(number) + ": ", e,
                                       line.savedNote);
            reported = true;
            outputGone = true;
        }
        if (script.interrupted) {
            std::cerr << "zvk40310ctl: line " << number << ": interrupted; the script stops here\n";
            worst = kInterrupted;
            break;
        }
        worst = std::max(worst, code);
        if (code != kOk && (!mayFail || outputGone)) {
            // A command that failed by its exit code alone (diff, doctor, a plan that does
            // not fit, a lock that was expected) has said nothing about where it ran.
            if (!reported)
                std::cerr << "zvk40310ctl: line " << number << ": \"" << (*words)[0]
                          << "\" ended with exit code " << code << "; the script stops here\n";
            worst = code;
            break;
        }
    }
    if (script.session) {
        nlohmann::json j;
        script.session->finishTrace(j, true);
        if (j.contains("trace")) printResult(line, true, nlohmann::json{{"trace", j["trace"]}}, {});
    }
    ctx.savedNote = line.savedNote;
    return worst;
}

}  // namespace

void addRunCommand(CLI::App& app, CommandContext& ctx) {
    auto o = std::make_shared<RunOptions>();
    CLI::App* r = app.add_subcommand(
        "run", "run the commands of a script, one per line, against one session");
    r->add_option("script", o->script, "the script file, or - for standard input")->required();
    addBoardOptions(r, o->board);
    r->add_flag("--json", o->json, "every command's output as one JSON object per line");
    r->callback([o, &ctx] { ctx.exitCode = runScript(ctx, *o); });
    refuseEmptyValues(r);
}

}  // namespace zvk::cli
