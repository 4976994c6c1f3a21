// SPDX-License-Identifier: MIT
#include "transport/Libusb32.h"

#include <dlfcn.h>

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

TlibUSB::TlibUSB(const LibusbApi* api, UsbProblemSink problems)
    : api_(api), problems_(std::move(problems)) {
    libraryCheck();
    Ready = Open();
}

bool TlibUSB::libraryCheck() {
    if (api_ != nullptr) return true;
    if (problems_) problems_(UsbProblem::LibraryMissing);
    return false;
}

bool TlibUSB::Open() {
    // Without the library there is nothing to search with; the device counts as absent.
    if (api_ == nullptr) return false;
    api_->usb_init();
    api_->usb_find_busses();
    api_->usb_find_devices();
    for (struct usb_bus* bus = api_->usb_get_busses(); bus != nullptr; bus = bus->next) {
        for (struct usb_device* dev = bus->devices; dev != nullptr; dev = dev->next) {
            if (dev->descriptor.idVendor != kVendor || dev->descriptor.idProduct != kProduct)
                continue;
            // The last match wins. libusb 0.1.12 returns a handle even when opening the
            // node failed (the failure shows at the claim); a null handle, which other
            // builds of the library may give, wins nothing. An earlier match's handle is
            // closed rather than left open for the rest of the run.
            usb_dev_handle* h = api_->usb_open(dev);
            if (h == nullptr) continue;
            if (Handle != nullptr) api_->usb_close(Handle);
            Device = dev;
            Handle = h;
        }
    }
    if (Handle == nullptr) return false;
    if (api_->usb_claim_interface(Handle, 0) >= 0) return true;
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
