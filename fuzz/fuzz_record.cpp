// Feeds arbitrary bytes to the mbox record writer's line cutting and quoting, and checks what
// it promises for every message:
//   - the text does not depend on how the message is cut into pieces (one piece, two pieces
//     at a fuzzer-chosen point, and byte by byte for small messages, with empty pieces between);
//   - no line of the text (cut at LF, as mbox readers cut) begins with "From ";
//   - every CR is followed by LF;
//   - with line ends made alike and the one ">" taken off each quoted line, the text is the
//     message again, less a separator line left at its very top.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "MboxRecord.h"

namespace {

constexpr std::string_view kFrom = "From ";
constexpr std::size_t kByteByByteLimit = 4096;

// The checks below are the harness's own code: the fuzzer need not trace their branches.
#define TOLVIK_NOT_TRACED __attribute__((no_sanitize("coverage")))

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_record: %s\n", what);
    __builtin_trap();
}

std::string EncodePieces(std::string_view message, const std::vector<std::size_t>& cuts) {
    tolvik::RecordEncoder encoder;
    std::string out;
    std::size_t at = 0;
    for (const std::size_t cut : cuts) {
        encoder.Feed(message.substr(at, cut - at), out);
        at = cut;
    }
    encoder.Feed(message.substr(at), out);
    encoder.Finish(out);
    return out;
}

std::string EncodeByteByByte(std::string_view message) {
    tolvik::RecordEncoder encoder;
    std::string out;
    for (const char c : message) {
        encoder.Feed(&c, 1, out);
        encoder.Feed("", 0, out);
    }
    encoder.Finish(out);
    return out;
}

// CR LF and a lone CR become LF; a lone LF stays.
TOLVIK_NOT_TRACED std::string SameLineEnds(std::string_view text) {
    std::string out(text.size(), '\0');
    std::size_t used = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out[used++] = '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            out[used++] = text[i];
        }
    }
    out.resize(used);
    return out;
}

// The message less a separator line at its very top (up to and with its line end).
TOLVIK_NOT_TRACED std::string_view WithoutLeadingSeparator(std::string_view message) {
    if (message.substr(0, kFrom.size()) != kFrom) {
        return message;
    }
    const std::size_t end = message.find_first_of("\r\n");
    if (end == std::string_view::npos) {
        return {};
    }
    std::size_t next = end + 1;
    if (message[end] == '\r' && next < message.size() && message[next] == '\n') {
        ++next;
    }
    return message.substr(next);
}

TOLVIK_NOT_TRACED std::vector<std::string_view> LinesAtLf(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    lines.push_back(text.substr(start));
    return lines;
}

TOLVIK_NOT_TRACED void CheckText(std::string_view message, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) {
            Fail("a CR without LF after it");
        }
    }
    const std::vector<std::string_view> textLines = LinesAtLf(text);
    for (const std::string_view line : textLines) {
        if (line.substr(0, kFrom.size()) == kFrom) {
            Fail("a line begins with \"From \"");
        }
    }

    // What the text must hold: the message's lines, each with its line end; a last line
    // that does not end in CR or CR LF gets one.
    const std::string_view body = WithoutLeadingSeparator(message);
    std::string expected = SameLineEnds(body);
    // (A lone LF does not end a line: it stays inside it.)
    const bool lastLineEnded =
        !body.empty() && (body.back() == '\r' || (body.size() >= 2 && body.ends_with("\r\n")));
    if (!body.empty() && !lastLineEnded) {
        expected.push_back('\n');
    }
    const std::string got = SameLineEnds(text);
    const std::vector<std::string_view> wantLines = LinesAtLf(expected);
    const std::vector<std::string_view> gotLines = LinesAtLf(got);
    if (wantLines.size() != gotLines.size()) {
        Fail("the text has another number of lines than the message");
    }
    for (std::size_t i = 0; i < wantLines.size(); ++i) {
        const std::string_view want = wantLines[i];
        const std::string_view have = gotLines[i];
        const bool quoted = want.substr(0, kFrom.size()) == kFrom &&
                            have.size() == want.size() + 1 && have[0] == '>' &&
                            have.substr(1) == want;
        if (have != want && !quoted) {
            Fail("a line of the text differs from the message's line");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    const std::size_t remaining = provider.remaining_bytes();
    const std::size_t cutChoice = provider.ConsumeIntegralInRange<std::size_t>(0, remaining);
    const std::string message = provider.ConsumeRemainingBytesAsString();
    const std::size_t cut = std::min(cutChoice, message.size());

    const std::string whole = EncodePieces(message, {});
    CheckText(message, whole);
    if (EncodePieces(message, {cut}) != whole) {
        Fail("two pieces give another text than one");
    }
    if (EncodePieces(message, {cut, cut}) != whole) {
        Fail("an empty piece changes the text");
    }
    if (message.size() <= kByteByByteLimit && EncodeByteByByte(message) != whole) {
        Fail("byte-by-byte pieces give another text than one");
    }
    return 0;
}
