// SPDX-License-Identifier: MIT
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "board/ChipModel.h"
#include "board/VirtualAdapter.h"
#include "board/VirtualPort.h"
#include "transport/Libusb32.h"
#include "transport/PortIo.h"

namespace zvk {

// What a transport choice plugs in where the hardware would be: the parallel-port
// backend, the libusb table the adapter object is built on and, on the virtual board,
// the chip model behind both. One table serves the window and the command-line tool.
struct Rig {
    std::unique_ptr<ChipModel> chip;         // virtual boards only
    std::unique_ptr<VirtualPort> vport;      // virtual boards only
    std::unique_ptr<VirtualUsbBus> vusb;     // virtual boards only (no adapter on "virtual")
    std::unique_ptr<HardwarePortIo> hwport;  // "hardware" only
    PortIo* port = nullptr;                  // never null
    const LibusbApi* usbApi = nullptr;       // null: libusb absent (or not wanted)
    bool portOpened = false;                 // the port-I/O backend could be had
    std::string portFailure;                 // why not, for "Driver not open"
};

struct RigKind {
    const char* name;
    const char* description;
    std::unique_ptr<Rig> (*make)(Clock& clock, int base);
};

extern const RigKind kRigKinds[3];
const RigKind* findRigKind(std::string_view name);
// The one-line refusal of a name that is not in kRigKinds, listing those that are.
std::string unknownRigText(std::string_view name);

}  // namespace zvk
