// SPDX-License-Identifier: MIT
#pragma once
#include <string>

#include "transport/Libusb32.h"

namespace zvk {

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

// The program's own words for what device access ran into.
struct UsbProblemMessage {
    const char* text;
    const char* caption;
    Reporter::Icon icon;
};
UsbProblemMessage usbProblemMessage(UsbProblem problem);
// Device access's problems, worded and handed to the reporter.
UsbProblemSink reportUsbProblems(Reporter& reporter);

}  // namespace zvk
