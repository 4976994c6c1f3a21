// SPDX-License-Identifier: MIT
#include "board/Board.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <stdexcept>

namespace zvk {

namespace {

std::unique_ptr<Board> makeVirtual(Clock& clock, int base, bool usb) {
    auto board = std::make_unique<Board>();
    board->chip = std::make_unique<ChipModel>(clock);
    board->vport = std::make_unique<VirtualPort>(*board->chip);
    board->vport->useBase(base);
    board->port = board->vport.get();
    board->portOpened = true;
    // Without the adapter the bus stays empty: the program searches and finds nothing, as
    // on a machine with libusb but without the adapter plugged in.
    board->vusb = std::make_unique<VirtualUsbBus>(*board->chip, usb ? 1 : 0);
    board->usbApi = board->vusb->api();
    return board;
}

std::unique_ptr<Board> makeVirtualPort(Clock& clock, int base) {
    return makeVirtual(clock, base, false);
}
std::unique_ptr<Board> makeVirtualUsb(Clock& clock, int base) {
    return makeVirtual(clock, base, true);
}

std::unique_ptr<Board> makeHardware(Clock&, int base) {
    auto board = std::make_unique<Board>();
    board->hwport = std::make_unique<HardwarePortIo>();
    board->portOpened = board->hwport->open(effectiveBase(base));
    board->portFailure = board->hwport->failureReasons();
    board->port = board->hwport.get();
    board->usbApi = systemLibusb();
    return board;
}

}  // namespace

const BoardKind kBoardKinds[3] = {
    {"virtual", "virtual board on the parallel port", makeVirtualPort},
    {"virtual-usb", "virtual board with the USB adapter and the parallel port", makeVirtualUsb},
    {"hardware", "the real adapter when present, otherwise the real parallel port", makeHardware},
};

const BoardKind* findBoardKind(std::string_view name) {
    for (const BoardKind& k : kBoardKinds)
        if (name == k.name) return &k;
    return nullptr;
}

namespace {

struct FaultKnob {
    const char* name;
    bool VirtualUsbBus::Faults::*flag;
};
constexpr FaultKnob kFaultKnobs[] = {
    {"wrong-version", &VirtualUsbBus::Faults::wrongVersion},
    {"claim-fails", &VirtualUsbBus::Faults::claimFails},
    {"config-fails", &VirtualUsbBus::Faults::configFails},
    {"timeout", &VirtualUsbBus::Faults::timeout},
    {"release-fails", &VirtualUsbBus::Faults::releaseFails},
    {"open-fails", &VirtualUsbBus::Faults::openFails},
};

std::optional<long long> wholeNumber(std::string_view text) {
    if (text.empty()) return std::nullopt;
    long long v = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data() + (text[0] == '-' ? 1 : 0), end, v);
    if (r.ec != std::errc() || r.ptr != end) return std::nullopt;
    return text[0] == '-' ? -v : v;
}

}  // namespace

std::optional<BoardChoice> parseBoardOption(std::string_view text, std::string& error) {
    const size_t colon = text.find(':');
    const std::string_view name = text.substr(0, colon);
    BoardChoice choice;
    choice.kind = findBoardKind(name);
    if (choice.kind == nullptr) {
        error = unknownBoardText(name);
        return std::nullopt;
    }
    if (colon == std::string_view::npos) return choice;
    const bool isVirtual = name != "hardware";
    const bool hasAdapter = name == "virtual-usb";
    std::string_view rest = text.substr(colon + 1);
    for (;;) {
        const size_t comma = rest.find(',');
        const std::string_view knob = rest.substr(0, comma);
        const size_t eq = knob.find('=');
        const std::string_view key = knob.substr(0, eq);
        const std::optional<std::string_view> value =
            eq == std::string_view::npos ? std::nullopt
                                         : std::optional<std::string_view>(knob.substr(eq + 1));
        auto refuse = [&](const std::string& why) {
            error = "board \"" + std::string(name) + "\": " + why;
            return std::nullopt;
        };
        if (!isVirtual) return refuse("only a virtual board has knobs");
        const auto fault = std::find_if(std::begin(kFaultKnobs), std::end(kFaultKnobs),
                                        [&](const FaultKnob& k) { return key == k.name; });
        if (key == "signal") {
            const auto dbm = value ? wholeNumber(*value) : std::nullopt;
            if (!dbm || *dbm < -150 || *dbm > 20)
                return refuse("signal takes a whole number of dBm from -150 to 20");
            choice.signalDbm = double(*dbm);
        } else if (key == "port-busy") {
            const auto n = value ? wholeNumber(*value) : std::nullopt;
            if (!n || *n < 0 || *n > 1000000000)
                return refuse("port-busy takes a number of transfers, 0 or more");
            choice.portBusy = uint64_t(*n);
        } else if (key == "unplug-after" || fault != std::end(kFaultKnobs)) {
            if (!hasAdapter)
                return refuse("\"" + std::string(key) + "\" needs the adapter (virtual-usb)");
            if (key == "unplug-after") {
                const auto n = value ? wholeNumber(*value) : std::nullopt;
                if (!n || *n < 0 || *n > 1000000000)
                    return refuse("unplug-after takes a number of transfers, 0 or more");
                choice.faults.unplugAfter = *n;
            } else {
                if (value) return refuse("\"" + std::string(key) + "\" takes no value");
                choice.faults.*(fault->flag) = true;
            }
        } else {
            return refuse("unknown knob \"" + std::string(key) + "\" (" + boardKnobsHelp() + ")");
        }
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
    }
    return choice;
}

std::optional<AdapterChoice> parseDeviceOption(std::string_view text, std::string& error) {
    const std::string expected =
        " (expected usb:BUS/DEV, such as usb:3/7, or usb:path=PORT, such as usb:path=1-1.4; the "
        "parallel port is chosen with --port)";
    AdapterChoice c;
    if (text.rfind("usb:", 0) != 0) {
        error = "device \"" + std::string(text) + "\" is not an adapter" + expected;
        return std::nullopt;
    }
    const std::string_view rest = text.substr(4);
    if (rest.rfind("path=", 0) == 0) {
        const std::string_view path = rest.substr(5);
        // Bus number, then port numbers joined by '-' and '.': "1-1.4".
        const bool ok =
            !path.empty() && path.find_first_not_of("0123456789-.") == std::string_view::npos &&
            path.find('-') != std::string_view::npos && path[0] != '-' && path[0] != '.';
        if (!ok) {
            error = "device \"" + std::string(text) + "\": \"" + std::string(path) +
                    "\" is no USB port path" + expected;
            return std::nullopt;
        }
        c.portPath = std::string(path);
        return c;
    }
    const size_t slash = rest.find('/');
    const auto bus =
        slash == std::string_view::npos ? std::nullopt : wholeNumber(rest.substr(0, slash));
    const auto dev =
        slash == std::string_view::npos ? std::nullopt : wholeNumber(rest.substr(slash + 1));
    if (!bus || !dev || *bus < 1 || *bus > 255 || *dev < 1 || *dev > 255) {
        error = "device \"" + std::string(text) + "\": no bus and device number 1..255" + expected;
        return std::nullopt;
    }
    c.bus = int(*bus);
    c.device = int(*dev);
    return c;
}

std::string boardKnobsHelp() {
    std::string text = "signal=DBM, port-busy=N, unplug-after=N";
    for (const FaultKnob& k : kFaultKnobs) text += std::string(", ") + k.name;
    return text;
}

std::unique_ptr<Board> makeBoard(std::string_view option, Clock& clock, int base) {
    std::string error;
    const auto choice = parseBoardOption(option, error);
    if (!choice) throw std::invalid_argument(error);
    std::unique_ptr<Board> board = choice->kind->make(clock, base);
    if (board->vusb) board->vusb->faults() = choice->faults;
    if (board->chip && choice->signalDbm) board->chip->setTestSignal(*choice->signalDbm);
    if (board->vport && choice->portBusy > 0) board->vport->holdElsewhere(choice->portBusy);
    return board;
}

std::string unknownBoardText(std::string_view name) {
    std::string expected;
    const size_t n = std::size(kBoardKinds);
    for (size_t i = 0; i < n; ++i) {
        if (i > 0) expected += i + 1 == n ? " or " : ", ";
        expected += kBoardKinds[i].name;
    }
    return "unknown board \"" + std::string(name) + "\" (expected " + expected + ")";
}

}  // namespace zvk
