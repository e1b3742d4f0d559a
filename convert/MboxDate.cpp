#include <cstdio>

#include "MessageReader.h"

namespace tolvik {

int WeekdayOf(int year, int month, int day) {
    // Sakamoto's method.
    static const int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) {
        year -= 1;
    }
    return (year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7;
}

std::string FormatMboxDate(const MessageDateTime& when) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %04d",
                  kDays[WeekdayOf(when.year, when.month, when.day)], kMonths[when.month - 1],
                  when.day, when.hour, when.minute, when.second, when.year);
    return text;
}

}  // namespace tolvik
