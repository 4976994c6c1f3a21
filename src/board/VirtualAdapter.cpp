// SPDX-License-Identifier: MIT
#include "board/VirtualAdapter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "transport/Zvk_spiusb.h"

namespace zvk {

namespace {

enum Fn : int {
    kInit,
    kFindBusses,
    kFindDevices,
    kGetBusses,
    kOpen,
    kClaim,
    kSetConfiguration,
    kRelease,
    kClose,
    kBulkWrite,
    kBulkRead,
    kFnCount
};

constexpr const char* kFnNames[kFnCount] = {
    "usb_init",  "usb_find_busses",     "usb_find_devices",      "usb_get_busses",
    "usb_open",  "usb_claim_interface", "usb_set_configuration", "usb_release_interface",
    "usb_close", "usb_bulk_write",      "usb_bulk_read",
};

constexpr uint16_t kAdapterVendor = 0x03E9;
constexpr uint16_t kAdapterProduct = 0x0309;
// Something else on the bus, so the search has to look at the ids: a root hub.
constexpr uint16_t kHubVendor = 0x1D6B;
constexpr uint16_t kHubProduct = 0x0002;

constexpr int kOut = 0x01;
constexpr int kIn = 0x81;

std::string describePacket(const VirtualUsbBus::Packet& r) {
    const char* name = TZVK_SPIUSB::commandName(r[0]);
    auto args = [name](std::initializer_list<int> values) {
        std::string text = name;
        for (int v : values) text += " " + std::to_string(v);
        return text;
    };
    switch (r[0]) {
        case TZVK_SPIUSB::kWritePort:
            return args({r[1], r[2]});
        case TZVK_SPIUSB::kSetLevel:
            return args({r[1], r[2] << 8 | r[3]});
        case TZVK_SPIUSB::kConfigure:
            return args({r[1], r[2], r[3]});
        case TZVK_SPIUSB::kSpiWrite: {
            std::string text = args({r[1], r[2], r[3]});
            const int bytes = std::min((int(r[3]) + 7) / 8, 8);
            for (int k = 0; k < bytes; ++k) text += " " + std::to_string(r[size_t(4 + k)]);
            return text;
        }
        case TZVK_SPIUSB::kGetVersion:
            return args({});
        case TZVK_SPIUSB::kSpiRead:
            return args({r[1], r[2], r[3]});
        case TZVK_SPIUSB::kReadInput:
            return args({r[1], r[2]});
        case TZVK_SPIUSB::kReadAnalog:
            return args({r[1]});
        default:
            return "Unknown " + std::to_string(r[0]);
    }
}

}  // namespace

struct VirtualUsbBus::Impl {
    struct Adapter {
        std::unique_ptr<struct usb_device> device;
        AdapterState state;
        bool replyPending = false;
        Packet reply{};
    };
    // What a usb_dev_handle* points at on this bus. Handles are never freed before the
    // bus goes, so a stale handle is recognised instead of read after free.
    struct Handle {
        int adapter = -1;
        bool open = false;
        bool gone = false;  // its device node went with an unplug: ENODEV for ever
    };

    ChipModel& chip;
    LibusbApi api;
    Faults faults;
    std::vector<std::unique_ptr<struct usb_bus>> buses;
    std::unique_ptr<struct usb_device> hub;
    std::vector<Adapter> adapters;
    std::vector<std::unique_ptr<Handle>> handles;
    std::array<uint64_t, kFnCount> counts{};
    std::vector<std::string> log;
    std::vector<Request> requests;
    uint64_t received = 0;  // requests that reached a firmware
    bool recording = true;
    uint16_t externalMv = 0;
    // Records of nodes that went with a replug: a program may still hold their pointers.
    std::vector<std::unique_ptr<struct usb_device>> retired;
    int nextDevnum = 4;

    void replug() {
        for (auto& h : handles)
            if (h->open) h->gone = true;
        faults.unplugged = false;
        faults.unplugAfter = -1;
        for (Adapter& a : adapters) {
            retired.push_back(std::move(a.device));
            a.device = makeDevice(kAdapterVendor, kAdapterProduct, nextDevnum++);
            a.state = AdapterState{};  // the firmware started afresh
            a.replyPending = false;
        }
        // The bus lists the program holds keep the old records until it searches again
        // (usb_find_devices).
    }

    Impl(ChipModel& c, int adapterCount) : chip(c) {
        adapterCount = std::clamp(adapterCount, 0, 2);
        hub = makeDevice(kHubVendor, kHubProduct, 1);
        adapters.resize(size_t(adapterCount));
        for (int i = 0; i < adapterCount; ++i)
            adapters[size_t(i)].device = makeDevice(kAdapterVendor, kAdapterProduct, i + 2);
        const int busCount = adapterCount == 2 ? 2 : 1;
        for (int b = 0; b < busCount; ++b) {
            auto bus = std::make_unique<struct usb_bus>();
            std::snprintf(bus->dirname, sizeof bus->dirname, "%03d", b + 1);
            bus->location = uint32_t(b + 1);
            buses.push_back(std::move(bus));
        }
        for (size_t b = 0; b + 1 < buses.size(); ++b) {
            buses[b]->next = buses[b + 1].get();
            buses[b + 1]->prev = buses[b].get();
        }
        findDevices();
        buildApi();
    }

    static std::unique_ptr<struct usb_device> makeDevice(uint16_t vendor, uint16_t product,
                                                         int number) {
        auto d = std::make_unique<struct usb_device>();
        d->descriptor.bLength = 18;
        d->descriptor.bDescriptorType = 1;
        d->descriptor.idVendor = vendor;
        d->descriptor.idProduct = product;
        d->descriptor.bNumConfigurations = 1;
        d->devnum = uint8_t(number);
        std::snprintf(d->filename, sizeof d->filename, "%03d", number);
        return d;
    }

    // Rebuilds the device lists from what is plugged in, as usb_find_devices does.
    int findDevices() {
        std::vector<std::vector<struct usb_device*>> onBus(buses.size());
        onBus[0].push_back(hub.get());
        for (size_t i = 0; i < adapters.size(); ++i) {
            if (faults.unplugged) continue;
            onBus[std::min(i, buses.size() - 1)].push_back(adapters[i].device.get());
        }
        int found = 0;
        for (size_t b = 0; b < buses.size(); ++b) {
            struct usb_device* prev = nullptr;
            buses[b]->devices = nullptr;
            for (struct usb_device* d : onBus[b]) {
                d->bus = buses[b].get();
                d->prev = prev;
                d->next = nullptr;
                if (prev != nullptr)
                    prev->next = d;
                else
                    buses[b]->devices = d;
                prev = d;
                ++found;
            }
        }
        return found;
    }

    void count(Fn f) {
        ++counts[size_t(f)];
        if (recording) log.emplace_back(kFnNames[f]);
    }

    Handle* handle(usb_dev_handle* h) {
        for (auto& own : handles)
            if (reinterpret_cast<usb_dev_handle*>(own.get()) == h)
                return own->open ? own.get() : nullptr;
        return nullptr;
    }

    usb_dev_handle* open(struct usb_device* dev) {
        count(kOpen);
        if (faults.unplugged || faults.openFails) return nullptr;
        for (size_t i = 0; i < adapters.size(); ++i) {
            if (adapters[i].device.get() != dev) continue;
            auto h = std::make_unique<Handle>();
            h->adapter = int(i);
            h->open = true;
            handles.push_back(std::move(h));
            return reinterpret_cast<usb_dev_handle*>(handles.back().get());
        }
        // The hub, or a record that is not on this bus: nothing a program may open here.
        return nullptr;
    }

    int claim(usb_dev_handle* dh, int interface) {
        count(kClaim);
        Handle* h = handle(dh);
        if (h == nullptr || interface != 0) return kErrInvalid;
        if (faults.unplugged || h->gone) return kErrNoDevice;
        AdapterState& s = adapters[size_t(h->adapter)].state;
        if (faults.claimFails && s.configurationValue != 1) return kErrBusy;
        s.interfaceClaimed = true;
        return 0;
    }

    int setConfiguration(usb_dev_handle* dh, int value) {
        count(kSetConfiguration);
        Handle* h = handle(dh);
        if (h == nullptr || value != 1) return kErrInvalid;
        if (faults.unplugged || h->gone) return kErrNoDevice;
        if (faults.configFails) return kErrPipe;
        adapters[size_t(h->adapter)].state.configurationValue = 1;
        return 0;
    }

    int release(usb_dev_handle* dh, int interface) {
        count(kRelease);
        Handle* h = handle(dh);
        if (h == nullptr || interface != 0) return kErrInvalid;
        if (faults.unplugged || h->gone) return kErrNoDevice;
        if (faults.releaseFails) return kErrInvalid;
        AdapterState& s = adapters[size_t(h->adapter)].state;
        // The kernel refuses to release what was never claimed.
        if (!s.interfaceClaimed) return kErrInvalid;
        s.interfaceClaimed = false;
        return 0;
    }

    int close(usb_dev_handle* dh) {
        count(kClose);
        Handle* h = handle(dh);
        if (h == nullptr) return kErrInvalid;
        if (!h->gone) adapters[size_t(h->adapter)].state.interfaceClaimed = false;
        h->open = false;
        return 0;
    }

    // The checks every bulk transfer passes before it reaches the firmware; 0 when it may.
    int transferCheck(Handle* h, int endpoint, int expected, const char* bytes, int size) {
        if (faults.unplugAfter == 0) {
            faults.unplugged = true;
            faults.unplugAfter = -1;
        } else if (faults.unplugAfter > 0) {
            --faults.unplugAfter;
        }
        if (h == nullptr || endpoint != expected || bytes == nullptr || size <= 0)
            return kErrInvalid;
        if (faults.unplugged || h->gone) return kErrNoDevice;
        if (!adapters[size_t(h->adapter)].state.interfaceClaimed) return kErrBusy;
        if (faults.timeout) return kErrTimeout;
        return 0;
    }

    int bulkWrite(usb_dev_handle* dh, int endpoint, char* bytes, int size) {
        count(kBulkWrite);
        Handle* h = handle(dh);
        if (int rc = transferCheck(h, endpoint, kOut, bytes, size); rc != 0) return rc;
        Adapter& a = adapters[size_t(h->adapter)];
        Packet p{};
        std::memcpy(p.data(), bytes, size_t(std::min(size, 64)));
        if (recording) requests.emplace_back(bytes, bytes + size);
        check(a.state, p, size, received++);
        firmware(a, p);
        a.reply = p;
        a.replyPending = true;
        return std::min(size, 64);
    }

    int bulkRead(usb_dev_handle* dh, int endpoint, char* bytes, int size) {
        count(kBulkRead);
        Handle* h = handle(dh);
        if (int rc = transferCheck(h, endpoint, kIn, bytes, size); rc != 0) return rc;
        Adapter& a = adapters[size_t(h->adapter)];
        // Nothing asked, nothing to answer: the device NAKs until the time-out.
        if (!a.replyPending) return kErrTimeout;
        const int n = std::min(size, 64);
        std::memcpy(bytes, a.reply.data(), size_t(n));
        a.replyPending = false;
        return n;
    }

    void drive(AdapterState& s, uint8_t lines) {
        s.linePort = lines;
        chip.setLines(lines);
    }

    // What the firmware accepts from the program, judged before it answers.
    void check(const AdapterState& s, const Packet& p, int size, uint64_t number) {
        if (size != 64) chip.violation(ViolationKind::RequestLength, number);
        const uint8_t op = p[0];
        int selector = -1;  // the selector byte the opcode takes; -1: it has none
        switch (op) {
            case TZVK_SPIUSB::kWritePort:
            case TZVK_SPIUSB::kSpiWrite:
            case TZVK_SPIUSB::kSpiRead:
                selector = 0x01;
                break;
            case TZVK_SPIUSB::kReadInput:
                selector = 0x02;
                break;
            case TZVK_SPIUSB::kSetLevel:
            case TZVK_SPIUSB::kConfigure:
            case TZVK_SPIUSB::kGetVersion:
            case TZVK_SPIUSB::kReadAnalog:
                break;
            default:
                chip.violation(ViolationKind::UnknownCommand, number);
                return;
        }
        if (selector >= 0 && p[1] != selector)
            chip.violation(ViolationKind::UnknownSelector, number);
        // The program configures the adapter as soon as it has claimed it; asking for the
        // version first is harmless, anything else finds the adapter unconfigured.
        if (!s.configured && op != TZVK_SPIUSB::kConfigure && op != TZVK_SPIUSB::kGetVersion)
            chip.violation(ViolationKind::BeforeConfigure, number);
    }

    // The firmware: reads a request, leaves the reply in the same packet.
    void firmware(Adapter& a, Packet& p) {
        AdapterState& s = a.state;
        const Packet req = p;
        p.fill(0);
        p[0] = req[0];
        constexpr uint8_t serial = ChipModel::kSden | ChipModel::kSclk | ChipModel::kSdta;
        switch (req[0]) {
            case 0x02:  // WritePort
                if (req[1] == 0x01) drive(s, req[2]);
                break;
            case 0x05:  // SetLevel
                s.levelEnabled = req[1] != 0;
                s.levelMv = uint16_t(req[2] << 8 | req[3]);
                break;
            case 0x06:  // Configure
                s.configuration = {req[1], req[2], req[3]};
                s.configured = true;
                break;
            case 0x07: {  // SpiWrite
                if (req[1] != 0x01) break;
                s.lastDelay = req[2];
                const int bits = std::min<int>(req[3], 64);
                // SPISEL and MODSEL keep what the line port set; the serial lines start low.
                const uint8_t base = uint8_t(s.linePort & ~serial);
                for (int k = 0; k < bits; ++k) {
                    const bool one = (req[4 + k / 8] >> (7 - k % 8)) & 1;
                    const uint8_t l = uint8_t(base | (one ? ChipModel::kSdta : 0));
                    drive(s, l);
                    drive(s, uint8_t(l | ChipModel::kSclk));
                    drive(s, l);
                }
                drive(s, uint8_t(base | ChipModel::kSden));
                drive(s, base);
                break;
            }
            case 0x80: {  // GetVersion
                const char* text = faults.wrongVersion ? kWrongVersion : kFirmwareVersion;
                std::memcpy(&p[1], text, 15);
                break;
            }
            case 0x81: {  // SpiRead
                if (req[1] != 0x01) break;
                s.lastDelay = req[2];
                const int bits = std::min<int>(req[3], 64);
                const uint8_t base = uint8_t(s.linePort & ~serial);
                drive(s, base);
                // The chip shows its first bit right after the read request's SDEN edge, so
                // MFO is sampled before each clock, and the i-th bit received lands in bit i,
                // the order the parallel port assembles a read in.
                uint64_t v = 0;
                for (int i = 0; i < bits; ++i) {
                    if (chip.mfo()) v |= uint64_t(1) << i;
                    drive(s, uint8_t(base | ChipModel::kSclk));
                    drive(s, base);
                }
                // The received word goes out left-aligned, big-endian, in the data bytes:
                // for 12 bits data byte 0 = v >> 4 and data byte 1 = (v & 0xF) << 4. The
                // register read decodes (byte0 << 4) | (byte1 >> 4) and so gets v back, the
                // very word the parallel port reads from the same chip state. The write
                // cycle's read-back decoding byte0 | (byte1 & 0x0F) << 8 then holds v >> 4,
                // since the low nibble of byte 1 is always clear; nothing reads that image.
                const uint64_t aligned = bits == 0 ? 0 : v << (64 - bits);
                for (int k = 0; k < 8; ++k) p[size_t(4 + k)] = uint8_t(aligned >> (56 - 8 * k));
                break;
            }
            case 0x83:  // ReadInput: the byte stands for the port's masked BUSY bit
                if (req[1] == 0x02) p[3] = chip.mfo() ? 0x00 : 0x80;
                break;
            case 0x85:  // ReadAnalog: channel 7 measures the logic-level reference
                if (req[1] == 7) {
                    const uint16_t mv = s.levelEnabled ? s.levelMv : externalMv;
                    p[1] = uint8_t(mv >> 8);
                    p[2] = uint8_t(mv & 0xFF);
                }
                break;
            default:
                break;
        }
    }

    void buildApi() {
        api.usb_init = [this] { count(kInit); };
        api.usb_find_busses = [this] {
            count(kFindBusses);
            return int(buses.size());
        };
        api.usb_find_devices = [this] {
            count(kFindDevices);
            return findDevices();
        };
        api.usb_get_busses = [this] {
            count(kGetBusses);
            return buses.front().get();
        };
        api.usb_open = [this](struct usb_device* d) { return open(d); };
        api.usb_claim_interface = [this](usb_dev_handle* h, int i) { return claim(h, i); };
        api.usb_set_configuration = [this](usb_dev_handle* h, int v) {
            return setConfiguration(h, v);
        };
        api.usb_release_interface = [this](usb_dev_handle* h, int i) { return release(h, i); };
        api.usb_close = [this](usb_dev_handle* h) { return close(h); };
        api.usb_bulk_write = [this](usb_dev_handle* h, int ep, char* b, int n, int) {
            return bulkWrite(h, ep, b, n);
        };
        api.usb_bulk_read = [this](usb_dev_handle* h, int ep, char* b, int n, int) {
            return bulkRead(h, ep, b, n);
        };
    }
};

VirtualUsbBus::VirtualUsbBus(ChipModel& chip, int adapters)
    : impl_(std::make_unique<Impl>(chip, adapters)) {}

VirtualUsbBus::~VirtualUsbBus() = default;

const LibusbApi* VirtualUsbBus::api() const {
    return &impl_->api;
}

VirtualUsbBus::Faults& VirtualUsbBus::faults() {
    return impl_->faults;
}

void VirtualUsbBus::replug() {
    impl_->replug();
}

int VirtualUsbBus::adapterCount() const {
    return int(impl_->adapters.size());
}

int VirtualUsbBus::openedAdapter() const {
    // Handles are only ever added when an adapter opens: the newest is the last opened.
    return impl_->handles.empty() ? -1 : impl_->handles.back()->adapter;
}

int VirtualUsbBus::openHandles() const {
    return int(std::count_if(impl_->handles.begin(), impl_->handles.end(),
                             [](const auto& h) { return h->open; }));
}

uint64_t VirtualUsbBus::transfers() const {
    return impl_->counts[kBulkWrite] + impl_->counts[kBulkRead];
}

uint64_t VirtualUsbBus::calls(const std::string& function) const {
    for (int f = 0; f < kFnCount; ++f)
        if (function == kFnNames[f]) return impl_->counts[size_t(f)];
    return 0;
}

const std::vector<std::string>& VirtualUsbBus::callLog() const {
    return impl_->log;
}

const std::vector<VirtualUsbBus::Request>& VirtualUsbBus::requests() const {
    return impl_->requests;
}

std::string VirtualUsbBus::describe(const Request& request) {
    // Bytes a short request did not carry read as 0, as the firmware's buffer holds them.
    Packet r{};
    std::memcpy(r.data(), request.data(), std::min(request.size(), r.size()));
    std::string text = describePacket(r);
    if (request.size() != r.size()) text += " (" + std::to_string(request.size()) + " bytes)";
    return text;
}

void VirtualUsbBus::setRecording(bool on) {
    impl_->recording = on;
}

void VirtualUsbBus::resetCounts() {
    impl_->counts.fill(0);
    impl_->log.clear();
    impl_->requests.clear();
}

void VirtualUsbBus::setExternalLevel(uint16_t mv) {
    impl_->externalMv = mv;
}

const VirtualUsbBus::AdapterState& VirtualUsbBus::adapter(int index) const {
    return impl_->adapters.at(size_t(index)).state;
}

void VirtualUsbBus::firmwareCommand(int index, Packet& packet) {
    impl_->firmware(impl_->adapters.at(size_t(index)), packet);
}

}  // namespace zvk
