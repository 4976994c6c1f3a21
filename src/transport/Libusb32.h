// SPDX-License-Identifier: MIT
#pragma once
#include <usb.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace zvk {

// The eleven libusb 0.1 functions the program calls, as a table: the production table
// comes from dlopen/dlsym, so the program starts without libusb; the virtual adapter
// supplies its own table over a simulated bus.
struct LibusbApi {
    std::function<void()> usb_init;
    std::function<int()> usb_find_busses;
    std::function<int()> usb_find_devices;
    std::function<struct usb_bus*()> usb_get_busses;
    std::function<usb_dev_handle*(struct usb_device*)> usb_open;
    std::function<int(usb_dev_handle*, int)> usb_claim_interface;
    std::function<int(usb_dev_handle*, int)> usb_set_configuration;
    std::function<int(usb_dev_handle*, int)> usb_release_interface;
    std::function<int(usb_dev_handle*)> usb_close;
    std::function<int(usb_dev_handle*, int, char*, int, int)> usb_bulk_write;
    std::function<int(usb_dev_handle*, int, char*, int, int)> usb_bulk_read;
};

// The system's libusb 0.1 ("libusb-0.1.so.4"), loaded once; nullptr when it is absent.
const LibusbApi* systemLibusb();

// What device access has to tell the user. How it is worded and shown is the program
// core's business; a transport only says what went wrong.
enum class UsbProblem {
    LibraryMissing,       // libusb could not be loaded
    ConfigurationFailed,  // the interface could not be claimed nor the configuration set
    ReleaseFailed,        // the interface could not be released at the end
};
using UsbProblemSink = std::function<void(UsbProblem)>;

// Which adapter the search may take: any (the last in the walk), the one at a bus and
// device number, or the one on a USB port path as sysfs names it ("1-1.4": stable while
// the cabling stays, where the device number changes at every plug).
struct AdapterChoice {
    int bus = -1;  // -1: any
    int device = -1;
    std::string portPath;                           // set: resolved at every search
    std::string usbSysfs = "/sys/bus/usb/devices";  // where portPath is looked up
    bool none = false;                              // no adapter at all: the port only
    bool any() const { return bus < 0 && portPath.empty(); }
    std::string text() const;  // "usb:3/7", "usb:path=1-1.4"
};

// The bus and device number sysfs gives the USB device on port path ("1-1.4"); nullopt
// when nothing is plugged in there.
std::optional<std::pair<int, int>> usbAddressOfPort(const std::string& usbSysfs,
                                                    const std::string& portPath);
// The port path of the USB device at bus and device number; empty when sysfs names none.
std::string usbPortOf(const std::string& usbSysfs, int bus, int device);
// A libusb 0.1 bus's or device's number from its name ("003"); -1 when it is none.
int usbNumber(const char* name);

// Device access to the ZVK_SPIUSB adapter: found once at construction, never searched
// again; every transfer is gated by Ready.
class TlibUSB {
  public:
    static constexpr int kVendor = 0x03E9;
    static constexpr int kProduct = 0x0309;
    static constexpr int kEndpointOut = 0x01;
    static constexpr int kEndpointIn = 0x81;

    // api == nullptr means the library could not be loaded.
    TlibUSB(const LibusbApi* api, UsbProblemSink problems, AdapterChoice choice = {});
    ~TlibUSB();  // Close
    TlibUSB(const TlibUSB&) = delete;
    TlibUSB& operator=(const TlibUSB&) = delete;

    bool Open();
    // A lost adapter (usbfs answers its handle with ENODEV for ever, and a replugged one
    // has a new node): the old handle released and closed, and the bus searched again,
    // claim and configuration as at start. True when an adapter was found.
    bool SearchAgain();
    // Releases the interface and closes the handle without a word: at the end of the
    // program, where a message would only hold up the exit.
    void Release();
    int BulkWrite(uint8_t* buffer, int length);
    int BulkRead(uint8_t* buffer, int length);

    // What the search and opening left, for the adapter object, the doctor and tests.
    usb_dev_handle* handle() const { return Handle; }
    bool ready() const { return Ready; }
    struct usb_device* device() const {
        return Device;
    }
    int32_t timeout() const { return Timeout; }
    // The bus and device number of the adapter in use; -1 when none.
    int busNumber() const;
    int deviceNumber() const;
    const AdapterChoice& choice() const { return choice_; }

  private:
    usb_dev_handle* Handle = nullptr;
    bool Ready = false;
    struct usb_device* Device = nullptr;
    int32_t Timeout = 1000;

    bool libraryCheck();
    const LibusbApi* api_;
    UsbProblemSink problems_;
    AdapterChoice choice_;
};

}  // namespace zvk
