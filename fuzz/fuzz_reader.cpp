// Feeds arbitrary bytes to the message reader as the start of a message file and checks what
// it promises for every input: a sender that fits an mbox separator line, and a real date.
#include <cstddef>
#include <cstdint>
#include <string>

#include "MessageReader.h"

namespace {

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool IsRealDate(const tolvik::MessageDateTime& when) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (when.year < 1 || when.year > 9999 || when.month < 1 || when.month > 12) {
        return false;
    }
    const int days = kDays[when.month - 1] + (when.month == 2 && IsLeapYear(when.year) ? 1 : 0);
    return when.day >= 1 && when.day <= days && when.hour >= 0 && when.hour <= 23 &&
           when.minute >= 0 && when.minute <= 59 && when.second >= 0 && when.second <= 60;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const tolvik::MessageDateTime kFallback{2001, 2, 3, 4, 5, 6};
    tolvik::MessageReader reader;
    reader.ParseHeaderBlock(std::string(reinterpret_cast<const char*>(data), size), kFallback);

    const std::string& sender = reader.MessageSender();
    if (sender.empty()) {
        __builtin_trap();
    }
    for (const char c : sender) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f) {
            __builtin_trap();
        }
    }
    const tolvik::MessageDateTime when = reader.MessageDate();
    if (!IsRealDate(when) || tolvik::FormatMboxDate(when).size() != 24) {
        __builtin_trap();
    }
    return 0;
}
