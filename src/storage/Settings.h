// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "chip/Registers.h"
#include "transport/PortIo.h"

namespace zvk {

// Everything the settings file keeps between runs.
struct Settings {
    int top = 100, left = 100, width = 500, height = 500;
    int adr = kDefaultPortBase;
    int vpwm = 5000;
    int del = 50;
    bool spisel = false;
    double frf = 384.0;
    int16_t pllmux = 0;
    double fxtal = 10.0;
    int16_t injlo1 = 10;
    bool level = true;
    RegisterImage cwr{};
    // Kept in a section of this program's own ([zvk40310]), which other readers of the
    // file skip.
    bool resendOnReturn = false;
    // The crystal's error in ppm (positive when it runs fast), in the same section. None
    // when the file holds no usable figure; writing none leaves the file's key as it is,
    // so a program that did not change the correction keeps one saved meanwhile.
    std::optional<double> crystalPpm;
};

// The program's own path with its extension replaced by ".INI".
std::string settingsPathFor(const std::string& exePath);
// The path of the running program (/proc/self/exe).
std::string ownExecutablePath();
// What decides where the settings file lies.
struct SettingsPlace {
    std::string programDir;     // the folder of the running program
    std::string installBinDir;  // the folder an installed program runs from
    bool programDirWritable = false;
    std::string xdgConfigHome;  // $XDG_CONFIG_HOME, empty when unset
    std::string home;           // $HOME, else the account's home folder
};
// Beside the program for a build folder or an unpacked copy (outside the install folder
// and writable); under the user's configuration folder for an installed program, or one
// whose folder cannot be written: $XDG_CONFIG_HOME/zvk40310/zvk40310.INI, a relative
// $XDG_CONFIG_HOME counting as unset, else ~/.config/zvk40310/zvk40310.INI.
std::string chooseSettingsPath(const SettingsPlace& place);
// The file under the user's configuration folder, by the same rule.
std::string userSettingsPath(const SettingsPlace& place);
// The place of this process: its program, the build's install folder, its environment.
SettingsPlace currentSettingsPlace();
// The settings file both programs share, by the rule above.
std::string programSettingsPath();

// Reads the file; missing file, keys or bad values give the defaults. existed tells
// whether the file was there at all. Only a file that does not exist means the defaults:
// one that is there but cannot be read (no permission, a directory, a FIFO, a device, a
// symbolic link loop, too large) gives the defaults as well, with *error set to a message
// naming the file and the reason, which the caller must not pass over.
Settings readSettings(const std::string& path, bool* existed = nullptr,
                      std::string* error = nullptr);

// Writes every key in its order into the existing file, keeping what the program does
// not know; the folders of the user's settings file are made at its first save. The file is
// replaced whole through a temporary file beside it, so a failure never leaves a half-written file;
// returns a message naming the file and the reason. The read and the write hold the
// file's SaveLock, so that two programs saving at once both keep the keys they changed.
std::optional<std::string> writeSettings(const std::string& path, const Settings& s);

// The crystal correction alone, written into the existing file under the same lock and
// in the same way as writeSettings: every other byte of the file stays.
std::optional<std::string> writeCrystalPpm(const std::string& path, double ppm);

// The text forms behind the two: the values a file's text gives, and the text that
// writing s into an existing file's text makes (nullopt when memory runs out).
Settings parseSettingsText(std::string_view text);
std::optional<std::string> mergeSettingsText(std::string_view existing, const Settings& s);
std::optional<std::string> mergeCrystalPpmText(std::string_view existing, double ppm);

}  // namespace zvk
