// SPDX-License-Identifier: MIT
// doctor: what stands between this machine and the board, one line each with its fix.
#include <stdlib.h>

#include <iostream>
#include <memory>

#include "cli/Cli.h"
#include "cli/Json.h"
#include "session/Doctor.h"
#include "storage/Settings.h"

namespace zvk::cli {

namespace {

struct DoctorOptions {
    std::string settings;
    std::string port;
    std::string root;
    bool json = false;
};

void runDoctorCommand(CommandContext& ctx, const DoctorOptions& o) {
    DoctorInputs in = DoctorInputs::under(o.root);
    in.settingsPath = o.settings.empty() ? programSettingsPath() : o.settings;
    in.base = o.port.empty() ? effectiveBase(readSettings(in.settingsPath).adr)
                             : parsePort(o.port, in.port.procParport);
    // libusb finds its device tree through this variable (an empty folder sends it back
    // to the system's).
    if (!o.root.empty()) setenv("USB_DEVFS_PATH", (o.root + "/dev/bus/usb").c_str(), 0);
    in.usb = systemLibusb();
    const DoctorReport r = runDoctor(in);
    nlohmann::json lines = nlohmann::json::array();
    for (const DoctorLine& l : r.lines)
        lines.push_back({{"ok", l.ok}, {"text", l.text}, {"fix", l.fix}});
    printResult(ctx, o.json, {{"lines", lines}, {"usable", r.transportUsable}}, [&] {
        for (const DoctorLine& l : r.lines) std::cout << validUtf8(doctorLineText(l)) << "\n";
    });
    if (!r.transportUsable) ctx.exitCode = kUnreachable;
}

}  // namespace

void addDoctorCommand(CLI::App& app, CommandContext& ctx) {
    auto o = std::make_shared<DoctorOptions>();
    CLI::App* d = app.add_subcommand(
        "doctor",
        "check what the adapter and the parallel port need on this machine; exit 0 "
        "when one of them can be used, 2 otherwise");
    d->add_option(
        "--settings", o->settings,
        "the settings file whose port address is checked (default: " + programSettingsPath() + ")");
    d->add_option("--port", o->port, portOptionHelp());
    d->add_option("--root", o->root,
                  "look for /proc, /sys and /dev under this folder (a copy of another "
                  "machine's layout); raw port access is not tried then");
    d->add_flag("--json", o->json, "one JSON object on standard output");
    d->callback([o, &ctx] { runDoctorCommand(ctx, *o); });
}

}  // namespace zvk::cli
