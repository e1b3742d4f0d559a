// Reads a saved mail message's sender and date for its mbox separator line.
//
// Only the header block (up to the first empty line) is read and parsed, so the size of a
// message costs no parsing time. This header is free of any GUI toolkit and of the mail
// library it is built on, so both hosts can include it.
#pragma once

#include <string>

namespace tolvik {

class MessageFile;

// A date and time as written in the message, in the message's own zone.
struct MessageDateTime {
    int year = 1970;  // 1 .. 9999
    int month = 1;    // 1 .. 12
    int day = 1;      // 1 .. days in month
    int hour = 0;     // 0 .. 23
    int minute = 0;   // 0 .. 59
    int second = 0;   // 0 .. 59 (a leap second 60 is kept as written)
};

// The 24-character date of an mbox separator line: "Fri Mar 05 09:07:03 2010". The weekday
// is computed from the date.
std::string FormatMboxDate(const MessageDateTime& when);

// 0 = Sunday .. 6 = Saturday, proleptic Gregorian calendar.
int WeekdayOf(int year, int month, int day);

class MessageReader {
public:
    MessageReader();
    ~MessageReader();
    MessageReader(const MessageReader&) = delete;
    MessageReader& operator=(const MessageReader&) = delete;

    // Reads the message file at `path`. Fails (false, with a plain-words reason) only when the
    // file cannot be read; any file that can be read gets a sender and a date.
    bool LoadMessage(const std::string& path, std::string* reason = nullptr);
    // The same for a file already open; the bytes read stay in `file` for whoever reads on.
    bool LoadMessage(MessageFile& file, std::string* reason = nullptr);

    // After a successful LoadMessage: the message's date in its own zone.
    MessageDateTime MessageDate() const { return date_; }

    // After a successful LoadMessage: the bare address of the sender, or "MAILER-DAEMON".
    const std::string& MessageSender() const { return sender_; }

    // Parses a header block held in memory, as LoadMessage does with the start of a file.
    // `fallback` is the date used when the headers give none (LoadMessage passes the file's
    // last-modified time).
    void ParseHeaderBlock(const std::string& headers, const MessageDateTime& fallback);

private:
    std::string sender_ = "MAILER-DAEMON";
    MessageDateTime date_{};
};

}  // namespace tolvik
