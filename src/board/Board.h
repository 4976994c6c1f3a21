// SPDX-License-Identifier: MIT
#pragma once
#include <memory>
#include <optional>
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
struct Board {
    std::unique_ptr<ChipModel> chip;         // virtual boards only
    std::unique_ptr<VirtualPort> vport;      // virtual boards only
    std::unique_ptr<VirtualUsbBus> vusb;     // virtual boards only (no adapter on "virtual")
    std::unique_ptr<HardwarePortIo> hwport;  // "hardware" only
    PortIo* port = nullptr;                  // never null
    const LibusbApi* usbApi = nullptr;       // null: libusb absent (or not wanted)
    bool portOpened = false;                 // the port-I/O backend could be had
    std::string portFailure;                 // why not, for "Driver not open"
};

struct BoardKind {
    const char* name;
    const char* description;
    std::unique_ptr<Board> (*make)(Clock& clock, int base);
};

extern const BoardKind kBoardKinds[3];
const BoardKind* findBoardKind(std::string_view name);
// The one-line refusal of a name that is not in kBoardKinds, listing those that are.
std::string unknownBoardText(std::string_view name);

// The board option of both programs: a kind, and for the virtual boards knobs that switch
// faults on from the shell, "virtual-usb:unplug-after=40,wrong-version,signal=-20".
//   signal=DBM        the test signal at the antenna (both virtual boards), -150..20
//   port-busy=N       another program holds the parallel port for the next N transfers
//   unplug-after=N    the adapter is pulled out after N more bulk transfers
//   wrong-version, claim-fails, config-fails, timeout, release-fails, open-fails
//                     the adapter's faults (virtual-usb only)
struct BoardChoice {
    const BoardKind* kind = nullptr;
    VirtualUsbBus::Faults faults;
    std::optional<double> signalDbm;
    uint64_t portBusy = 0;
};
// The choice, or the one-line message that names what is wrong in it.
std::optional<BoardChoice> parseBoardOption(std::string_view text, std::string& error);
// The device option of both programs, which picks one adapter among several (or the
// adapter another instance does not have): "usb:BUS/DEV" by bus and device number, or
// "usb:path=1-1.4" by the USB port path sysfs gives (stable while the cabling stays).
// The parallel port is chosen with the port option instead. nullopt with the one-line
// message when the text is none of these.
std::optional<AdapterChoice> parseDeviceOption(std::string_view text, std::string& error);
// The knobs, for the programs' help texts.
std::string boardKnobsHelp();
// The board the option names, its knobs applied. Throws std::invalid_argument with the
// message for an option that parseBoardOption refuses.
std::unique_ptr<Board> makeBoard(std::string_view option, Clock& clock, int base);

}  // namespace zvk
