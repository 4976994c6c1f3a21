#pragma once
#include <usb.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

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

// How failure messages reach the user: message boxes in the window, one line on
// standard error in the command-line tool.
class Reporter {
  public:
    enum class Icon { None, Error, Information };
    virtual ~Reporter() = default;
    virtual void report(const std::string& text, const std::string& caption, Icon icon) = 0;
};

class StderrReporter : public Reporter {
  public:
    void report(const std::string& text, const std::string& caption, Icon icon) override;
};

// Device access to the ZVK_SPIUSB adapter: found once at construction, never searched
// again; every transfer is gated by Ready.
class TlibUSB {
  public:
    static constexpr int kVendor = 0x03E9;
    static constexpr int kProduct = 0x0309;
    static constexpr int kEndpointOut = 0x01;
    static constexpr int kEndpointIn = 0x81;

    // api == nullptr means the library could not be loaded.
    TlibUSB(const LibusbApi* api, Reporter& reporter);
    ~TlibUSB();  // Close
    TlibUSB(const TlibUSB&) = delete;
    TlibUSB& operator=(const TlibUSB&) = delete;

    bool Open();
    int BulkWrite(uint8_t* buffer, int length);
    int BulkRead(uint8_t* buffer, int length);

    usb_dev_handle* Handle = nullptr;
    bool Ready = false;
    struct usb_device* Device = nullptr;
    int32_t Timeout = 1000;

  private:
    bool libraryCheck();
    const LibusbApi* api_;
    Reporter* reporter_;
};

}  // namespace zvk
