// SPDX-License-Identifier: MIT
#pragma once
// The instrument's command set as the socket server's line handler.
#include "remote/Instrument.h"
#include "remote/ScpiServer.h"

namespace zvk::remote {

class InstrumentLines : public LineHandler {
  public:
    explicit InstrumentLines(Instrument& instrument) : instrument_(instrument) {}
    std::string line(std::string_view text) override { return instrument_.execute(text); }
    void overlong() override { instrument_.refuseOverlongLine(); }
    void clientChanged() override { instrument_.clientChanged(); }

  private:
    Instrument& instrument_;
};

}  // namespace zvk::remote
