#include "storage/Settings.h"

#include <SimpleIni.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "base/Numbers.h"
#include "storage/FileText.h"

namespace zvk {

namespace {

// Integers as the settings file has always held them: decimal with a sign, or
// hexadecimal after a "0x"/"0X" prefix taken as 32 bits (0xFFFFFFFF is -1). Anything
// else, or a number beyond 32 bits, is no integer.
std::optional<long long> parseIniInteger(std::string_view text) {
    const auto v = parseInteger(text, {.sign = true, .min = INT32_MIN, .max = UINT32_MAX});
    if (!v) return std::nullopt;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex) return (long long)int32_t(uint32_t(*v));
    if (*v > INT32_MAX) return std::nullopt;
    return *v;
}

class IniReader {
  public:
    explicit IniReader(const CSimpleIniA& ini) : ini_(ini) {}

    long long integer(const char* section, const char* key, long long def) const {
        const char* text = ini_.GetValue(section, key, nullptr);
        if (text == nullptr) return def;
        return parseIniInteger(text).value_or(def);
    }
    bool boolean(const char* section, const char* key, bool def) const {
        return integer(section, key, def ? 1 : 0) != 0;
    }
    double number(const char* section, const char* key, double def) const {
        const char* text = ini_.GetValue(section, key, nullptr);
        if (text == nullptr) return def;
        return parseDouble(text).value_or(def);
    }

  private:
    const CSimpleIniA& ini_;
};

std::string prefixedHex(long long value, int digits) {
    return "0x" + hexText(uint32_t(value), digits);
}

// The shortest text that gives the value back, but never more than 15 significant digits.
std::string shortestText(double value) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    std::string text(buf, r.ptr);
    size_t digits = 0;
    for (char ch : text) {
        if (ch == 'e') break;
        if (ch >= '0' && ch <= '9') ++digits;
    }
    // Leading zeros of a fraction are no significant digits, but counting them only errs
    // towards the 15-digit form, which is what a longer text would become anyway.
    if (digits <= 15) return text;
    r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    return std::string(buf, r.ptr);
}

// The comment lines after the last entry of a file. SimpleIni keeps a comment only when
// an entry follows it (or as the file comment that opens the file), so a closing comment
// would otherwise vanish on the next write.
std::string trailingComments(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < text.size()) lines.push_back(nextLine(text, pos));
    auto isCommentChar = [](char ch) { return ch == ';' || ch == '#'; };
    auto kind = [&](std::string_view line) {
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos) return 0;  // blank
        if (isCommentChar(line[first])) return 1;       // comment
        return 2;                                       // anything else
    };
    // The file comment: comment lines from the very first character on, up to the first
    // line that does not begin with a comment character.
    size_t from = 0;
    while (from < lines.size() && !lines[from].empty() && isCommentChar(lines[from][0])) ++from;
    for (size_t i = from; i < lines.size(); ++i)
        if (kind(lines[i]) == 2) from = i + 1;
    std::string out;
    for (size_t k = from; k < lines.size(); ++k) {
        if (kind(lines[k]) != 1) continue;
        out.append(lines[k].substr(lines[k].find_first_not_of(" \t")));
        out.push_back('\n');
    }
    return out;
}

// The text SimpleIni is given. It reads up to the first NUL byte, so nothing after one is
// part of the file for us. A line that opens a section without closing it on the same
// line is dropped: SimpleIni means to skip such a line, but it has already pointed the
// current section name into it, unterminated, and the keys below would land in a section
// whose name runs across lines; every later write would then add another line.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool hasBom(std::string_view text) {
    return text.substr(0, kUtf8Bom.size()) == kUtf8Bom;
}

std::string iniInput(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    // The byte order mark goes before SimpleIni sees the text, so that the first line
    // is judged like every other; writing puts it back.
    if (hasBom(text)) text.remove_prefix(kUtf8Bom.size());
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t start = pos;
        const std::string_view line = nextLine(text, pos);
        const auto first = line.find_first_not_of(" \t");
        const bool brokenSection = first != std::string_view::npos && line[first] == '[' &&
                                   line.find(']', first) == std::string_view::npos;
        if (!brokenSection) out.append(text.substr(start, pos - start));
    }
    return out;
}

}  // namespace

std::string settingsPathFor(const std::string& exePath) {
    return changeFileExt(exePath, ".INI");
}

std::string ownExecutablePath() {
    std::error_code ec;
    const auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

std::string programSettingsPath() {
    const std::string exe = ownExecutablePath();
    const auto slash = exe.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
    return dir + "/zvk40310.INI";
}

Settings parseSettingsText(std::string_view text) {
    const std::string input = iniInput(text);
    Settings s;
    CSimpleIniA ini;
    ini.SetSpaces(false);
    if (ini.LoadData(input.data(), input.size()) < 0) return s;
    const IniReader r(ini);

    // What a missing key or a bad value gives: the record's own defaults.
    const Settings d;
    s.top = int(r.integer("Form", "Top", d.top));
    s.left = int(r.integer("Form", "Left", d.left));
    s.width = int(r.integer("Form", "Width", d.width));
    s.height = int(r.integer("Form", "Height", d.height));
    s.adr = int(r.integer("Port", "Adr", d.adr));
    // SPICLK, SPIDTA, SDEN and Trig are not read: the pin map is fixed.
    s.pllmux = int16_t(uint16_t(r.integer("CFG", "PLLMUX", d.pllmux)));
    s.spisel = r.boolean("CFG", "SPISEL", d.spisel);
    s.frf = r.number("CFG", "FRF", d.frf);
    s.fxtal = r.number("CFG", "FXTAL", d.fxtal);
    s.injlo1 = int16_t(uint16_t(r.integer("CFG", "INJLO1", d.injlo1)));
    s.level = r.boolean("CFG", "Level", d.level);
    s.vpwm = int(r.integer("USBSPI", "VPWM", d.vpwm));
    s.del = int(r.integer("USBSPI", "DEL", d.del));
    for (int i = 0; i < 8; ++i) {
        const std::string key = std::to_string(i);
        s.cwr[size_t(i)] = uint16_t(r.integer("CWR", key.c_str(), d.cwr[size_t(i)]));
    }
    return s;
}

std::optional<std::string> mergeSettingsText(std::string_view existing, const Settings& s) {
    const std::string input = iniInput(existing);
    CSimpleIniA ini;
    ini.SetSpaces(false);
    if (ini.LoadData(input.data(), input.size()) < 0) return std::nullopt;

    auto put = [&](const char* section, const char* key, const std::string& value) {
        return ini.SetValue(section, key, value.c_str()) >= 0;
    };
    auto dec = [](long long v) { return std::to_string(v); };
    bool ok = put("Form", "Top", dec(s.top)) && put("Form", "Left", dec(s.left)) &&
              put("Form", "Width", dec(s.width)) && put("Form", "Height", dec(s.height)) &&
              put("Port", "Adr", prefixedHex(s.adr, 4)) &&
              put("Port", "SPICLK", prefixedHex(1, 2)) &&
              put("Port", "SPIDTA", prefixedHex(2, 2)) && put("Port", "SDEN", prefixedHex(0, 2)) &&
              put("Port", "Trig", prefixedHex(7, 2)) && put("USBSPI", "VPWM", dec(s.vpwm)) &&
              put("USBSPI", "DEL", dec(s.del)) && put("CFG", "SPISEL", s.spisel ? "1" : "0") &&
              put("CFG", "FRF", shortestText(s.frf)) && put("CFG", "PLLMUX", dec(s.pllmux)) &&
              put("CFG", "FXTAL", shortestText(s.fxtal)) && put("CFG", "INJLO1", dec(s.injlo1)) &&
              put("CFG", "Level", s.level ? "1" : "0");
    for (int i = 0; ok && i < 8; ++i)
        ok = put("CWR", std::to_string(i).c_str(), dec(int16_t(s.cwr[size_t(i)])));
    if (!ok) return std::nullopt;

    std::string body;
    if (ini.Save(body) < 0) return std::nullopt;
    body.erase(0, std::min(body.find_first_not_of('\n'), body.size()));
    std::string out(hasBom(existing) ? kUtf8Bom : std::string_view());
    // A key whose name begins with the bytes of a byte order mark must not come first,
    // or the next read would take those bytes for one.
    if (hasBom(body)) out += '\n';
    out += body;
    out += trailingComments(input);
    return out;
}

Settings readSettings(const std::string& path, bool* existed) {
    struct stat st {};
    if (existed) *existed = ::stat(path.c_str(), &st) == 0;
    const auto text = readFileText(path);
    return text ? parseSettingsText(*text) : Settings{};
}

std::optional<std::string> writeSettings(const std::string& path, const Settings& s) {
    const std::string what = "Cannot write the settings file \"" + path + "\": ";
    // What the file holds already stays: the keys are changed in place and everything
    // else is written back as it was. A file that exists but cannot be read is left alone
    // rather than replaced by our keys alone.
    std::string error;
    int errorNumber = 0;
    std::string oldText;
    if (auto text = readFileText(path, &error, &errorNumber)) {
        oldText = std::move(*text);
    } else if (errorNumber != ENOENT) {
        return what + error;
    }
    const auto out = mergeSettingsText(oldText, s);
    if (!out) return what + "out of memory";
    if (auto reason = replaceFileText(path, *out)) return what + *reason;
    return std::nullopt;
}

}  // namespace zvk
