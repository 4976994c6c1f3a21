// SPDX-License-Identifier: MIT
#include "session/AdapterReturn.h"

#include "chip/ChipController.h"

namespace zvk {

bool AdapterReturn::afterTick(bool usbInUse, ChipController& chip) {
    // An adapter first seen after start-up did not lose anything it had been sent.
    if (last_.value_or(false) && !usbInUse) lost_ = true;
    last_ = usbInUse;
    if (!lost_ || !usbInUse) return false;
    lost_ = false;
    if (resend) chip.writeCycle();
    return true;
}

}  // namespace zvk
