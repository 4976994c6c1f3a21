// SPDX-License-Identifier: MIT
#include "session/InterfaceDetection.h"

#include <algorithm>

#include "base/Numbers.h"
#include "chip/ChipController.h"

namespace zvk {

namespace {

constexpr const char* kPortPanelPrefix = "LPT Port Address: 0x";

std::string baseText(int base, int minDigits) {
    return hexText(uint32_t(base), minDigits);
}

}  // namespace

InterfaceDetection::InterfaceDetection(Lpt& lpt, TZVK_SPIUSB& adapter)
    : lpt_(&lpt), adapter_(&adapter), portLink_(lpt), adapterLink_(adapter, lpt.lineState()) {}

void InterfaceDetection::setController(ChipController* chip) {
    chip_ = chip;
    if (chip_ != nullptr) chip_->setLink(link());
}

void InterfaceDetection::choose(bool usb) {
    usbInUse_ = usb;
    // The very next transfer takes the transport chosen; nothing is resent at the switch.
    if (chip_ != nullptr) chip_->setLink(link());
}

void InterfaceDetection::startUpConstruct() {
    choose(adapter_->DeviceReady());
    view_.tUsbEnabled = usbInUse_;
}

void InterfaceDetection::startUpAfterPortOpen() {
    view_.panel = "LPT1:0x" + baseText(lpt_->base(), 4);
    applyFlag(usbInUse_);
    tickBase();
    if (!usbInUse_) showPortPanel(4);
}

void InterfaceDetection::tick() {
    if (lost_ && searchAgain) searchLostAdapter();
    const bool wasUsb = usbInUse_;
    const bool usb = adapter_->VersionMatches();
    choose(usb);
    applyFlag(usb);
    if (!usb) {
        // A version text that did not come back at all: the adapter is gone, not wrong.
        if (wasUsb && !adapter_->lastReplyArrived()) lost_ = true;
        if (lost_ && !searchAgain && !lostTold_ && adapterLost) {
            lostTold_ = true;
            adapterLost(
                "ZVK_SPIUSB adapter lost: the parallel port is used until the program is "
                "started again, or turn on \"Resend Registers When the Adapter Returns\" to "
                "have it searched for");
        }
        showPortPanel(4);
        return;
    }
    lost_ = false;
    uint16_t millivolts = 0;
    adapter_->ReadAnalog(TZVK_SPIUSB::kLevelChannel, millivolts);
    // An adapter pulled out after the version check answers nothing: keep "USB found"
    // rather than show the request's bytes as a level.
    if (!adapter_->lastReplyArrived()) return;
    view_.panel = std::string(level ? "USB found, int. Lvl: " : "USB found, ext. Lvl: ") +
                  fixedText(millivolts * 0.001, 2) + "V";
}

void InterfaceDetection::searchLostAdapter() {
    if (ticksToNextSearch_ > 0) {
        --ticksToNextSearch_;
        return;
    }
    // A search that takes long (many devices, a slow hub) is not made on every tick: the
    // window's timer must keep its pace.
    Clock& clock = lpt_->clock();
    const uint64_t start = clock.now();
    ++searches_;
    adapter_->SearchAgain();
    const uint64_t tookMs = (clock.now() - start) * 1000u / clock.frequency();
    constexpr uint64_t kSlowMs = 50;
    ticksToNextSearch_ = tookMs > kSlowMs ? int(std::min<uint64_t>(tookMs / kSlowMs, 30)) : 0;
}

void InterfaceDetection::applyFlag(bool usb) {
    view_.lptMenuEnabled = !usb;
    view_.tUsbEnabled = usb;
    if (!usb) return;  // the level items stay as they are once the adapter was seen
    view_.extVrefEnabled = true;
    view_.extVrefTicked = !level;
    if (level) view_.setVpwmEnabled = true;
    view_.panel = "USB found";
    sendLevel();
}

void InterfaceDetection::sendLevel() {
    // VPWM may come from a hand-edited settings file; the adapter takes 16 bits, so an
    // unclamped 70000 would arrive as 4464 mV.
    if (level)
        adapter_->SetLevel(1, uint16_t(std::clamp<int32_t>(vpwm, 0, kVpwmMax)));
    else
        adapter_->SetLevel(0, 0);
}

void InterfaceDetection::showPortPanel(int minDigits) {
    view_.panel = kPortPanelPrefix + baseText(lpt_->base(), minDigits);
}

void InterfaceDetection::tickBase() {
    view_.lptTicked = 2;
    if (lpt_->base() == kDefaultPortBase) view_.lptTicked = 0;
    if (lpt_->base() == kSecondPortBase) view_.lptTicked = 1;
}

void InterfaceDetection::chooseBase(int base, int ticked) {
    std::string why;
    // A base whose driver cannot be had leaves the old one in use, ticked and shown.
    if (lpt_->changeBase(base, &why)) view_.lptTicked = ticked;
    showPortPanel(3);
    if (!why.empty() && baseRefused) baseRefused(why);
}

void InterfaceDetection::choose378() {
    chooseBase(kDefaultPortBase, 0);
}

void InterfaceDetection::choose3BC() {
    chooseBase(kSecondPortBase, 1);
}

bool InterfaceDetection::chooseUserDefined(const std::string& text, std::string* error) {
    // Signs are refused: with the "0x" the dialog's text is meant to follow, "-5" is no
    // number at all.
    const std::optional<long long> value = parseHex(text);
    if (!value || !validPortBase(*value)) {
        if (error != nullptr)
            *error = "\"" + text +
                     "\" is not a valid port address: expected a hexadecimal number without "
                     "prefix from " +
                     hexText(kMinPortBase, 1) + " to " + hexText(kMaxPortBase, 1);
        return false;
    }
    chooseBase(int(*value), 2);
    return true;
}

std::string InterfaceDetection::userDefinedInitialText() const {
    return baseText(lpt_->base(), 4);
}

bool InterfaceDetection::extVrefClick() {
    view_.extVrefTicked = !view_.extVrefTicked;
    level = !view_.extVrefTicked;
    view_.setVpwmEnabled = level;
    sendLevel();
    return level;
}

bool InterfaceDetection::setVpwm(const std::optional<std::string>& text, std::string* error) {
    if (text) {
        // A signed 32-bit number or nothing: 99999999999 is no level at all.
        const std::optional<long long> value = parseDecimal32(*text);
        if (!value) {
            if (error != nullptr)
                *error = "\"" + *text +
                         "\" is not a valid level: expected a whole number of millivolts "
                         "(above " +
                         std::to_string(kVpwmMax) + " is sent as " + std::to_string(kVpwmMax) +
                         ", below 0 as 0)";
            return false;
        }
        vpwm = int32_t(std::clamp<long long>(*value, 0, kVpwmMax));
    } else {
        vpwm = std::clamp<int32_t>(vpwm, 0, kVpwmMax);
    }
    adapter_->SetLevel(1, uint16_t(vpwm));
    return true;
}

std::string InterfaceDetection::setVpwmInitialText() const {
    return std::to_string(vpwm);
}

}  // namespace zvk
