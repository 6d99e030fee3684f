#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "AlertLog.h"
#include "DialogNumbers.h"
#include "Errors.h"

namespace {

constexpr double kUntouched = 777.0;

DialogItemRecord Record(uint8_t kind, int decimals = 0, float minimum = kItemDefaultMinimum,
                        float maximum = kItemDefaultMaximum, uint8_t width = 0) {
    DialogItemRecord record;
    record.kind = kind;
    record.decimals = static_cast<int8_t>(decimals);
    record.minimum = minimum;
    record.maximum = maximum;
    record.width = width;
    return record;
}

// Continental characters: a decimal comma and a thousands point.
NumberChars Continental() {
    NumberChars chars;
    chars.decimal = ',';
    chars.thousands = '.';
    return chars;
}

struct ParseCase {
    const char* text;
    DialogItemRecord record;
    ErrorCode result;
    double value;  // kUntouched: the value must be left alone
    NumberChars chars = {};
};

TEST(ParseNumber, ReadsTypedTextsAgainstTheItemsKindAndBounds) {
    using namespace NumberParse;
    const auto d = Record(ItemKind::kIntegerEdit);
    const auto f = Record(ItemKind::kRealEdit, 2);
    const auto tenth0To10 = Record(ItemKind::kRealEdit, 1, 0.0f, 10.0f);
    const auto from10 = Record(ItemKind::kIntegerEdit, 0, 10.0f, 100.0f);
    const std::string tinyText = "0." + std::string(500, '0') + "1";
    const ParseCase cases[] = {
        {"42", d, kValid, 42},
        {" \t 42  \t", d, kValid, 42},  // blanks before and after
        {"+7", d, kValid, 7},
        {"-7", d, kValid, -7},
        {"1,234", d, kValid, 1234},
        {"1,2,3,4", d, kValid, 1234},  // thousands separators anywhere
        {"-1,234.25", f, kValid, -1234.25},
        {"5.", f, kValid, 5},
        {"5.", d, kNotInteger, kUntouched},
        {"1.2.3", f, kNotReal, kUntouched},
        {"1 2", d, kNotInteger, kUntouched},  // a blank ends the number
        {"1.5 2", f, kNotReal, kUntouched},
        {"12a", d, kNotInteger, kUntouched},
        {"x", f, kNotReal, kUntouched},
        {"--5", d, kNotInteger, kUntouched},  // one sign only
        {"5-", d, kNotInteger, kUntouched},
        {"\xC2\xA0" "5", d, kNotInteger, kUntouched},  // a UTF-8 no-break space is no blank
        {"", d, kEmpty, kUntouched},
        {"   ", f, kEmpty, kUntouched},
        {nullptr, d, kEmpty, kUntouched},
        {"-", d, kEmpty, kUntouched},  // a number begun, not zero
        {"+.", f, kEmpty, kUntouched},
        {",", d, kEmpty, kUntouched},
        // Bounds are widened by half a unit of the last decimal; inside, the number is clamped.
        {"10.04", tenth0To10, kValid, 10},
        {"10.06", tenth0To10, kAboveMaximum, 10.06},
        {"-0.04", tenth0To10, kValid, 0},
        {"-0.06", tenth0To10, kBelowMinimum, -0.06},
        {"100", from10, kValid, 100},
        {"101", from10, kAboveMaximum, 101},
        {"1", from10, kBelowMinimum, 1},
        {"99999999999999999999999", d, kAboveMaximum, 1e23},
        {"0.000000000000000000000000000001", f, kValid, 1e-30},  // digits past the decimals are kept
        {tinyText.c_str(), f, kValid, 0},  // below any double
        // Locale characters.
        {"1.234,5", f, kValid, 1234.5, Continental()},
        {"1,5", d, kNotInteger, kUntouched, Continental()},
        {"3.5", Record(ItemKind::kReal, 1), kValid, 35, Continental()},  // '.' groups thousands there
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(null)");
        double value = kUntouched;
        EXPECT_EQ(ParseNumber(c.text, value, c.record, c.chars), c.result);
        EXPECT_NEAR(value, c.value, std::fabs(c.value) * 1e-12);
    }
}

TEST(ParseNumber, AThousandsSeparatorThatIsABlankGroupsDigits) {
    NumberChars chars;
    chars.thousands = ' ';
    double value = 0;
    EXPECT_EQ(ParseNumber(" 1 234 ", value, Record(ItemKind::kInteger), chars), NumberParse::kValid);
    EXPECT_EQ(value, 1234);
}

TEST(ParseNumber, OnlyNumberItemsParseAndNothingInfiniteIsAccepted) {
    double value = kUntouched;
    for (uint8_t kind : {ItemKind::kTextEdit, ItemKind::kStaticText, ItemKind::kTrackBar, ItemKind::kButton})
        EXPECT_EQ(ParseNumber("5", value, Record(kind), {}), NumberParse::kNotANumberItem) << int(kind);
    EXPECT_EQ(value, kUntouched);

    // Four hundred digits are beyond any double: out of range, with a finite number.
    const std::string huge(400, '9');
    const auto unbounded = Record(ItemKind::kReal, 2, -std::numeric_limits<float>::max(),
                                  std::numeric_limits<float>::max());
    EXPECT_EQ(ParseNumber(huge.c_str(), value, unbounded, {}), NumberParse::kAboveMaximum);
    EXPECT_TRUE(std::isfinite(value));
    EXPECT_EQ(ParseNumber(("-" + huge).c_str(), value, unbounded, {}), NumberParse::kBelowMinimum);
    EXPECT_TRUE(std::isfinite(value));
    EXPECT_LT(value, 0);

    // Bounds that are no numbers bound nothing; infinite ones hold nothing out.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(ParseNumber("12", value, Record(ItemKind::kInteger, 0, nan, nan), {}), NumberParse::kValid);
    EXPECT_EQ(value, 12);
    EXPECT_EQ(ParseNumber(huge.c_str(), value, Record(ItemKind::kInteger, 0, -inf, inf), {}), NumberParse::kValid);
    EXPECT_TRUE(std::isfinite(value));
}

struct FormatCase {
    double value;
    const DialogItemRecord* record;
    const char* text;
    ErrorCode result = NumberParse::kValid;
    NumberChars chars = {};
};

TEST(FormatNumber, WritesTheValueInTheItemsFormat) {
    using NumberParse::kTooLarge;
    const auto d = Record(ItemKind::kIntegerEdit);
    const auto f2 = Record(ItemKind::kRealEdit, 2);
    const auto f0 = Record(ItemKind::kReal, 0);
    const auto d5 = Record(ItemKind::kInteger, 0, 0, 0, 5);
    const auto f1w6 = Record(ItemKind::kReal, 1, 0, 0, 6);
    const auto f3 = Record(ItemKind::kReal, 3);
    const auto text = Record(ItemKind::kTextEdit, 2);  // text items show whole numbers
    const auto absurd = Record(ItemKind::kReal, 127);  // decimals beyond the formats' range
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const FormatCase cases[] = {
        {2.345, &f2, "2.35"},
        {1.005, &f2, "1.01"},  // decimal halves held a hair low in binary still round up
        {2.675, &f2, "2.68"},
        {-2.345, &f2, "-2.35"},
        {2.344, &f2, "2.34"},
        {-0.004, &f2, "-0.00"},  // the minus sign stays
        {-0.0, &f2, "0.00"},
        {0.05, &f3, "0.050"},
        {2.5, &d, "3"},
        {-2.5, &d, "-3"},
        {2.49, &d, "2"},
        {7.5, nullptr, "8"},
        {3.4, &text, "3"},
        {3.0, &f0, "3"},
        {12, &d5, "   12"},
        {-1.5, &f1w6, "  -1.5"},
        {123456, &d5, "123456"},  // wider than the width: no padding, nothing cut
        {2.345f, &f2, "2,35", NumberParse::kValid, Continental()},
        {0.1234567894, &absurd, "0.123456789"},
        {4294967294.4, &d, "4294967294"},
        {4294967294.5, &d, "", kTooLarge},  // rounds up to the limit
        {-4294967296.0, &d, "", kTooLarge},
        {1e20, &f2, "", kTooLarge},
        {nan, &f2, "", kTooLarge},
        {inf, &d, "", kTooLarge},
        {-inf, nullptr, "", kTooLarge},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.value);
        char out[64];
        std::memset(out, 'x', sizeof out);
        EXPECT_EQ(FormatNumber(out, sizeof out, c.value, c.record, c.chars), c.result);
        EXPECT_STREQ(out, c.text);
    }
}

TEST(FormatNumber, ASmallBufferCutsThePaddingButNeverTheNumber) {
    const auto width8 = Record(ItemKind::kReal, 2, 0, 0, 8);
    struct Case {
        size_t size;
        const char* text;
        ErrorCode result;
    };
    const Case cases[] = {
        {9, "   -1.25", NumberParse::kValid},
        {7, " -1.25", NumberParse::kValid},
        {6, "-1.25", NumberParse::kValid},
        {5, "", NumberParse::kTooLarge},
        {1, "", NumberParse::kTooLarge},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        char out[16];
        std::memset(out, '#', sizeof out);
        EXPECT_EQ(FormatNumber(out, c.size, -1.25, &width8, {}), c.result);
        EXPECT_STREQ(out, c.text);
        for (size_t i = c.size; i < sizeof out; ++i) EXPECT_EQ(out[i], '#') << "written past the buffer at " << i;
    }
    char untouched = '#';
    EXPECT_EQ(FormatNumber(&untouched, 0, 1, nullptr, {}), NumberParse::kTooLarge);
    EXPECT_EQ(untouched, '#');
    EXPECT_EQ(FormatNumber(nullptr, 10, 1, nullptr, {}), NumberParse::kTooLarge);
}

TEST(FormatNumber, WhatItWritesParsesBackAsTheShownValue) {
    const NumberChars charSets[] = {NumberChars{}, Continental()};
    const double values[] = {0, 0.125, -0.125, 1.005, 99.995, -12345.678, 32767, -32768, 0.3};
    for (const NumberChars& chars : charSets) {
        for (int decimals : {0, 1, 2, 3}) {
            const auto record = Record(ItemKind::kRealEdit, decimals, -40000.0f, 40000.0f, 12);
            for (double value : values) {
                SCOPED_TRACE(testing::Message() << value << " with " << decimals << " decimals, '" << chars.decimal << "'");
                char text[32];
                ASSERT_EQ(FormatNumber(text, sizeof text, value, &record, chars), NumberParse::kValid);
                double parsed = kUntouched;
                ASSERT_EQ(ParseNumber(text, parsed, record, chars), NumberParse::kValid) << text;
                const double unit = std::pow(10.0, -decimals);
                EXPECT_NEAR(parsed, value, unit / 2 + 1e-9) << text;
                // and it is the value rounded half away from zero to the shown decimals
                EXPECT_NEAR(parsed, RoundHalfAwayFromZero(value / unit + std::copysign(1e-9, value)) * unit, 1e-9)
                    << text;
            }
        }
    }
}

TEST(Rounding, HalvesGoAwayFromZeroAndSixteenBitsHoldAtTheirEnds) {
    EXPECT_EQ(RoundHalfAwayFromZero(2.5), 3);
    EXPECT_EQ(RoundHalfAwayFromZero(-2.5), -3);
    EXPECT_EQ(RoundHalfAwayFromZero(2.49), 2);
    EXPECT_EQ(RoundToInt16(-0.5), -1);
    EXPECT_EQ(RoundToInt16(32766.5), 32767);
    EXPECT_EQ(RoundToInt16(1e9), 32767);
    EXPECT_EQ(RoundToInt16(-1e9), -32768);
    EXPECT_EQ(RoundToInt16(std::numeric_limits<double>::infinity()), 32767);
    EXPECT_EQ(RoundToInt16(std::numeric_limits<double>::quiet_NaN()), 0);

    EXPECT_EQ(HalfUnit(Record(ItemKind::kRealEdit, 2)), 0.005);
    EXPECT_EQ(HalfUnit(Record(ItemKind::kIntegerEdit, 2)), 0.5);  // integers have no decimals
    EXPECT_EQ(HalfUnit(Record(ItemKind::kReal, -3)), 0.5);
    EXPECT_DOUBLE_EQ(HalfUnit(Record(ItemKind::kReal, 100)), 0.5e-9);
}

struct FormatTextCase {
    const char* format;
    uint8_t kind;  // before
    ErrorCode result;
    uint8_t newKind = 0;
    uint8_t width = 0;
    int8_t decimals = 0;
};

TEST(ApplyNumberFormat, SetsKindWidthAndDecimalsOrRefusesTheFormatWhole) {
    using ItemKind::kEditable;
    using NumberParse::kBadFormat;
    const FormatTextCase cases[] = {
        {"%d", ItemKind::kTextEdit, 0, ItemKind::kIntegerEdit},
        {"%5.2f", ItemKind::kStaticText, 0, ItemKind::kReal, 5, 2},
        {"%+3d", ItemKind::kInteger, 0, ItemKind::kInteger, 3},
        {"%.1f", ItemKind::kIntegerEdit, 0, ItemKind::kRealEdit, 0, 1},
        {"%40s", ItemKind::kRealEdit, 0, ItemKind::kTextEdit, 40},
        {"%255d", ItemKind::kInteger, 0, ItemKind::kInteger, 255},
        {"%007.9f", ItemKind::kInteger, 0, ItemKind::kReal, 7, 9},
        {"%256d", ItemKind::kInteger, kBadFormat},
        {"%999d", ItemKind::kInteger, kBadFormat},
        {"%99999999999999999999d", ItemKind::kInteger, kBadFormat},
        {"%.10f", ItemKind::kReal, kBadFormat},
        {"%.2d", ItemKind::kInteger, kBadFormat},
        {"%3.1s", ItemKind::kTextEdit, kBadFormat},
        {"%5.f", ItemKind::kReal, kBadFormat},
        {"%x", ItemKind::kInteger, kBadFormat},
        {"%D", ItemKind::kInteger, kBadFormat},
        {"%5df", ItemKind::kInteger, kBadFormat},
        {"%d ", ItemKind::kInteger, kBadFormat},
        {"%-5d", ItemKind::kInteger, kBadFormat},
        {"%++5d", ItemKind::kInteger, kBadFormat},
        {"5d", ItemKind::kInteger, kBadFormat},
        {"%", ItemKind::kInteger, kBadFormat},
        {"", ItemKind::kInteger, kBadFormat},
        {nullptr, ItemKind::kInteger, kBadFormat},
        // Only items that already hold a lowercase letter take a number format.
        {"%d", ItemKind::kButton, kBadFormat},
        {"%d", ItemKind::kTrackBar, kBadFormat},
        {"%d", static_cast<uint8_t>(ItemKind::kButton | kEditable), kBadFormat},
        {"%d", 0, kBadFormat},
    };
    for (const FormatTextCase& c : cases) {
        SCOPED_TRACE(c.format ? c.format : "(null)");
        DialogItemRecord record = Record(c.kind, 4, -1.0f, 1.0f, 9);
        record.flags = kItemValueInvalid;
        record.value = 0.5f;
        const DialogItemRecord before = record;
        EXPECT_EQ(ApplyNumberFormat(record, c.format), c.result);
        if (c.result == 0) {
            EXPECT_EQ(record.kind, c.newKind);
            EXPECT_EQ(record.width, c.width);
            EXPECT_EQ(record.decimals, c.decimals);
        } else {
            EXPECT_EQ(record.kind, before.kind);
            EXPECT_EQ(record.width, before.width);
            EXPECT_EQ(record.decimals, before.decimals);
        }
        // A format touches nothing but the kind, width and decimals.
        EXPECT_EQ(record.flags, before.flags);
        EXPECT_EQ(record.value, before.value);
        EXPECT_EQ(record.minimum, before.minimum);
        EXPECT_EQ(record.maximum, before.maximum);
    }
}

TEST(NumberAlertFor, ChoosesTheAlertByKindBoundsAndWhatWentWrong) {
    using namespace NumberParse;
    struct Case {
        ErrorCode result;
        bool integer, hasMinimum, hasMaximum;
        int16_t alert;
    };
    const Case cases[] = {
        {kNotInteger, true, true, true, 18001},    {kNotInteger, true, true, false, 18002},
        {kNotInteger, true, false, true, 18003},   {kNotInteger, true, false, false, 18013},
        {kNotReal, false, true, true, 18004},      {kNotReal, false, true, false, 18005},
        {kNotReal, false, false, true, 18006},     {kNotReal, false, false, false, 18014},
        {kAboveMaximum, true, true, true, 18007},  {kBelowMinimum, true, true, false, 18008},
        {kAboveMaximum, true, false, true, 18009}, {kAboveMaximum, false, true, true, 18010},
        {kBelowMinimum, false, true, false, 18011}, {kAboveMaximum, false, false, true, 18012},
        // No bound to insert: the plain request, never the code of a number item's misuse.
        {kAboveMaximum, true, false, false, 18013}, {kBelowMinimum, false, false, false, 18014},
        {kValid, true, true, true, 0},             {kEmpty, false, true, true, 0},
        {kNotANumberItem, true, true, true, 0},    {kTooLarge, false, true, true, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NumberAlertFor(c.result, c.integer, c.hasMinimum, c.hasMaximum), c.alert)
            << c.result << (c.integer ? " integer" : " real") << " min " << c.hasMinimum << " max " << c.hasMaximum;
}

TEST(ItemAlerts, EachIsADialogOfTheModuleWithItsBoundsFilledIn) {
    // Two-button alerts log their Cancel button (control 2) before the message.
    const char* const question = "Would you like to insert the closest value?";
    const struct {
        ErrorCode id;
        std::string shown;
    } alerts[] = {
        {18001, "Please enter a valid integer in the range between LO and HI."},
        {18002, "Please enter a valid integer larger than LO."},
        {18003, "Please enter a valid integer less than LO."},
        {18004, "Please enter a valid real number in the range between LO and HI."},
        {18005, "Please enter a valid real number larger than LO."},
        {18006, "Please enter a valid real number less than LO."},
        {18007, std::string("Cancel | An integer in the range between LO and HI required. ") + question},
        {18008, std::string("Cancel | An integer larger than LO required. ") + question},
        {18009, std::string("Cancel | An integer smaller than LO required. ") + question},
        {18010, std::string("Cancel | A real number in the range between LO and HI required. ") + question},
        {18011, std::string("Cancel | A real number larger than LO required. ") + question},
        {18012, std::string("Cancel | A real number smaller than LO required. ") + question},
        {18013, "Please enter a valid integer."},
        {18014, "Please enter a valid real number."},
        {18015, "The length of this text field must be less than LO characters."},
        {18016, "Cancel | Some settings were out of range and have been replaced with proper values. Would you "
                "like to use the default settings?"},
        {18017, "Cancel | Some settings were invalid and have been replaced with valid values. Would you like to "
                "use the default settings?"},
    };
    for (const auto& alert : alerts) {
        SCOPED_TRACE(alert.id);
        EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(alert.id), MAKEINTRESOURCEW(5)), nullptr);  // RT_DIALOG
        AlertLog log("2");
        EXPECT_EQ(RunModalDialog(nullptr, alert.id, "LO", "HI"), 2);
        EXPECT_EQ(log.Text(), "alert " + std::to_string(alert.id) + " answered 2: " + alert.shown + "\n");
    }
}

}  // namespace
