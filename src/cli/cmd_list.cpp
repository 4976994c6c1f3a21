// SPDX-License-Identifier: MIT
// list: the boards this machine offers, one line each: the adapters the kernel lists and
// the parallel ports it drives, with what --device or --port names them by.
#include <iostream>
#include <memory>

#include "base/Numbers.h"
#include "cli/Cli.h"
#include "cli/Json.h"
#include "session/Doctor.h"

namespace zvk::cli {

namespace {

struct ListOptions {
    std::string root;
    bool json = false;
};

void runList(CommandContext& ctx, const ListOptions& o) {
    const BoardList list = listBoards(DoctorInputs::under(o.root));
    nlohmann::json adapters = nlohmann::json::array();
    for (const ListedAdapter& a : list.adapters)
        adapters.push_back(
            {{"device", "usb:" + std::to_string(a.bus) + "/" + std::to_string(a.device)},
             {"bus", a.bus},
             {"address", a.device},
             {"port_path", a.portPath},
             {"node", a.node},
             {"can_open", a.problem.empty()},
             {"problem", a.problem}});
    nlohmann::json ports = nlohmann::json::array();
    for (const ListedPort& p : list.ports) {
        nlohmann::json j = {{"name", "parport" + std::to_string(p.port.number)},
                            {"node", p.port.device},
                            {"holder", p.holder},
                            {"can_open", p.problem.empty()},
                            {"problem", p.problem}};
        j["base"] = p.port.base >= 0 ? nlohmann::json("0x" + hexText(unsigned(p.port.base), 3))
                                     : nlohmann::json(nullptr);
        ports.push_back(j);
    }
    printResult(ctx, o.json, {{"adapters", adapters}, {"ports", ports}}, [&] {
        for (const ListedAdapter& a : list.adapters)
            std::cout << validUtf8("usb:" + std::to_string(a.bus) + "/" + std::to_string(a.device) +
                                   "  ZVK_SPIUSB  usb:path=" + a.portPath + "  " + a.node + "  " +
                                   (a.problem.empty() ? "can be opened"
                                                      : "cannot be opened: " + a.problem))
                      << "\n";
        for (const ListedPort& p : list.ports)
            std::cout << validUtf8("parport" + std::to_string(p.port.number) + "  base " +
                                   (p.port.base >= 0 ? "0x" + hexText(unsigned(p.port.base), 3)
                                                     : std::string("unknown")) +
                                   "  held by " + (p.holder.empty() ? "?" : p.holder) + "  " +
                                   p.port.device + "  " +
                                   (p.problem.empty() ? "can be opened"
                                                      : "cannot be opened: " + p.problem))
                      << "\n";
        if (list.adapters.empty() && list.ports.empty())
            std::cout << "no ZVK_SPIUSB adapter and no parallel port found\n";
    });
}

}  // namespace

void addListCommand(CLI::App& app, CommandContext& ctx) {
    auto o = std::make_shared<ListOptions>();
    CLI::App* l = app.add_subcommand(
        "list", "list the ZVK_SPIUSB adapters and the parallel ports found, one line each");
    l->add_option("--root", o->root,
                  "look for /proc, /sys and /dev under this folder (a copy of another "
                  "machine's layout)");
    l->add_flag("--json", o->json, "one JSON object on standard output");
    l->callback([o, &ctx] { runList(ctx, *o); });
}

}  // namespace zvk::cli
