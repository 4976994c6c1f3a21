// SPDX-License-Identifier: MIT
// run: a script of commands against one session, so that a status read sees what the
// write before it sent.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "base/FileRead.h"
#include "base/Text.h"
#include "cli/Cli.h"
#include "cli/Json.h"
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
    bool live = false;
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
                line.failure = o + " belongs to run, not to a line of its script";
                std::cerr << where << line.failure << "\n";
                return kBadInput;
            }
        }
        if (line.jsonLines() && (w == "--help" || w == "-h")) {
            line.failure =
                w + " prints text, and with run --json standard output carries JSON only";
            std::cerr << where << line.failure << "\n";
            return kBadInput;
        }
    }
    if (!words.empty() && (words[0] == "run" || words[0] == "serve")) {
        line.failure = words[0] == "run" ? "a script cannot run another script"
                                         : "serve runs on its own, not as a line of a script";
        std::cerr << where << line.failure << "\n";
        return kBadInput;
    }
    CLI::App app{"zvk40310ctl"};
    app.require_subcommand(1);
    addCommands(app, line);
    if (!words.empty() && !words[0].empty() && words[0][0] != '-') {
        if (const auto unknown = unknownCommand(app, words[0])) {
            line.failure = *unknown;
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

// One line of a script, run: its exit code, whether it may fail without stopping the
// script (it starts with "-"), whether its failure printed a line of its own, and whether
// standard output is gone.
struct LineRun {
    int code = kOk;
    bool mayFail = false;
    bool reported = true;
    bool outputGone = false;
};
LineRun runScriptLine(CommandContext& line, ScriptLine& scriptLine, int number) {
    LineRun r;
    auto& words = scriptLine.words;
    // A line that starts with "-" may fail without stopping the script.
    if (words && !words->empty() && (*words)[0].size() > 1 && (*words)[0][0] == '-' &&
        (*words)[0][1] != '-') {
        r.mayFail = true;
        (*words)[0].erase(0, 1);
    } else if (words && !words->empty() && (*words)[0] == "-") {
        r.mayFail = true;
        words->erase(words->begin());
    }
    line.failure.clear();
    if (!words) {
        std::cerr << "zvk40310ctl: line " << number << ": " << scriptLine.error << "\n";
        line.failure = scriptLine.error;
        r.code = kBadInput;
    } else if (!words->empty()) {
        r.code = runLine(line, *words, number, &r.reported);
    }
    try {
        flushOutput();
    } catch (const OutputFailed& e) {
        r.code = reportOutputFailure("zvk40310ctl: line " + std::to_string(number) + ": ", e,
                                     line.savedNote);
        r.reported = true;
        r.outputGone = true;
    }
    return r;
}

// The trace of the whole script, as its last line, when the options ask for it.
void finishScript(CommandContext& ctx, CommandContext& line, Script& script) {
    if (script.session) {
        nlohmann::json j;
        script.session->finishTrace(j, true);
        if (j.contains("trace")) printResult(line, true, nlohmann::json{{"trace", j["trace"]}}, {});
        if (script.held) std::cout << jsonLine(*script.held) << "\n";
        script.held.reset();
    }
    ctx.savedNote = line.savedNote;
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
    Script script{o.board, o.json, nullptr, o.script, false, false, std::nullopt};
    // Every line runs in the script; what a line saved stays said until the script ends.
    CommandContext line;
    line.script = &script;
    int worst = kOk;
    for (size_t i = 0; i < lines.size(); ++i) {
        const int number = int(i) + 1;
        const LineRun r = runScriptLine(line, lines[i], number);
        if (script.interrupted) {
            std::cerr << "zvk40310ctl: line " << number << ": interrupted; the script stops here\n";
            worst = kInterrupted;
            break;
        }
        worst = std::max(worst, r.code);
        if (r.code != kOk && (!r.mayFail || r.outputGone)) {
            // A command that failed by its exit code alone (diff, doctor, a plan that does
            // not fit, a lock that was expected) has said nothing about where it ran.
            if (!r.reported)
                std::cerr << "zvk40310ctl: line " << number << ": \"" << (*lines[i].words)[0]
                          << "\" ended with exit code " << r.code << "; the script stops here\n";
            worst = r.code;
            break;
        }
    }
    finishScript(ctx, line, script);
    return worst;
}

// run --live: lines taken as they arrive from a pipe, a terminal or a file, without a
// limit on how many; the longest line is a script's.
class LiveLines {
  public:
    explicit LiveLines(const std::string& script) : name_(script) {
        if (script == "-") {
            fd_ = 0;
        } else {
            fd_ = ::open(script.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd_ < 0)
                throw BadInput("Cannot read the script " + quotedPath(script) + ": " +
                               std::strerror(errno));
            owned_ = true;
        }
    }
    ~LiveLines() {
        if (owned_) ::close(fd_);
    }
    LiveLines(const LiveLines&) = delete;
    LiveLines& operator=(const LiveLines&) = delete;

    // The next line without its newline; nullopt at the end of the input. *tooLong tells
    // that the line was longer than a script line may be (its text is dropped).
    std::optional<std::string> next(bool* tooLong) {
        *tooLong = false;
        for (;;) {
            const size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string line = skipping_ ? std::string() : buffer_.substr(0, end);
                *tooLong = skipping_;
                skipping_ = false;
                buffer_.erase(0, end + 1);
                return firstLine(std::move(line));
            }
            if (buffer_.size() > kMaxScriptLine) {
                buffer_.clear();
                skipping_ = true;
            }
            if (ended_) {
                if (buffer_.empty() && !skipping_) return std::nullopt;
                std::string line = skipping_ ? std::string() : std::move(buffer_);
                *tooLong = skipping_;
                skipping_ = false;
                buffer_.clear();
                return firstLine(std::move(line));
            }
            char chunk[4096];
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0)
                throw BadInput("Cannot read " +
                               (name_ == "-" ? std::string("the script on standard input")
                                             : "the script " + quotedPath(name_)) +
                               ": " + std::strerror(errno));
            if (n == 0) ended_ = true;
            buffer_.append(chunk, size_t(n));
        }
    }

  private:
    // An editor's byte-order mark is no part of the first command.
    std::string firstLine(std::string line) {
        if (first_ && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
        first_ = false;
        return line;
    }
    std::string name_;
    int fd_ = -1;
    bool owned_ = false;
    std::string buffer_;
    bool skipping_ = false;
    bool ended_ = false;
    bool first_ = true;
};

// The exit code a live script ends with: the worst of its lines that may not fail.
int runLive(CommandContext& ctx, RunOptions& o) {
    if (o.board.trace == "-" && o.board.vcd == "-")
        throw BadInput("--trace and --vcd cannot both go to standard output");
    std::vector<NamedFile> inputs = {{"the settings file", settingsPathOf(o.board)}};
    if (o.script != "-") inputs.push_back({"the script", o.script});
    checkFiles(ctx, boardOutputs(o.board), inputs, o.json);
    LiveLines input(o.script);
    Script script{o.board, o.json, nullptr, o.script, false, true, std::nullopt};
    CommandContext line;
    line.script = &script;
    int worst = kOk;
    bool tooLong = false;
    for (int number = 1;; ++number) {
        const std::optional<std::string> text = input.next(&tooLong);
        if (!text) break;
        ScriptLine scriptLine;
        if (tooLong)
            scriptLine.error = "the line is longer than " + std::to_string(kMaxScriptLine) +
                               " bytes, the most a script line may hold";
        else
            scriptLine.words = shellWords(*text, scriptLine.error);
        const LineRun r = runScriptLine(line, scriptLine, number);
        if (r.outputGone) {
            worst = r.code;
            break;
        }
        // A command that failed by its exit code alone (diff, doctor, a lock that was
        // expected) has said nothing of where it ran; one whose message has no line number
        // (an N that does not fit) has said why.
        if (r.code != kOk && !r.reported && line.failure.empty()) {
            line.failure =
                "\"" + (*scriptLine.words)[0] + "\" ended with exit code " + std::to_string(r.code);
            std::cerr << "zvk40310ctl: line " << number << ": " << line.failure << "\n";
        }
        // One JSON line per command: a failure goes into the command's own object, or
        // makes the line's object when the command printed none.
        if (o.json && (r.code != kOk || script.held)) {
            nlohmann::json j = script.held ? *script.held : nlohmann::json::object();
            script.held.reset();
            if (r.code != kOk) {
                j["line"] = number;
                j["error"] = validUtf8(line.failure);
                j["exit_code"] = r.code;
            }
            std::cout << jsonLine(j) << "\n";
            try {
                flushOutput();
            } catch (const OutputFailed& e) {
                worst = reportOutputFailure("zvk40310ctl: line " + std::to_string(number) + ": ", e,
                                            line.savedNote);
                break;
            }
        }
        if (script.interrupted) {
            std::cerr << "zvk40310ctl: line " << number << ": interrupted; the script stops here\n";
            worst = kInterrupted;
            break;
        }
        if (!r.mayFail) worst = std::max(worst, r.code);
    }
    finishScript(ctx, line, script);
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
    r->add_flag("--live", o->live,
                "answer each line as it arrives and go on after a failing line, for a script "
                "that holds the program open");
    r->callback([o, &ctx] { ctx.exitCode = o->live ? runLive(ctx, *o) : runScript(ctx, *o); });
    refuseEmptyValues(r);
}

}  // namespace zvk::cli
