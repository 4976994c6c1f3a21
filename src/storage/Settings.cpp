// SPDX-License-Identifier: MIT
#include "storage/Settings.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

#include "base/Numbers.h"
#include "storage/FileText.h"
#include "storage/IniText.h"

namespace zvk {

namespace {

// This program's own keys, apart from the sections the file has always had.
constexpr const char* kOwnSection = "zvk40310";
constexpr const char* kCrystalPpmKey = "CrystalPpm";

// Integers as the settings file has always held them: decimal with a sign, or
// hexadecimal after a "0x"/"0X" prefix taken as 32 bits (0xFFFFFFFF is -1). Anything
// else, or a number beyond 32 bits, is no integer.
std::optional<long long> parseIniInteger(std::string_view text) {
    const auto v = parseInteger(text, {.sign = true, .min = INT32_MIN, .max = UINT32_MAX});
    if (!v) return std::nullopt;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex) return static_cast<long long>(int32_t(uint32_t(*v)));
    if (*v > INT32_MAX) return std::nullopt;
    return *v;
}

class IniReader {
  public:
    explicit IniReader(const IniText& ini) : ini_(ini) {}

    long long integer(const char* section, const char* key, long long def) const {
        const auto text = ini_.value(section, key);
        if (!text) return def;
        return parseIniInteger(*text).value_or(def);
    }
    bool boolean(const char* section, const char* key, bool def) const {
        return integer(section, key, def ? 1 : 0) != 0;
    }
    double number(const char* section, const char* key, double def) const {
        const auto text = ini_.value(section, key);
        if (!text) return def;
        return parseDouble(*text).value_or(def);
    }

  private:
    const IniText& ini_;
};

std::string prefixedHex(long long value, int digits) {
    return "0x" + hexText(uint32_t(value), digits);
}

// A float as %.15g writes it in the C locale: up to 15 significant digits, trailing zeros
// dropped, exponent form only below 1e-4 or from 1e15 on (433.92, 10, 100000).
std::string shortestText(double value) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    return std::string(buf, r.ptr);
}

// The folders up to the file's, with the mode given (the umask applies). Root saving for
// a user (sudo -E) makes them the user's: a ~/.config of root's would leave the user with
// the defaults and no way to save.
std::optional<std::string> makeFolderOf(const std::string& path, mode_t mode) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return std::nullopt;
    const auto owner = ownerForNewFiles(path);
    for (size_t at = path.find('/', 1); at != std::string::npos && at <= slash;
         at = path.find('/', at + 1)) {
        const std::string folder = path.substr(0, at);
        if (::mkdir(folder.c_str(), mode) != 0) {
            if (errno == EEXIST) continue;
            return "cannot make the folder \"" + folder + "\": " + std::strerror(errno);
        }
        if (owner && ::chown(folder.c_str(), owner->uid, owner->gid) != 0)
            return "cannot give the folder \"" + folder + "\" to user " +
                   std::to_string(owner->uid) + ": " + std::strerror(errno);
    }
    return std::nullopt;
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

std::string chooseSettingsPath(const SettingsPlace& place) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const bool installed = !place.installBinDir.empty() && !place.programDir.empty() &&
                           fs::equivalent(place.programDir, place.installBinDir, ec);
    if (!installed && place.programDirWritable) return place.programDir + "/zvk40310.INI";
    return userSettingsPath(place);
}

std::string userSettingsPath(const SettingsPlace& place) {
    // Relative values are to be ignored: they would move with the working folder.
    const std::string config = !place.xdgConfigHome.empty() && place.xdgConfigHome[0] == '/'
                                   ? place.xdgConfigHome
                                   : place.home + "/.config";
    return config + "/zvk40310/zvk40310.INI";
}

SettingsPlace currentSettingsPlace() {
    SettingsPlace p;
    const std::string exe = ownExecutablePath();
    const auto slash = exe.rfind('/');
    p.programDir = slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
    if (p.programDir.empty()) p.programDir = "/";
#ifdef ZVK_INSTALL_BINDIR
    p.installBinDir = ZVK_INSTALL_BINDIR;
#endif
    p.programDirWritable = ::access(p.programDir.c_str(), W_OK) == 0;
    if (const char* x = std::getenv("XDG_CONFIG_HOME")) p.xdgConfigHome = x;
    if (const char* h = std::getenv("HOME"); h != nullptr && *h != '\0') {
        p.home = h;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir) {
        p.home = pw->pw_dir;
    }
    return p;
}

std::string programSettingsPath() {
    return chooseSettingsPath(currentSettingsPlace());
}

Settings parseSettingsText(std::string_view text) {
    Settings s;
    const IniText ini(text);
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
    s.resendOnReturn = r.boolean(kOwnSection, "ResendOnReturn", d.resendOnReturn);
    if (const auto ppmText = ini.value(kOwnSection, kCrystalPpmKey)) {
        const auto ppm = parseDouble(*ppmText);
        if (ppm && std::isfinite(*ppm)) s.crystalPpm = *ppm;
    }
    return s;
}

std::optional<std::string> mergeSettingsText(std::string_view existing, const Settings& s) {
    IniText ini(existing);
    auto dec = [](long long v) { return std::to_string(v); };
    const std::pair<const char*, std::string> form[] = {{"Top", dec(s.top)},
                                                        {"Left", dec(s.left)},
                                                        {"Width", dec(s.width)},
                                                        {"Height", dec(s.height)}};
    const std::pair<const char*, std::string> port[] = {{"Adr", prefixedHex(s.adr, 4)},
                                                        {"SPICLK", prefixedHex(1, 2)},
                                                        {"SPIDTA", prefixedHex(2, 2)},
                                                        {"SDEN", prefixedHex(0, 2)},
                                                        {"Trig", prefixedHex(7, 2)}};
    const std::pair<const char*, std::string> usb[] = {{"VPWM", dec(s.vpwm)}, {"DEL", dec(s.del)}};
    const std::pair<const char*, std::string> cfg[] = {
        {"SPISEL", s.spisel ? "1" : "0"}, {"FRF", shortestText(s.frf)},
        {"PLLMUX", dec(s.pllmux)},        {"FXTAL", shortestText(s.fxtal)},
        {"INJLO1", dec(s.injlo1)},        {"Level", s.level ? "1" : "0"}};
    for (const auto& [key, value] : form) ini.set("Form", key, value);
    for (const auto& [key, value] : port) ini.set("Port", key, value);
    for (const auto& [key, value] : usb) ini.set("USBSPI", key, value);
    for (const auto& [key, value] : cfg) ini.set("CFG", key, value);
    for (int i = 0; i < 8; ++i) ini.set("CWR", std::to_string(i), dec(int16_t(s.cwr[size_t(i)])));
    // A file that never had the option keeps its bytes when it stays off.
    if (s.resendOnReturn || ini.value(kOwnSection, "ResendOnReturn"))
        ini.set(kOwnSection, "ResendOnReturn", s.resendOnReturn ? "1" : "0");
    if (s.crystalPpm) ini.set(kOwnSection, kCrystalPpmKey, shortestText(*s.crystalPpm));
    return ini.bytes();
}

std::optional<std::string> mergeCrystalPpmText(std::string_view existing, double ppm) {
    IniText ini(existing);
    ini.set(kOwnSection, kCrystalPpmKey, shortestText(ppm));
    return ini.bytes();
}

Settings readSettings(const std::string& path, bool* existed, std::string* error) {
    std::string reason;
    int errorNumber = 0;
    const auto text = readFileText(path, &reason, &errorNumber);
    // A dangling link counts as missing: the first save makes the file it names.
    const bool missing = !text && errorNumber == ENOENT;
    if (existed) *existed = !missing;
    if (!text && !missing && error)
        *error = "Cannot read the settings file \"" + path + "\": " + reason;
    return text ? parseSettingsText(*text) : Settings{};
}

namespace {

// A locked read, change and replace of the file: what the file holds already stays, its
// keys changed in place and everything else written back as it was. A file that exists
// but cannot be read is left alone rather than replaced by our keys alone.
std::optional<std::string> updateSettingsFile(
    const std::string& path,
    const std::function<std::optional<std::string>(std::string_view)>& merge) {
    const std::string what = "Cannot write the settings file \"" + path + "\": ";
    const SaveLock lock(path);
    if (lock.refusal()) return what + *lock.refusal();
    std::string error;
    int errorNumber = 0;
    std::string oldText;
    if (auto text = readFileText(path, &error, &errorNumber)) {
        oldText = std::move(*text);
    } else if (errorNumber != ENOENT) {
        return what + error;
    }
    const auto out = merge(oldText);
    if (!out) return what + "out of memory";
    // The folder may not be there before the first save: the user's configuration folder
    // on a fresh account, or the folder a --settings path names (~/lab/board2.INI). The
    // configuration folder is private, as such folders are; another folder is the user's.
    if (errorNumber == ENOENT) {
        const bool configFolder = path == userSettingsPath(currentSettingsPlace());
        if (auto reason = makeFolderOf(path, configFolder ? 0700 : 0777)) return what + *reason;
    }
    if (auto reason = replaceFileText(path, *out)) return what + *reason;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> writeSettings(const std::string& path, const Settings& s) {
    return updateSettingsFile(path,
                              [&](std::string_view text) { return mergeSettingsText(text, s); });
}

std::optional<std::string> writeCrystalPpm(const std::string& path, double ppm) {
    return updateSettingsFile(
        path, [&](std::string_view text) { return mergeCrystalPpmText(text, ppm); });
}

}  // namespace zvk
