// SPDX-License-Identifier: MIT
#pragma once
#include <optional>

namespace zvk {

class ChipController;

// An adapter pulled out and plugged back has powered the chip down with it, so the chip may
// have lost its registers. Watches the detection tick for that return and, when the user
// asked for it, sends the register image once.
class AdapterReturn {
  public:
    bool resend = false;  // "Resend Registers When the Adapter Returns"

    // After each detection tick, with the adapter's state it left. True when the adapter
    // came back after it had been in use and was lost; the image was sent then if resend.
    bool afterTick(bool usbInUse, ChipController& chip);

  private:
    std::optional<bool> last_;
    bool lost_ = false;
};

}  // namespace zvk
