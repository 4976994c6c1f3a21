// SPDX-License-Identifier: MIT
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace zvk::remote {

// The standard error codes a remote client can get back from SYST:ERR?.
enum ScpiError : int {
    kNoError = 0,
    kCommandError = -100,
    kInvalidCharacter = -101,
    kSyntaxError = -102,
    kDataTypeError = -104,
    kParameterNotAllowed = -108,
    kMissingParameter = -109,
    kUndefinedHeader = -113,
    kHeaderSuffixOutOfRange = -114,
    kNumericDataError = -120,
    kInvalidSuffix = -131,
    kInvalidCharacterData = -141,
    kStringDataError = -150,
    kExecutionError = -200,
    kSettingsConflict = -221,
    kDataOutOfRange = -222,
    kTooMuchData = -223,
    kIllegalParameterValue = -224,
    kFileNameNotFound = -256,
    kFileNameError = -257,
    kQueueOverflow = -350,
    kQueryInterrupted = -410,
};

// The standard text of a code ("Undefined header"); "Unknown error" for one we never emit.
const char* errorText(int code);

// The bits of the standard event status register.
enum EventStatusBit : uint8_t {
    kOperationComplete = 1 << 0,
    kQueryErrorBit = 1 << 2,
    kDeviceErrorBit = 1 << 3,
    kExecutionErrorBit = 1 << 4,
    kCommandErrorBit = 1 << 5,
};
// The event status bit an error sets: command errors bit 5, execution errors bit 4,
// device-dependent errors bit 3, query errors bit 2.
uint8_t eventBitOf(int code);

// The error and event queue: first in, first out, at most kCapacity entries. When it is
// full, the newest entry becomes -350,"Queue overflow" and later errors are lost until the
// client reads the queue, so the client learns that it missed some.
class ErrorQueue {
  public:
    static constexpr size_t kCapacity = 20;

    // Queues code with its standard text and, when given, the detail after a ';'. The
    // detail comes partly from the client: it is kept printable and short so that the
    // reply stays one line and one quoted string.
    void push(int code, std::string_view detail = {});
    // The oldest entry as SYST:ERR? answers it, taken off the queue: -113,"Undefined
    // header;FOO"; 0,"No error" when the queue is empty.
    std::string next();
    // The newest entry as next() would answer it, left on the queue; empty when none.
    std::string newest() const;
    size_t count() const { return entries_.size(); }
    void clear() { entries_.clear(); }

    // The event status register (*ESR? reads and clears it) and its enable mask.
    uint8_t takeEventStatus();
    uint8_t eventStatus() const { return esr_; }
    void setEventStatusBits(uint8_t bits) { esr_ = uint8_t(esr_ | bits); }
    void clearEventStatus() { esr_ = 0; }

  private:
    struct Entry {
        int code;
        std::string text;
    };
    std::deque<Entry> entries_;
    uint8_t esr_ = 0;
};

// Up to kMaxDetail characters of text, each byte outside printable ASCII shown as '?' and
// every double quote doubled, ready to stand inside a quoted reply.
inline constexpr size_t kMaxDetail = 120;
std::string detailText(std::string_view text);

}  // namespace zvk::remote
