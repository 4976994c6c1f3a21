// SPDX-License-Identifier: MIT
#include "session/Reporter.h"

#include <iostream>

namespace zvk {

void StderrReporter::report(const std::string& text, const std::string& caption, Icon) {
    std::cerr << caption << ": " << text << "\n";
}

UsbProblemMessage usbProblemMessage(UsbProblem problem) {
    switch (problem) {
        case UsbProblem::LibraryMissing:
            return {"Error loading libusb0.dll", "DLL Error", Reporter::Icon::None};
        case UsbProblem::ConfigurationFailed:
            return {"Error in USB configuration", "Handle Error", Reporter::Icon::Error};
        case UsbProblem::ReleaseFailed:
            return {"Could not close USB_Handle_Out", "Handle Error", Reporter::Icon::Error};
    }
    return {"", "", Reporter::Icon::None};
}

UsbProblemSink reportUsbProblems(Reporter& reporter) {
    return [&reporter](UsbProblem problem) {
        const UsbProblemMessage m = usbProblemMessage(problem);
        reporter.report(m.text, m.caption, m.icon);
    };
}

}  // namespace zvk
