#include "DialogNumbers.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace {

// Exact powers of ten: every one up to 10^22 is a double without rounding.
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kExactPowers = static_cast<int>(sizeof kPowersOfTen / sizeof kPowersOfTen[0]);

double PowerOfTen(int exponent) {
    return exponent < kExactPowers ? kPowersOfTen[exponent] : std::pow(10.0, exponent);
}

// The decimals a value of this record shows: only reals have any, and a record that holds a count
// outside the formats' range shows as many as it may.
int DecimalsOf(const DialogItemRecord* record) {
    if (!record || ItemKind::Letter(record->kind) != ItemKind::kReal) return 0;
    if (record->decimals < 0) return 0;
    return record->decimals > kMaxDecimals ? kMaxDecimals : record->decimals;
}

bool IsBlank(unsigned char c) { return c < 33; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The digits of a typed number, collected exactly: up to 19 significant digits in 64 bits and the
// power of ten they stand at. Digits past the 19th change nothing a float can hold.
class DigitCollector {
public:
    void IntegerDigit(int digit) {
        seen_ = true;
        if (significant_ < kMaxSignificant) {
            Push(digit);
        } else if (exponent_ < kExponentCap) {
            ++exponent_;  // a dropped integer digit still multiplies the number by ten
        }
    }
    void FractionDigit(int digit) {
        seen_ = true;
        if (significant_ >= kMaxSignificant) return;
        // Zeros before the first significant digit only move the point; once far past what a
        // double resolves, the number is zero anyway.
        if (mantissa_ == 0 && digit == 0 && exponent_ <= -kExponentCap) return;
        Push(digit);
        --exponent_;
    }
    bool SawDigit() const { return seen_; }
    // The number, or +infinity when it is beyond any double.
    double Magnitude() const {
        if (mantissa_ == 0) return 0.0;
        const double m = static_cast<double>(mantissa_);
        return exponent_ >= 0 ? m * PowerOfTen(exponent_) : m / PowerOfTen(-exponent_);
    }

private:
    static constexpr int kMaxSignificant = 19;  // 10^19 - 1 < 2^64
    static constexpr int kExponentCap = 400;    // beyond the double range both ways
    void Push(int digit) {
        mantissa_ = mantissa_ * 10 + static_cast<uint64_t>(digit);
        if (mantissa_ != 0) ++significant_;
    }
    uint64_t mantissa_ = 0;
    int significant_ = 0;
    int exponent_ = 0;
    bool seen_ = false;
};

}  // namespace

double RoundHalfAwayFromZero(double value) { return std::round(value); }

int16_t RoundToInt16(double value) {
    if (std::isnan(value)) return 0;
    const double rounded = RoundHalfAwayFromZero(value);
    if (rounded <= INT16_MIN) return INT16_MIN;
    if (rounded >= INT16_MAX) return INT16_MAX;
    return static_cast<int16_t>(rounded);
}

double HalfUnit(const DialogItemRecord& record) { return 0.5 / PowerOfTen(DecimalsOf(&record)); }

ErrorCode ParseNumber(const char* text, double& value, const DialogItemRecord& record, const NumberChars& chars) {
    const uint8_t letter = ItemKind::Letter(record.kind);
    if (letter != ItemKind::kInteger && letter != ItemKind::kReal) return NumberParse::kNotANumberItem;
    const bool integer = letter == ItemKind::kInteger;
    const ErrorCode malformed = integer ? NumberParse::kNotInteger : NumberParse::kNotReal;
    if (!text) return NumberParse::kEmpty;

    const char* p = text;
    while (*p && IsBlank(static_cast<unsigned char>(*p))) ++p;
    if (!*p) return NumberParse::kEmpty;

    bool negative = false;
    if (!IsDigit(*p) && (*p == chars.plus || *p == chars.minus)) {
        negative = *p == chars.minus;
        ++p;
    }

    DigitCollector digits;
    bool inFraction = false;
    for (; *p; ++p) {
        const char c = *p;
        if (IsDigit(c) && inFraction) {
            digits.FractionDigit(c - '0');
        } else if (IsDigit(c)) {
            digits.IntegerDigit(c - '0');
        } else if (c == chars.decimal) {
            if (integer || inFraction) return malformed;
            inFraction = true;
        } else if (c == chars.thousands) {
            continue;
        } else if (IsBlank(static_cast<unsigned char>(c))) {
            break;
        } else {
            return malformed;
        }
    }
    // A blank ends the number: whatever follows it must be blank too.
    for (; *p; ++p)
        if (!IsBlank(static_cast<unsigned char>(*p))) return malformed;
    // A sign or a separator alone is a number being begun, not zero.
    if (!digits.SawDigit()) return NumberParse::kEmpty;

    double number = digits.Magnitude();
    if (!std::isfinite(number)) number = DBL_MAX;
    if (negative) number = -number;

    // Bounds that are no numbers bound nothing.
    const double minimum = std::isnan(record.minimum) ? -HUGE_VAL : record.minimum;
    const double maximum = std::isnan(record.maximum) ? HUGE_VAL : record.maximum;
    const double half = HalfUnit(record);
    if (number < minimum - half) {
        value = number;
        return NumberParse::kBelowMinimum;
    }
    if (number > maximum + half) {
        value = number;
        return NumberParse::kAboveMaximum;
    }
    // Within half a unit of a bound the number shows as the bound: it is the bound.
    if (number < minimum) number = minimum;
    if (number > maximum) number = maximum;
    value = number;
    return NumberParse::kValid;
}

ErrorCode FormatNumber(char* text, size_t textSize, double value, const DialogItemRecord* record,
                       const NumberChars& chars) {
    if (!text || textSize == 0) return NumberParse::kTooLarge;
    text[0] = '\0';
    if (!std::isfinite(value)) return NumberParse::kTooLarge;

    const int decimals = DecimalsOf(record);
    const double magnitude = std::fabs(value);
    if (magnitude + 0.5 / PowerOfTen(decimals) >= kFormatLimit) return NumberParse::kTooLarge;

    // Counted in units of the last decimal, rounded half away from zero. A value typed as a
    // decimal half (2.345) is held a hair below it in binary; a sum within a few steps of the
    // double's precision below the next unit is taken as that unit, so the half rounds up as typed.
    const double scaled = magnitude * PowerOfTen(decimals) + 0.5;
    double units = std::floor(scaled);
    if (units + 1.0 - scaled <= scaled * 8.0 * DBL_EPSILON) units += 1.0;
    const uint64_t count = static_cast<uint64_t>(units);  // < 4294967295 x 10^9 < 2^63
    const uint64_t unitsPerWhole = static_cast<uint64_t>(PowerOfTen(decimals));
    uint64_t whole = count / unitsPerWhole;
    uint64_t fraction = count % unitsPerWhole;

    // The number, written backwards: fraction digits, separator, integer digits, sign.
    char reversed[32];
    size_t n = 0;
    // A real without decimals shows as a whole number, not with a separator that nothing follows.
    if (decimals > 0) {
        for (int i = 0; i < decimals; ++i, fraction /= 10) reversed[n++] = static_cast<char>('0' + fraction % 10);
        reversed[n++] = chars.decimal;
    }
    do {
        reversed[n++] = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    if (value < 0) reversed[n++] = chars.minus;

    if (n >= textSize) return NumberParse::kTooLarge;  // a cut number would read as another
    const size_t width = record ? record->width : 0;
    size_t padding = width > n ? width - n : 0;
    if (padding > textSize - 1 - n) padding = textSize - 1 - n;
    std::memset(text, ' ', padding);
    for (size_t i = 0; i < n; ++i) text[padding + i] = reversed[n - 1 - i];
    text[padding + n] = '\0';
    return NumberParse::kValid;
}

ErrorCode ApplyNumberFormat(DialogItemRecord& record, const char* format) {
    const uint8_t letter = ItemKind::Letter(record.kind);
    if (letter < 'a' || letter > 'z' || !format || format[0] != '%') return NumberParse::kBadFormat;
    const char* p = format + 1;
    if (*p == '+') ++p;
    int width = 0;
    for (; IsDigit(*p); ++p) {
        width = width * 10 + (*p - '0');
        if (width > kMaxNumberWidth) return NumberParse::kBadFormat;
    }
    int decimals = 0;
    if (*p == '.') {
        ++p;
        if (!IsDigit(*p)) return NumberParse::kBadFormat;
        for (; IsDigit(*p); ++p) {
            decimals = decimals * 10 + (*p - '0');
            if (decimals > kMaxDecimals) return NumberParse::kBadFormat;
        }
        if (*p != ItemKind::kReal) return NumberParse::kBadFormat;
    }
    const char type = *p;
    if (type != ItemKind::kInteger && type != ItemKind::kReal && type != ItemKind::kStaticText)
        return NumberParse::kBadFormat;
    if (p[1] != '\0') return NumberParse::kBadFormat;

    record.kind = static_cast<uint8_t>((record.kind & ItemKind::kEditable) | static_cast<uint8_t>(type));
    record.width = static_cast<uint8_t>(width);
    record.decimals = static_cast<int8_t>(decimals);
    return NumberParse::kValid;
}

int16_t NumberAlertFor(ErrorCode parseResult, bool integer, bool hasMinimum, bool hasMaximum) {
    ErrorCode offset = 0;
    switch (parseResult) {
    case NumberParse::kNotInteger:
    case NumberParse::kNotReal:
        break;
    case NumberParse::kAboveMaximum:
    case NumberParse::kBelowMinimum:
        offset = ItemAlert::kOutOfBoundsOffset;
        break;
    default:
        return 0;
    }
    // Without a bound to offer there is no closest value to insert: only the plain request.
    if (!hasMinimum && !hasMaximum) return integer ? ItemAlert::kInteger : ItemAlert::kReal;
    const ErrorCode first = integer ? ItemAlert::kIntegerInRange : ItemAlert::kRealInRange;
    const ErrorCode choice = hasMinimum && hasMaximum ? 0 : hasMinimum ? 1 : 2;
    return static_cast<int16_t>(first + choice + offset);
}
