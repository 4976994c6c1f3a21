// SPDX-License-Identifier: MIT
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "transport/Lpt.h"
#include "transport/SpiLink.h"
#include "transport/Zvk_spiusb.h"

namespace zvk {

class ChipController;

// What the window shows of the interface state: the "LPT" menu, the level menu items,
// the T_USB timer and the interface panel of the status bar. The window copies it onto
// its widgets after every call below.
struct InterfaceView {
    bool lptMenuEnabled = true;
    bool tUsbEnabled = false;
    bool extVrefEnabled = false;  // once enabled, never disabled again
    bool extVrefTicked = false;
    bool setVpwmEnabled = false;
    // which LPT radio item is ticked: 0 the default base, 1 the second, 2 "user defined"
    int lptTicked = 2;
    std::string panel;  // the interface panel text
};

// The adapter detection, the logic-level settings and the parallel-port address menu,
// without widgets. It holds both transports and decides which one is in use (the
// USB-in-use flag); the chip controller it drives follows each decision at once.
class InterfaceDetection {
  public:
    // The dialog and message texts of the level and address commands, so the window
    // and its tests use one spelling.
    static constexpr const char* kUserDefinedCaption = "LPT-port address";
    static constexpr const char* kUserDefinedPrompt = "input hexadecimal without prefix";
    static constexpr const char* kSetVpwmCaption = " Set High Level for SPI interface";
    static constexpr const char* kSetVpwmPrompt = "RefOut [mV]";
    static constexpr const char* kDisconnectMessage =
        "Please disconnect external reference voltage";
    static constexpr int32_t kVpwmMax = 5000;
    // The LPT menu's second fixed address.
    static constexpr int kSecondPortBase = 0x3BC;

    InterfaceDetection(Lpt& lpt, TZVK_SPIUSB& adapter);

    // Told when a chosen base's driver could not be had (the old base stays in use), with
    // the reasons for the new one.
    std::function<void(const std::string&)> baseRefused;
    // Told once when the adapter in use stops answering while nothing searches for it:
    // what brings it back.
    std::function<void(const std::string&)> adapterLost;
    // "Resend Registers When the Adapter Returns": a lost adapter is closed and the bus
    // searched again on later ticks (Linux never lets the old handle answer again).
    bool searchAgain = false;
    // Bus searches made for a lost adapter, for tests and the trace.
    uint64_t searches() const { return searches_; }

    bool level = true;    // internal reference (true) or external (false)
    int32_t vpwm = 5000;  // internal reference in millivolts, 0..5000

    const InterfaceView& view() const { return view_; }
    bool usbInUse() const { return usbInUse_; }
    // The transport in use: the adapter while the USB-in-use flag is set, else the port.
    SpiLink& link() { return usbInUse_ ? static_cast<SpiLink&>(adapterLink_) : portLink_; }
    // The controller whose transfers go through link() from now on, at every decision.
    void setController(ChipController* chip);

    // In the window's constructor: the flag takes the adapter's Ready, T_USB follows.
    void startUpConstruct();
    // Start-up steps after the port driver was opened: panel texts, menus, SetLevel,
    // the LPT menu ticks. Runs after the port's start-up (Lpt::setDriverOpen), which has
    // already turned a stored base of 0 into the default.
    void startUpAfterPortOpen();
    // The detection tick: version check, flag, menus, SetLevel, ReadAnalog, panel.
    void tick();

    // The LPT menu.
    void choose378();
    void choose3BC();
    // "user defined": the dialog's text (cancel gives the initial text back, so the old
    // base is kept). Returns false when the text is not a hexadecimal port address: then
    // nothing changes and the message to show (naming the text) is returned through error.
    bool chooseUserDefined(const std::string& text, std::string* error);
    // The initial text of the user-defined dialog: the base as four hex digits.
    std::string userDefinedInitialText() const;

    // "ext. Vref": toggles; returns true when the window must show
    // "Please disconnect external reference voltage".
    bool extVrefClick();
    // "Set Vpwm": confirmed with a text (nullopt when cancelled). Returns false, with the
    // message in error, when the text is not an integer (nothing changes, nothing sent).
    bool setVpwm(const std::optional<std::string>& text, std::string* error);
    // The initial text of the "Set Vpwm" dialog: VPWM in decimal.
    std::string setVpwmInitialText() const;

  private:
    void searchLostAdapter();
    void choose(bool usb);
    void applyFlag(bool usb);
    void sendLevel();
    void showPortPanel(int minDigits);
    // The LPT menu's choice of a base (ticked: the item to tick): the panel and the
    // ticks follow the base in use.
    void chooseBase(int base, int ticked);
    void tickBase();
    Lpt* lpt_;
    TZVK_SPIUSB* adapter_;
    LptLink portLink_;
    AdapterLink adapterLink_;
    bool usbInUse_ = false;
    ChipController* chip_ = nullptr;
    InterfaceView view_;
    bool lost_ = false;  // the adapter was in use and stopped answering
    bool lostTold_ = false;
    uint64_t searches_ = 0;
    int ticksToNextSearch_ = 0;
};

}  // namespace zvk
