// SPDX-License-Identifier: MIT
#include "board/Rig.h"

#include <iterator>

namespace zvk {

namespace {

std::unique_ptr<Rig> makeVirtual(Clock& clock, int base, bool usb) {
    auto rig = std::make_unique<Rig>();
    rig->chip = std::make_unique<ChipModel>(clock);
    rig->vport = std::make_unique<VirtualPort>(*rig->chip);
    rig->vport->useBase(base);
    rig->port = rig->vport.get();
    rig->portOpened = true;
    // Without the adapter the bus stays empty: the program searches and finds nothing, as
    // on a machine with libusb but without the adapter plugged in.
    rig->vusb = std::make_unique<VirtualUsbBus>(*rig->chip, usb ? 1 : 0);
    rig->usbApi = rig->vusb->api();
    return rig;
}

std::unique_ptr<Rig> makeVirtualPort(Clock& clock, int base) {
    return makeVirtual(clock, base, false);
}
std::unique_ptr<Rig> makeVirtualUsb(Clock& clock, int base) {
    return makeVirtual(clock, base, true);
}

std::unique_ptr<Rig> makeHardware(Clock&, int base) {
    auto rig = std::make_unique<Rig>();
    rig->hwport = std::make_unique<HardwarePortIo>();
    rig->portOpened = rig->hwport->open(effectiveBase(base));
    rig->portFailure = rig->hwport->failureReasons();
    rig->port = rig->hwport.get();
    rig->usbApi = systemLibusb();
    return rig;
}

}  // namespace

const RigKind kRigKinds[3] = {
    {"virtual", "virtual board on the parallel port", makeVirtualPort},
    {"virtual-usb", "virtual board with the USB adapter and the parallel port", makeVirtualUsb},
    {"hardware", "the real adapter when present, otherwise the real parallel port", makeHardware},
};

const RigKind* findRigKind(std::string_view name) {
    for (const RigKind& k : kRigKinds)
        if (name == k.name) return &k;
    return nullptr;
}

std::string unknownRigText(std::string_view name) {
    std::string expected;
    const size_t n = std::size(kRigKinds);
    for (size_t i = 0; i < n; ++i) {
        if (i > 0) expected += i + 1 == n ? " or " : ", ";
        expected += kRigKinds[i].name;
    }
    return "unknown board \"" + std::string(name) + "\" (expected " + expected + ")";
}

}  // namespace zvk
