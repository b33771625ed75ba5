#include "results/size_text.h"

#include <cmath>

namespace cs::results {

namespace {

std::u16string UnsignedText(uint64_t value) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return digits;
}

}  // namespace

std::u16string FormatDecimal(double value) {
    std::u16string sign;
    if (value < 0) {
        sign = u"-";
        value = -value;
    }
    const double whole = std::floor(value);
    const std::u16string wholeText = sign + UnsignedText(static_cast<uint64_t>(whole));
    if (value - whole <= 9e-11)
        return wholeText;

    // The smallest n whose scaled fraction is negligible; 17 digits is as
    // far as a double can carry, which also bounds the loop.
    double scaled = value;
    double tolerance = 9e-11;
    for (int n = 1; n <= 17; ++n) {
        scaled *= 10;
        tolerance *= 10;
        const double scaledWhole = std::floor(scaled);
        if (scaled - scaledWhole <= tolerance || n == 17) {
            std::u16string fraction;
            double rest = scaledWhole;
            for (int k = 0; k < n; ++k) {
                const double q = std::floor(rest / 10);
                const int digit = static_cast<int>(rest - q * 10);
                fraction.insert(fraction.begin(), static_cast<char16_t>(u'0' + digit));
                rest = q;
            }
            return wholeText + u"." + fraction;
        }
    }
    return wholeText;
}

std::u16string FormatSize(uint64_t size) {
    static const char16_t* const kUnits[] = {u" bytes", u" KB", u" MB", u" GB", u" TB"};
    double v = static_cast<double>(size);
    int unit = 0;
    while (v >= 1024 && unit < 4) {
        v *= 1.0 / 1024;
        ++unit;
    }
    std::u16string text = FormatDecimal(v);
    const size_t dot = text.find(u'.');
    if (dot != std::u16string::npos && text.size() - dot - 1 > 2)
        text.resize(dot + 3);
    return text + kUnits[unit];
}

}  // namespace cs::results
