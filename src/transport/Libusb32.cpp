// SPDX-License-Identifier: MIT
#include "transport/Libusb32.h"

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

namespace zvk {

namespace {

template <typename Fn>
bool bind(void* lib, const char* name, std::function<Fn>& slot) {
    void* sym = dlsym(lib, name);
    if (sym == nullptr) return false;
    slot = reinterpret_cast<Fn*>(sym);
    return true;
}

std::unique_ptr<LibusbApi> loadLibusb() {
    void* lib = dlopen("libusb-0.1.so.4", RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) return nullptr;
    auto api = std::make_unique<LibusbApi>();
    const bool ok = bind(lib, "usb_init", api->usb_init) &&
                    bind(lib, "usb_find_busses", api->usb_find_busses) &&
                    bind(lib, "usb_find_devices", api->usb_find_devices) &&
                    bind(lib, "usb_get_busses", api->usb_get_busses) &&
                    bind(lib, "usb_open", api->usb_open) &&
                    bind(lib, "usb_claim_interface", api->usb_claim_interface) &&
                    bind(lib, "usb_set_configuration", api->usb_set_configuration) &&
                    bind(lib, "usb_release_interface", api->usb_release_interface) &&
                    bind(lib, "usb_close", api->usb_close) &&
                    bind(lib, "usb_bulk_write", api->usb_bulk_write) &&
                    bind(lib, "usb_bulk_read", api->usb_bulk_read);
    // The library stays loaded for the whole run: the device handle lives that long.
    if (!ok) return nullptr;
    return api;
}

}  // namespace

const LibusbApi* systemLibusb() {
    static const std::unique_ptr<LibusbApi> api = loadLibusb();
    return api.get();
}

std::string AdapterChoice::text() const {
    if (none) return "none";
    if (!portPath.empty()) return "usb:path=" + portPath;
    if (bus >= 0) return "usb:" + std::to_string(bus) + "/" + std::to_string(device);
    return "usb";
}

namespace {

std::optional<int> numberFile(const std::string& path) {
    std::ifstream f(path);
    int v = -1;
    if (!(f >> v) || v < 0) return std::nullopt;
    return v;
}

}  // namespace

std::optional<std::pair<int, int>> usbAddressOfPort(const std::string& usbSysfs,
                                                    const std::string& portPath) {
    // A port path has no slash and no dot-dot: it names a folder of usbSysfs, nothing else.
    if (portPath.empty() || portPath.find('/') != std::string::npos || portPath[0] == '.')
        return std::nullopt;
    const auto bus = numberFile(usbSysfs + "/" + portPath + "/busnum");
    const auto dev = numberFile(usbSysfs + "/" + portPath + "/devnum");
    if (!bus || !dev) return std::nullopt;
    return std::make_pair(*bus, *dev);
}

std::string usbPortOf(const std::string& usbSysfs, int bus, int device) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(usbSysfs, ec)) {
        const std::string name = e.path().filename().string();
        // Interfaces ("1-1.4:1.0") and root hubs ("usb1") are no ports.
        if (name.find(':') != std::string::npos || name.rfind("usb", 0) == 0) continue;
        if (usbAddressOfPort(usbSysfs, name) == std::make_pair(bus, device)) return name;
    }
    return "";
}

int usbNumber(const char* name) {
    if (name == nullptr || *name == '\0') return -1;
    int v = 0;
    for (const char* c = name; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || v > 100000) return -1;
        v = v * 10 + (*c - '0');
    }
    return v;
}

TlibUSB::TlibUSB(const LibusbApi* api, UsbProblemSink problems, AdapterChoice choice)
    : api_(api), problems_(std::move(problems)), choice_(std::move(choice)) {
    libraryCheck();
    Ready = Open();
}

bool TlibUSB::libraryCheck() {
    if (api_ != nullptr) return true;
    if (problems_) problems_(UsbProblem::LibraryMissing);
    return false;
}

int TlibUSB::busNumber() const {
    return Device != nullptr && Device->bus != nullptr ? usbNumber(Device->bus->dirname) : -1;
}

int TlibUSB::deviceNumber() const {
    return Device != nullptr ? usbNumber(Device->filename) : -1;
}

bool TlibUSB::Open() {
    // Without the library there is nothing to search with; the device counts as absent.
    if (api_ == nullptr) return false;
    api_->usb_init();
    api_->usb_find_busses();
    api_->usb_find_devices();
    if (choice_.none) return false;
    // A port path names whatever is plugged in there now.
    AdapterChoice want = choice_;
    if (!want.portPath.empty()) {
        const auto at = usbAddressOfPort(want.usbSysfs, want.portPath);
        if (!at) return false;
        want.bus = at->first;
        want.device = at->second;
    }
    struct Match {
        int bus, device;
        struct usb_device* dev;
    };
    std::vector<Match> matches;
    for (struct usb_bus* bus = api_->usb_get_busses(); bus != nullptr; bus = bus->next) {
        for (struct usb_device* dev = bus->devices; dev != nullptr; dev = dev->next) {
            if (dev->descriptor.idVendor != kVendor || dev->descriptor.idProduct != kProduct)
                continue;
            const Match m{usbNumber(bus->dirname), usbNumber(dev->filename), dev};
            if (want.bus >= 0 && (m.bus != want.bus || m.device != want.device)) continue;
            matches.push_back(m);
        }
    }
    // The walk's order is the bus number, then the device number, whatever order libusb
    // lists them in (on some file systems the node made first), and the last match wins.
    std::stable_sort(matches.begin(), matches.end(), [](const Match& a, const Match& b) {
        return a.bus != b.bus ? a.bus < b.bus : a.device < b.device;
    });
    // An adapter another program (or instance) has claimed is passed over when another can
    // be claimed; the last match keeps its handle for the configuration step otherwise.
    // libusb 0.1.12 returns a handle even when opening the node failed (the failure shows
    // at the claim); a null handle, which other builds of the library may give, wins
    // nothing.
    usb_dev_handle* fallback = nullptr;
    struct usb_device* fallbackDevice = nullptr;
    for (auto m = matches.rbegin(); m != matches.rend(); ++m) {
        usb_dev_handle* h = api_->usb_open(m->dev);
        if (h == nullptr) continue;
        if (api_->usb_claim_interface(h, 0) >= 0) {
            if (fallback != nullptr) api_->usb_close(fallback);
            Device = m->dev;
            Handle = h;
            return true;
        }
        if (fallback == nullptr) {
            fallback = h;
            fallbackDevice = m->dev;
        } else {
            api_->usb_close(h);
        }
    }
    if (fallback == nullptr) return false;
    Device = fallbackDevice;
    Handle = fallback;
    if (api_->usb_set_configuration(Handle, 1) < 0) {
        if (problems_) problems_(UsbProblem::ConfigurationFailed);
    } else {
        api_->usb_claim_interface(Handle, 0);
    }
    return true;
}

int TlibUSB::BulkWrite(uint8_t* buffer, int length) {
    if (!Ready) return 0;
    return api_->usb_bulk_write(Handle, kEndpointOut, reinterpret_cast<char*>(buffer), length,
                                Timeout);
}

int TlibUSB::BulkRead(uint8_t* buffer, int length) {
    if (!Ready) return 0;
    return api_->usb_bulk_read(Handle, kEndpointIn, reinterpret_cast<char*>(buffer), length,
                               Timeout);
}

bool TlibUSB::SearchAgain() {
    Release();
    Device = nullptr;
    Ready = Open();
    return Ready;
}

void TlibUSB::Release() {
    if (!Ready || api_ == nullptr) return;
    api_->usb_release_interface(Handle, 0);
    api_->usb_close(Handle);
    Ready = false;
    Handle = nullptr;
}

TlibUSB::~TlibUSB() {
    if (!Ready || api_ == nullptr) return;
    if (api_->usb_release_interface(Handle, 0) < 0)
        if (problems_) problems_(UsbProblem::ReleaseFailed);
    api_->usb_close(Handle);
}

}  // namespace zvk
