// SPDX-License-Identifier: MIT
#include "remote/ErrorQueue.h"

namespace zvk::remote {

const char* errorText(int code) {
    switch (code) {
        case kNoError:
            return "No error";
        case kCommandError:
            return "Command error";
        case kInvalidCharacter:
            return "Invalid character";
        case kSyntaxError:
            return "Syntax error";
        case kDataTypeError:
            return "Data type error";
        case kParameterNotAllowed:
            return "Parameter not allowed";
        case kMissingParameter:
            return "Missing parameter";
        case kUndefinedHeader:
            return "Undefined header";
        case kHeaderSuffixOutOfRange:
            return "Header suffix out of range";
        case kNumericDataError:
            return "Numeric data error";
        case kInvalidSuffix:
            return "Invalid suffix";
        case kInvalidCharacterData:
            return "Invalid character data";
        case kStringDataError:
            return "String data error";
        case kExecutionError:
            return "Execution error";
        case kSettingsConflict:
            return "Settings conflict";
        case kDataOutOfRange:
            return "Data out of range";
        case kTooMuchData:
            return "Too much data";
        case kIllegalParameterValue:
            return "Illegal parameter value";
        case kFileNameNotFound:
            return "File name not found";
        case kFileNameError:
            return "File name error";
        case kQueueOverflow:
            return "Queue overflow";
        case kQueryInterrupted:
            return "Query INTERRUPTED";
        default:
            return "Unknown error";
    }
}

uint8_t eventBitOf(int code) {
    if (code <= -100 && code > -200) return kCommandErrorBit;
    if (code <= -200 && code > -300) return kExecutionErrorBit;
    if (code <= -400 && code > -500) return kQueryErrorBit;
    // -300..-399 and the positive codes are the device's own.
    if (code != 0) return kDeviceErrorBit;
    return 0;
}

std::string detailText(std::string_view text) {
    std::string out;
    for (unsigned char ch : text.substr(0, kMaxDetail)) {
        if (ch == '"')
            out += "\"\"";
        else
            out += (ch < 0x20 || ch >= 0x7F) ? '?' : char(ch);
    }
    if (text.size() > kMaxDetail) out += "...";
    return out;
}

void ErrorQueue::push(int code, std::string_view detail) {
    esr_ = uint8_t(esr_ | eventBitOf(code));
    std::string text = errorText(code);
    if (!detail.empty()) text += ";" + detailText(detail);
    if (entries_.size() < kCapacity) {
        entries_.push_back({code, std::move(text)});
        return;
    }
    // Full: the newest place says that errors were lost, once.
    Entry& last = entries_.back();
    if (last.code != kQueueOverflow) last = {kQueueOverflow, errorText(kQueueOverflow)};
}

std::string ErrorQueue::next() {
    if (entries_.empty()) return "0,\"No error\"";
    Entry e = std::move(entries_.front());
    entries_.pop_front();
    return std::to_string(e.code) + ",\"" + e.text + "\"";
}

std::string ErrorQueue::newest() const {
    if (entries_.empty()) return {};
    const Entry& e = entries_.back();
    return std::to_string(e.code) + ",\"" + e.text + "\"";
}

uint8_t ErrorQueue::takeEventStatus() {
    const uint8_t v = esr_;
    esr_ = 0;
    return v;
}

}  // namespace zvk::remote
