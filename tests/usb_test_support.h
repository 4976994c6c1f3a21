// SPDX-License-Identifier: MIT
#pragma once
// The adapter tests' common ground: a reporter that keeps what the user would have seen,
// and the program's transport stack on a virtual board with the adapter on a simulated
// bus, built the way the window's start-up builds it.
#include <memory>
#include <string>
#include <vector>

#include "board/ChipModel.h"
#include "board/VirtualAdapter.h"
#include "board/VirtualPort.h"
#include "chip/ChipController.h"
#include "session/Reporter.h"
#include "transport/Libusb32.h"
#include "transport/Lpt.h"
#include "transport/SpiLink.h"
#include "transport/Zvk_spiusb.h"

namespace zvk::test {

struct RecordingReporter : Reporter {
    struct Message {
        std::string text, caption;
        Icon icon;
    };
    std::vector<Message> messages;
    void report(const std::string& text, const std::string& caption, Icon icon) override {
        messages.push_back({text, caption, icon});
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> t;
        for (const Message& m : messages) t.push_back(m.text);
        return t;
    }
};

// Chip, virtual port and simulated bus share one chip model; connect() makes the adapter
// object (search, open, claim, Configure) and runs the first version check, so faults
// meant for the search are switched on before it. The controller then uses the adapter's
// transport when the check passed, as the interface detection would choose.
struct UsbBoard {
    explicit UsbBoard(int adapters = 1) : chip(clock), vport(chip), bus(chip, adapters) {
        lpt.setBase(0x378);
        controller.setRealtime(false);
        controller.setSpiMode(true);
    }

    TZVK_SPIUSB& connect() {
        usb = std::make_unique<TZVK_SPIUSB>(bus.api(), reportUsbProblems(reporter));
        adapterLink = std::make_unique<AdapterLink>(*usb, lpt.lineState());
        useAdapter(usb->DeviceReady() && usb->VersionMatches());
        return *usb;
    }
    // The transport the register routines go through from now on (after connect()).
    void useAdapter(bool on) {
        controller.setLink(on ? static_cast<SpiLink&>(*adapterLink) : portLink);
    }
    bool usbInUse() { return &controller.link() == adapterLink.get(); }
    SpiLink& link() { return controller.link(); }

    SteppingClock clock;
    ChipModel chip;
    VirtualPort vport;
    VirtualUsbBus bus;
    RecordingReporter reporter;
    Lpt lpt{vport, clock};
    LptLink portLink{lpt};
    ChipController controller{portLink};
    std::unique_ptr<TZVK_SPIUSB> usb;
    std::unique_ptr<AdapterLink> adapterLink;
};

}  // namespace zvk::test
