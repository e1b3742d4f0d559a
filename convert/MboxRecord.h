// One mbox record: the "From " separator line, the message's lines and a closing empty line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tolvik {

inline constexpr std::size_t kDefaultRecordBuffer = 1 << 20;

// Turns a message file's bytes, fed in pieces of any size, into the text of its record.
//
// Lines end at CR LF or at a lone CR; each line is written followed by CR LF, and a last line
// without a line end gets one. A lone LF stays inside its line, unchanged. A line that begins
// with "From " gets one ">" in front of it, so that no mbox reader takes it for the start of
// a new message; lines are taken to start after a lone LF too, since readers cut lines there.
// A message whose very first bytes are "From " carries an mbox separator left by the program
// that saved it: that first line is dropped, because the record brings its own separator.
class RecordEncoder {
public:
    void Feed(const char* data, std::size_t size, std::string& out);
    void Feed(std::string_view data, std::string& out) { Feed(data.data(), data.size(), out); }
    // Ends the message: writes whatever is held back and the line end after the last line.
    void Finish(std::string& out);

private:
    // Copies the text from p[i] on, in the middle of a line, as far as it needs no change;
    // returns where it stopped.
    std::size_t CopyPlainText(const char* p, std::size_t i, std::size_t n, std::string& out);

    std::string held_;  // the start of a line while it still matches "From "
    bool atFileStart_ = true;
    bool atLineStart_ = true;
    bool pendingCR_ = false;  // a CR whose following byte has not been seen yet
    bool skipping_ = false;   // inside a separator line kept at the top of the file
    bool skipCR_ = false;     // that separator line ended with a CR; an LF may follow
    bool anyLine_ = false;    // the message has at least one line
    bool lastEnded_ = false;  // the last line written had its line end
};

// The separator line without its line end: "From ", the sender, a space, the date text.
std::string SeparatorLine(std::string_view sender, std::string_view dateText);

}  // namespace tolvik
