#include "MboxRecord.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tolvik {
namespace {

constexpr std::string_view kFrom = "From ";

bool IsLineByte(char c) {
    return c == '\r' || c == '\n';
}

constexpr std::size_t kNotSearched = SIZE_MAX;

std::size_t Find(const char* p, std::size_t from, std::size_t n, char c) {
    const void* found = std::memchr(p + from, c, n - from);
    return found ? static_cast<std::size_t>(static_cast<const char*>(found) - p) : n;
}

// The position of the first CR or LF in p[i, n), or n.
std::size_t NextLineByte(const char* p, std::size_t i, std::size_t n, std::size_t* nextCR,
                         std::size_t* nextLF) {
    if (*nextCR == kNotSearched || *nextCR < i) {
        *nextCR = Find(p, i, n, '\r');
    }
    if (*nextLF == kNotSearched || *nextLF < i) {
        *nextLF = Find(p, i, n, '\n');
    }
    return std::min(*nextCR, *nextLF);
}

// The first line end in p[k, n) that cannot be copied as it is: a CR that no LF follows, an
// LF that "From " follows, or a line end too near the end of the piece to tell (the bytes
// after it decide). n when there is none.
std::size_t FirstLineEndNeedingMore(const char* p, std::size_t k, std::size_t n) {
    const auto needsMore = [p, n](std::size_t j) {
        if (p[j] == '\r') {
            return j + 1 >= n || p[j + 1] != '\n';
        }
        return j + kFrom.size() >= n || std::memcmp(p + j + 1, kFrom.data(), kFrom.size()) == 0;
    };
#if defined(__SSE2__)
    // Sixteen bytes at a time, each looked at with the byte after it: only a CR without its
    // LF and an LF before an "F" are looked at more closely, so the common line ends cost
    // nothing. The last bytes, where "From " may not fit, are left to the loop below.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i f = _mm_set1_epi8('F');
    for (; k + 16 + kFrom.size() < n; k += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k + 1));
        const __m128i loneCR =
            _mm_andnot_si128(_mm_cmpeq_epi8(next, lf), _mm_cmpeq_epi8(bytes, cr));
        const __m128i lineF = _mm_and_si128(_mm_cmpeq_epi8(bytes, lf), _mm_cmpeq_epi8(next, f));
        auto found = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(loneCR, lineF)));
        for (; found != 0; found &= found - 1) {
            const std::size_t j = k + static_cast<std::size_t>(__builtin_ctz(found));
            if (needsMore(j)) {
                return j;
            }
        }
    }
#endif
    for (; k < n; ++k) {
        if (IsLineByte(p[k]) && needsMore(k)) {
            return k;
        }
    }
    return n;
}

}  // namespace

std::size_t RecordEncoder::CopyPlainText(const char* p, std::size_t i, std::size_t n,
                                         std::string& out) {
    // Most of a message goes out as it came in: lines ending in CR LF or a lone LF, none of
    // them starting with "From ". Such text is copied in one piece; the scan stops before the
    // first line end that needs more (a lone CR, a "From " line after it, or the end of the
    // piece too near to tell) and leaves it to the line-by-line path.
    const std::size_t end = FirstLineEndNeedingMore(p, i, n);
    // A line end that needs more is left whole to the line-by-line path.
    const std::size_t stop =
        (end < n && p[end] == '\n' && end > i && p[end - 1] == '\r') ? end - 1 : end;
    if (stop > i) {
        out.append(p + i, stop - i);
        anyLine_ = true;
        const bool endsWithLF = p[stop - 1] == '\n';
        atLineStart_ = endsWithLF;
        lastEnded_ = endsWithLF && stop - 1 > i && p[stop - 2] == '\r';
    }
    return stop;
}

void RecordEncoder::Feed(const char* p, std::size_t n, std::string& out) {
    std::size_t i = 0;
    // Where the next CR and the next LF at or after i are (n: none), each found once with
    // memchr and looked for again only when i has passed it, so that a piece is scanned
    // about once for each of the two bytes whatever its mix of line ends.
    std::size_t nextCR = kNotSearched;
    std::size_t nextLF = kNotSearched;
    while (i < n) {
        if (skipping_) {
            if (skipCR_) {
                skipCR_ = false;
                skipping_ = false;
                atLineStart_ = true;
                if (p[i] == '\n') {
                    ++i;
                }
                continue;
            }
            while (i < n && !IsLineByte(p[i])) {
                ++i;
            }
            if (i == n) {
                break;
            }
            if (p[i] == '\r') {
                skipCR_ = true;
            } else {
                skipping_ = false;
                atLineStart_ = true;
            }
            ++i;
            continue;
        }
        if (pendingCR_) {
            pendingCR_ = false;
            out += "\r\n";
            atLineStart_ = true;
            if (p[i] == '\n') {
                ++i;
            }
            continue;
        }
        if (atLineStart_) {
            const char c = p[i];
            if (c == kFrom[held_.size()]) {
                held_.push_back(c);
                ++i;
                if (held_.size() == kFrom.size()) {
                    held_.clear();
                    atLineStart_ = false;
                    if (atFileStart_) {
                        atFileStart_ = false;
                        skipping_ = true;
                    } else {
                        out += ">From ";
                        anyLine_ = true;
                        lastEnded_ = false;
                    }
                }
                continue;
            }
            if (!held_.empty()) {
                out += held_;
                held_.clear();
                anyLine_ = true;
                lastEnded_ = false;
            }
            atLineStart_ = false;
        }
        atFileStart_ = false;
        i = CopyPlainText(p, i, n, out);
        if (i == n) {
            break;
        }
        if (atLineStart_) {
            continue;
        }
        // The middle of a line: copy up to the next CR or LF, with its line end, in one piece.
        const std::size_t j = NextLineByte(p, i, n, &nextCR, &nextLF);
        if (j == n) {
            if (j > i) {
                out.append(p + i, j - i);
                anyLine_ = true;
                lastEnded_ = false;
            }
            break;
        }
        anyLine_ = true;
        atLineStart_ = true;
        if (p[j] == '\n') {
            out.append(p + i, j + 1 - i);  // a lone LF stays inside the line
            lastEnded_ = false;
            i = j + 1;
        } else if (j + 1 < n && p[j + 1] == '\n') {
            out.append(p + i, j + 2 - i);  // CR LF, as it is
            lastEnded_ = true;
            i = j + 2;
        } else if (j + 1 < n) {
            out.append(p + i, j - i);  // a lone CR
            out += "\r\n";
            lastEnded_ = true;
            i = j + 1;
        } else {
            out.append(p + i, j - i);  // a CR last in the piece: the next byte decides
            atLineStart_ = false;
            pendingCR_ = true;
            lastEnded_ = true;
            i = j + 1;
        }
    }
}

void RecordEncoder::Finish(std::string& out) {
    if (!held_.empty()) {
        out += held_;
        held_.clear();
        anyLine_ = true;
        lastEnded_ = false;
    }
    if (pendingCR_) {
        out += "\r\n";
        pendingCR_ = false;
    } else if (anyLine_ && !lastEnded_) {
        out += "\r\n";
    }
}

std::string SeparatorLine(std::string_view sender, std::string_view dateText) {
    std::string line;
    line.reserve(kFrom.size() + sender.size() + 1 + dateText.size());
    line += kFrom;
    line += sender;
    line += ' ';
    line += dateText;
    return line;
}

}  // namespace tolvik
