// Reads the sender and the date of a saved mail message from its header block.
//
// Only the start of the file is read: up to the first empty line, and never more than
// kMaxHeaderBytes, so neither a large body nor a file that is one endless line costs time.
// GMime reads the addresses; the header lines and the dates are read here (see ParseDate for
// why the dates are not left to GMime).
#include "MessageReader.h"

#include <fcntl.h>
#include <gmime/gmime.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <span>
#include <string_view>
#include <vector>

#include "MessageFile.h"
#include "errors.h"

namespace tolvik {
namespace {

// The most bytes taken as a message's header block. Real header blocks stay far below (a
// long chain of Received lines is a few dozen KiB); beyond this the block is cut and what
// was read is used.
constexpr size_t kMaxHeaderBytes = size_t{1} << 20;
constexpr size_t kReadChunk = size_t{64} << 10;
constexpr const char* kNoSender = "MAILER-DAEMON";
// Of each field the reader looks at, only the first ones count: a real message has one or
// two, and a hostile one with a hundred thousand must not cost a parse of each.
constexpr size_t kMaxFieldsPerName = 32;
// The most bytes of one address field handed to GMime, which builds an object per mailbox of
// the whole list although only the first one is wanted.
constexpr size_t kMaxAddressBytes = size_t{16} << 10;

void EnsureGMime() {
    static const bool ready = [] {
        g_mime_init();
        return true;
    }();
    (void)ready;
}

// Finds the first empty line, where the header block ends. Lines end in LF, CRLF or a lone
// CR (files from old Macs), and files mix them, so an empty line is any two line ends in a
// row: "\n\n", "\r\n\r\n", "\r\r", "\n\r\n", ... The scan resumes where it stopped when more
// bytes arrive.
class BlockEndScanner {
public:
    // Scans `data` from where the last call stopped. `complete` says that no byte follows
    // `data`. Returns true with the offset of the empty line in *end once it is found: the
    // header block is data[0, *end).
    bool Scan(std::string_view data, bool complete, size_t* end) {
        while (pos_ < data.size()) {
            const char c = data[pos_];
            if (c == '\n' || c == '\r') {
                if (line_start_) {
                    *end = pos_;
                    return true;
                }
                if (c == '\r') {
                    if (pos_ + 1 == data.size() && !complete) {
                        return false;  // CR or CRLF: the next byte decides.
                    }
                    if (pos_ + 1 < data.size() && data[pos_ + 1] == '\n') {
                        ++pos_;
                    }
                }
                line_start_ = true;
            } else {
                line_start_ = false;
            }
            ++pos_;
        }
        return false;
    }

private:
    size_t pos_ = 0;
    bool line_start_ = true;
};

// The header fields the reader looks at, unfolded, in the order they appear.
struct HeaderFields {
    std::vector<std::string> from;
    std::vector<std::string> sender;
    std::vector<std::string> return_path;
    std::vector<std::string> date;
    std::string first_received;
    bool has_received = false;
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsLower(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (AsciiLower(text[i]) != lower[i]) {
            return false;
        }
    }
    return true;
}

// Splits a header block into fields. A field starts with a name made of printable ASCII,
// then a colon; blanks between name and colon ("From :") are an obsolete form that is
// accepted. A line starting with a blank continues the field above it (unfolding removes
// only the line break). Any other line, such as an mbox "From " line on top of a saved
// message, is skipped with its continuation lines. GMime's own parser is not used here: it
// gives up on the whole block when the first line is not a field.
void CollectFields(std::string_view block, HeaderFields* fields) {
    static constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    size_t pos = block.substr(0, 3) == kByteOrderMark ? 3 : 0;
    std::string* current = nullptr;  // the field that continuation lines extend
    while (pos < block.size()) {
        size_t eol = pos;
        while (eol < block.size() && block[eol] != '\n' && block[eol] != '\r') {
            ++eol;
        }
        const std::string_view line = block.substr(pos, eol - pos);
        pos = eol;
        if (pos < block.size()) {
            pos += (block[pos] == '\r' && pos + 1 < block.size() && block[pos + 1] == '\n') ? 2 : 1;
        }
        if (!line.empty() && IsBlank(line[0])) {
            if (current) {
                current->append(line);
            }
            continue;
        }
        current = nullptr;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        std::string_view name = line.substr(0, colon);
        while (!name.empty() && IsBlank(name.back())) {
            name.remove_suffix(1);
        }
        if (name.empty() ||
            !std::all_of(name.begin(), name.end(), [](char c) { return c > ' ' && c < '\x7f'; })) {
            continue;
        }
        const std::string_view value = line.substr(colon + 1);
        std::vector<std::string>* list = nullptr;
        if (EqualsLower(name, "from")) {
            list = &fields->from;
        } else if (EqualsLower(name, "sender")) {
            list = &fields->sender;
        } else if (EqualsLower(name, "return-path")) {
            list = &fields->return_path;
        } else if (EqualsLower(name, "date")) {
            list = &fields->date;
        } else if (EqualsLower(name, "received") && !fields->has_received) {
            fields->has_received = true;
            fields->first_received.assign(value);
            current = &fields->first_received;
        }
        if (list && list->size() < kMaxFieldsPerName) {
            list->emplace_back(value);
            current = &list->back();
        }
    }
}

// A NUL byte ends a field's value, as it does for the mail library.
std::string_view UpToNul(std::string_view value) {
    return value.substr(0, value.find('\0'));
}

// ---- Addresses ----

bool ContainsAceLabel(std::string_view text) {
    for (size_t i = 0; i + 4 <= text.size(); ++i) {
        if (EqualsLower(text.substr(i, 4), "xn--")) {
            return true;
        }
    }
    return false;
}

// The address of the first mailbox with a non-empty address in `list`, also inside a group.
std::string FirstMailbox(InternetAddressList* list, bool ascii_domain) {
    const int count = internet_address_list_length(list);
    for (int i = 0; i < count; ++i) {
        InternetAddress* address = internet_address_list_get_address(list, i);
        std::string found;
        if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
            InternetAddressMailbox* mailbox = INTERNET_ADDRESS_MAILBOX(address);
            // GMime turns a domain written as "xn--..." into Unicode; keep it as written.
            const char* text = ascii_domain ? internet_address_mailbox_get_idn_addr(mailbox)
                                            : internet_address_mailbox_get_addr(mailbox);
            found = text ? text : "";
        } else if (INTERNET_ADDRESS_IS_GROUP(address)) {
            found = FirstMailbox(
                internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), ascii_domain);
        }
        if (!found.empty()) {
            return found;
        }
    }
    return {};
}

// The position after the comment that starts at text[pos] (an opening parenthesis);
// comments nest, and a backslash takes the character after it as it is.
size_t AfterComment(std::string_view text, size_t pos) {
    int depth = 0;
    for (; pos < text.size(); ++pos) {
        if (text[pos] == '\\') {
            ++pos;
        } else if (text[pos] == '(') {
            ++depth;
        } else if (text[pos] == ')' && --depth == 0) {
            break;
        }
    }
    return pos + 1;
}

// GMime gives up on some addresses that real mailers send: raw 8-bit bytes, a dot at the end
// of the local part (common from Japanese phones), an unclosed comment. For those the address
// is the text inside the first <...>, or the first word with an '@' outside quotes, whichever
// comes first. Comments are skipped; a quoted string is part of its word.
std::string RescueAddress(std::string_view value) {
    size_t pos = 0;
    while (pos < value.size()) {
        const char c = value[pos];
        if (c == '(') {
            pos = AfterComment(value, pos);
        } else if (c == '<') {
            const size_t close = value.find('>', pos + 1);
            std::string_view inner =
                value.substr(pos + 1, close == std::string_view::npos ? std::string_view::npos
                                                                      : close - pos - 1);
            while (!inner.empty() && IsBlank(inner.front())) {
                inner.remove_prefix(1);
            }
            while (!inner.empty() && IsBlank(inner.back())) {
                inner.remove_suffix(1);
            }
            return std::string(inner);
        } else if (IsBlank(c) || c == ',' || c == ';' || c == ')' || c == '>') {
            ++pos;
        } else {
            const size_t start = pos;
            bool at_sign = false;
            while (pos < value.size()) {
                const char w = value[pos];
                if (w == '"') {
                    for (++pos; pos < value.size() && value[pos] != '"'; ++pos) {
                        if (value[pos] == '\\') {
                            ++pos;
                        }
                    }
                    pos = std::min(pos + 1, value.size());
                    continue;
                }
                if (IsBlank(w) || w == ',' || w == ';' || w == '(' || w == '<' || w == '>') {
                    break;
                }
                at_sign = at_sign || w == '@';
                ++pos;
            }
            if (at_sign) {
                return std::string(value.substr(start, pos - start));
            }
        }
    }
    return {};
}

// The bare address of the first mailbox in an address field's value; "" when it holds none.
std::string AddressOf(std::string_view raw) {
    const std::string value(UpToNul(raw));
    if (std::all_of(value.begin(), value.end(), IsBlank)) {
        return {};
    }
    const std::string head = value.substr(0, kMaxAddressBytes);
    // GMime reads each ':' of a group as one level deeper of recursion: some tens of
    // thousands of them ("From: a:a:a:...") overflow the stack. No real address field holds
    // more than a handful.
    constexpr size_t kMaxColons = 64;
    const bool gmime_safe =
        static_cast<size_t>(std::count(head.begin(), head.end(), ':')) <= kMaxColons;
    EnsureGMime();
    std::string found;
    InternetAddressList* list =
        gmime_safe ? internet_address_list_parse(nullptr, head.c_str()) : nullptr;
    if (list) {
        found = FirstMailbox(list, ContainsAceLabel(value));
        g_object_unref(list);
    }
    if (found.empty()) {
        found = RescueAddress(value);
    }
    return found;
}

std::string FindSender(const HeaderFields& fields) {
    for (const auto* values : {&fields.from, &fields.sender, &fields.return_path}) {
        for (const std::string& value : *values) {
            std::string address = AddressOf(value);
            if (address.empty()) {
                continue;  // e.g. "Return-Path: <>" or "From: Undisclosed:;"
            }
            // The sender goes into the mbox "From " separator line, where a space would split
            // it and a line break would end it: every control byte, space, tab, CR, LF and DEL
            // becomes '_'. Bytes above 0x7F (non-ASCII addresses) are kept as they are.
            for (char& c : address) {
                const auto byte = static_cast<unsigned char>(c);
                if (byte <= 0x20 || byte == 0x7f) {
                    c = '_';
                }
            }
            return address;
        }
    }
    return kNoSender;
}

// ---- Dates ----

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (month == 2 && IsLeapYear(year)) ? 29 : kDays[month - 1];
}

bool IsValid(const MessageDateTime& when) {
    return when.year >= 1 && when.year <= 9999 && when.month >= 1 && when.month <= 12 &&
           when.day >= 1 && when.day <= DaysInMonth(when.year, when.month) && when.hour >= 0 &&
           when.hour <= 23 && when.minute >= 0 && when.minute <= 59 && when.second >= 0 &&
           when.second <= 60;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsNumber(std::string_view word, size_t min_digits, size_t max_digits) {
    return word.size() >= min_digits && word.size() <= max_digits &&
           std::all_of(word.begin(), word.end(), IsDigit);
}

int NumberOf(std::string_view digits) {
    int value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
    }
    return value;
}

// Index (from 1) of the name in `names` that `word` abbreviates: at least three letters of
// the name, in any case, maybe with a final dot ("Mar", "march", "Sept."). 0 when none does.
int NameIndex(std::string_view word, std::span<const std::string_view> names) {
    if (!word.empty() && word.back() == '.') {
        word.remove_suffix(1);
    }
    if (word.size() < 3) {
        return 0;
    }
    for (size_t i = 0; i < names.size(); ++i) {
        if (word.size() <= names[i].size() && EqualsLower(word, names[i].substr(0, word.size()))) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

constexpr std::array<std::string_view, 12> kMonthNames = {
    "january", "february", "march",     "april",   "may",      "june",
    "july",    "august",   "september", "october", "november", "december"};
constexpr std::array<std::string_view, 7> kDayNames = {"sunday",   "monday", "tuesday", "wednesday",
                                                       "thursday", "friday", "saturday"};

int MonthOf(std::string_view word) {
    return NameIndex(word, kMonthNames);
}
bool IsWeekday(std::string_view word) {
    return NameIndex(word, kDayNames) != 0;
}

// Years as written: four digits as they are; two digits are 2000-2049 for 00-49 and
// 1950-1999 for 50-99; three digits count from 1900 (obsolete mail: "110" is 2010).
bool ParseYear(std::string_view word, int* year) {
    if (!IsNumber(word, 2, 4)) {
        return false;
    }
    const int value = NumberOf(word);
    if (word.size() == 2) {
        *year = value < 50 ? 2000 + value : 1900 + value;
    } else if (word.size() == 3) {
        *year = 1900 + value;
    } else {
        *year = value;
    }
    return true;
}

// "hh:mm:ss" or "hh:mm" (seconds 0), the hour maybe one digit. A zone written right after
// the time ("09:07:03-0800") is allowed and ignored.
bool ParseTime(std::string_view word, MessageDateTime* when) {
    size_t pos = 0;
    auto digits = [&](size_t min_count, size_t max_count, int* out) {
        size_t end = pos;
        while (end < word.size() && end - pos < max_count && IsDigit(word[end])) {
            ++end;
        }
        if (end - pos < min_count) {
            return false;
        }
        *out = NumberOf(word.substr(pos, end - pos));
        pos = end;
        return true;
    };
    if (!digits(1, 2, &when->hour) || pos >= word.size() || word[pos++] != ':' ||
        !digits(2, 2, &when->minute)) {
        return false;
    }
    when->second = 0;
    if (pos < word.size() && word[pos] == ':') {
        ++pos;
        if (!digits(2, 2, &when->second)) {
            return false;
        }
    }
    if (pos == word.size()) {
        return true;
    }
    return (word[pos] == '+' || word[pos] == '-') && IsNumber(word.substr(pos + 1), 1, 4);
}

bool IsZone(std::string_view word) {
    if (word.size() >= 2 && (word[0] == '+' || word[0] == '-')) {
        return IsNumber(word.substr(1), 1, 4);
    }
    return !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
}

// Reads the date and time of a Date field (or of the end of a Received field) as written, in
// the message's own zone. GMime's date reader is not used: it converts 50-69 to 2050-2069,
// rejects three-digit years and leap seconds, and takes "1999/01/31" for a date.
//
// Accepted: [weekday,] day month year time [zone], the RFC form with its obsolete variants
// (any zone name or offset, comments, no seconds, extra blanks and folding), and the
// asctime-like form [weekday] month day time [zone] year. The weekday is ignored, and so is
// the zone and anything after it. Anything that is not a real date and time does not count.
bool ParseDate(std::string_view raw, MessageDateTime* out) {
    const std::string_view text = UpToNul(raw);
    std::array<std::string_view, 8> words;
    size_t count = 0;
    size_t pos = 0;
    while (pos < text.size() && count < words.size()) {
        const char c = text[pos];
        if (c == '(') {
            pos = AfterComment(text, pos);
        } else if (IsBlank(c) || c == ',' || c == '\r' || c == '\n') {
            ++pos;
        } else {
            const size_t start = pos;
            while (pos < text.size() && !IsBlank(text[pos]) && text[pos] != ',' &&
                   text[pos] != '(' && text[pos] != '\r' && text[pos] != '\n') {
                ++pos;
            }
            words[count++] = text.substr(start, pos - start);
        }
    }

    size_t i = (count > 0 && IsWeekday(words[0])) ? 1 : 0;
    auto word = [&](size_t index) { return index < count ? words[index] : std::string_view(); };
    MessageDateTime when;
    if (IsNumber(word(i), 1, 2) && (when.month = MonthOf(word(i + 1))) != 0) {
        when.day = NumberOf(word(i));
        if (!ParseYear(word(i + 2), &when.year) || !ParseTime(word(i + 3), &when)) {
            return false;
        }
    } else if ((when.month = MonthOf(word(i))) != 0 && IsNumber(word(i + 1), 1, 2)) {
        when.day = NumberOf(word(i + 1));
        if (ParseTime(word(i + 2), &when)) {
            i += 3;
            if (IsZone(word(i)) && !IsNumber(word(i), 1, 4)) {
                ++i;
            }
            if (!ParseYear(word(i), &when.year)) {
                return false;
            }
        } else if (!ParseYear(word(i + 2), &when.year) || !ParseTime(word(i + 3), &when)) {
            return false;
        }
    } else {
        return false;
    }
    if (!IsValid(when)) {
        return false;
    }
    *out = when;
    return true;
}

MessageDateTime FindDate(const HeaderFields& fields, const MessageDateTime& fallback) {
    MessageDateTime when;
    for (const std::string& value : fields.date) {
        if (ParseDate(value, &when)) {
            return when;
        }
    }
    // A message without a usable Date: the time the first (newest) server received it.
    if (fields.has_received) {
        const size_t semicolon = fields.first_received.rfind(';');
        if (semicolon != std::string::npos &&
            ParseDate(std::string_view(fields.first_received).substr(semicolon + 1), &when)) {
            return when;
        }
    }
    return IsValid(fallback) ? fallback : MessageDateTime{};
}

void ReadHeaderBlock(std::string_view block, const MessageDateTime& fallback, std::string* sender,
                     MessageDateTime* date) {
    HeaderFields fields;
    CollectFields(block, &fields);
    *sender = FindSender(fields);
    *date = FindDate(fields, fallback);
}

}  // namespace

MessageReader::MessageReader() = default;
MessageReader::~MessageReader() = default;

bool MessageReader::LoadMessage(const std::string& path, std::string* reason) {
    MessageFile file;
    return file.Open(path, reason) && LoadMessage(file, reason);
}

bool MessageReader::LoadMessage(MessageFile& file, std::string* reason) {
    BlockEndScanner scanner;
    size_t end = 0;
    bool found = false;
    while (file.Start().size() < kMaxHeaderBytes && !file.AllRead()) {
        const long got = file.ReadMore(std::min(kReadChunk, kMaxHeaderBytes - file.Start().size()));
        if (got < 0) {
            if (reason) {
                *reason = DescribeError(errno);
            }
            return false;
        }
        if (got == 0) {
            break;
        }
        if (scanner.Scan(file.Start(), false, &end)) {
            found = true;
            break;
        }
    }
    const std::string_view start = file.Start().substr(0, kMaxHeaderBytes);
    if (!found && !scanner.Scan(start, true, &end)) {
        end = start.size();
    }

    MessageDateTime modified;  // 1970-01-01 00:00:00 if the time cannot be converted
    std::tm local{};
    const std::time_t mtime = file.Info().st_mtime;
    if (::localtime_r(&mtime, &local)) {
        modified = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                    local.tm_hour,        local.tm_min,     local.tm_sec};
    }
    ReadHeaderBlock(start.substr(0, end), modified, &sender_, &date_);
    return true;
}

void MessageReader::ParseHeaderBlock(const std::string& headers, const MessageDateTime& fallback) {
    const std::string_view data = std::string_view(headers).substr(0, kMaxHeaderBytes);
    BlockEndScanner scanner;
    size_t end = 0;
    if (!scanner.Scan(data, true, &end)) {
        end = data.size();
    }
    ReadHeaderBlock(data.substr(0, end), fallback, &sender_, &date_);
}

}  // namespace tolvik
