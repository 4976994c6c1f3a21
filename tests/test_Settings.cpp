// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "TempDir.h"
#include "storage/FileText.h"
#include "storage/Settings.h"

namespace zvk {
namespace {

namespace fs = std::filesystem;

// The settings file in a fresh directory per test.
class SettingsFile : public test::TempDir {
  protected:
    SettingsFile() : TempDir("zvk-settings") {}
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TempDir::SetUp());
        path = file("zvk40310.INI");
    }
    void put(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    std::string contents() const { return readFileText(path).value_or("<unreadable>"); }
    std::vector<std::string> nonBlankLines() const {
        std::vector<std::string> lines;
        std::istringstream in(contents());
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) lines.push_back(line);
        return lines;
    }

    std::string path;
};

TEST_F(SettingsFile, DefaultStateWritesEverySectionAndKeyInOrder) {
    Settings s;
    s.width = 490;
    s.height = 580;
    ASSERT_EQ(writeSettings(path, s), std::nullopt);
    const std::vector<std::string> expected = {
        "[Form]",     "Top=100",     "Left=100",    "Width=490", "Height=580", "[Port]",
        "Adr=0x0378", "SPICLK=0x01", "SPIDTA=0x02", "SDEN=0x00", "Trig=0x07",  "[USBSPI]",
        "VPWM=5000",  "DEL=50",      "[CFG]",       "SPISEL=0",  "FRF=384",    "PLLMUX=0",
        "FXTAL=10",   "INJLO1=10",   "Level=1",     "[CWR]",     "0=0",        "1=0",
        "2=0",        "3=0",         "4=0",         "5=0",       "6=0",        "7=0",
    };
    EXPECT_EQ(nonBlankLines(), expected);
}

TEST_F(SettingsFile, MissingFileGivesDefaultsAndSaysSo) {
    bool existed = true;
    const Settings s = readSettings(path, &existed);
    EXPECT_FALSE(existed);
    EXPECT_EQ(s.adr, 0x378);
    EXPECT_EQ(s.frf, 384.0);
    EXPECT_EQ(s.injlo1, 10);
    EXPECT_TRUE(s.level);
    put("");
    readSettings(path, &existed);
    EXPECT_TRUE(existed);
}

// Each case is a whole file and the one value it must give.
struct ReadCase {
    const char* text;
    std::function<long long(const Settings&)> get;
    long long expected;
};

TEST_F(SettingsFile, ReadingRules) {
    auto adr = [](const Settings& s) { return static_cast<long long>(s.adr); };
    auto injlo1 = [](const Settings& s) { return static_cast<long long>(s.injlo1); };
    auto pllmux = [](const Settings& s) { return static_cast<long long>(s.pllmux); };
    auto cwr = [](int i) {
        return [i](const Settings& s) { return static_cast<long long>(s.cwr[size_t(i)]); };
    };
    auto spisel = [](const Settings& s) { return static_cast<long long>(s.spisel); };
    auto level = [](const Settings& s) { return static_cast<long long>(s.level); };
    auto width = [](const Settings& s) { return static_cast<long long>(s.width); };
    auto vpwm = [](const Settings& s) { return static_cast<long long>(s.vpwm); };
    const ReadCase cases[] = {
        {"[Port]\nAdr=0x3BC\n", adr, 0x3BC},
        {"[Port]\nAdr=0X3BC\n", adr, 0x3BC},
        {"[Port]\nAdr=956\n", adr, 0x3BC},
        {"[Port]\nAdr=3BC\n", adr, 0x378},
        {"[Port]\nAdr=0x\n", adr, 0x378},
        {"[Port]\nAdr=0x-3BC\n", adr, 0x378},
        {"[Port]\nAdr=\n", adr, 0x378},
        {"[Port]\nAdr=99999999999\n", adr, 0x378},
        {"[Port]\nAdr=0x0\n", adr, 0},  // start-up turns 0 into 0x378, not the reader
        {"[port]\nADR=0x278\n", adr, 0x278},
        {"[PORT]\r\nadr = 0x278 \r\n", adr, 0x278},
        {"[Port]\nAdr=0x3BC\n[CFG]\n", injlo1, 10},
        {"[CFG]\nINJLO1=0\n", injlo1, 0},
        {"[CFG]\nINJLO1=65537\n", injlo1, 1},
        {"[CFG]\nINJLO1=-1\n", injlo1, -1},
        {"[CFG]\nPLLMUX=0x10005\n", pllmux, 5},
        {"[CFG]\nPLLMUX=9\n", pllmux, 9},  // not range-limited when read
        {"[CWR]\n1=2292\n", cwr(1), 0x8F4},
        {"[CWR]\n7=-1\n", cwr(7), 0xFFFF},
        {"[CWR]\n3=-28672\n", cwr(3), 0x9000},
        {"[CWR]\n2=70000\n", cwr(2), 70000 & 0xFFFF},
        {"[CWR]\n4=x\n", cwr(4), 0},
        {"[CFG]\nSPISEL=1\n", spisel, 1},
        {"[CFG]\nSPISEL=2\n", spisel, 1},
        {"[CFG]\nSPISEL=0\n", spisel, 0},
        {"[CFG]\nSPISEL=yes\n", spisel, 0},
        {"[CFG]\nLevel=0\n", level, 0},
        {"[CFG]\nLevel=abc\n", level, 1},
        {"[Form]\nWidth=900\n", width, 900},
        {"[USBSPI]\nVPWM=3300\n", vpwm, 3300},
        // the pin map is fixed: these keys are never read
        {"[Port]\nSPICLK=0x05\nAdr=0x278\n", adr, 0x278},
    };
    for (const ReadCase& c : cases) {
        put(c.text);
        EXPECT_EQ(c.get(readSettings(path)), c.expected) << c.text;
    }
}

TEST_F(SettingsFile, FloatingPointReadingRules) {
    struct Case {
        const char* text;
        double frf, fxtal;
    };
    const Case cases[] = {
        {"[CFG]\nFRF=433.92\nFXTAL=12.8\n", 433.92, 12.8},
        {"[cfg]\nfrf=1e3\nfxtal=+9.5\n", 1000.0, 9.5},
        {"[CFG]\nFRF=abc\n", 384.0, 10.0},
        {"[CFG]\nFRF=\n", 384.0, 10.0},
        {"[CFG]\nFRF=433,92\nFXTAL=10.0MHz\n", 384.0, 10.0},
        {"[CFG]\nFRF=inf\nFXTAL=nan\n", 384.0, 10.0},
        {"[CFG]\nFRF=1e999\n", 384.0, 10.0},
    };
    for (const Case& c : cases) {
        put(c.text);
        const Settings s = readSettings(path);
        EXPECT_EQ(s.frf, c.frf) << c.text;
        EXPECT_EQ(s.fxtal, c.fxtal) << c.text;
    }
}

TEST_F(SettingsFile, ValueFormsRoundTrip) {
    Settings s;
    s.top = -20;
    s.left = 1500;
    s.adr = 0x3BC;
    s.vpwm = 3300;
    s.del = 7;
    s.spisel = true;
    s.frf = 433.92;
    s.pllmux = 7;
    s.fxtal = 12.8;
    s.injlo1 = -1;
    s.level = false;
    s.cwr = {0x08C, 0x8F4, 0xF14, 0x100, 0x04B, 0x2AC, 0x8000, 0xFFFF};
    ASSERT_EQ(writeSettings(path, s), std::nullopt);
    const std::string text = contents();
    for (const char* line : {"Adr=0x03BC\n", "SPISEL=1\n", "FRF=433.92\n", "FXTAL=12.8\n",
                             "INJLO1=-1\n", "Level=0\n", "1=2292\n", "6=-32768\n", "7=-1\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;

    const Settings r = readSettings(path);
    EXPECT_EQ(r.top, s.top);
    EXPECT_EQ(r.left, s.left);
    EXPECT_EQ(r.adr, s.adr);
    EXPECT_EQ(r.vpwm, s.vpwm);
    EXPECT_EQ(r.del, s.del);
    EXPECT_EQ(r.spisel, s.spisel);
    EXPECT_EQ(r.frf, s.frf);
    EXPECT_EQ(r.pllmux, s.pllmux);
    EXPECT_EQ(r.fxtal, s.fxtal);
    EXPECT_EQ(r.injlo1, s.injlo1);
    EXPECT_EQ(r.level, s.level);
    EXPECT_EQ(r.cwr, s.cwr);
}

TEST_F(SettingsFile, FrequenciesAreWrittenInTheShortestFormOfAtMost15Digits) {
    struct Case {
        double value;
        const char* text;
        bool exact;  // reads back to the same double
    };
    const Case cases[] = {
        {433.92, "433.92", true},
        {10.0, "10", true},
        {868.3, "868.3", true},
        {0.1 + 0.2, "0.3", false},  // 17 digits would be needed: 15 are written
        {123456789.123456789, "123456789.123457", false},
        {1e20, "1e+20", true},
        {-5.5, "-5.5", true},
        // as %.15g writes them: no exponent below 1e15
        {100000.0, "100000", true},
        {1000000.0, "1000000", true},
        {0.0001, "0.0001", true},
    };
    for (const Case& c : cases) {
        Settings s;
        s.frf = c.value;
        ASSERT_EQ(writeSettings(path, s), std::nullopt);
        const std::string want = std::string("FRF=") + c.text + "\n";
        EXPECT_NE(contents().find(want), std::string::npos) << want << contents();
        if (c.exact) {
            EXPECT_EQ(readSettings(path).frf, c.value) << c.text;
        }
    }
}

TEST_F(SettingsFile, PinMapIsRestoredOnWrite) {
    put("[Port]\nAdr=0x278\nSPICLK=0x05\nSDEN=0x04\n");
    const Settings s = readSettings(path);
    ASSERT_EQ(writeSettings(path, s), std::nullopt);
    const auto lines = nonBlankLines();
    const std::vector<std::string> port(lines.begin(), lines.begin() + 6);
    EXPECT_EQ(port, (std::vector<std::string>{"[Port]", "Adr=0x0278", "SPICLK=0x01", "SDEN=0x00",
                                              "SPIDTA=0x02", "Trig=0x07"}));
}

TEST_F(SettingsFile, ForeignSectionsKeysAndCommentsSurviveAWrite) {
    const std::string original =
        "; written by hand\n"
        "\n"
        "[Tools]\n"
        "Editor=vi\n"
        "\n"
        "; the form\n"
        "[form]\n"
        "top=5\n"
        "Docked=1\n"
        "[CFG]\n"
        "# keep this note above FRF\n"
        "FRF=1.5\n"
        "Band=UHF\n"
        "[Zzz]\n"
        "a=b\n"
        "; closing remark\n";
    put(original);
    Settings s = readSettings(path);
    EXPECT_EQ(s.top, 5);
    s.frf = 433.92;
    ASSERT_EQ(writeSettings(path, s), std::nullopt);

    // Every foreign line is still there, in its old order, and our keys kept their place
    // and spelling.
    const std::vector<std::string> kept = {"; written by hand",
                                           "[Tools]",
                                           "Editor=vi",
                                           "; the form",
                                           "[form]",
                                           "top=5",
                                           "Docked=1",
                                           "[CFG]",
                                           "# keep this note above FRF",
                                           "FRF=433.92",
                                           "Band=UHF",
                                           "[Zzz]",
                                           "a=b",
                                           "; closing remark"};
    const auto lines = nonBlankLines();
    size_t at = 0;
    for (const std::string& line : lines)
        if (at < kept.size() && line == kept[at]) ++at;
    EXPECT_EQ(at, kept.size()) << "missing or out of order: " << kept[std::min(at, kept.size() - 1)]
                               << "\n"
                               << contents();
    // Keys match without regard to case: no second Top or FRF appears.
    for (const char* key : {"Top=", "top=", "FRF="}) {
        size_t n = 0;
        for (const auto& line : lines) n += line.rfind(key, 0) == 0;
        EXPECT_EQ(n, std::string(key) == "Top=" ? 0u : 1u) << key;
    }
    // A second write changes nothing more.
    const std::string once = contents();
    ASSERT_EQ(writeSettings(path, readSettings(path)), std::nullopt);
    EXPECT_EQ(contents(), once);
}

TEST_F(SettingsFile, CommentsWithoutAnyEntryAfterThemSurvive) {
    const std::string cases[] = {
        "; only a comment\n\n; and another\n",
        "  ; indented\n[Tools]\nEditor=vi\n\n; after the last key\n  # and one more\n",
    };
    for (const std::string& original : cases) {
        put(original);
        ASSERT_EQ(writeSettings(path, Settings{}), std::nullopt);
        const std::string text = contents();
        for (const char* comment : {"; only a comment\n", "; and another\n", "; indented\n",
                                    "; after the last key\n", "# and one more\n"}) {
            if (original.find(comment) == std::string::npos) continue;
            EXPECT_NE(text.find(comment), std::string::npos) << comment << "in\n" << text;
            EXPECT_EQ(text.find(comment), text.rfind(comment)) << comment << "twice in\n" << text;
        }
        EXPECT_EQ(parseSettingsText(text).adr, 0x378);
    }
}

// A section line without its closing bracket once made the keys below it land in a
// section named across lines, and each write added a line to the file.
TEST_F(SettingsFile, AnUnclosedSectionLineDoesNotGrowTheFile) {
    put("[CFG]\nFRF=433.92\n[broken\nfrf=abc\nEditor=vi\n[Port]\nAdr=0x278\n");
    const Settings s = readSettings(path);
    EXPECT_EQ(s.frf,
              433.92);  // the first of two equal keys counts; the later frf=abc is [CFG]'s too
    EXPECT_EQ(s.adr, 0x278);
    ASSERT_EQ(writeSettings(path, s), std::nullopt);
    const std::string once = contents();
    ASSERT_EQ(writeSettings(path, readSettings(path)), std::nullopt);
    EXPECT_EQ(contents(), once);
    EXPECT_NE(once.find("Editor=vi\n"), std::string::npos) << once;
    EXPECT_EQ(readSettings(path).adr, 0x278);
}

TEST_F(SettingsFile, AByteOrderMarkStaysInFront) {
    const std::string bom = "\xEF\xBB\xBF";
    for (const std::string& first : {std::string(), std::string("[broken\nFoo=1\n")}) {
        put(bom + first + "[Port]\nAdr=0x278\n");
        EXPECT_EQ(readSettings(path).adr, 0x278) << first;
        ASSERT_EQ(writeSettings(path, readSettings(path)), std::nullopt);
        const std::string once = contents();
        EXPECT_EQ(once.rfind(bom, 0), 0u) << once;
        EXPECT_EQ(once.find(bom, 1), std::string::npos) << once;
        EXPECT_EQ(readSettings(path).adr, 0x278) << once;
        ASSERT_EQ(writeSettings(path, readSettings(path)), std::nullopt);
        EXPECT_EQ(contents(), once);
    }
}

TEST_F(SettingsFile, ReplacingKeepsSymbolicLinksAndPermissions) {
    const std::string real = (dir / "real.INI").string();
    std::ofstream(real) << "[Tools]\nEditor=vi\n";
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    fs::create_symlink("real.INI", path);

    ASSERT_EQ(writeSettings(path, Settings{}), std::nullopt);
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_NE(readFileText(real).value_or("").find("Editor=vi"), std::string::npos);
    EXPECT_NE(readFileText(real).value_or("").find("Adr=0x0378"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(SettingsFile, FailedWritesNameTheFileAndLeaveNothingBehind) {
    const std::string asFile = (dir / "plain").string();
    std::ofstream(asFile) << "x";
    fs::create_directory(dir / "taken.INI");
    struct Case {
        std::string target;
        const char* reason;
    };
    const Case cases[] = {
        // (A missing folder is made: ASaveMakesTheFoldersOfAChosenFile.)
        {asFile + "/zvk.INI", "Not a directory"},
        {asFile + "/lab/zvk.INI", "Not a directory"},
        {(dir / "taken.INI").string(), "is a directory"},
        // not writable even for root
        {"/proc/zvk40310-settings-test.INI", ""},
    };
    for (const Case& c : cases) {
        const auto before = entries();
        const auto error = writeSettings(c.target, Settings{});
        ASSERT_TRUE(error.has_value()) << c.target;
        EXPECT_NE(error->find("\"" + c.target + "\""), std::string::npos) << *error;
        EXPECT_NE(error->find(c.reason), std::string::npos) << *error;
        EXPECT_EQ(entries(), before) << c.target;
    }
}

// Root writes anywhere, so the write runs in a child that gave up the capabilities that
// override file permissions, as an ordinary user would be.
TEST_F(SettingsFile, ReadOnlyDirectoryIsReportedAndTheOldFileKept) {
    const std::string old = "[Tools]\nEditor=vi\n";
    put(old);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        if (::syscall(SYS_capget, &header, data) == 0) {
            for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
                data[0].effective &= ~(1u << cap);
            ::syscall(SYS_capset, &header, data);
        }
        const std::string message = writeSettings(path, Settings{}).value_or("");
        const ssize_t n = ::write(pipeFds[1], message.data(), message.size());
        ::_exit(n == ssize_t(message.size()) ? 0 : 1);
    }
    ::close(pipeFds[1]);
    std::string message;
    char buf[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;) message.append(buf, size_t(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(message.find("\"" + path + "\""), std::string::npos) << message;
    EXPECT_NE(message.find("Permission denied"), std::string::npos) << message;
    EXPECT_EQ(contents(), old);
}

// A disk that fills up half way through: the old file must come through unchanged.
TEST_F(SettingsFile, AWriteThatRunsOutOfSpaceKeepsTheOldFile) {
    const std::string old = "[Tools]\nEditor=vi\n[CFG]\nFRF=1.5\n";
    put(old);
    const auto before = entries();

    std::optional<std::string> error;
    ASSERT_NO_FATAL_FAILURE(
        test::withFileSizeLimit(64, [&] { error = writeSettings(path, Settings{}); }));

    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find(path), std::string::npos) << *error;
    EXPECT_EQ(contents(), old);
    EXPECT_EQ(entries(), before);
}

TEST(SettingsPath, ExtensionBecomesIni) {
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/bin/zvk40310", "/usr/bin/zvk40310.INI"},
        {"/opt/zvk/zvk40310.exe", "/opt/zvk/zvk40310.INI"},
        {"/opt/zvk-3.3/zvk40310", "/opt/zvk-3.3/zvk40310.INI"},
        {"zvk40310", "zvk40310.INI"},
    };
    for (const auto& [exe, ini] : cases) EXPECT_EQ(settingsPathFor(exe), ini) << exe;
}

TEST(SettingsPath, OwnExecutableIsTheRunningProgram) {
    const std::string self = ownExecutablePath();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(self.front(), '/');
    struct stat named {
    }, running{};
    ASSERT_EQ(::stat(self.c_str(), &named), 0) << self;
    ASSERT_EQ(::stat("/proc/self/exe", &running), 0);
    EXPECT_EQ(named.st_ino, running.st_ino) << self;
    EXPECT_EQ(named.st_dev, running.st_dev) << self;
}

}  // namespace
}  // namespace zvk

namespace zvk {
namespace {

// The program's keys among a user's own notes, odd lines and a second [CWR] section: after
// a save every byte of the user's comes back unchanged, and only the program's first keys
// took the new values.
TEST_F(SettingsFile, EveryByteTheProgramDoesNotOwnSurvivesASave) {
    const std::string before = std::string(
                                   "; my bench notes\r\n"
                                   "[Form]\r\n"
                                   "Top=5\r\n"
                                   "Top=7\r\n"          // a second equal key: the first one counts
                                   "just a line\r\n"    // no '=' at all
                                   "=orphan value\r\n"  // no key
                                   "\r\n"
                                   "[Lab]\r\n"
                                   "Scope=DSO") +
                               std::string(1, '\0') +  // a NUL byte and what follows it
                               "8104\r\n"
                               "[CWR]\r\n"
                               "0=141\r\n"
                               "[CFG]\r\n"
                               "FRF = 384\r\n"
                               "[CWR]\r\n"
                               "0=999\r\n"  // a second [CWR] section: its key is the second one
                               "; end";     // no line ending at the end
    put(before);
    Settings s = readSettings(path);
    EXPECT_EQ(s.top, 5);
    EXPECT_EQ(s.cwr[0], 141);
    s.top = 42;
    s.frf = 433.92;
    s.cwr[0] = 2292;
    ASSERT_EQ(writeSettings(path, s), std::nullopt);
    const std::string after = contents();

    // The user's lines, in their order and with their CR LF, before the first added key.
    std::string expected = before;
    auto replace = [&expected](const std::string& from, const std::string& to) {
        const auto at = expected.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        expected.replace(at, from.size(), to);
    };
    replace("Top=5\r\n", "Top=42\r\n");
    replace("0=141\r\n", "0=2292\r\n");
    replace("FRF = 384\r\n", "FRF = 433.92\r\n");
    // Every line of that text stands in the saved file in the same order; what the save
    // added are the program's missing keys, each a line of its own.
    size_t at = 0;
    size_t pos = 0;
    while (pos < expected.size()) {
        const size_t end = expected.find("\r\n", pos);
        const std::string line =
            expected.substr(pos, end == std::string::npos ? std::string::npos : end + 2 - pos);
        const size_t found = after.find(line, at);
        ASSERT_NE(found, std::string::npos) << "lost: " << line << "\nin\n" << after;
        at = found + line.size();
        pos = end == std::string::npos ? expected.size() : end + 2;
    }
    EXPECT_NE(after.find("Top=7\r\n"), std::string::npos);
    EXPECT_NE(after.find("0=999\r\n"), std::string::npos);
    EXPECT_EQ(after.find("\n\n"), std::string::npos) << "only the file's own CR LF: " << after;
    EXPECT_EQ(readSettings(path).top, 42);
    EXPECT_EQ(readSettings(path).cwr[0], 2292);
    // A second save changes nothing.
    ASSERT_EQ(writeSettings(path, readSettings(path)), std::nullopt);
    EXPECT_EQ(contents(), after);
}

TEST_F(SettingsFile, AUtf16FileIsReadAndWrittenAsUtf16) {
    // Little-endian as Windows writes it, big-endian as some editors do: each stays in its
    // own byte order rather than ending up in two encodings.
    for (const bool big : {false, true}) {
        SCOPED_TRACE(big ? "big-endian" : "little-endian");
        auto utf16 = [big](const std::string& ascii) {
            std::string out = big ? "\xFE\xFF" : "\xFF\xFE";
            for (char c : ascii) out += big ? std::string{'\0', c} : std::string{c, '\0'};
            return out;
        };
        put(utf16("[Port]\r\nAdr=0x278\r\n[Notes]\r\nWho=me\r\n"));
        Settings s = readSettings(path);
        EXPECT_EQ(s.adr, 0x278);
        s.adr = 0x3BC;
        ASSERT_EQ(writeSettings(path, s), std::nullopt);
        const std::string after = contents();
        EXPECT_EQ(after.rfind(utf16(""), 0), 0u);
        EXPECT_NE(after.find(utf16("Adr=0x03BC\r\n").substr(2)), std::string::npos);
        EXPECT_NE(after.find(utf16("[Notes]\r\nWho=me\r\n").substr(2)), std::string::npos);
        EXPECT_NE(after.find(utf16("[CFG]\r\nSPISEL=0\r\n").substr(2)), std::string::npos);
        EXPECT_EQ(readSettings(path).adr, 0x3BC);
    }
}

TEST_F(SettingsFile, OnlyAMissingFileMeansTheDefaults) {
    ASSERT_EQ(::mkfifo(file("fifo.INI").c_str(), 0600), 0);
    fs::create_directory(dir / "folder.INI");
    fs::create_symlink("/dev/zero", dir / "device.INI");
    fs::create_symlink("loop.INI", dir / "loop.INI");
    fs::create_symlink("made.INI", dir / "dangling.INI");
    const std::string big = file("big.INI");
    std::ofstream(big) << "[USBSPI]\nVPWM=3300\n";
    fs::resize_file(big, uintmax_t(kMaxFileSize) + 1);
    struct Case {
        std::string path;
        const char* says;  // "" for the defaults without a word
    };
    const Case cases[] = {
        {file("fifo.INI"), "FIFO"},
        {file("folder.INI"), "directory"},
        {file("device.INI"), "device"},
        {file("loop.INI"), "Too many levels of symbolic links"},
        {big, "16 MiB"},
        {file("missing.INI"), ""},
        // A link to a file not made yet: the first save makes it.
        {file("dangling.INI"), ""},
    };
    for (const Case& c : cases) {
        bool existed = true;
        std::string error;
        const Settings s = readSettings(c.path, &existed, &error);
        EXPECT_EQ(s.vpwm, Settings{}.vpwm) << c.path;
        if (c.says[0] == '\0') {
            EXPECT_EQ(error, "") << c.path;
            EXPECT_FALSE(existed) << c.path;
            continue;
        }
        EXPECT_TRUE(existed) << c.path;
        EXPECT_NE(error.find("Cannot read the settings file \"" + c.path + "\""), std::string::npos)
            << error;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        // Nor is it replaced by the defaults at the next save.
        EXPECT_TRUE(writeSettings(c.path, s).has_value()) << c.path;
    }
    EXPECT_TRUE(fs::is_fifo(file("fifo.INI")));
    EXPECT_EQ(fs::file_size(big), uintmax_t(kMaxFileSize) + 1);
}

TEST_F(SettingsFile, ASaveWaitsForAnotherProgramsSaveOfTheFile) {
    put("[Lab]\nmine=1\n");
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        {
            // Another program between its read and its write.
            const SaveLock held(path);
            const ssize_t n = ::write(fds[1], "L", 1);
            ::usleep(300000);
            std::ofstream(path, std::ios::app) << "theirs=2\n";
            if (n != 1) ::_exit(1);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    char byte = 0;
    ASSERT_EQ(::read(fds[0], &byte, 1), 1);
    ::close(fds[0]);
    ASSERT_EQ(writeSettings(path, Settings{}), std::nullopt);
    int status = 0;
    ::waitpid(child, &status, 0);
    // Our save came after theirs and kept what they added.
    EXPECT_NE(contents().find("theirs=2"), std::string::npos) << contents();
    EXPECT_NE(contents().find("Adr=0x0378"), std::string::npos);
}

}  // namespace
}  // namespace zvk

namespace zvk {
namespace {

TEST_F(SettingsFile, WhereTheSettingsFileLies) {
    const std::string bin = file("bin");
    const std::string usrBin = file("usr/bin");
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(usrBin);
    const struct {
        const char* what;
        SettingsPlace place;
        std::string expected;
    } cases[] = {
        {"a build folder", {bin, usrBin, true, "", "/home/u"}, bin + "/zvk40310.INI"},
        {"an installed program, even where it may write (sudo)",
         {usrBin, usrBin, true, "", "/home/u"},
         "/home/u/.config/zvk40310/zvk40310.INI"},
        {"the install folder named another way",
         {usrBin, usrBin + "/.", true, "", "/root"},
         "/root/.config/zvk40310/zvk40310.INI"},
        {"a folder the user cannot write",
         {bin, usrBin, false, "", "/home/u"},
         "/home/u/.config/zvk40310/zvk40310.INI"},
        {"the configuration folder the environment names",
         {usrBin, usrBin, true, "/cfg", "/h"},
         "/cfg/zvk40310/zvk40310.INI"},
        {"a relative configuration folder counts as none",
         {usrBin, usrBin, true, "cfg", "/h"},
         "/h/.config/zvk40310/zvk40310.INI"},
        {"no install folder known", {bin, "", true, "", "/h"}, bin + "/zvk40310.INI"},
    };
    for (const auto& c : cases) EXPECT_EQ(chooseSettingsPath(c.place), c.expected) << c.what;
}

// A settings file of its own (--settings ~/lab/board2.INI) in a folder not made yet is
// saved as the default one is: its folders are made.
TEST_F(SettingsFile, ASaveMakesTheFoldersOfAChosenFile) {
    const std::string target = file("lab/boards/board2.INI");
    Settings s;
    s.vpwm = 3300;
    ASSERT_EQ(writeSettings(target, s), std::nullopt);
    bool existed = false;
    EXPECT_EQ(readSettings(target, &existed).vpwm, 3300);
    EXPECT_TRUE(existed);
}

TEST_F(SettingsFile, TheFirstSaveMakesAPrivateConfigurationFolder) {
    const char* before = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = before != nullptr ? before : "";
    ::setenv("XDG_CONFIG_HOME", file("home/.config").c_str(), 1);
    const std::string target = file("home/.config/zvk40310/zvk40310.INI");
    EXPECT_EQ(userSettingsPath(currentSettingsPlace()), target);
    const auto error = writeSettings(target, Settings{});
    if (before != nullptr)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    ASSERT_EQ(error, std::nullopt);
    bool existed = false;
    readSettings(target, &existed);
    EXPECT_TRUE(existed);
    struct stat st {};
    ASSERT_EQ(::stat(file("home/.config/zvk40310").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A second save goes into the folder that is there now.
    EXPECT_EQ(writeSettings(target, Settings{}), std::nullopt);
}

// Root saving for a user (sudo -E keeps HOME): what the save makes is the user's, or the
// user would silently get the defaults afterwards and could not save.
TEST_F(SettingsFile, RootSavingForAUserMakesTheNewFoldersAndFileTheirs) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root";
    struct Env {
        const char* name;
        std::optional<std::string> before;
        explicit Env(const char* n) : name(n) {
            if (const char* v = std::getenv(n)) before = v;
        }
        ~Env() {
            if (before)
                ::setenv(name, before->c_str(), 1);
            else
                ::unsetenv(name);
        }
        void set(const char* value) const {
            if (value != nullptr)
                ::setenv(name, value, 1);
            else
                ::unsetenv(name);
        }
    };
    const Env sudoUid("SUDO_UID"), sudoGid("SUDO_GID");
    struct Case {
        const char* what;
        const char* uid;    // SUDO_UID, null: unset
        const char* gid;    // SUDO_GID
        bool userOwnsHome;  // the folder above is user 12345's
        unsigned expectUid, expectGid;
    };
    const Case cases[] = {
        {"sudo -E", "12345", "23456", false, 12345, 23456},
        {"the folder is the user's", nullptr, nullptr, true, 12345, 777},
        {"root for itself", nullptr, nullptr, false, 0, 0},
        {"SUDO_UID of root", "0", nullptr, false, 0, 0},
    };
    for (const Case& c : cases) {
        sudoUid.set(c.uid);
        sudoGid.set(c.gid);
        const std::string home = file(std::string("home-") + std::to_string(&c - cases));
        ASSERT_EQ(::mkdir(home.c_str(), 0755), 0);
        if (c.userOwnsHome) {
            ASSERT_EQ(::chown(home.c_str(), 12345, 777), 0);
        }
        const std::string target = home + "/.config/zvk40310/zvk40310.INI";
        ASSERT_EQ(writeSettings(target, Settings{}), std::nullopt) << c.what;
        for (const std::string& made : {home + "/.config", home + "/.config/zvk40310", target}) {
            struct stat st {};
            ASSERT_EQ(::stat(made.c_str(), &st), 0) << made;
            EXPECT_EQ(st.st_uid, c.expectUid) << c.what << ": " << made;
            EXPECT_EQ(st.st_gid, c.expectGid) << c.what << ": " << made;
        }
        // A later save keeps the owner.
        ASSERT_EQ(writeSettings(target, Settings{}), std::nullopt) << c.what;
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, c.expectUid) << c.what;
    }
}

}  // namespace
}  // namespace zvk

namespace zvk {
namespace {

// The resend option lives in a section of the program's own: off leaves a file that never
// had it unchanged, on adds the section, and turning it off again is kept as 0.
TEST_F(SettingsFile, ResendOnReturnIsKeptInTheProgramsOwnSection) {
    Settings s;
    ASSERT_EQ(writeSettings(path, s), std::nullopt);
    const std::string without = contents();
    EXPECT_EQ(without.find("[zvk40310]"), std::string::npos);
    EXPECT_FALSE(readSettings(path).resendOnReturn);

    s.resendOnReturn = true;
    ASSERT_EQ(writeSettings(path, s), std::nullopt);
    EXPECT_NE(contents().find("[zvk40310]"), std::string::npos) << contents();
    EXPECT_TRUE(readSettings(path).resendOnReturn);

    s.resendOnReturn = false;
    ASSERT_EQ(writeSettings(path, s), std::nullopt);
    EXPECT_FALSE(readSettings(path).resendOnReturn) << contents();

    // The same key under any other section is not ours.
    put("[CFG]\r\nResendOnReturn=1\r\n");
    EXPECT_FALSE(readSettings(path).resendOnReturn);
}

}  // namespace
}  // namespace zvk

namespace zvk {
namespace {

// The crystal correction is saved alone into whatever the file holds: comments, foreign
// sections, odd spacing and CRLF line ends stay byte for byte, and only the one line
// changes (or is added at the end of the program's own section).
TEST_F(SettingsFile, CrystalPpmSavedAloneKeepsEveryOtherByte) {
    const std::string before =
        "; lab bench 3\r\n[Form]\r\nTop=12\r\n\r\n[zvk40310]\r\nResendOnReturn=1\r\n"
        "; kept\r\n[Other]\r\n  Key = spaced value  \r\nCrystalPpm=99\r\n";
    put(before);
    EXPECT_EQ(readSettings(path).crystalPpm, std::nullopt) << "[Other]'s key is not ours";

    ASSERT_EQ(writeCrystalPpm(path, 20), std::nullopt);
    const std::string added = contents();
    const std::string expectAdded =
        "; lab bench 3\r\n[Form]\r\nTop=12\r\n\r\n[zvk40310]\r\nResendOnReturn=1\r\n"
        "; kept\r\nCrystalPpm=20\r\n[Other]\r\n  Key = spaced value  \r\nCrystalPpm=99\r\n";
    EXPECT_EQ(added, expectAdded);
    EXPECT_EQ(readSettings(path).crystalPpm, 20.0);

    ASSERT_EQ(writeCrystalPpm(path, -50.125), std::nullopt);
    std::string expectChanged = expectAdded;
    expectChanged.replace(expectChanged.find("CrystalPpm=20"), 13, "CrystalPpm=-50.125");
    EXPECT_EQ(contents(), expectChanged);
    EXPECT_EQ(readSettings(path).crystalPpm, -50.125);
    EXPECT_TRUE(readSettings(path).resendOnReturn);
}

// A whole save writes the correction only when the record carries one: a program that did
// not change it keeps what another program stored meanwhile.
TEST_F(SettingsFile, CrystalPpmOnlyWrittenWhenTheRecordCarriesOne) {
    ASSERT_EQ(writeSettings(path, Settings{}), std::nullopt);
    const std::string without = contents();
    ASSERT_EQ(writeCrystalPpm(path, 12.5), std::nullopt);

    Settings unchanged = readSettings(path);
    unchanged.crystalPpm.reset();
    ASSERT_EQ(writeSettings(path, unchanged), std::nullopt);
    EXPECT_EQ(readSettings(path).crystalPpm, 12.5) << contents();

    Settings changed;
    changed.crystalPpm = -3;
    ASSERT_EQ(writeSettings(path, changed), std::nullopt);
    EXPECT_EQ(readSettings(path).crystalPpm, -3.0);
    EXPECT_EQ(without.find("CrystalPpm"), std::string::npos);
}

TEST_F(SettingsFile, CrystalPpmThatIsNoNumberIsNoCorrection) {
    for (const char* value : {"abc", "", "nan", "inf", "12ppm"}) {
        put(std::string("[zvk40310]\nCrystalPpm=") + value + "\n");
        EXPECT_EQ(readSettings(path).crystalPpm, std::nullopt) << value;
    }
    put("[ZVK40310]\ncrystalppm= -7.5 \n");
    EXPECT_EQ(readSettings(path).crystalPpm, -7.5) << "names match without regard to case";
}

}  // namespace
}  // namespace zvk
