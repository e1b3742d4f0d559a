#include <cstddef>

#include "FileSystem.h"

namespace tolvik {

namespace {

bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

unsigned char Folded(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c;
}

// Compares the names without regard to ASCII case and with digit runs taken as numbers.
// Each name is read as a sequence of tokens: a run of digits, or one other byte. A number
// compares with a byte as a digit would, which is the same for every digit since no other
// byte lies between '0' and '9'; two numbers compare by value. So the tokens are totally
// preordered and this comparison is a strict weak order.
int CompareNatural(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        if (IsDigit(ca) && IsDigit(cb)) {
            std::size_t endA = i;
            while (endA < a.size() && IsDigit(static_cast<unsigned char>(a[endA]))) {
                ++endA;
            }
            std::size_t endB = j;
            while (endB < b.size() && IsDigit(static_cast<unsigned char>(b[endB]))) {
                ++endB;
            }
            // Leading zeros do not change the value.
            std::size_t startA = i;
            while (startA + 1 < endA && a[startA] == '0') {
                ++startA;
            }
            std::size_t startB = j;
            while (startB + 1 < endB && b[startB] == '0') {
                ++startB;
            }
            const std::size_t lengthA = endA - startA;
            const std::size_t lengthB = endB - startB;
            if (lengthA != lengthB) {
                return lengthA < lengthB ? -1 : 1;
            }
            const int digits = a.substr(startA, lengthA).compare(b.substr(startB, lengthB));
            if (digits != 0) {
                return digits;
            }
            i = endA;
            j = endB;
            continue;
        }
        const unsigned char fa = IsDigit(ca) ? '0' : Folded(ca);
        const unsigned char fb = IsDigit(cb) ? '0' : Folded(cb);
        if (fa != fb) {
            return fa < fb ? -1 : 1;
        }
        ++i;
        ++j;
    }
    const bool aLeft = i < a.size();
    const bool bLeft = j < b.size();
    if (aLeft == bLeft) {
        return 0;
    }
    return aLeft ? 1 : -1;
}

}  // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
    const int natural = CompareNatural(a, b);
    if (natural != 0) {
        return natural < 0;
    }
    // std::string_view compares bytes as unsigned char.
    return a < b;
}

}  // namespace tolvik
